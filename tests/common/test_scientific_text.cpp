// The short-cut for scientific numbers against printf: the exports must write
// exactly what "%.*e" writes, for every digit count it takes, over values of
// every magnitude, decimal ties, and the neighbours of powers of ten.

#include "common/ScientificText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<double> Values()
{
    std::mt19937_64 g(20);
    std::uniform_real_distribution<double> mant(-10, 10);
    std::uniform_int_distribution<int> ex(-320, 308);
    std::vector<double> v;
    for (int i = 0; i < 30000; ++i) v.push_back(mant(g) * std::pow(10.0, ex(g)));
    for (int i = 0; i < 20000; ++i) v.push_back(double(float(mant(g))));  // 32-bit samples
    for (int i = 0; i < 10000; ++i) {  // any bit pattern, non-finite ones included
        std::uint64_t bits = g();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        v.push_back(d);
    }
    for (int i = 0; i < 5000; ++i) v.push_back(std::round(mant(g) * 1e5) / 8);  // exact binary ties
    for (int k = -30; k <= 30; ++k) {
        double p = std::pow(10.0, k);
        v.insert(v.end(), {p, std::nextafter(p, 0.0), std::nextafter(p, 1e300), -p, 0.5 * p, 1.5 * p, 0.125 * p,
                           9.9999995 * p, 9.99999949 * p, 9.9999999999995 * p});
    }
    v.insert(v.end(), {0.0, -0.0, 5e-324, 1e-290, 1e290, 1.7976931348623157e308, HUGE_VAL, -HUGE_VAL});
    return v;
}

}  // namespace

TEST(ScientificText, WritesWhatPrintfWritesOrNothing)
{
    const std::vector<double> values = Values();
    long taken = 0;
    for (int digits = 0; digits <= 13; ++digits) {
        for (char plus : {'\0', '+'}) {
            for (double v : values) {
                char got[64];
                std::memset(got, 'x', sizeof got);
                char* end = ScientificText::Append(v, digits, plus, got);
                if (!end)
                    continue;
                ++taken;
                ASSERT_LE(end - got, 24);
                char want[600];
                std::snprintf(want, sizeof want, plus ? "%+.*e" : "%.*e", digits, v);
                ASSERT_EQ(std::string(got, end), want) << digits << " " << v;
            }
        }
    }
    EXPECT_GT(taken, 13L * 2 * 20000);  // at least every sample-sized value
}
