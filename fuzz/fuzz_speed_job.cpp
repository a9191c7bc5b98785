// The costly half of the speed code on a data set made from the input
// (layout in speed_input.h): the mixed-rate export job, run on this thread
// as a synchronous call runs it, and the speed reference of the first
// sub-channel (networks, filter design, files). The scratch folder is on
// tmpfs. Findings: a crash, a job that reports success without an output
// that opens, a failed job that leaves an output, a temporary file that
// outlives a run. The entry checks and the level search run much faster in
// fuzz_speed.

#include "hostlibs/dataset/Dataset.h"
#include "speed/TSSpeedDataManager.h"
#include "speed/ThreadTRXMixedSRExport.h"

#include "speed_input.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const std::string& Scratch()
{
    static std::string dir = [] {
        static char d[] = "/dev/shm/tessel-fuzz-speed-job-XXXXXX";
        if (!mkdtemp(d)) std::abort();
        std::string s(d);
        // tmpfs is memory: a finished run leaves nothing behind.
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(d, ec);
        });
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
    SSpeedFuzzInput in;
    if (!MakeSpeedFuzzInput(data, size, in))
        return 0;
    const std::string input = Scratch() + "/in.trx", output = Scratch() + "/out.trx";
    Write(input, in.file);

    std::vector<SMixedRateGroup> groups;
    if (CThreadTRXMixedSRExport::CheckArguments(in.first, in.divisor, input.c_str(), output.c_str(), groups) == 0) {
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
        if (ds.GetNbrOfSubChannels() > 0) {
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
