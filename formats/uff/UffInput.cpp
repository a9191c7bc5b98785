#include "formats/uff/UffInput.h"

#include <algorithm>
#include <cstring>

std::size_t CUffMemorySource::Read(void* dst, std::size_t n)
{
    std::size_t k = std::min(n, m_n - m_pos);
    if (k)
        std::memcpy(dst, m_p + m_pos, k);
    m_pos += k;
    return k;
}

bool CUffMemorySource::Seek(std::uint64_t pos)
{
    if (pos > m_n)
        return false;
    m_pos = std::size_t(pos);
    return true;
}

CUffFileSource::~CUffFileSource()
{
    if (m_f)
        std::fclose(m_f);
}

bool CUffFileSource::Attach(std::FILE* f)
{
    if (m_f)
        std::fclose(m_f);
    m_f = f;
    m_size = 0;
    if (!f)
        return false;
    if (fseeko(f, 0, SEEK_END) != 0)
        return false;
    off_t end = ftello(f);
    if (end < 0 || fseeko(f, 0, SEEK_SET) != 0)
        return false;
    m_size = std::uint64_t(end);
    return true;
}

std::size_t CUffFileSource::Read(void* dst, std::size_t n)
{
    return m_f ? std::fread(dst, 1, n, m_f) : 0;
}

bool CUffFileSource::Seek(std::uint64_t pos)
{
    return m_f && pos <= m_size && fseeko(m_f, off_t(pos), SEEK_SET) == 0;
}

// ---- line reader ------------------------------------------------------------------

CUffLineReader::CUffLineReader(IUffByteSource& src, std::size_t bufferBytes)
    : m_src(src),
      // A small input needs no large buffer.
      m_buf(bufferBytes ? std::max<std::size_t>(bufferBytes, 4096)
                        : std::size_t(std::clamp<std::uint64_t>(src.Size() + 1, 4096, 1u << 20)))
{
    m_line.reserve(kLineLimit + 2);
}

bool CUffLineReader::Fill()
{
    // Keep nothing: callers copy what they need before asking for more bytes.
    m_uBufPos += m_uNext;
    if (m_uNext < m_uEnd)
        std::memmove(m_buf.data(), m_buf.data() + m_uNext, m_uEnd - m_uNext);
    m_uEnd -= m_uNext;
    m_uNext = 0;
    if (!m_src.Seek(m_uBufPos + m_uEnd))
        return false;
    std::size_t got = m_src.Read(m_buf.data() + m_uEnd, m_buf.size() - m_uEnd);
    m_uEnd += got;
    return got > 0;
}

bool CUffLineReader::ReadLine(SLine& line, std::size_t limit)
{
    m_line.clear();
    std::size_t total = 0;  // characters before the LF
    bool any = false, newline = false;
    char last = 0;
    for (;;) {
        if (m_uNext == m_uEnd && !Fill())
            break;
        any = true;
        const char* start = m_buf.data() + m_uNext;
        const char* end = m_buf.data() + m_uEnd;
        const char* lf = static_cast<const char*>(std::memchr(start, '\n', std::size_t(end - start)));
        const char* stop = lf ? lf : end;
        std::size_t n = std::size_t(stop - start);
        // One character beyond the limit is kept so that a CR there can still be recognised.
        if (m_line.size() <= limit)
            m_line.append(start, std::min(n, limit + 1 - m_line.size()));
        if (n)
            last = stop[-1];
        total += n;
        m_uNext += n;
        if (lf) {
            ++m_uNext;
            newline = true;
            break;
        }
    }
    if (!any)
        return false;
    ++m_uLine;
    // A CR before the LF belongs to the line end (files written in text mode on Windows).
    if (newline && total > 0 && last == '\r') {
        --total;
        if (m_line.size() > total)
            m_line.resize(total);
    }
    line.bCut = m_line.size() > limit;
    if (line.bCut)
        m_line.resize(limit);
    line.text = m_line;
    line.bTooLong = total > 80;
    line.uCounted = unsigned(std::min<std::size_t>(total, 0xFFFFFFF0u)) + (newline ? 1u : 0u);
    return true;
}

std::size_t CUffLineReader::ReadBytes(void* dst, std::size_t n)
{
    char* out = static_cast<char*>(dst);
    std::size_t done = 0;
    while (done < n) {
        if (m_uNext == m_uEnd) {
            // Large requests bypass the buffer.
            if (n - done >= m_buf.size() / 2) {
                m_uBufPos += m_uEnd;
                m_uNext = m_uEnd = 0;
                if (!m_src.Seek(m_uBufPos))
                    break;
                std::size_t got = m_src.Read(out + done, n - done);
                m_uBufPos += got;
                done += got;
                break;
            }
            if (!Fill())
                break;
        }
        std::size_t k = std::min(n - done, m_uEnd - m_uNext);
        std::memcpy(out + done, m_buf.data() + m_uNext, k);
        m_uNext += k;
        done += k;
    }
    return done;
}

std::uint64_t CUffLineReader::Remaining() const
{
    std::uint64_t pos = Tell();
    std::uint64_t size = m_src.Size();
    return pos < size ? size - pos : 0;
}

bool CUffLineReader::SkipBytes(std::uint64_t n)
{
    if (n > Remaining())
        return Seek(m_src.Size(), m_uLine) && false;
    return Seek(Tell() + n, m_uLine);
}

bool CUffLineReader::Seek(std::uint64_t pos, unsigned lineNumber)
{
    m_uLine = lineNumber;
    if (pos >= m_uBufPos && pos <= m_uBufPos + m_uEnd) {
        m_uNext = std::size_t(pos - m_uBufPos);
        return true;
    }
    if (pos > m_src.Size())
        return false;
    m_uBufPos = pos;
    m_uNext = m_uEnd = 0;
    return true;
}

bool uff_is_start_stop_line(std::string_view line)
{
    if (line.size() < 6 || line.substr(0, 6) != "    -1")
        return false;
    for (char c : line.substr(6))
        if (c != ' ')
            return false;
    return true;
}
