#include "formats/ascii/AsciiFastLine.h"

#include "formats/ascii/AsciiColumnStats.h"

#include <charconv>
#include <cstdint>

namespace {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }
inline bool IsNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '_';
}

// Powers of ten that a double holds exactly.
constexpr double g_dPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                               1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                               1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The scanner refuses numerals of 100 characters; stay clear of the limit.
constexpr std::ptrdiff_t g_nMaxNumeral = 98;

} // namespace

const char* ParseAsciiNumeral(const char* p, const char* e, double& value)
{
    const char* const start = p;
    // Digits go into the mantissa as they come; with more than 19 of them it
    // may wrap, which only matters on the paths that then leave it to from_chars.
    std::uint64_t mant = 0;
    while (p < e && IsDigit(*p)) mant = mant * 10 + unsigned(*p++ - '0');
    int digits = int(p - start);
    int exp10 = 0;
    bool isFloat = false;
    if (p < e && *p == '.') {
        isFloat = true;
        const char* frac = ++p;
        while (p < e && IsDigit(*p)) mant = mant * 10 + unsigned(*p++ - '0');
        exp10 = -int(p - frac);
        digits += int(p - frac);
    }
    if (p < e && (*p == 'e' || *p == 'E')) {
        isFloat = true;
        ++p;
        bool neg = false;
        if (p < e && (*p == '+' || *p == '-')) neg = *p++ == '-';
        if (p == e || !IsDigit(*p)) return nullptr; // error in exponent
        int x = 0;
        while (p < e && IsDigit(*p)) {
            if (x < 100000) x = x * 10 + (*p - '0');
            ++p;
        }
        exp10 += neg ? -x : x;
    }
    if (p - start > g_nMaxNumeral) return nullptr;
    if (!isFloat) {
        // Integers of up to 19 digits fit the mantissa exactly and convert with
        // one rounding; longer ones go the way of the scanner's digits.
        if (digits <= 19) {
            value = double(mant);
            return p;
        }
        double v = 0.0;
        auto r = std::from_chars(start, p, v, std::chars_format::fixed);
        if (r.ec != std::errc() || r.ptr != p) return nullptr;
        value = v;
        return p;
    }
    if (digits <= 19 && mant <= (std::uint64_t(1) << 53) && exp10 >= -22 && exp10 <= 22) {
        // Both operands exact, one rounding: the correctly rounded result.
        value = exp10 < 0 ? double(mant) / g_dPow10[-exp10] : double(mant) * g_dPow10[exp10];
        return p;
    }
    double v = 0.0;
    auto r = std::from_chars(start, p, v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != p) return nullptr; // overflow, underflow: atof's business
    value = v;
    return p;
}

EAsciiFastLine ParseAsciiNumberLine(const char* p, const char* e, double* values, unsigned& count)
{
    count = 0;
    unsigned seen = 0;
    for (;;) {
        while (p < e && IsSpace(*p)) ++p;
        if (p == e) break;
        // Signs, each possibly followed by white space.
        bool negative = false;
        while (p < e && (*p == '-' || *p == '+')) {
            if (*p == '-') negative = !negative;
            ++p;
            while (p < e && IsSpace(*p)) ++p;
        }
        if (p == e || !IsDigit(*p)) return EAsciiFastLine::decline;
        double v;
        const char* q = ParseAsciiNumeral(p, e, v);
        if (!q) return EAsciiFastLine::decline;
        p = q;
        // A name right after the number is a suffix (or an error): scanner's job.
        if (p < e && IsNameChar(*p)) return EAsciiFastLine::decline;
        if (seen < g_uAsciiMaxColumns) values[count++] = negative ? -v : v;
        ++seen;
        while (p < e && IsSpace(*p)) ++p;
        if (p < e && *p == ',') ++p; // one comma separates like white space
    }
    return seen ? EAsciiFastLine::numbers : EAsciiFastLine::empty;
}
