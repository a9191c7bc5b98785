#include "common/ScientificText.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr double g_dPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                               1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// How close to a tie the rounding of the scaled value may come before the
// exact conversion must decide: the product's error is at most half an ulp
// of a number below 10^(digits + 1), with a margin of four.
constexpr double g_dTieGuard[] = {1e-5, 1e-5, 1e-5, 1e-5, 1e-5, 1e-5, 1e-5, 1e-5, 1e-5, 1e-5, 4.5e-5, 4.5e-4, 4.5e-3};

constexpr char g_szPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                             "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                             "8081828384858687888990919293949596979899";

constexpr int g_iMaxDigits = 12;

} // namespace

namespace ScientificText {

char* Append(double value, int digits, char cPlus, char* out)
{
    if (digits < 0 || digits > g_iMaxDigits) return nullptr;
    const double a = std::fabs(value);
    if (!(a >= 1e-290 && a <= 1e290)) return nullptr; // zero, subnormal, huge, inf, nan
    // The decimal exponent from the binary one: floor(e2 · log10 2) is the
    // exponent of 2^e2, and a below 2^(e2 + 1) adds at most one; the
    // approximation of log10 2 may land one too high below 1.
    std::uint64_t bits;
    std::memcpy(&bits, &a, sizeof bits);
    const int e2 = int((bits >> 52) & 0x7FF) - 1023;
    int e = (e2 * 78913) >> 18;
    int k = digits - e;
    if (k < -22 || k > 22) return nullptr;
    double m = k >= 0 ? a * g_dPow10[k] : a / g_dPow10[-k];
    if (m >= g_dPow10[digits + 1]) {
        ++e;
        if (--k < -22) return nullptr;
        m = k >= 0 ? a * g_dPow10[k] : a / g_dPow10[-k];
    } else if (m < g_dPow10[digits]) {
        --e;
        if (++k > 22) return nullptr;
        m = k >= 0 ? a * g_dPow10[k] : a / g_dPow10[-k];
    }
    const double whole = std::floor(m);
    const double frac = m - whole;
    if (std::fabs(frac - 0.5) < g_dTieGuard[digits]) return nullptr;
    auto n = static_cast<std::uint64_t>(whole) + (frac > 0.5 ? 1u : 0u);
    if (n >= static_cast<std::uint64_t>(g_dPow10[digits + 1])) {
        n /= 10;
        ++e;
    }
    if (value < 0)
        *out++ = '-';
    else if (cPlus)
        *out++ = cPlus;
    // The digits from the last one back, two at a time; the first one goes
    // before the point. Up to 9 digits fit 32 bits, whose division is cheaper.
    char* last = out + (digits > 0 ? digits + 1 : 0);
    auto put = [&](auto v) {
        char* p = last;
        int left = digits;
        while (left >= 2) {
            const unsigned q = unsigned(v % 100);
            v /= 100;
            p[-1] = g_szPairs[2 * q];
            p[0] = g_szPairs[2 * q + 1];
            p -= 2;
            left -= 2;
        }
        if (left == 1) {
            *p = char('0' + v % 10);
            v /= 10;
        }
        out[0] = char('0' + v);
    };
    if (n <= 0xFFFFFFFFu)
        put(std::uint32_t(n));
    else
        put(n);
    if (digits > 0) out[1] = '.';
    out = last + 1;
    *out++ = 'e';
    *out++ = e < 0 ? '-' : '+';
    unsigned x = unsigned(e < 0 ? -e : e);
    if (x >= 100) {
        *out++ = char('0' + x / 100);
        x %= 100;
    }
    out[0] = g_szPairs[2 * x];
    out[1] = g_szPairs[2 * x + 1];
    return out + 2;
}

} // namespace ScientificText
