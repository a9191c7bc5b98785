#pragma once
// Byte sources and the line reader of the universal-file importer. The reader
// works on any random-access byte source, so the fuzz target and the tests can
// hand it memory while the job hands it a file.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

class IUffByteSource {
public:
    virtual ~IUffByteSource() = default;
    // Reads up to n bytes at the current position; returns the count read.
    virtual std::size_t Read(void* dst, std::size_t n) = 0;
    virtual bool Seek(std::uint64_t pos) = 0;
    virtual std::uint64_t Size() const = 0;
};

class CUffMemorySource : public IUffByteSource {
public:
    CUffMemorySource(const void* data, std::size_t size)
        : m_p(static_cast<const unsigned char*>(data)), m_n(size) {}
    std::size_t Read(void* dst, std::size_t n) override;
    bool Seek(std::uint64_t pos) override;
    std::uint64_t Size() const override { return m_n; }

private:
    const unsigned char* m_p;
    std::size_t m_n;
    std::size_t m_pos = 0;
};

// A file opened for reading; the stream is closed with the object.
class CUffFileSource : public IUffByteSource {
public:
    CUffFileSource() = default;
    ~CUffFileSource() override;
    CUffFileSource(const CUffFileSource&) = delete;
    CUffFileSource& operator=(const CUffFileSource&) = delete;
    // Adopts an open stream (nullptr fails).
    bool Attach(std::FILE* f);
    bool IsOpen() const { return m_f != nullptr; }
    std::size_t Read(void* dst, std::size_t n) override;
    bool Seek(std::uint64_t pos) override;
    std::uint64_t Size() const override { return m_size; }

private:
    std::FILE* m_f = nullptr;
    std::uint64_t m_size = 0;
};

// Reads a byte source line by line. CR LF and LF end a line alike; a line is
// kept up to its limit and the rest of a longer one is dropped (not read as a
// line of its own), so memory stays bounded whatever the input holds.
// Several readers may share one source: each places the source at its own
// position before it reads.
class CUffLineReader {
public:
    static constexpr std::size_t kLineLimit = 82;

    // bufferBytes 0: as large as the input, at most 1 MiB.
    explicit CUffLineReader(IUffByteSource& src, std::size_t bufferBytes = 0);

    struct SLine {
        std::string_view text;  // without CR/LF, at most kLineLimit characters
        unsigned uCounted = 0;  // length as counted for the warnings: text plus one newline
        bool bTooLong = false;  // more than 80 characters before the line end
        bool bCut = false;      // longer than the limit it was read with: text is cut
    };

    // Next line, or false at the end of the input. Counts every line read.
    // Header lines are read with the 82-character limit; data lines, whose
    // numbers must not be cut, with a larger one.
    bool ReadLine(SLine& line, std::size_t limit = kLineLimit);
    static constexpr std::size_t kDataLineLimit = 1u << 16;
    // Raw bytes (binary data of a 58b data set); returns the count read.
    std::size_t ReadBytes(void* dst, std::size_t n);
    // Skips n bytes; false when the input ends first.
    bool SkipBytes(std::uint64_t n);

    std::uint64_t Tell() const { return m_uBufPos + m_uNext; }
    bool Seek(std::uint64_t pos, unsigned lineNumber);
    unsigned LineNumber() const { return m_uLine; }
    std::uint64_t Size() const { return m_src.Size(); }
    std::uint64_t Remaining() const;

private:
    bool Fill();

    IUffByteSource& m_src;
    std::vector<char> m_buf;
    std::size_t m_uNext = 0;     // next unread byte in m_buf
    std::size_t m_uEnd = 0;      // bytes valid in m_buf
    std::uint64_t m_uBufPos = 0; // source position of m_buf[0]
    unsigned m_uLine = 0;
    std::string m_line;
};

// A start/stop line: "    -1" followed by nothing but blanks.
bool uff_is_start_stop_line(std::string_view line);
