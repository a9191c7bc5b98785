#include "platform/FileSystem.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileSystem {

namespace {

std::mutex g_hookMutex;
FaultHook g_hook;

// Retries a system call interrupted by a signal.
template <class F>
auto NoIntr(F f) {
    decltype(f()) r;
    do {
        r = f();
    } while (r == -1 && errno == EINTR);
    return r;
}

}  // namespace

unsigned MapErrno(int iErrno) {
    switch (iErrno) {
    case 0:
        return kErrorNone;
    case EACCES:
    case EPERM:
        return kErrorAccessDenied;
    case EROFS:
        return kErrorWriteProtect;
    default:
        return kErrorOther;
    }
}

SError ErrorFromErrno(int iErrno) {
    return SError{MapErrno(iErrno), iErrno};
}

void SetFaultHook(FaultHook hook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_hook = std::move(hook);
}

int InjectedFault(EOp op, const std::string& path) {
    FaultHook hook;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        hook = g_hook;
    }
    return hook ? hook(op, path) : 0;
}

namespace {
// Tests inject faults into reads and writes one call at a time; a kernel copy
// would pass by them, so it is used only when no hook is set.
bool FaultHookSet() {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    return bool(g_hook);
}
}  // namespace

CScopedFileFault::CScopedFileFault(int iErrno, EOp op, const char* pszPathPart) {
    std::string part = pszPathPart ? pszPathPart : "";
    SetFaultHook([=](EOp o, const std::string& path) {
        return (o == op && (part.empty() || path.find(part) != std::string::npos)) ? iErrno : 0;
    });
}

CScopedFileFault::CScopedFileFault(FaultHook hook) {
    SetFaultHook(std::move(hook));
}

CScopedFileFault::~CScopedFileFault() {
    SetFaultHook(nullptr);
}

// ---------------------------------------------------------------------------

CFile::~CFile() {
    Close();
}

CFile::CFile(CFile&& o) noexcept : m_fd(o.m_fd), m_sPath(std::move(o.m_sPath)), m_error(o.m_error) {
    o.m_fd = -1;
}

CFile& CFile::operator=(CFile&& o) noexcept {
    if (this != &o) {
        Close();
        m_fd = o.m_fd;
        m_sPath = std::move(o.m_sPath);
        m_error = o.m_error;
        o.m_fd = -1;
    }
    return *this;
}

bool CFile::OpenWith(const char* pszPath, int flags, bool bTruncate, EShare share, EOp op) {
    Close();
    m_error = SError{};
    m_sPath = pszPath ? pszPath : "";
    if (int e = InjectedFault(op, m_sPath)) {
        m_error = ErrorFromErrno(e);
        return false;
    }
    int fd = NoIntr([&] { return ::open(m_sPath.c_str(), flags | O_CLOEXEC, 0666); });
    if (fd < 0) {
        m_error = ErrorFromErrno(errno);
        return false;
    }
    // The lock comes before any truncation: a file that another process holds
    // must keep its contents.
    int lockOp = (share == EShare::None ? LOCK_EX : LOCK_SH) | LOCK_NB;
    if (NoIntr([&] { return ::flock(fd, lockOp); }) != 0) {
        int e = errno;
        ::close(fd);
        if (e == EWOULDBLOCK || e == EAGAIN)
            m_error = SError{kErrorSharingViolation, e};
        else
            m_error = ErrorFromErrno(e);
        return false;
    }
    // A file that is empty already is not cut: ext4 writes a file cut to
    // nothing out to the disk when it is closed, and removing it afterwards
    // waits for that (a temporary file made empty to reserve its name and
    // then written is the common case).
    struct stat st {};
    if (bTruncate && ::fstat(fd, &st) == 0 && st.st_size == 0)
        bTruncate = false;
    if (bTruncate && NoIntr([&] { return ::ftruncate(fd, 0); }) != 0) {
        int e = errno;
        ::close(fd);
        m_error = ErrorFromErrno(e);
        return false;
    }
    m_fd = fd;
    return true;
}

