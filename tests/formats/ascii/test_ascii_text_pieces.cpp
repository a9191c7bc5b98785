// The pieces of the ASCII import that work on text alone: header scan, column
// statistics, the plain-line reader.

#include "formats/ascii/AsciiColumnStats.h"
#include "formats/ascii/AsciiFastLine.h"
#include "formats/ascii/AsciiHeaderScan.h"
#include "formats/ascii/AsciiNumberFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

// ---- header scan -----------------------------------------------------------

namespace {

SAsciiDataStart Scan(const std::string& text)
{
    std::FILE* f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    std::rewind(f);
    SAsciiDataStart s;
    EXPECT_TRUE(ScanAsciiHeader(f, s));
    std::fclose(f);
    return s;
}

std::string NumberLines(int n, int first = 0, const char* eol = "\n")
{
    std::string s;
    for (int i = 0; i < n; ++i) s += std::to_string(first + i) + " " + std::to_string(2 * (first + i)) + eol;
    return s;
}

} // namespace

TEST(AsciiHeaderScan, WhereTheDataStartAndWhatTheHeaderHolds)
{
    // The data start right after `before`.
    struct SCase {
        std::string before, data;
        bool numbers;
        unsigned line;
        const char* header;
    };
    const SCase cases[] = {
        {"Recorded 2026-12-06\ntime pressure\n", NumberLines(30), true, 3, "Recorded 2026-12-06\r\ntime pressure\r\n"},
        // CR LF files: the header keeps one CR LF per line.
        {"A\r\nB\r\n", NumberLines(12, 0, "\r\n"), true, 3, "A\r\nB\r\n"},
        // A run shorter than ten, even of nine, ended by a text line is header.
        {NumberLines(9) + "comment\n", NumberLines(15, 100), true, 11,
         "0 0\r\n1 2\r\n2 4\r\n3 6\r\n4 8\r\n5 10\r\n6 12\r\n7 14\r\n8 16\r\ncomment\r\n"},
        // A short run before a blank line belongs neither to the header nor to the data.
        {"title\n" + NumberLines(3) + "   \n", NumberLines(10, 50), true, 6, "title\r\n"},
        // An empty line is an "other" line: the numbers before it go to the header.
        {NumberLines(5) + "\n", NumberLines(20, 7), true, 7, "0 0\r\n1 2\r\n2 4\r\n3 6\r\n4 8\r\n\r\n"},
        // Fewer than ten number lines in all: the data start at the last run.
        {"x\n", NumberLines(3), true, 2, "x\r\n"},
        // No number line: the data start at the top; a last line without line
        // feed is not added to the header.
        {"", "alpha\nbeta", false, 1, "alpha\r\n"},
        {"", "", false, 1, ""},
    };
    for (const SCase& c : cases) {
        SAsciiDataStart s = Scan(c.before + c.data);
        EXPECT_EQ(s.bNumbersFound, c.numbers) << c.before;
        EXPECT_EQ(s.llOffset, std::int64_t(c.before.size())) << c.before;
        EXPECT_EQ(s.uLine, c.line) << c.before;
        EXPECT_EQ(s.sHeader, c.header) << c.before;
    }
}

TEST(AsciiHeaderScan, HeaderTextIsBounded)
{
    std::string huge(3u << 20, 'x');
    SAsciiDataStart s = Scan(huge + "\n" + NumberLines(10));
    EXPECT_EQ(s.sHeader.size(), g_nMaxAsciiHeader);
    EXPECT_EQ(s.llOffset, std::int64_t(huge.size() + 1));
}

// ---- column statistics ------------------------------------------------------

namespace {

// Straightforward least squares in long double: the reference for the
// shifted sums of CAsciiTableStats.
void Reference(const std::vector<double>& y, double& corr, double& slope, double& intercept)
{
    long double n = y.size(), mx = (n - 1) / 2, my = 0;
    for (double v : y) my += v;
    my /= n;
    long double sxy = 0, sxx = 0, syy = 0;
    for (std::size_t i = 0; i < y.size(); ++i) {
        sxy += (i - mx) * (y[i] - my);
        sxx += (i - mx) * (i - mx);
        syy += (y[i] - my) * (y[i] - my);
    }
    corr = double(sxy / std::sqrt(sxx * syy));
    slope = double(sxy / sxx);
    intercept = double(my - slope * mx);
}

} // namespace

TEST(AsciiColumnStats, EveryColumnMatchesPlainLeastSquares)
{
    // A linear column, a noisy one, a constant one, and a table with short
    // lines, whose missing values count as zeros.
    std::mt19937 g(3);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<std::vector<double>> long_rows, short_rows = {{1, 10, 7}, {2, 20}, {3}, {4, 40, -3}};
    for (int i = 0; i < 1000; ++i) long_rows.push_back({i * 0.001, std::sin(i * 0.1) + 0.01 * noise(g), 5.0});
    for (const auto* rows : {&long_rows, &short_rows}) {
        CAsciiTableStats st;
        for (const auto& r : *rows) st.AddLine(r.data(), unsigned(r.size()));
        st.Finish();
        for (unsigned c = 0; c < 3; ++c) {
            std::vector<double> col;
            for (const auto& r : *rows) col.push_back(c < r.size() ? r[c] : 0.0);
            double corr, slope, intercept;
            Reference(col, corr, slope, intercept);
            const auto& s = st.Column(c);
            if (std::isnan(corr)) {
                EXPECT_EQ(s.dCorrelation, 0.0); // a constant column has no correlation
            } else {
                EXPECT_NEAR(s.dCorrelation, corr, 1e-10) << c;
                EXPECT_NEAR(s.dSlope, slope, 1e-12) << c;
                EXPECT_NEAR(s.dIntercept, intercept, 1e-10) << c;
            }
            const auto [lo, hi] = std::minmax_element(col.begin(), col.end());
            EXPECT_EQ(s.dMin, *lo) << c;
            EXPECT_EQ(s.dMax, *hi) << c;
            EXPECT_EQ(s.dMaxAbs, std::max(*hi, -*lo)) << c;
        }
    }
}

