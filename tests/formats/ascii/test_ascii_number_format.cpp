// Every layout the export can be set to, against the independent references:
// a C++ stream for the decimal point, printf for the decimal comma. Random
// values of every magnitude, for every notation and every digit count.

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
    os << std::setw(tab ? 0 : (notation == 1 ? 10 : digits + 7)) << v << (tab ? '\t' : ' ');
    return os.str();
}

std::vector<double> RandomValues()
{
    std::mt19937_64 g(2026);
    std::uniform_real_distribution<double> mant(-10, 10);
    std::uniform_int_distribution<int> ex(-40, 40);
    std::vector<double> v{0.0, -0.0, 0.5, -2.5, 1e22, 1e-5, 999999.5};
    for (int i = 0; i < 150; ++i) v.push_back(double(float(mant(g) * std::pow(10.0, ex(g)))));
    for (int i = 0; i < 50; ++i) v.push_back(mant(g) * std::pow(10.0, ex(g)));
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
    for (int notation : {0, 1, 2, 3}) {
        for (int digits = 0; digits <= CAsciiNumberFormat::g_iMaxDigits; ++digits) {
            for (bool tab : {false, true}) {
                const CAsciiNumberFormat point(notation, digits, tab, false);
                const CAsciiNumberFormat comma(notation, digits, tab, true);
                for (double v : values) {
                    ASSERT_EQ(point.Text(v), StreamReference(notation, digits, tab, v))
                        << "notation " << notation << " digits " << digits << " tab " << tab << " value " << v;
                    char buf[800];
                    std::snprintf(buf, sizeof buf, comma.FormatText().c_str(), v);
                    std::string want = buf;
                    if (auto dot = want.find('.'); dot != std::string::npos) want[dot] = ',';
                    ASSERT_EQ(comma.Text(v), want) << comma.FormatText() << " " << v;
                }
            }
        }
    }
}
