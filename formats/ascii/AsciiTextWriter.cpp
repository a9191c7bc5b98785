#include "formats/ascii/AsciiTextWriter.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

CAsciiTextWriter::CAsciiTextWriter(int fd) : m_fd(fd), m_buffer(g_nBufferSize) {}

char* CAsciiTextWriter::Reserve(std::size_t n)
{
    if (m_nUsed + n > m_buffer.size()) {
        Flush();
        if (n > m_buffer.size()) m_buffer.resize(n);
    }
    return m_buffer.data() + m_nUsed;
}

void CAsciiTextWriter::Raw(std::string_view bytes)
{
    while (!bytes.empty()) {
        if (m_nUsed == m_buffer.size()) Flush();
        std::size_t n = std::min(bytes.size(), m_buffer.size() - m_nUsed);
        std::memcpy(m_buffer.data() + m_nUsed, bytes.data(), n);
        m_nUsed += n;
        bytes.remove_prefix(n);
    }
}

void CAsciiTextWriter::Text(std::string_view text)
{
    for (;;) {
        std::size_t lf = text.find('\n');
        if (lf == std::string_view::npos) {
            Raw(text);
            return;
        }
        Raw(text.substr(0, lf));
        EndLine();
        text.remove_prefix(lf + 1);
    }
}

bool CAsciiTextWriter::Flush()
{
    const char* p = m_buffer.data();
    std::size_t left = m_nUsed;
    m_nUsed = 0;
    if (m_iError) return false;
    while (left > 0) {
        ssize_t n = ::write(m_fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            m_iError = errno;
            return false;
        }
        if (n == 0) {
            m_iError = ENOSPC;
            return false;
        }
        p += n;
        left -= std::size_t(n);
    }
    return true;
}
