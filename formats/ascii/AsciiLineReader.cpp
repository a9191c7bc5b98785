#include "formats/ascii/AsciiLineReader.h"

#include "common/scanner/Scanner.h"
#include "formats/ascii/AsciiFastLine.h"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {
// The buffer starts small, so that a short table costs little, and grows for
// long lines; lines longer than its limit are left to the scanner, which
// needs no line buffer.
constexpr std::size_t g_nFirstBufferSize = 1u << 16;
constexpr std::size_t g_nBufferSize = 1u << 20;
} // namespace

CAsciiLineReader::CAsciiLineReader(std::FILE* f, std::int64_t offset, unsigned lineNo, bool useScanner)
    : m_f(f), m_llOffset(offset), m_uLine(lineNo), m_uNextLine(lineNo), m_bScannerMode(useScanner)
{
}

CAsciiLineReader::~CAsciiLineReader() { ScanClose(m_pScanner); }

CAsciiLineReader::EResult CAsciiLineReader::Fail(const char* fmt, ...)
{
    char buf[1536];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    m_sError = buf;
    return EResult::error;
}

CAsciiLineReader::EResult CAsciiLineReader::Next(double* values, unsigned& count)
{
    count = 0;
    if (!m_bStarted) {
        m_bStarted = true;
        if (m_bScannerMode) {
            if (!OpenScanner()) return EResult::error;
        } else {
            if (fseeko(m_f, m_llOffset, SEEK_SET) != 0) return Fail("Can't create stream on file.\n");
            m_buffer = std::make_unique_for_overwrite<char[]>(g_nFirstBufferSize);
            m_nCap = g_nFirstBufferSize;
        }
    }
    if (!m_bScannerMode) {
        EResult r = NextFast(values, count);
        if (r != EResult::restart) return r;
        m_bScannerMode = true;
        m_buffer.reset();
        m_nCap = 0;
        if (!OpenScanner()) return EResult::error;
        return EResult::restart;
    }
    return NextScanned(values, count);
}

bool CAsciiLineReader::OpenScanner()
{
    if (fseeko(m_f, m_llOffset, SEEK_SET) != 0) {
        Fail("Can't create stream on file.\n");
        return false;
    }
    m_pScanner = ScanOpen(m_f, nullptr);
    if (!m_pScanner || ScanNext(m_pScanner)) {
        Fail("Can't create stream on file.\n");
        return false;
    }
    m_pScanner->line = std::int32_t(m_uLine);
    return true;
}

// Moves the unread rest to the front and reads more; false at the end of the
// input (or on a read error, which ends the data the same way fgets would).
bool CAsciiLineReader::Fill()
{
    if (m_bEof) return false;
    if (m_nPos > 0) {
        std::memmove(m_buffer.get(), m_buffer.get() + m_nPos, m_nEnd - m_nPos);
        m_nEnd -= m_nPos;
        m_nPos = 0;
    }
    if (m_nEnd == m_nCap) {
        if (m_nCap >= g_nBufferSize) return false;
        auto bigger = std::make_unique_for_overwrite<char[]>(2 * m_nCap);
        std::memcpy(bigger.get(), m_buffer.get(), m_nEnd);
        m_buffer = std::move(bigger);
        m_nCap *= 2;
    }
    std::size_t n = std::fread(m_buffer.get() + m_nEnd, 1, m_nCap - m_nEnd, m_f);
    if (n == 0) {
        m_bEof = true;
        return false;
    }
    m_nEnd += n;
    return true;
}

CAsciiLineReader::EResult CAsciiLineReader::NextFast(double* values, unsigned& count)
{
    for (;;) {
        const char* begin = m_buffer.get() + m_nPos;
        const char* lf = static_cast<const char*>(std::memchr(begin, '\n', m_nEnd - m_nPos));
        const char* end = lf;
        if (!lf) {
            if (Fill()) continue;
            if (!m_bEof) return EResult::restart; // a line longer than the buffer
            if (m_nEnd == m_nPos) return EResult::end;
            begin = m_buffer.get() + m_nPos;
            end = m_buffer.get() + m_nEnd; // last line without line feed
        }
        switch (ParseAsciiNumberLine(begin, end, values, count)) {
        case EAsciiFastLine::numbers:
            m_nPos = std::size_t((lf ? lf + 1 : end) - m_buffer.get());
            m_uLastLine = m_uNextLine++;
            return EResult::line;
        case EAsciiFastLine::empty:
            m_nPos = std::size_t((lf ? lf + 1 : end) - m_buffer.get());
            ++m_uNextLine;
            if (!lf) return EResult::end;
            break;
        case EAsciiFastLine::decline:
            return EResult::restart;
        }
    }
}

bool CAsciiLineReader::ReadNumber(Scanner* s, double& value)
{
    bool negative = false;
    while (s->kind == '+' || s->kind == '-') {
        if (s->kind == '-') negative = !negative;
        if (ScanNext(s)) return false;
    }
    double v;
    if (s->kind == SCAN_INTEGER) {
        // The token's value is a saturated 32-bit long; its digits hold the
        // whole number (clock times in milliseconds go far beyond 2^31).
        const char* digits = s->numeral;
        const char* end = digits + std::strlen(digits);
        if (std::from_chars(digits, end, v, std::chars_format::fixed).ec != std::errc())
            v = std::strtod(digits, nullptr);
    } else if (s->kind == SCAN_FLOAT) {
        v = s->value.f;
    } else {
        return false; // "error in numeral"
    }
    if (negative) v = -v;
    if (ScanNext(s)) return false;
    if (s->kind == SCAN_IDENT) {
        const char* name = s->value.text;
        bool suffix = true;
        if (strcasecmp(name, "dB") == 0) {
            v = std::pow(10.0, v * 0.05);
        } else if (name[0] != '\0' && name[1] == '\0') {
            switch (name[0]) {
            case 'M': v *= 1e6; break;
            case 'g': v *= 1e9; break;
            case 'k': v *= 1000.0; break;
            case 'm': v *= 0.001; break;
            case 'n': v *= 1e-9; break;
            case 'p': v *= 1e-12; break;
            case 't': v *= 1e12; break;
            case 'u': v *= 1e-6; break;
            default: suffix = false; break;
            }
        } else {
            suffix = false;
        }
        // Any other name stays the current token, so the next number fails on it.
        if (suffix && ScanNext(s)) return false;
    }
    value = v;
    return true;
}

CAsciiLineReader::EResult CAsciiLineReader::NextScanned(double* values, unsigned& count)
{
    Scanner* s = m_pScanner;
    if (s->kind == SCAN_EOL && ScanNextSkipEol(s))
        return Fail("Syntax error in line %u (%s).\n", unsigned(s->line), s->message);
    unsigned seen = 0;
    while (s->kind != SCAN_EOL && s->kind != SCAN_EOF) {
        // The line of the token in hand: the counter already includes line
        // feeds waiting as the current and the look-ahead character.
        const unsigned line = unsigned(s->line) - (s->cur == '\n') - (s->next == '\n');
        if (seen == 0) m_uLastLine = line;
        double v;
        if (!ReadNumber(s, v)) return Fail("Can't read number in line %u.\n", unsigned(s->line));
        // Infinite values (1e999, 7000 dB) would make a data set that cannot be read.
        if (!std::isfinite(v)) return Fail("Number out of range in line %u.\n", line);
        if (seen < g_uAsciiMaxColumns) values[count++] = v;
        ++seen;
        if (s->kind == ',' && ScanNext(s))
            return Fail("Syntax error in line %u (%s).\n", unsigned(s->line), s->message);
    }
    return seen ? EResult::line : EResult::end;
}
