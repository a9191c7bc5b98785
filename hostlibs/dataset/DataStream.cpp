#include "hostlibs/dataset/DataStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileSystem.h"

CDataStream::CDataStream(int fd, std::uint64_t position, bool writable, std::size_t bufferSize)
    : m_fd(fd), m_bWritable(writable), m_uPos(position)
{
    // The buffer grows with the writes up to its size: a small data set
    // never pays for (and zero-fills) a buffer it does not need.
    if (writable) m_nCapacity = std::max<std::size_t>(bufferSize, 4096);
}

CDataStream::~CDataStream() { FlushWrite(); }

bool CDataStream::FlushWrite()
{
    if (m_nBuf == 0) return true;
    bool ok = FileSystem::WriteAt(m_fd, m_uBufPos, m_buf.data(), m_nBuf);
    if (!ok) {
        m_iErrno = errno;
        m_bFailed = true;
    }
    m_nBuf = 0;
    return ok;
}

std::size_t CDataStream::Write(const void* data, std::size_t n)
{
    if (m_bFailed) return 0;
    if (!m_bWritable) {
        m_bFailed = true;
        m_iErrno = EBADF;
        return 0;
    }
    const unsigned char* p = static_cast<const unsigned char*>(data);
    // The pending block goes out when this write does not follow it or
    // would overflow it; pieces as large as the buffer go straight out.
    if (m_nBuf > 0 && (m_uBufPos + m_nBuf != m_uPos || m_nBuf + n > m_nCapacity) && !FlushWrite()) return 0;
    if (n >= m_nCapacity) {
        if (!FileSystem::WriteAt(m_fd, m_uPos, p, n)) {
            m_iErrno = errno;
            m_bFailed = true;
            return 0;
        }
        m_uPos += n;
        return n;
    }
    if (m_nBuf == 0) m_uBufPos = m_uPos;
    if (m_nBuf + n > m_buf.size())
        m_buf.resize(std::min(m_nCapacity, std::max({m_nBuf + n, 2 * m_buf.size(), std::size_t(4096)})));
    std::memcpy(m_buf.data() + m_nBuf, p, n);
    m_nBuf += n;
    m_uPos += n;
    return n;
}

void CDataStream::Reserve(std::uint64_t end)
{
    if (m_bWritable)
        FileSystem::Reserve(m_fd, end);
}

std::uint64_t CDataStream::CopyFrom(int fd, std::uint64_t offset, std::uint64_t length)
{
    if (m_bFailed) return 0;
    if (!m_bWritable) {
        m_bFailed = true;
        m_iErrno = EBADF;
        return 0;
    }
    if (!FlushWrite()) return 0;
    // No further than the source reaches: a short source must not leave
    // blocks taken past the end of the copy.
    struct stat st;
    if (::fstat(fd, &st) == 0 && std::uint64_t(st.st_size) > offset)
        Reserve(m_uPos + std::min<std::uint64_t>(length, std::uint64_t(st.st_size) - offset));
    std::uint64_t done = 0;
    bool kernel = true;
    std::vector<unsigned char> bounce;
    while (done < length) {
        std::size_t want = std::size_t(std::min<std::uint64_t>(length - done, 1u << 30));
        if (kernel) {
            loff_t in = loff_t(offset + done), out = loff_t(m_uPos);
            ssize_t n = ::copy_file_range(fd, &in, m_fd, &out, want, 0);
            if (n > 0) {
                done += std::uint64_t(n);
                m_uPos += std::uint64_t(n);
                continue;
            }
            if (n == 0) break;
            if (errno == EINTR) continue;
            // Another file system, or a kind of file the kernel cannot copy:
            // through memory instead.
            if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EBADF) {
                m_iErrno = errno;
                m_bFailed = true;
                break;
            }
            kernel = false;
        }
        if (bounce.empty()) bounce.resize(m_nCapacity);
        ssize_t r = ::pread(fd, bounce.data(), std::min(want, bounce.size()), off_t(offset + done));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            m_iErrno = errno;
            m_bFailed = true;
            break;
        }
        if (r == 0) break;
        if (Write(bounce.data(), std::size_t(r)) != std::size_t(r) || !FlushWrite()) break;
        done += std::uint64_t(r);
    }
    return done;
}

std::size_t CDataStream::Read(void* data, std::size_t n)
{
    if (m_bFailed) return 0;
    if (!FlushWrite()) return 0;
    unsigned char* p = static_cast<unsigned char*>(data);
    std::size_t done = 0;
    while (done < n) {
        ssize_t r = ::pread(m_fd, p + done, n - done, off_t(m_uPos));
        if (r < 0) {
            if (errno == EINTR) continue;
            m_iErrno = errno;
            m_bFailed = true;
            break;
        }
        if (r == 0) break;
        done += std::size_t(r);
        m_uPos += std::uint64_t(r);
    }
    return done;
}

bool CDataStream::Seek(std::uint64_t position)
{
    if (position > std::uint64_t(INT64_MAX)) return false;
    m_uPos = position;
    return true;
}

bool CDataStream::Flush() { return FlushWrite() && !m_bFailed; }

std::uint64_t CDataStream::GetLength()
{
    FlushWrite();
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) return 0;
    return std::uint64_t(st.st_size);
}

bool CDataStream::SetLength(std::uint64_t length)
{
    if (!m_bWritable || !FlushWrite()) return false;
    if (::ftruncate(m_fd, off_t(length)) != 0) {
        m_iErrno = errno;
        return false;
    }
    return true;
}
