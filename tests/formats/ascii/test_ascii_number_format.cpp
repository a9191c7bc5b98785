// Every layout the export can be set to, against the independent references:
// a C++ stream for the decimal point, printf for the decimal comma, over
// random values of every magnitude, every notation and every digit count;
// and a few texts written out.

#include "formats/ascii/AsciiNumberFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Blank-separated fields are 10 characters wide in fixed notation and
// digits + 7 otherwise; tab-separated ones are not padded.
int FieldWidth(int notation, int digits, bool tab) { return tab ? 0 : (notation == 1 ? 10 : digits + 7); }

std::string StreamReference(int notation, int digits, bool tab, double v)
{
    std::ostringstream os;
    os.unsetf(std::ios::floatfield);
    switch (notation) {
    case 0: os.setf(std::ios::showpos | std::ios::left); break;
    case 1: os.setf(std::ios::fixed); break;
    case 2: os.setf(std::ios::scientific | std::ios::showpos); break;
    default: break;
    }
    os.precision(digits);
    os << std::setw(FieldWidth(notation, digits, tab)) << v << (tab ? '\t' : ' ');
    return os.str();
}

// printf with %g, %f or %e by notation (any other notation writes %f), the
// first point replaced by a comma.
std::string CommaReference(int notation, int digits, bool tab, double v)
{
    const char conversion = notation == 0 ? 'g' : notation == 2 ? 'e' : 'f';
    char format[32], buf[800];
    std::snprintf(format, sizeof format, "%%%d.%d%c%c", FieldWidth(notation, digits, tab), digits, conversion,
                  tab ? '\t' : ' ');
    std::snprintf(buf, sizeof buf, format, v);
    std::string text = buf;
    if (auto dot = text.find('.'); dot != std::string::npos) text[dot] = ',';
    return text;
}

std::vector<double> RandomValues()
{
    std::mt19937_64 g(2026);
    std::uniform_real_distribution<double> mant(-10, 10);
    std::uniform_int_distribution<int> ex(-40, 40);
    std::vector<double> v{0.0, -0.0, 0.5, -2.5, 1e22, 1e-5, 999999.5};
    for (int i = 0; i < 150; ++i) v.push_back(double(float(mant(g) * std::pow(10.0, ex(g)))));
    for (int i = 0; i < 50; ++i) v.push_back(mant(g) * std::pow(10.0, ex(g)));
    // Neighbours of powers of ten and ties of decimal fractions.
    for (int k = -30; k <= 30; ++k) {
        const double p = std::pow(10.0, k);
        v.insert(v.end(), {p, std::nextafter(p, 0.0), std::nextafter(p, 1e300), 0.125 * p, 9.9999995 * p});
    }
    for (int i = 0; i < 40; ++i) {
        std::uint64_t bits = g();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (std::isfinite(d)) v.push_back(d);
    }
    return v;
}

}  // namespace

TEST(AsciiNumberFormat, EveryNotationAndDigitCountMatchesTheReferences)
{
    const std::vector<double> values = RandomValues();
    for (int notation : {0, 1, 2, 3, 5, -1}) {
        for (int digits = 0; digits <= CAsciiNumberFormat::g_iMaxDigits; ++digits) {
            for (bool tab : {false, true}) {
                const CAsciiNumberFormat point(notation, digits, tab, false);
                const CAsciiNumberFormat comma(notation, digits, tab, true);
                for (double v : values) {
                    ASSERT_EQ(point.Text(v), StreamReference(notation, digits, tab, v))
                        << "notation " << notation << " digits " << digits << " tab " << tab << " value " << v;
                    ASSERT_EQ(comma.Text(v), CommaReference(notation, digits, tab, v))
                        << "notation " << notation << " digits " << digits << " tab " << tab << " value " << v;
                }
            }
        }
    }
}

TEST(AsciiNumberFormat, TextsWrittenOut)
{
    struct SCase {
        int notation, digits;
        bool tab, comma;
        double value;
        const char* text;
    };
    // The layouts the export tests do not write out in whole tables.
    const SCase cases[] = {
        {1, 3, false, false, -2.25, "    -2.250 "},
        {0, 4, false, false, 1.5, "+1.5        "}, // left-aligned in 11
        {1, -3, true, false, 1.0, "1.000000\t"},    // negative digits: a stream's default of 6
        {1, 6, false, true, 1.5, "  1,500000 "},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(CAsciiNumberFormat(c.notation, c.digits, c.tab, c.comma).Text(c.value), c.text) << c.text;
}
