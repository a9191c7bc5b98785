#include "formats/recorder/RecorderJob.h"

#include <atomic>
#include <cmath>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace RecorderJob {
namespace {
std::atomic<std::size_t> g_bufferLimit{0};
}

void SetBufferLimitForTests(std::size_t bytes) { g_bufferLimit = bytes; }

std::unique_ptr<unsigned char[]> AllocateWorkBuffer(std::size_t& size)
{
    for (size = 65536; size >= 4096; size /= 2) {
        const std::size_t limit = g_bufferLimit.load();
        if (limit && size > limit)
            continue;
        if (auto* p = new (std::nothrow) unsigned char[size])
            return std::unique_ptr<unsigned char[]>(p);
    }
    size = 0;
    return nullptr;
}

float Calibration(double factor, double reference)
{
    const double fullScale = factor * 32768.0 / (std::sqrt(2.0) * reference);
    if (!(fullScale > 0.0) || !std::isfinite(fullScale))
        return 0.0f;
    return float(20.0 * std::log10(fullScale));
}

int OpenDataFile(const char* path, std::uint64_t& length)
{
    length = 0;
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    length = std::uint64_t(st.st_size);
    return fd;
}

std::unique_ptr<CDataset> CreateDataset(const char* path, const CAbscissaList& abscissas,
                                        const CChannelList& channels, CCreatedOutputs& outputs, CString& error,
                                        std::uint64_t sourceOffset, std::uint64_t bytes)
{
    try {
        auto ds = std::make_unique<CDataset>(path, abscissas, channels, dk__time, ds__dorg_interleaved, 0L, 65536L,
                                             sh__create_new, CDataset::DataPhaseForCopy(sourceOffset, bytes));
        outputs.Add(path);
        return ds;
    } catch (const CDatasetException& e) {
        error = e.GetText();
    } catch (const std::exception& e) {
        error = e.what();
    }
    return nullptr;
}

}  // namespace RecorderJob
