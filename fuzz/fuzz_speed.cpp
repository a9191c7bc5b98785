// The cheap half of the speed code on a data set made from the input (layout
// in speed_input.h): the entry checks of the mixed-rate export and the level
// search. The data set lives in a memfd and is opened through /proc/self/fd,
// so no input touches a disk. Findings: a crash, a check that creates the
// output, a cut outside the data. The export job itself and the speed
// reference run in fuzz_speed_job.

#include "hostlibs/dataset/Dataset.h"
#include "speed/TSSpeedDataManager.h"
#include "speed/ThreadTRXMixedSRExport.h"

#include "speed_input.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct SMemFile {
    int fd = -1;
    std::string path;
};

const SMemFile& Input()
{
    static SMemFile f = [] {
        SMemFile m;
        m.fd = ::memfd_create("tessel-fuzz-speed", MFD_CLOEXEC);
        if (m.fd < 0) std::abort();
        m.path = "/proc/self/fd/" + std::to_string(m.fd);
        return m;
    }();
    return f;
}

void Fill(const std::vector<unsigned char>& bytes)
{
    const int fd = Input().fd;
    if (::ftruncate(fd, 0) != 0) std::abort();
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t k = ::pwrite(fd, bytes.data() + done, bytes.size() - done, off_t(done));
        if (k <= 0) std::abort();
        done += std::size_t(k);
    }
}

// An output name in a folder nobody writes to: the checks must not make it.
const std::string& Output()
{
    static std::string path = [] {
        static char d[] = "/dev/shm/tessel-fuzz-speed-XXXXXX";
        if (!mkdtemp(d)) std::abort();
        std::atexit([] { ::rmdir(d); });
        return std::string(d) + "/out.trx";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static SSpeedFuzzInput in;
    if (!MakeSpeedFuzzInput(data, size, in))
        return 0;
    Fill(in.file);
    const std::string& input = Input().path;

    std::vector<SMixedRateGroup> groups;
    CThreadTRXMixedSRExport::CheckArguments(in.first, in.divisor, input.c_str(), Output().c_str(), groups);
    struct stat st;
    if (::stat(Output().c_str(), &st) == 0)
        __builtin_trap();  // the entry checks made the output

    try {
        CDataset ds(input.c_str(), om__read, 0, sh__deny_none);
        double cut = 1e300;
        if (CTSSpeedDataManager::FindCutDueToRef(in.level, &ds, cut) && !CutInsideData(ds, cut))
            __builtin_trap();  // a cut outside the data
    } catch (const CDatasetException&) {
    }
    return 0;
}