bool CFile::Create(const char* pszPath, EShare share) {
    return OpenWith(pszPath, O_WRONLY | O_CREAT, true, share, EOp::Create);
}

bool CFile::CreateNew(const char* pszPath, EShare share) {
    return OpenWith(pszPath, O_WRONLY | O_CREAT | O_EXCL, false, share, EOp::Create);
}

bool CFile::Open(const char* pszPath, bool bWrite, EShare share) {
    return OpenWith(pszPath, bWrite ? O_RDWR : O_RDONLY, false, share, EOp::Open);
}

long long CFile::Read(void* pBuffer, std::size_t uSize) {
    if (m_fd < 0)
        return -1;
    if (int e = InjectedFault(EOp::Read, m_sPath)) {
        m_error = ErrorFromErrno(e);
        return -1;
    }
    char* p = static_cast<char*>(pBuffer);
    std::size_t done = 0;
    while (done < uSize) {
        ssize_t n = NoIntr([&] { return ::read(m_fd, p + done, uSize - done); });
        if (n < 0) {
            m_error = ErrorFromErrno(errno);
            return -1;
        }
        if (n == 0)
            break;
        done += std::size_t(n);
    }
    return (long long)done;
}

bool CFile::Write(const void* pData, std::size_t uSize) {
    if (m_fd < 0)
        return false;
    if (int e = InjectedFault(EOp::Write, m_sPath)) {
        m_error = ErrorFromErrno(e);
        return false;
    }
    const char* p = static_cast<const char*>(pData);
    std::size_t done = 0;
    while (done < uSize) {
        ssize_t n = NoIntr([&] { return ::write(m_fd, p + done, uSize - done); });
        if (n < 0) {
            m_error = ErrorFromErrno(errno);
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}

bool CFile::Seek(long long llOffset) {
    if (m_fd < 0)
        return false;
    if (::lseek(m_fd, off_t(llOffset), SEEK_SET) < 0) {
        m_error = ErrorFromErrno(errno);
        return false;
    }
    return true;
}

long long CFile::GetSize() {
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
        return -1;
    return (long long)st.st_size;
}

void Reserve(int fd, std::uint64_t uEnd) {
    // The size stays, so a job that fails leaves the same file as before,
    // and no file-size limit is hit before the writes themselves reach it.
    if (fd >= 0 && uEnd > 0 && uEnd <= std::uint64_t(std::numeric_limits<off_t>::max()))
        (void)::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(uEnd));
}

bool WriteAt(int fd, std::uint64_t offset, const void* data, std::size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (n > 0) {
        const ssize_t k = ::pwrite(fd, p, n, off_t(offset));
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0) {
            if (k == 0)
                errno = ENOSPC;   // a write that takes nothing: no room
            return false;
        }
        p += k;
        n -= std::size_t(k);
        offset += std::uint64_t(k);
    }
    return true;
}

bool CFile::Flush() {
    if (m_fd < 0)
        return false;
    if (::fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS) {
        m_error = ErrorFromErrno(errno);
        return false;
    }
    return true;
}

void CFile::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);  // releases the flock of this open file description
        m_fd = -1;
    }
}

// ---------------------------------------------------------------------------

