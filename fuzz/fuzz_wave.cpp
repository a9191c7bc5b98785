// Any bytes as a WAVE file: the header walk in memory must give 0, 140 or
// 141; the import job on the same bytes must end with a result of its table,
// leave an output exactly when it succeeded, and never more scans than the
// bytes could hold.

#include "formats/wave/WavImport.h"
#include "formats/wave/WaveFormat.h"
#include "hostlibs/dataset/Dataset.h"
#include "interface/TSInterface.h"
#include "frame/ThreadManager.h"
#include "platform/Riff.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

const std::string& Scratch()
{
    static const std::string dir = [] {
        // Input and output on a memory-backed file system when there is one:
        // the job creates, flushes and removes a data set for every input.
        std::string tmpl = std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/tessel-fuzz-wave-XXXXXX";
        if (!::mkdtemp(tmpl.data()))
            std::abort();
        // Memory is not given back by itself: the folder goes when the run ends.
        static std::string made = tmpl;
        std::atexit([] { std::filesystem::remove_all(made); });
        return tmpl;
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The header walk alone.
    CRiffFile mem;
    mem.OpenMemory(data, size);
    CRiffChunk riff, chunk;
    SWaveFormat fmt;
    unsigned rc = EnterWaveRiff(mem, riff);
    if (rc == 0)
        rc = ReadWaveHeader(mem, riff, fmt, chunk);
    if (rc != 0 && rc != WaveResult::kWaveNotRead && rc != WaveResult::kFormatNotAccepted)
        __builtin_trap();
    if (rc == 0 && !IsImportableFormat(fmt))
        __builtin_trap();

    // The job on a file of these bytes.
    const std::string in = Scratch() + "/in.wav", out = Scratch() + "/out.dat";
    std::remove(out.c_str());
    FILE* f = std::fopen(in.c_str(), "wb");
    if (!f)
        std::abort();
    if (size && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
    CTSInterface::SMessage msg;
    int yes = 1;
    if (CTSInterface().ImportWAV(in.c_str(), 1, 2, out.c_str(), &yes, &msg) != 0)
        __builtin_trap();
    const bool ok = msg.uState == 21;
    if (!ok && msg.uState != 22)
        __builtin_trap();
    const bool exists = ::access(out.c_str(), F_OK) == 0;
    if (ok != exists)
        __builtin_trap();
    if (ok) {
        if (rc != 0)
            __builtin_trap();  // the walk refused what the job accepted
        CDataset ds(out.c_str(), om__read, 32768, sh__deny_write);
        if (ds.GetNbrOfChannels() != fmt.channels)
            __builtin_trap();
        const long maxScans = long(size / fmt.blockAlign);
        if (ds.GetNbrOfScans() > maxScans)
            __builtin_trap();
    }
    return 0;
}
