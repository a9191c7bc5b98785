#include "platform/Riff.h"

#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::uint32_t Le32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

void PutLe32(unsigned char* p, std::uint32_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
}

constexpr std::uint32_t kRIFF = RiffFourCC("RIFF");
constexpr std::uint32_t kLIST = RiffFourCC("LIST");

}  // namespace

// Positioned I/O over a descriptor or a memory image. Every transfer names its
// offset, so the stream position lives in CRiffFile alone.
struct CRiffFile::Backend {
    int fd = -1;
    std::string path;
    const unsigned char* mem = nullptr;
    std::size_t memSize = 0;
    bool writable = false;

    ~Backend()
    {
        if (fd >= 0)
            ::close(fd);
    }

    // Returns bytes read (short at end of data), -1 with errno on failure.
    long ReadAt(std::uint64_t pos, void* buf, std::size_t n)
    {
        if (mem) {
            if (pos >= memSize)
                return 0;
            std::size_t k = std::min<std::size_t>(n, memSize - std::size_t(pos));
            std::memcpy(buf, mem + pos, k);
            return long(k);
        }
        std::size_t done = 0;
        while (done < n) {
            ssize_t r = ::pread(fd, static_cast<char*>(buf) + done, n - done, off_t(pos + done));
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                return -1;
            }
            if (r == 0)
                break;
            done += std::size_t(r);
        }
        return long(done);
    }

    long WriteAt(std::uint64_t pos, const void* buf, std::size_t n)
    {
        if (mem || !writable) {
            errno = EBADF;
            return -1;
        }
        if (int e = FileSystem::InjectedFault(FileSystem::EOp::Write, path)) {
            errno = e;
            return -1;
        }
        std::size_t done = 0;
        while (done < n) {
            ssize_t r = ::pwrite(fd, static_cast<const char*>(buf) + done, n - done, off_t(pos + done));
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                return done ? long(done) : -1;
            }
            done += std::size_t(r);
        }
        return long(done);
    }

    std::int64_t Size() const
    {
        if (mem)
            return std::int64_t(memSize);
        struct stat st;
        if (::fstat(fd, &st) != 0)
            return -1;
        return std::int64_t(st.st_size);
    }
};

CRiffFile::CRiffFile() = default;
CRiffFile::~CRiffFile() = default;

