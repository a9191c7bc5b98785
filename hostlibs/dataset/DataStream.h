#pragma once
// The buffered byte stream over a data set's file that GetPtrToFile hands
// out: imports copy interleaved samples straight into it. Positions are
// absolute file offsets; right after a data set is created the stream stands
// at GetStartOfDataInFile(). Writes are buffered (up to 256 KiB,
// the buffer growing with them); a failed system
// write sets the error state, which stays until ClearError.

#include <cstddef>
#include <cstdint>
#include <vector>

class CDataStream {
public:
    CDataStream(int fd, std::uint64_t position, bool writable, std::size_t bufferSize = 256u << 10);
    ~CDataStream();
    CDataStream(const CDataStream&) = delete;
    CDataStream& operator=(const CDataStream&) = delete;

    // Bytes written (all of them unless the stream failed or is read-only).
    std::size_t Write(const void* data, std::size_t n);
    // Copies `length` bytes of another open file, from its byte `offset`,
    // to the stream's position (in the kernel where the system can, so an
    // import that takes samples unchanged runs at the speed of cp). Returns
    // the bytes copied: fewer at the end of the source, or on failure (then
    // the error state is set).
    std::uint64_t CopyFrom(int fd, std::uint64_t offset, std::uint64_t length);
    // Sets aside the file's blocks up to byte `end` for the writes to come
    // (FileSystem::Reserve; the size stays). CopyFrom does it for its own
    // range.
    void Reserve(std::uint64_t end);
    // Bytes read (fewer at the end of the file).
    std::size_t Read(void* data, std::size_t n);
    bool Seek(std::uint64_t position);
    std::uint64_t Tell() const { return m_uPos; }
    bool Flush();
    bool Good() const { return !m_bFailed; }
    bool Fail() const { return m_bFailed; }
    void ClearError() { m_bFailed = false; }
    // File length, pending writes included.
    std::uint64_t GetLength();
    // Cut or extend the file (the stand-in of _chsize); the position stays.
    bool SetLength(std::uint64_t length);
    int GetErrno() const { return m_iErrno; }

    // stdio-like spellings for code written against FILE*.
    std::size_t write(const void* d, std::size_t n) { return Write(d, n); }
    std::size_t read(void* d, std::size_t n) { return Read(d, n); }

private:
    bool FlushWrite();
    int m_fd;
    bool m_bWritable;
    std::uint64_t m_uPos;              // logical position
    std::vector<unsigned char> m_buf;  // pending writes for [m_uBufPos, m_uBufPos + m_nBuf)
    std::size_t m_nCapacity = 0;       // the most m_buf grows to (0: read-only)
    std::uint64_t m_uBufPos = 0;
    std::size_t m_nBuf = 0;
    bool m_bFailed = false;
    int m_iErrno = 0;
};
