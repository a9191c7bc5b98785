#pragma once
// File-system services with the error vocabulary of the result tables: a
// failed operation reports a Windows error code (5 access denied, 19 write
// protected, 32 sharing violation; any other failure keeps its errno, which
// callers show as "system error %d").
//
// Sharing: Tessel's own "no sharing" opens take an exclusive advisory lock
// (flock) on the file, shared opens a shared lock, so that a file one Tessel
// process holds is refused to another with 32 (sharing violation). Programs that
// take no lock are not seen.
//
// For tests, every operation can be made to fail with a chosen errno through
// an injected fault (CScopedFileFault), because tests often run as root, where
// permissions never fail.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/CString.h"

namespace FileSystem {

// Windows error codes that the result tables distinguish.
constexpr unsigned kErrorNone = 0;
constexpr unsigned kErrorAccessDenied = 5;
constexpr unsigned kErrorWriteProtect = 19;
constexpr unsigned kErrorSharingViolation = 32;
// Any errno that has no code of its own.
constexpr unsigned kErrorOther = 0xFFFFFFFFu;

// Outcome of a failed operation: the Windows code and the errno behind it.
struct SError {
    unsigned uCode = kErrorNone;
    int iErrno = 0;
    bool Failed() const { return uCode != kErrorNone; }
};

// EACCES/EPERM -> 5, EROFS -> 19, EWOULDBLOCK/EAGAIN of a lock -> 32 (only via
// the lock path, see CFile), 0 -> 0, anything else -> kErrorOther.
unsigned MapErrno(int iErrno);
SError ErrorFromErrno(int iErrno);

// Operations that an injected fault can hit.
enum class EOp { Create, Open, Read, Write, Remove, Rename, MakeDirectory, Copy, Stat };

// A fault hook returns the errno to simulate for (operation, path), or 0 to
// let the operation run. One hook at a time, process-wide.
using FaultHook = std::function<int(EOp, const std::string& path)>;
void SetFaultHook(FaultHook hook);
// The errno the hook asks for, 0 when no hook or no fault.
int InjectedFault(EOp op, const std::string& path);

// Installs a hook for its lifetime: every operation of the given kind on a
// path that contains pszPathPart (all paths when null) fails with iErrno.
class CScopedFileFault {
public:
    CScopedFileFault(int iErrno, EOp op, const char* pszPathPart = nullptr);
    explicit CScopedFileFault(FaultHook hook);
    ~CScopedFileFault();
    CScopedFileFault(const CScopedFileFault&) = delete;
    CScopedFileFault& operator=(const CScopedFileFault&) = delete;
};

enum class EShare { None, Read };

// Sets aside the blocks of a file about to be written up to byte uEnd,
// without changing its size. Writing into blocks the file system already
// gave the file skips the bookkeeping of allocating them write by write,
// which costs a quarter of a large write on ext4 (a copy of 256 MiB: 115 ms,
// with the blocks set aside 88 ms). Only a hint: where the file system
// cannot, or the disk is full, the writes report it as before. Callers set
// aside no more than a finished file holds, since blocks past its end stay
// taken until the file is cut.
void Reserve(int fd, std::uint64_t uEnd);

// Writes all `n` bytes at `offset` without moving the file's position
// (interrupted calls resumed). False with errno set on failure (ENOSPC
// for a write that takes nothing).
bool WriteAt(int fd, std::uint64_t offset, const void* data, std::size_t n);

// A file descriptor with its advisory lock, closed (and unlocked) on
// destruction.
class CFile {
public:
    CFile() = default;
    ~CFile();
    CFile(CFile&& o) noexcept;
    CFile& operator=(CFile&& o) noexcept;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Create or truncate for writing without sharing. The file is truncated
    // only after the lock is held, so a file that another process holds keeps
    // its contents; an empty file is not truncated at all.
    bool Create(const char* pszPath, EShare share = EShare::None);
    // Create a new file; fails (EEXIST, kErrorOther) when it exists.
    bool CreateNew(const char* pszPath, EShare share = EShare::None);
    // Open an existing file for reading (bWrite: reading and writing).
    bool Open(const char* pszPath, bool bWrite = false, EShare share = EShare::Read);

    bool IsOpen() const { return m_fd >= 0; }
    int Handle() const { return m_fd; }
    const std::string& GetPath() const { return m_sPath; }
    const SError& GetError() const { return m_error; }

    // Reads up to uSize bytes, returns the count (0 at the end), -1 on error.
    long long Read(void* pBuffer, std::size_t uSize);
    // Writes every byte; false on error (the reason in GetError).
    bool Write(const void* pData, std::size_t uSize);
    bool Seek(long long llOffset);
    long long GetSize();
    // See Reserve below.
    void Reserve(std::uint64_t uEnd) { FileSystem::Reserve(m_fd, uEnd); }
    bool Flush();
    void Close();

private:
    bool OpenWith(const char* pszPath, int flags, bool bTruncate, EShare share, EOp op);
    int m_fd = -1;
    std::string m_sPath;
    SError m_error;
};

bool FileExists(const char* pszPath);       // a regular file (or anything but a directory)
bool DirectoryExists(const char* pszPath);
// Last modification time in nanoseconds since the epoch; false when missing.
bool GetModificationTime(const char* pszPath, std::int64_t* pNanoseconds);
// True when both paths name the same existing file (same device and inode).
bool IsSameFile(const char* pszPathA, const char* pszPathB);

SError RemoveFile(const char* pszPath);
SError RenameFile(const char* pszFrom, const char* pszTo);   // replaces an existing target
SError MakeDirectory(const char* pszPath);                   // one level; EEXIST when it exists
// Copies a file; with bFailIfExists an existing target is an error, and the
// target is removed after a failure. Without it an existing target is
// replaced (an empty one is written without being cut first) and left to
// its owner after a failure.
SError CopyFile(const char* pszFrom, const char* pszTo, bool bFailIfExists);

// A new, empty, uniquely named file in pszDirectory (or $TMPDIR, /tmp when
// null or empty), whose name starts with pszPrefix. Empty on failure.
CString MakeTempFile(const char* pszDirectory = nullptr, const char* pszPrefix = "ts");

}  // namespace FileSystem