bool CRiffFile::Open(const char* path, unsigned flags)
{
    Close();
    m_iErrno = 0;
    if (!path) {
        m_iErrno = EINVAL;
        return false;
    }
    int oflags = O_CLOEXEC;
    bool writable = false;
    if (flags & MMIO_READWRITE) {
        oflags |= O_RDWR;
        writable = true;
    } else if (flags & MMIO_WRITE) {
        // Writing alone still reads chunk headers back when ascending.
        oflags |= O_RDWR;
        writable = true;
    } else {
        oflags |= O_RDONLY;
    }
    if (flags & MMIO_CREATE)
        oflags |= (flags & MMIO_CREATE_NEW) ? O_CREAT | O_EXCL : O_CREAT | O_TRUNC;
    // An exclusive create must not truncate a file someone else holds, so
    // open first, lock, then truncate.
    bool truncateAfterLock = (flags & MMIO_EXCLUSIVE) && (oflags & O_TRUNC);
    if (truncateAfterLock)
        oflags &= ~O_TRUNC;
    const auto op = (flags & MMIO_CREATE) ? FileSystem::EOp::Create : FileSystem::EOp::Open;
    if (int e = FileSystem::InjectedFault(op, path)) {
        m_iErrno = e;
        return false;
    }
    int fd = ::open(path, oflags, 0666);
    if (fd < 0) {
        m_iErrno = errno;
        return false;
    }
    if (flags & MMIO_EXCLUSIVE) {
        // The same advisory lock as the file-system services take for their
        // no-sharing opens, so the two refuse each other.
        if (::flock(fd, (writable ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
            m_iErrno = errno;
            ::close(fd);
            return false;
        }
        if (truncateAfterLock && ::ftruncate(fd, 0) != 0) {
            m_iErrno = errno;
            ::close(fd);
            return false;
        }
    }
    m_backend = std::make_unique<Backend>();
    m_backend->fd = fd;
    m_backend->path = path;
    m_backend->writable = writable;
    m_pos = 0;
    return true;
}

bool CRiffFile::OpenMemory(const void* data, std::size_t size)
{
    Close();
    m_backend = std::make_unique<Backend>();
    m_backend->mem = static_cast<const unsigned char*>(data);
    m_backend->memSize = data ? size : 0;
    m_pos = 0;
    return true;
}

bool CRiffFile::IsOpen() const { return m_backend != nullptr; }

unsigned CRiffFile::Close()
{
    if (!m_backend)
        return MMSYSERR_NOERROR;
    unsigned rc = MMSYSERR_NOERROR;
    if (m_backend->fd >= 0) {
        int fd = m_backend->fd;
        m_backend->fd = -1;
        if (::close(fd) != 0) {
            m_iErrno = errno;
            rc = MMIOERR_CANNOTCLOSE;
        }
    }
    m_backend.reset();
    return rc;
}

bool CRiffFile::ReadExact(void* buffer, std::size_t count)
{
    long r = m_backend->ReadAt(m_pos, buffer, count);
    if (r < 0)
        m_iErrno = errno;
    if (r != long(count))
        return false;
    m_pos += count;
    return true;
}

bool CRiffFile::WriteAt(std::uint64_t pos, const void* buffer, std::size_t count)
{
    long r = m_backend->WriteAt(pos, buffer, count);
    if (r != long(count)) {
        m_iErrno = r < 0 ? errno : ENOSPC;
        return false;
    }
    return true;
}

unsigned CRiffFile::Descend(CRiffChunk& ck, const CRiffChunk* parent, unsigned flags)
{
    if (!m_backend)
        return MMIOERR_CANNOTREAD;
    // The search may not leave the parent; a parent that claims more than the
    // file holds ends at the end of the file.
    std::uint64_t limit = UINT64_MAX;
    if (parent)
        limit = parent->dataOffset + parent->cksize;
    std::int64_t size = m_backend->Size();
    if (size >= 0)
        limit = std::min<std::uint64_t>(limit, std::uint64_t(size));

    const std::uint32_t wantId = ck.ckid;
    const std::uint32_t wantType = ck.fccType;
    for (;;) {
        if (m_pos + 8 > limit)
            return flags ? MMIOERR_CHUNKNOTFOUND : MMIOERR_CANNOTREAD;
        unsigned char hdr[8];
        if (!ReadExact(hdr, 8))
            return flags ? MMIOERR_CHUNKNOTFOUND : MMIOERR_CANNOTREAD;
        CRiffChunk found;
        found.ckid = Le32(hdr);
        found.cksize = Le32(hdr + 4);
        found.dataOffset = m_pos;
        bool isContainer = found.ckid == kRIFF || found.ckid == kLIST;
        if (isContainer) {
            unsigned char type[4];
            if (m_pos + 4 > limit || !ReadExact(type, 4))
                return flags ? MMIOERR_CHUNKNOTFOUND : MMIOERR_CANNOTREAD;
            found.fccType = Le32(type);
        }
        bool match;
        if (flags & MMIO_FINDCHUNK)
            match = found.ckid == wantId;
        else if (flags & MMIO_FINDRIFF)
            match = found.ckid == kRIFF && found.fccType == wantType;
        else if (flags & MMIO_FINDLIST)
            match = found.ckid == kLIST && found.fccType == wantType;
        else
            match = true;
        if (match) {
            ck = found;
            return MMSYSERR_NOERROR;
        }
        // Skip the chunk with its pad byte; a size that runs past the limit
        // ends the search on the next round.
        m_pos = found.dataOffset + std::uint64_t(found.cksize) + (found.cksize & 1u);
    }
}

unsigned CRiffFile::Ascend(CRiffChunk& ck)
{
    if (!m_backend)
        return MMIOERR_CANNOTSEEK;
    if (ck.dirty) {
        if (m_pos < ck.dataOffset)
            return MMIOERR_CANNOTSEEK;
        std::uint64_t len = m_pos - ck.dataOffset;
        if (len > UINT32_MAX) {
            m_iErrno = EFBIG;
            return MMIOERR_CANNOTWRITE;
        }
        if (len & 1) {
            unsigned char pad = 0;
            if (!WriteAt(m_pos, &pad, 1))
                return MMIOERR_CANNOTWRITE;
        }
        unsigned char sz[4];
        PutLe32(sz, std::uint32_t(len));
        if (!WriteAt(ck.dataOffset - 4, sz, 4))
            return MMIOERR_CANNOTWRITE;
        ck.cksize = std::uint32_t(len);
        ck.dirty = false;
    }
    m_pos = ck.dataOffset + std::uint64_t(ck.cksize) + (ck.cksize & 1u);
    return MMSYSERR_NOERROR;
}

unsigned CRiffFile::CreateChunk(CRiffChunk& ck, unsigned flags)
{
    if (!m_backend)
        return MMIOERR_CANNOTWRITE;
    unsigned char hdr[12];
    std::size_t n = 8;
    if (flags & MMIO_CREATERIFF)
        ck.ckid = kRIFF;
    else if (flags & MMIO_CREATELIST)
        ck.ckid = kLIST;
    PutLe32(hdr, ck.ckid);
    bool isContainer = ck.ckid == kRIFF || ck.ckid == kLIST;
    std::uint32_t size = isContainer ? std::max<std::uint32_t>(ck.cksize, 4) : ck.cksize;
    PutLe32(hdr + 4, size);
    if (isContainer) {
        PutLe32(hdr + 8, ck.fccType);
        n = 12;
    }
    if (!WriteAt(m_pos, hdr, n))
        return MMIOERR_CANNOTWRITE;
    ck.cksize = size;
    ck.dataOffset = m_pos + 8;
    ck.dirty = true;
    m_pos += n;
    return MMSYSERR_NOERROR;
}

long CRiffFile::Read(void* buffer, long count)
{
    if (!m_backend || count < 0)
        return -1;
    long r = m_backend->ReadAt(m_pos, buffer, std::size_t(count));
    if (r < 0) {
        m_iErrno = errno;
        return -1;
    }
    m_pos += std::uint64_t(r);
    return r;
}

long CRiffFile::Write(const void* buffer, long count)
{
    if (!m_backend || count < 0)
        return -1;
    long r = m_backend->WriteAt(m_pos, buffer, std::size_t(count));
    if (r < 0) {
        m_iErrno = errno;
        return -1;
    }
    if (r < count)
        m_iErrno = ENOSPC;
    m_pos += std::uint64_t(r);
    return r;
}

std::int64_t CRiffFile::Seek(std::int64_t offset, int whence)
{
    if (!m_backend)
        return -1;
    std::int64_t base = 0;
    if (whence == SEEK_CUR)
        base = std::int64_t(m_pos);
    else if (whence == SEEK_END)
        base = m_backend->Size();
    else if (whence != SEEK_SET)
        return -1;
    if (base < 0 || base + offset < 0)
        return -1;
    m_pos = std::uint64_t(base + offset);
    return std::int64_t(m_pos);
}

int CRiffFile::GetFileDescriptor() const { return m_backend ? m_backend->fd : -1; }

std::int64_t CRiffFile::Tell() const { return m_backend ? std::int64_t(m_pos) : -1; }

std::int64_t CRiffFile::Size() const { return m_backend ? m_backend->Size() : -1; }

bool CRiffFile::Truncate(std::uint64_t size)
{
    if (!m_backend || m_backend->fd < 0 || !m_backend->writable)
        return false;
    if (::ftruncate(m_backend->fd, off_t(size)) != 0) {
        m_iErrno = errno;
        return false;
    }
    return true;
}
