// The benchmark's Tessel side (bench/bench_trx.sh):
//   trx_bench write RAW OUT.trx CHANNELS  -- a new data set of 16-bit channels whose
//                                         samples are the bytes of RAW, written
//                                         through GetPtrToFile in 256 KiB pieces
//   trx_bench copy RAW OUT.trx CHANNELS   -- the same, the stream copying from RAW
//                                         itself (CDataStream::CopyFrom)
//   trx_bench read IN.trx OUT.raw         -- every sample read back through an access
//                                         (16-bit, organisation 1) and written out
// Memory stays at a few 256 KiB buffers whatever the size of the data.

#include "hostlibs/dataset/Dataset.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const std::size_t kBlock = 256 << 10;

int Write(const char* raw, const char* out, int channels, bool copy)
{
    int in = ::open(raw, O_RDONLY);
    struct stat st {};
    if (in < 0 || ::fstat(in, &st) != 0) {
        std::perror(raw);
        return 1;
    }
    long scans = long(st.st_size) / (2 * channels);
    CAbscissaList al;
    al.push_back(CAbscissa("Time", "t", CQuantity("time"), CUnit("s", 1), 0.0, 1.0 / 48000, scans, df__linear));
    CChannelList cl;
    for (int c = 0; c < channels; ++c) {
        CString name = CString::Formatted("channel %d", c + 1);
        cl.push_back(CChannel(name, name, CQuantity("pressure"), CUnit("Pa", 1), it__int16, c, 1.0, 1.0, nullptr));
    }
    try {
        // A copy places the samples as the imports do.
        CDataset ds(out, al, cl, dk__time, ds__dorg_interleaved, 0, 65536, sh__deny_write,
                    copy ? CDataset::DataPhaseForCopy(0, std::uint64_t(st.st_size)) : -1L);
        CDataStream* s = ds.GetPtrToFile();
        if (copy) {
            if (s->CopyFrom(in, 0, std::uint64_t(st.st_size)) != std::uint64_t(st.st_size)) {
                std::fprintf(stderr, "%s: copy failed\n", out);
                return 1;
            }
            ds.Close();
            ::close(in);
            return 0;
        }
        std::vector<unsigned char> buf(kBlock);
        for (;;) {
            ssize_t n = ::read(in, buf.data(), buf.size());
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                std::perror(raw);
                return 1;
            }
            if (n == 0) break;
            if (s->Write(buf.data(), std::size_t(n)) != std::size_t(n)) {
                std::fprintf(stderr, "%s: write failed\n", out);
                return 1;
            }
        }
        ds.Close();
    } catch (const CDatasetException& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    ::close(in);
    return 0;
}

int Read(const char* trx, const char* raw)
{
    int out = ::open(raw, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) {
        std::perror(raw);
        return 1;
    }
    try {
        CDataset ds(trx, om__read_complete, 32768, sh__deny_write);
        CChNbrList all;
        all.AddGroup(0, ds.GetNbrOfChannels() - 1);
        CAccess* a = ds.CreateAccess(am__read, all);
        long scanBytes = a->GetScanBytes(ds__dorg_interleaved, it__int16);
        long block = long(kBlock) / scanBytes;
        std::vector<unsigned char> buf(std::size_t(block * scanBytes));
        while (!a->Finished()) {
            long n = a->GetData(block, buf.data(), ds__dorg_interleaved, it__int16);
            if (n <= 0) {
                std::fprintf(stderr, "%s: %s\n", trx, a->GetLastError().c_str());
                return 1;
            }
            std::size_t bytes = std::size_t(n * scanBytes);
            if (::write(out, buf.data(), bytes) != ssize_t(bytes)) {
                std::perror(raw);
                return 1;
            }
        }
    } catch (const CDatasetException& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return ::close(out) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "write") == 0) return Write(argv[2], argv[3], std::atoi(argv[4]), false);
    if (argc == 5 && std::strcmp(argv[1], "copy") == 0) return Write(argv[2], argv[3], std::atoi(argv[4]), true);
    if (argc == 4 && std::strcmp(argv[1], "read") == 0) return Read(argv[2], argv[3]);
    std::fprintf(stderr, "usage: trx_bench write|copy RAW OUT.trx CHANNELS | trx_bench read IN.trx OUT.raw\n");
    return 2;
}