TEST(AsciiColumnStats, ClockTimesKeepTheirStep)
{
    // Seconds since 1970 in milliseconds steps: unshifted sums would lose the step.
    CAsciiTableStats st;
    for (int i = 0; i < 200000; ++i) {
        double row[2] = {1.7e9 + i * 0.001, 1.0};
        st.AddLine(row, 2);
    }
    st.Finish();
    EXPECT_GE(st.Column(0).dCorrelation, 0.999999);
    EXPECT_NEAR(st.Column(0).dSlope, 0.001, 1e-12);
    EXPECT_NEAR(st.Column(0).dIntercept, 1.7e9, 1e-6);
}

TEST(AsciiColumnStats, TheStartSnapsToAWholeStepOnlyWithinRoundingNoise)
{
    auto decide = [](int lines, double (*x)(int)) {
        CAsciiTableStats st;
        for (int i = 0; i < lines; ++i) {
            double row[2] = {x(i), 1.0};
            st.AddLine(row, 2);
        }
        st.Finish();
        return DecideAsciiLayout(st, true, 1.0);
    };
    // Fine steps printed to 7 digits: the intercept misses 0 by rounding noise
    // far below a step, and snaps to it.
    SAsciiLayout f = decide(5000, [](int i) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.6e", i / 48000.0);
        return std::strtod(buf, nullptr);
    });
    EXPECT_TRUE(f.bEquidistant);
    EXPECT_EQ(f.dXStart, 0.0);
    EXPECT_NEAR(f.dXDelta, 1 / 48000.0, 1e-14);
    // A start a tenth of a step off stays where it is.
    EXPECT_NEAR(decide(100, [](int i) { return (i + 0.1) * 0.5; }).dXStart, 0.05, 1e-12);
}

// ---- plain-line reader ------------------------------------------------------

TEST(AsciiFastLine, AcceptsThePlainCase)
{
    double v[257];
    unsigned n = 0;
    auto parse = [&](const std::string& s) { return ParseAsciiNumberLine(s.data(), s.data() + s.size(), v, n); };

    auto got = [&] { return std::vector<double>(v, v + n); };
    ASSERT_EQ(parse("1 -2.5\t+3e2, 4.,5E-1 - - 6\r"), EAsciiFastLine::numbers);
    EXPECT_EQ(got(), (std::vector<double>{1, -2.5, 300, 4, 0.5, 6}));
    ASSERT_EQ(parse("1-2+3 , 7,"), EAsciiFastLine::numbers);
    EXPECT_EQ(got(), (std::vector<double>{1, -2, 3, 7}));

    EXPECT_EQ(parse(" \t\r"), EAsciiFastLine::empty);
    EXPECT_EQ(parse(""), EAsciiFastLine::empty);

    // 300 numbers: 257 kept, no more than the caller's array holds.
    std::string many;
    for (int i = 0; i < 300; ++i) many += std::to_string(i) + " ";
    ASSERT_EQ(parse(many), EAsciiFastLine::numbers);
    EXPECT_EQ(n, 257u);
    EXPECT_EQ(v[256], 256.0);
}

TEST(AsciiFastLine, DeclinesWhatTheScannerMustDecide)
{
    double v[257];
    unsigned n = 0;
    for (const char* s : {"1 2k", "-6dB", "1e", "1e+ 2", ".5", "1..2", "1,,2", ",1", "1 -", "1 x", "1e999", "1e-999", "1 // note", "1 /* c */", "1 \\", "'a'", "\"s\"",
                          "1;2", "1\x01", "1.5.", "e5"}) {
        EXPECT_EQ(ParseAsciiNumberLine(s, s + std::strlen(s), v, n), EAsciiFastLine::decline) << s;
    }
    std::string longNumeral(120, '1');
    longNumeral.insert(1, ".");
    EXPECT_EQ(ParseAsciiNumberLine(longNumeral.data(), longNumeral.data() + longNumeral.size(), v, n),
              EAsciiFastLine::decline);
}

TEST(AsciiFastLine, RandomNumeralsMatchStrtod)
{
    std::mt19937_64 g(11);
    std::uniform_int_distribution<int> digits(1, 25), expo(-330, 330), pick(0, 3);
    for (int i = 0; i < 20000; ++i) {
        std::string s;
        int nd = digits(g);
        for (int k = 0; k < nd; ++k) s += char('0' + g() % 10);
        if (pick(g)) s.insert(std::size_t(g() % s.size()) + 1, ".");
        if (pick(g) == 0) s += "e" + std::to_string(expo(g));
        else if (s.find('.') == std::string::npos) s += ".";
        double got = -1;
        const char* end = ParseAsciiNumeral(s.data(), s.data() + s.size(), got);
        double want = std::strtod(s.c_str(), nullptr);
        if (!end) {
            // Declined only where atof leaves the finite, normal range.
            EXPECT_TRUE(std::isinf(want) || want == 0.0 || std::fpclassify(want) == FP_SUBNORMAL) << s;
            continue;
        }
        ASSERT_EQ(end, s.data() + s.size()) << s;
        ASSERT_EQ(got, want) << s;
    }
}
