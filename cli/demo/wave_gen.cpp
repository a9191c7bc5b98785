// A synthetic signal (two tones with a little noise) as a float TRX time
// data set and as a 32-bit float WAVE file holding the same values, written
// block by block. Used by `make demo` and bench/bench_wave.sh.
//   wave_gen TRX WAV SCANS CHANNELS RATE

#include "hostlibs/dataset/Dataset.h"
#include "platform/Riff.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s TRX WAV SCANS CHANNELS RATE\n", argv[0]);
        return 2;
    }
    const long scans = std::atol(argv[3]);
    const int channels = std::atoi(argv[4]);
    const double rate = std::atof(argv[5]);
    try {
        CAbscissaList abscissas;
        abscissas.Add(CAbscissa("Time", "t", CQuantity("time"), CUnit("s", 1), 0.0, 1.0 / rate, 0, df__linear));
        CChannelList list;
        for (int c = 0; c < channels; ++c) {
            CChannel ch(c ? "Right channel" : "Left channel", c ? "R" : "L", CQuantity("pressure"), CUnit("Pa", 1),
                        it__float, c);
            // 1:1 exports put 2 Pa at full scale (a float channel's full
            // scale is 2·√2 times its calibration level).
            ch.SetCalibration(float(20.0 * std::log10(2.0 / (2.0 * std::sqrt(2.0)))));
            list.Add(ch);
        }
        CDataset ds(argv[1], abscissas, list, dk__time, ds__dorg_interleaved, scans, 65536, sh__deny_write);
        CChNbrList all;
        all.AddGroup(0, channels - 1);
        CAccess* acc = ds.CreateAccess(am__readwrite, all, 0, 0L, -1L, mk__raw);

        CRiffFile wav;
        if (!wav.Open(argv[2], MMIO_CREATE | MMIO_WRITE))
            return 1;
        CRiffChunk riff, fmt, data;
        riff.fccType = RiffFourCC("WAVE");
        wav.CreateChunk(riff, MMIO_CREATERIFF);
        fmt.ckid = RiffFourCC("fmt ");
        wav.CreateChunk(fmt, 0);
        const unsigned short tag = 3, ch = std::uint16_t(channels), align = std::uint16_t(4 * channels), bits = 32;
        const unsigned sr = unsigned(rate), avg = sr * align;
        wav.Write(&tag, 2);
        wav.Write(&ch, 2);
        wav.Write(&sr, 4);
        wav.Write(&avg, 4);
        wav.Write(&align, 2);
        wav.Write(&bits, 2);
        wav.Ascend(fmt);
        data.ckid = RiffFourCC("data");
        wav.CreateChunk(data, 0);

        const long block = 16384;
        std::vector<float> v(std::size_t(block * channels));
        unsigned seed = 12345;
        for (long s = 0; s < scans; s += block) {
            const long n = std::min(block, scans - s);
            for (long i = 0; i < n; ++i)
                for (int c = 0; c < channels; ++c) {
                    seed = seed * 1664525u + 1013904223u;
                    const double noise = (double(seed >> 8) / 16777216.0 - 0.5) * 0.02;
                    v[std::size_t(i * channels + c)] =
                        float(0.8 * std::sin(2 * M_PI * (440.0 + 110 * c) * double(s + i) / rate) + noise);
                }
            if (acc->SetData(n, v.data(), ds__dorg_interleaved, it__float) != n)
                return 1;
            if (wav.Write(v.data(), long(n * channels * 4)) != long(n * channels * 4))
                return 1;
        }
        wav.Ascend(data);
        wav.Ascend(riff);
        wav.Close();
        ds.Close();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
