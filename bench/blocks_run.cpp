// Runs one processing network from the command line, for the benchmarks and
// the memory check of bench/bench_blocks.sh. Not a test.
//
//   blocks_run gen IN.trx IN.wav SCANS CHANNELS RATE
//       the same float signal as a TRX data set and a 32-bit float WAVE file
//   blocks_run resample IN.trx OUT.trx RATE [PASSBAND PRECISION]
//   blocks_run wave IN.trx OUT.wav FULLSCALE [24]
// Prints the peak resident set size of the run on standard error.

#include "hostlibs/blocks/Blocks.h"
#include "hostlibs/dataset/Dataset.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {
int Usage()
{
    std::fprintf(stderr, "usage: blocks_run gen IN.trx IN.wav SCANS CHANNELS RATE\n"
                         "       blocks_run resample IN.trx OUT.trx RATE [PASSBAND PRECISION]\n"
                         "       blocks_run wave IN.trx OUT.wav FULLSCALE [24]\n");
    return 2;
}

void Put(std::FILE* f, std::uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        std::fputc(int((v >> (8 * i)) & 0xFF), f);
}

int Generate(const char* trx, const char* wav, long long scans, int channels, double rate)
{
    CAbscissaList absc;
    absc.Add(CAbscissa("Time", "t", CQuantity("time"), CUnit("s", 0), 0.0, 1.0 / rate, 0, df__linear));
    CChannelList chans;
    for (int c = 0; c < channels; ++c)
        chans.Add(CChannel(("ch" + std::to_string(c)).c_str(), "c", CQuantity("sound pressure"), CUnit("Pa", 0),
                           it__float, c));
    CDataset ds(trx, absc, chans, dk__time, ds__dorg_interleaved, 0, 65536, sh__deny_write);
    CAccess* a = ds.CreateAccess(am__readwrite, [&] { CChNbrList l; l.AddGroup(0, channels - 1); return l; }(), 0,
                                 0L, -1L, mk__physical);
    std::FILE* w = std::fopen(wav, "wb");
    if (!a || !w)
        return 1;
    std::uint64_t data = std::uint64_t(scans) * std::uint64_t(channels) * 4;
    std::fwrite("RIFF", 1, 4, w);
    Put(w, std::uint32_t(4 + 26 + 12 + 8 + data), 4);
    std::fwrite("WAVEfmt ", 1, 8, w);
    Put(w, 18, 4);
    Put(w, 3, 2); // IEEE float
    Put(w, std::uint32_t(channels), 2);
    Put(w, std::uint32_t(rate), 4);
    Put(w, std::uint32_t(rate) * std::uint32_t(channels) * 4, 4);
    Put(w, std::uint32_t(channels) * 4, 2);
    Put(w, 32, 2);
    Put(w, 0, 2);
    std::fwrite("fact", 1, 4, w);
    Put(w, 4, 4);
    Put(w, std::uint32_t(scans), 4);
    std::fwrite("data", 1, 4, w);
    Put(w, std::uint32_t(data), 4);
    const long block = 65536;
    std::vector<float> v(std::size_t(block) * std::size_t(channels));
    std::uint32_t noise = 12345;
    for (long long s = 0; s < scans; s += block) {
        long n = long(std::min<long long>(block, scans - s));
        for (long i = 0; i < n; ++i)
            for (int c = 0; c < channels; ++c) {
                noise = noise * 1664525u + 1013904223u;
                double t = double(s + i) / rate;
                v[std::size_t(i) * std::size_t(channels) + std::size_t(c)] =
                    float(0.5 * std::sin(2 * M_PI * (440.0 * (c + 1)) * t) + 0.1 * (double(noise >> 8) / 16777216.0 - 0.5));
            }
        if (a->SetData(n, v.data(), ds__dorg_interleaved, it__float) != n ||
            std::fwrite(v.data(), sizeof(float), std::size_t(n) * std::size_t(channels), w) !=
                std::size_t(n) * std::size_t(channels))
            return 1;
    }
    ds.Close();
    return std::fclose(w) == 0 ? 0 : 1;
}

int Run(CNetNode* drain, std::vector<CNetNode*> blocks)
{
    bool ok = drain->Initialize();
    if (!ok)
        std::fprintf(stderr, "initialisation failed: %s\n", drain->GetLastError().c_str());
    while (ok && !drain->IsFinished())
        ok = drain->DoOneStepOfProcessing();
    if (!ok)
        std::fprintf(stderr, "run failed: %s\n", drain->GetLastError().c_str());
    ok = drain->EndRun() && ok;
    for (CNetNode* b : blocks)
        b->Destroy(true);
    struct rusage ru;
    ::getrusage(RUSAGE_SELF, &ru);
    std::fprintf(stderr, "peak RSS %ld KiB\n", ru.ru_maxrss);
    return ok ? 0 : 1;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    std::string cmd = argv[1];
    try {
        if (cmd == "gen" && argc == 7)
            return Generate(argv[2], argv[3], std::atoll(argv[4]), std::atoi(argv[5]), std::atof(argv[6]));
        if (cmd == "resample" && (argc == 5 || argc == 7)) {
            auto* src = CSPBTrxSourceTimeData::CreateObject();
            auto* res = CSPBResample::CreateObject();
            auto* drain = CSPBTrxDrain::CreateObject(argv[3]);
            int passband = argc == 7 ? std::atoi(argv[5]) : 20, precision = argc == 7 ? std::atoi(argv[6]) : 20;
            if (!src->Open(argv[2]) || !res->SetParameters(false, std::atof(argv[4]), passband, precision))
                return 1;
            src->Output(0)->ConnectInput(res->Input(0));
            res->Output(0)->ConnectInput(drain->Input(0));
            return Run(drain, {drain, res, src});
        }
        if (cmd == "wave" && (argc == 5 || argc == 6)) {
            auto* src = CSPBTrxSourceTimeData::CreateObject();
            auto* drain = CSPMWaveDrain::CreateObject(argv[3]);
            if (!src->Open(argv[2]) || !drain->SetParameters(false, false, false, std::atof(argv[4]), 0, argc == 6))
                return 1;
            src->Output(0)->ConnectInput(drain->Input(0));
            return Run(drain, {drain, src});
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return Usage();
}
