#pragma once
// RIFF chunk reader and writer with the descend / find-chunk / ascend / create
// semantics of the multimedia file functions that the WAVE conversions were
// written against. A chunk is described by CRiffChunk; positions are 64-bit so
// that a lying size field can never wrap an offset.
//
// Reading never trusts a size field: searches stop at the end of the parent
// chunk or of the file, whichever comes first, and a chunk that claims more
// bytes than remain is still returned (its reader sees the shortfall when it
// reads), because the WAVE import reports that case as a warning.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

constexpr std::uint32_t RiffFourCC(const char (&s)[5])
{
    return std::uint32_t(std::uint8_t(s[0])) | std::uint32_t(std::uint8_t(s[1])) << 8 |
           std::uint32_t(std::uint8_t(s[2])) << 16 | std::uint32_t(std::uint8_t(s[3])) << 24;
}

// Open flags (values as in the multimedia API so call sites read the same).
constexpr unsigned MMIO_READ = 0x0000;
constexpr unsigned MMIO_WRITE = 0x0001;
constexpr unsigned MMIO_READWRITE = 0x0002;
constexpr unsigned MMIO_EXCLUSIVE = 0x0010;
constexpr unsigned MMIO_CREATE = 0x1000;
// With MMIO_CREATE: fail when the file exists instead of truncating it, so a
// writer never takes over a file that it did not make.
constexpr unsigned MMIO_CREATE_NEW = 0x00100000;
// Descend flags.
constexpr unsigned MMIO_FINDCHUNK = 0x0010;
constexpr unsigned MMIO_FINDRIFF = 0x0020;
constexpr unsigned MMIO_FINDLIST = 0x0040;
// Create-chunk flags.
constexpr unsigned MMIO_CREATERIFF = 0x0020;
constexpr unsigned MMIO_CREATELIST = 0x0040;
// Results of Descend / Ascend / CreateChunk / Close.
constexpr unsigned MMSYSERR_NOERROR = 0;
constexpr unsigned MMIOERR_CANNOTOPEN = 257;
constexpr unsigned MMIOERR_CANNOTCLOSE = 258;
constexpr unsigned MMIOERR_CANNOTREAD = 259;
constexpr unsigned MMIOERR_CANNOTWRITE = 260;
constexpr unsigned MMIOERR_CANNOTSEEK = 261;
constexpr unsigned MMIOERR_CHUNKNOTFOUND = 265;

struct CRiffChunk {
    std::uint32_t ckid = 0;      // chunk identifier
    std::uint32_t cksize = 0;    // size of the data field (includes the form type of RIFF/LIST)
    std::uint32_t fccType = 0;   // form or list type of RIFF and LIST chunks
    std::uint64_t dataOffset = 0;  // file offset of the data field
    bool dirty = false;          // created by CreateChunk: Ascend fixes its size
};

class CRiffFile {
public:
    CRiffFile();
    ~CRiffFile();  // closes without reporting
    CRiffFile(const CRiffFile&) = delete;
    CRiffFile& operator=(const CRiffFile&) = delete;

    // Opens a file. MMIO_CREATE creates or truncates; MMIO_EXCLUSIVE takes an
    // advisory lock so that a second exclusive open fails like a sharing
    // violation. Returns false and keeps errno in LastError() on failure.
    // Faults injected through FileSystem::CScopedFileFault hit the open and
    // every write.
    bool Open(const char* path, unsigned flags);
    // Reads from memory that the caller keeps alive; read only.
    bool OpenMemory(const void* data, std::size_t size);
    bool IsOpen() const;
    unsigned Close();

    // Reads the next chunk header at the current position (no flag), or
    // searches for ck.ckid (MMIO_FINDCHUNK), for a RIFF form ck.fccType
    // (MMIO_FINDRIFF) or a LIST of type ck.fccType (MMIO_FINDLIST), within
    // `parent` when given. On success the position is at the data field
    // (after the form type for RIFF and LIST).
    unsigned Descend(CRiffChunk& ck, const CRiffChunk* parent, unsigned flags);
    // Leaves the chunk: a created chunk gets its size written (and a pad byte
    // when odd); the position moves to the end of the chunk, padded to even.
    unsigned Ascend(CRiffChunk& ck);
    // Writes a chunk header at the current position. RIFF and LIST chunks
    // carry ck.fccType.
    unsigned CreateChunk(CRiffChunk& ck, unsigned flags);

    // Byte transfer at the current position; returns the byte count, -1 on error.
    long Read(void* buffer, long count);
    long Write(const void* buffer, long count);
    // Seek like lseek (SEEK_SET, SEEK_CUR, SEEK_END); -1 on error.
    std::int64_t Seek(std::int64_t offset, int whence);
    std::int64_t Tell() const;
    std::int64_t Size() const;
    bool Truncate(std::uint64_t size);
    int LastError() const { return m_iErrno; }
    // The descriptor of a file opened with Open, -1 otherwise (memory images),
    // for copies the kernel can do by itself.
    int GetFileDescriptor() const;

private:
    struct Backend;
    std::unique_ptr<Backend> m_backend;
    std::uint64_t m_pos = 0;
    int m_iErrno = 0;

    bool ReadExact(void* buffer, std::size_t count);
    bool WriteAt(std::uint64_t pos, const void* buffer, std::size_t count);
};
