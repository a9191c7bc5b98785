// Runs the checks of the mixed-rate export and the level search on a data
// set made from the input, and, when bit 7 of byte 0 is set, the export job
// itself and the speed reference of the first pulse sub-channel (the costly
// part: networks, filter design, files). Byte 0 also picks the first
// resampled channel, byte 1 the divisor, byte 2 the level;
// the rest is the description behind a valid lead-in, followed by sample
// bytes. Findings: a crash, a job that reports success without an output
// that opens, a failed job that leaves an output, a temporary file that
// outlives a run, a cut outside the data.

#include "hostlibs/dataset/Dataset.h"
#include "speed/TSSpeedDataManager.h"
#include "speed/ThreadTRXMixedSRExport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const std::string& Scratch()
{
    static std::string dir = [] {
        char d[] = "/tmp/tessel-fuzz-speed-XXXXXX";
        if (!mkdtemp(d)) std::abort();
        std::string s(d);
        ::mkdir((s + "/sem").c_str(), 0700);
        ::mkdir((s + "/config").c_str(), 0700);
        ::setenv("TESSEL_SEM_DIR", (s + "/sem").c_str(), 1);
        ::setenv("TESSEL_CONFIG_DIR", (s + "/config").c_str(), 1);
        return s;
    }();
    return dir;
}

bool Exists(const std::string& p)
{
    struct stat st;
    return ::stat(p.c_str(), &st) == 0;
}

// Every file of the scratch folder but the input.
std::vector<std::string> Others(const std::string& keep)
{
    std::vector<std::string> names;
    DIR* d = ::opendir(Scratch().c_str());
    while (dirent* e = d ? ::readdir(d) : nullptr) {
        std::string n = e->d_name;
        if (n != "." && n != ".." && n != "sem" && n != "config" && n != keep)
            names.push_back(n);
    }
    if (d) ::closedir(d);
    return names;
}

void Write(const std::string& path, const std::vector<unsigned char>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const bool full = (data[0] & 0x80) != 0;
    const short first = short(data[0] % 4);
    const short divisor = short(2 << (data[1] % 5));
    const float level = float(data[2]) * 4.0f - 200.0f;
    data += 3;
    size -= 3;

    const std::string input = Scratch() + "/in.trx", output = Scratch() + "/out.trx";
    std::uint64_t offset = (24 + size + 7) / 8 * 8;
    std::vector<unsigned char> file(offset, ' ');
    const unsigned char magic[8] = {0x89, 'T', 'R', 'X', '\r', '\n', 0x1A, '\n'};
    std::memcpy(file.data(), magic, 8);
    file[8] = 1;
    file[9] = file[10] = file[11] = 0;
    const std::uint32_t h = std::uint32_t(size);
    std::memcpy(file.data() + 12, &h, 4);
    std::memcpy(file.data() + 16, &offset, 8);
    if (size) std::memcpy(file.data() + 24, data, size);
    for (int i = 0; i < 1024; ++i)
        file.push_back(static_cast<unsigned char>((i * 7) % 4 < 2 ? i * 37 : 1));
    Write(input, file);

    std::vector<SMixedRateGroup> groups;
    if (CThreadTRXMixedSRExport::CheckArguments(first, divisor, input.c_str(), output.c_str(), groups) == 0 && full) {
        // The job's run on this thread: what a synchronous call runs.
        CThreadTRXMixedSRExport job(input.c_str(), 1, 2, output.c_str(), true, std::move(groups));
        const int rc = job.Run();
        if (rc == 0) {
            try {
                CDataset out(output.c_str(), om__read_complete, 0, sh__deny_none);
            } catch (const CDatasetException&) {
                __builtin_trap();  // success without a readable output
            }
            ::unlink(output.c_str());
        } else if (Exists(output)) {
            __builtin_trap();  // a failed run left its output
        }
        if (!Others("in.trx").empty())
            __builtin_trap();  // a temporary file outlived the run
    }

    try {
        CDataset ds(input.c_str(), om__read, 0, sh__deny_none);
        double cut = 1e300;
        if (CTSSpeedDataManager::FindCutDueToRef(level, &ds, cut)) {
            const CAbscissa a = ds.GetAbscissa(0);
            const double lo = a.GetValue(0.0), hi = a.GetValue(double(ds.GetNbrOfScans()));
            if (!(cut >= std::min(lo, hi) - 1e-9 * std::abs(lo) && cut <= std::max(lo, hi) + 1e-9 * std::abs(hi)))
                __builtin_trap();  // a cut outside the data
        }
        if (full && ds.GetNbrOfSubChannels() > 0) {
            CTSSpeedDataManager manager(input.c_str(), ds.GetSubChannel(0), -1);
            CString name;
            if (manager.EvaluateRefFromPulses(name, true))
                ::unlink(name.c_str());
        }
    } catch (const CDatasetException&) {
    }
    for (const std::string& n : Others("in.trx"))
        ::unlink((Scratch() + "/" + n).c_str());
    return 0;
}
