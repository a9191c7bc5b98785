#include "formats/ascii/AsciiNumberFormat.h"

#include "common/ScientificText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// to_chars with a precision produces exactly what printf gives for the same
// conversion, at a fraction of the cost; the table writer relies on that.
char* FormatPlain(double value, char conversion, int digits, char* out, char* end)
{
    if (conversion == 'e') {
        if (char* p = ScientificText::Append(value, digits, 0, out)) return p;
    }
    std::chars_format fmt = conversion == 'e'   ? std::chars_format::scientific
                            : conversion == 'f' ? std::chars_format::fixed
                                                : std::chars_format::general;
    auto r = std::to_chars(out, end, value, fmt, digits);
    if (r.ec == std::errc()) return r.ptr;
    // Cannot happen with the bounded digits and buffer, but never write garbage.
    char pattern[16];
    std::snprintf(pattern, sizeof pattern, "%%.%d%c", digits, conversion);
    int n = std::snprintf(out, std::size_t(end - out), pattern, value);
    return out + std::clamp(n, 0, int(end - out) - 1);
}

} // namespace

CAsciiNumberFormat::CAsciiNumberFormat(int notation, int digits, bool tabSeparator, bool decimalComma)
    : m_iNotation(notation), m_bComma(decimalComma)
{
    m_iDigits = digits < 0 ? 6 : std::min(digits, g_iMaxDigits);
    switch (notation) {
    case notationGeneral:
        m_bShowPos = true; m_bLeft = true; m_cConversion = 'g';
        break;
    case notationFixed:
        m_bShowPos = false; m_bLeft = false; m_cConversion = 'f';
        break;
    case notationScientific:
        m_bShowPos = true; m_bLeft = false; m_cConversion = 'e';
        break;
    default:
        m_bShowPos = false; m_bLeft = false; m_cConversion = 'f';
        break;
    }
    m_cSeparator = tabSeparator ? '\t' : ' ';
    m_iWidth = notation == notationFixed ? 10 : m_iDigits + 7;
    if (tabSeparator) m_iWidth = 0;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%%%d.%d%c%c", m_iWidth, m_iDigits, m_cConversion, m_cSeparator);
    m_sFormat = buf;
}

char* CAsciiNumberFormat::Append(double value, char* out) const
{
    return m_bComma ? AppendComma(value, out) : AppendStream(value, out);
}

std::string CAsciiNumberFormat::Text(double value) const
{
    char buf[g_nMaxText];
    return std::string(buf, Append(value, buf));
}

// Stream insertion of a double: the float field decides the conversion (none set
// means %g even for the "other" notations), showpos adds "+", the field width
// pads on the right when left-aligned and on the left otherwise.
char* CAsciiNumberFormat::AppendStream(double value, char* out) const
{
    // Scientific values always carry a sign, so they fill the field but for
    // no digits after the point: written in place, shifted in that one case.
    if (m_iNotation == notationScientific) {
        if (char* end = ScientificText::Append(value, m_iDigits, '+', out)) {
            const int len = int(end - out);
            if (len < m_iWidth) {
                const int pad = m_iWidth - len;
                std::memmove(out + pad, out, std::size_t(len));
                std::memset(out, ' ', std::size_t(pad));
                end += pad;
            }
            *end++ = m_cSeparator;
            return end;
        }
    }
    char text[g_nMaxText];
    char* p = text;
    char conversion = m_iNotation == notationFixed        ? 'f'
                      : m_iNotation == notationScientific ? 'e'
                                                          : 'g';
    char* body = p;
    char* end = FormatPlain(value, conversion, m_iDigits, p + 1, text + sizeof text - 2);
    if (m_bShowPos && body[1] != '-') {
        body[0] = '+';
    } else {
        body++;
    }
    int len = int(end - body);
    int pad = std::max(0, m_iWidth - len);
    if (!m_bLeft) {
        std::memset(out, ' ', std::size_t(pad));
        out += pad;
    }
    std::memcpy(out, body, std::size_t(len));
    out += len;
    if (m_bLeft) {
        std::memset(out, ' ', std::size_t(pad));
        out += pad;
    }
    *out++ = m_cSeparator;
    return out;
}

// printf with the format text ("%W.Dc" plus separator): right-aligned, no sign
// for positive values; then the first "." becomes the decimal comma.
char* CAsciiNumberFormat::AppendComma(double value, char* out) const
{
    char text[g_nMaxText];
    char* end = FormatPlain(value, m_cConversion, m_iDigits, text, text + sizeof text - 2);
    int len = int(end - text);
    int pad = std::max(0, m_iWidth - len);
    if (char* dot = static_cast<char*>(std::memchr(text, '.', std::size_t(len)))) *dot = ',';
    std::memset(out, ' ', std::size_t(pad));
    out += pad;
    std::memcpy(out, text, std::size_t(len));
    out += len;
    *out++ = m_cSeparator;
    return out;
}