bool FileExists(const char* pszPath) {
    struct stat st;
    if (!pszPath || InjectedFault(EOp::Stat, pszPath))
        return false;
    return ::stat(pszPath, &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const char* pszPath) {
    struct stat st;
    if (!pszPath || InjectedFault(EOp::Stat, pszPath))
        return false;
    return ::stat(pszPath, &st) == 0 && S_ISDIR(st.st_mode);
}

bool GetModificationTime(const char* pszPath, std::int64_t* pNanoseconds) {
    struct stat st;
    if (!pszPath || InjectedFault(EOp::Stat, pszPath) || ::stat(pszPath, &st) != 0)
        return false;
    if (pNanoseconds)
        *pNanoseconds = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

bool IsSameFile(const char* pszPathA, const char* pszPathB) {
    struct stat a, b;
    if (!pszPathA || !pszPathB || ::stat(pszPathA, &a) != 0 || ::stat(pszPathB, &b) != 0)
        return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

SError RemoveFile(const char* pszPath) {
    if (int e = InjectedFault(EOp::Remove, pszPath ? pszPath : ""))
        return ErrorFromErrno(e);
    if (!pszPath || ::unlink(pszPath) != 0)
        return ErrorFromErrno(pszPath ? errno : EINVAL);
    return SError{};
}

SError RenameFile(const char* pszFrom, const char* pszTo) {
    if (int e = InjectedFault(EOp::Rename, pszTo ? pszTo : ""))
        return ErrorFromErrno(e);
    if (!pszFrom || !pszTo || ::rename(pszFrom, pszTo) != 0)
        return ErrorFromErrno(pszFrom && pszTo ? errno : EINVAL);
    return SError{};
}

SError MakeDirectory(const char* pszPath) {
    if (int e = InjectedFault(EOp::MakeDirectory, pszPath ? pszPath : ""))
        return ErrorFromErrno(e);
    if (!pszPath || ::mkdir(pszPath, 0777) != 0)
        return ErrorFromErrno(pszPath ? errno : EINVAL);
    return SError{};
}

SError CopyFile(const char* pszFrom, const char* pszTo, bool bFailIfExists) {
    if (int e = InjectedFault(EOp::Copy, pszTo ? pszTo : ""))
        return ErrorFromErrno(e);
    if (!pszFrom || !pszTo)
        return ErrorFromErrno(EINVAL);
    if (IsSameFile(pszFrom, pszTo))
        return SError{kErrorSharingViolation, EBUSY};
    CFile in;
    if (!in.Open(pszFrom, false, EShare::Read))
        return in.GetError();
    CFile out;
    bool ok = bFailIfExists ? out.CreateNew(pszTo) : out.Create(pszTo);
    if (!ok)
        return out.GetError();
    // Only a target this call made is removed after a failure; one that
    // existed stays for its owner.
    auto failed = [&](SError e) {
        out.Close();
        if (bFailIfExists)
            ::unlink(pszTo);
        return e;
    };
    // The kernel copies file to file where it can; fixed blocks through
    // memory serve the rest (another file system, an older kernel), so data
    // move in blocks whatever the file size.
    for (bool kernel = !FaultHookSet(); kernel;) {
        const ssize_t n = ::copy_file_range(in.Handle(), nullptr, out.Handle(), nullptr, std::size_t(1) << 30, 0);
        if (n > 0)
            continue;
        if (n == 0)
            return SError{};
        if (errno == EINTR)
            continue;
        if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)
            break;
        return failed(ErrorFromErrno(errno));
    }
    char buffer[65536];
    for (;;) {
        long long n = in.Read(buffer, sizeof buffer);
        if (n < 0)
            return failed(in.GetError());
        if (n == 0)
            break;
        if (!out.Write(buffer, std::size_t(n)))
            return failed(out.GetError());
    }
    return SError{};
}

CString MakeTempFile(const char* pszDirectory, const char* pszPrefix) {
    std::string dir = pszDirectory && *pszDirectory ? pszDirectory : "";
    if (dir.empty()) {
        const char* t = std::getenv("TMPDIR");
        dir = t && *t ? t : "/tmp";
    }
    if (dir.back() != '/')
        dir += '/';
    std::string tmpl = dir + (pszPrefix ? pszPrefix : "") + "XXXXXX";
    if (int e = InjectedFault(EOp::Create, tmpl)) {
        errno = e;
        return CString();
    }
    // Close-on-exec: a program another thread starts meanwhile must not
    // keep the file open.
    int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0)
        return CString();
    ::close(fd);
    return CString(tmpl);
}

}  // namespace FileSystem
