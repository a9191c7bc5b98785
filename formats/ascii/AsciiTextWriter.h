#pragma once
// Buffered writer of the export's text. The table was always written through a
// text-mode stream, so every line feed reaches the disk as CR LF; values never
// contain a line feed and go in untouched, free text is translated.

#include <cstddef>
#include <string_view>
#include <vector>

class CAsciiTextWriter {
public:
    static constexpr std::size_t g_nBufferSize = 1 << 18;

    // Writes to the open descriptor fd, which stays owned by the caller.
    explicit CAsciiTextWriter(int fd);
    CAsciiTextWriter(const CAsciiTextWriter&) = delete;
    CAsciiTextWriter& operator=(const CAsciiTextWriter&) = delete;

    // Room for at least n bytes at the returned position; Commit(end) takes them.
    char* Reserve(std::size_t n);
    void Commit(char* end) { m_nUsed = std::size_t(end - m_buffer.data()); }

    void Raw(std::string_view bytes);
    // Free text: each line feed becomes CR LF.
    void Text(std::string_view text);
    void EndLine() { Raw("\r\n"); }

    // Writes what is buffered. False once any write has failed (errno kept in
    // Error()); later writes are dropped.
    bool Flush();
    bool Failed() const { return m_iError != 0; }
    int Error() const { return m_iError; }

private:
    int m_fd;
    std::vector<char> m_buffer;
    std::size_t m_nUsed = 0;
    int m_iError = 0;
};
