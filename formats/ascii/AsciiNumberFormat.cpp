#include "formats/ascii/AsciiNumberFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr double g_dPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                               1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// "%.*e" of a finite, non-zero value with at most 9 digits, the common case of
// a scientific table, at a fraction of the cost of the general algorithm: the
// digits are v × 10^k rounded to an integer, where 10^k is exact and the
// product carries one rounding (relative 2^-53, under 2e-6 for ten digits). A
// value whose digits lie that close to a rounding tie is left to the exact
// conversion (null).
char* FastScientific(double value, int digits, char* out)
{
    if (digits > 9) return nullptr;
    const double a = std::fabs(value);
    if (!(a >= 1e-290 && a <= 1e290)) return nullptr; // zero, subnormal, huge, inf, nan
    int e = int(std::floor(std::log10(a)));
    auto scaled = [&](int k, double& m) {
        if (k < -22 || k > 22) return false;
        m = k >= 0 ? a * g_dPow10[k] : a / g_dPow10[-k];
        return true;
    };
    double m;
    if (!scaled(digits - e, m)) return nullptr;
    // log10 may be off by one next to a power of ten.
    if (m >= g_dPow10[digits + 1]) {
        if (!scaled(digits - ++e, m)) return nullptr;
    } else if (m < g_dPow10[digits]) {
        if (!scaled(digits - --e, m)) return nullptr;
    }
    const double whole = std::floor(m);
    const double frac = m - whole;
    if (std::fabs(frac - 0.5) < 1e-5) return nullptr;
    auto n = static_cast<std::uint64_t>(whole) + (frac > 0.5 ? 1u : 0u);
    if (n >= static_cast<std::uint64_t>(g_dPow10[digits + 1])) {
        n /= 10;
        ++e;
    }
    char text[16];
    for (int i = digits; i >= 0; --i) {
        text[i] = char('0' + n % 10);
        n /= 10;
    }
    if (value < 0) *out++ = '-';
    *out++ = text[0];
    if (digits > 0) {
        *out++ = '.';
        std::memcpy(out, text + 1, std::size_t(digits));
        out += digits;
    }
    *out++ = 'e';
    *out++ = e < 0 ? '-' : '+';
    unsigned x = unsigned(e < 0 ? -e : e);
    if (x >= 100) {
        *out++ = char('0' + x / 100);
        x %= 100;
    }
    *out++ = char('0' + x / 10);
    *out++ = char('0' + x % 10);
    return out;
}

// to_chars with a precision produces exactly what printf gives for the same
// conversion, at a fraction of the cost; the table writer relies on that.
char* FormatPlain(double value, char conversion, int digits, char* out, char* end)
{
    if (conversion == 'e') {
        if (char* p = FastScientific(value, digits, out)) return p;
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
