// The pieces of the ASCII import and export that work on text alone: value
// layout of the export, header scan, column statistics, the plain-line reader.

#include "formats/ascii/AsciiColumnStats.h"
#include "formats/ascii/AsciiFastLine.h"
#include "formats/ascii/AsciiHeaderScan.h"
#include "formats/ascii/AsciiNumberFormat.h"
#include "formats/ascii/AsciiTextWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

TEST(AsciiNumberFormat, ScientificDigitsMatchPrintfEverywhere)
{
    // The short-cut for scientific notation against printf, over values of every
    // magnitude, ties of decimal fractions, and neighbours of powers of ten.
    std::mt19937_64 g(21);
    std::uniform_real_distribution<double> mant(-10, 10);
    std::uniform_int_distribution<int> ex(-320, 308);
    std::vector<double> values;
    for (int i = 0; i < 40000; ++i) values.push_back(mant(g) * std::pow(10.0, ex(g)));
    for (int i = 0; i < 20000; ++i) values.push_back(double(float(mant(g))));
    for (int k = -30; k <= 30; ++k) {
        double p = std::pow(10.0, k);
        values.insert(values.end(), {p, std::nextafter(p, 0.0), std::nextafter(p, 1e300), -p, 0.5 * p, 1.5 * p,
                                     0.125 * p, 9.9999995 * p, 9.99999949 * p});
    }
    for (int digits = 0; digits <= 10; ++digits) {
        CAsciiNumberFormat f(2, digits, true, false);
        for (double v : values) {
            char buf[600];
            std::snprintf(buf, sizeof buf, "%+.*e\t", digits, v);
            ASSERT_EQ(f.Text(v), buf) << digits << " " << v;
        }
    }
}

TEST(AsciiTextWriter, LineFeedsBecomeCrLf)
{
    char name[] = "/tmp/tessel_asc_writerXXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    {
        CAsciiTextWriter w(fd);
        w.Text("head\nline two\n");
        w.EndLine();
        w.Raw("1 2 ");
        w.EndLine();
        w.Text("\n\n\n");
        EXPECT_TRUE(w.Flush());
    }
    std::string got(64, '\0');
    got.resize(std::size_t(pread(fd, got.data(), got.size(), 0)));
    EXPECT_EQ(got, "head\r\nline two\r\n\r\n1 2 \r\n\r\n\r\n\r\n");
    close(fd);
    unlink(name);

    CAsciiTextWriter bad(-1);
    bad.Raw("x");
    EXPECT_FALSE(bad.Flush());
    EXPECT_TRUE(bad.Failed());
}

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

TEST(AsciiHeaderScan, LineClasses)
{
    EXPECT_EQ(ClassifyAsciiLine("1.5e3, -2 +4\t."), EAsciiLine::number);
    EXPECT_EQ(ClassifyAsciiLine("1 2\r"), EAsciiLine::number); // CR LF line end
    EXPECT_EQ(ClassifyAsciiLine("  \t "), EAsciiLine::blank);
    EXPECT_EQ(ClassifyAsciiLine(""), EAsciiLine::other);
    EXPECT_EQ(ClassifyAsciiLine("\r"), EAsciiLine::other);
    EXPECT_EQ(ClassifyAsciiLine("1 2 x"), EAsciiLine::other);
    EXPECT_EQ(ClassifyAsciiLine("1\r2"), EAsciiLine::other);
    EXPECT_EQ(ClassifyAsciiLine("time voltage"), EAsciiLine::other);
}

TEST(AsciiHeaderScan, TextHeaderThenNumbers)
{
    std::string head = "Recorded 2026-12-06\ntime pressure\n";
    SAsciiDataStart s = Scan(head + NumberLines(30));
    EXPECT_TRUE(s.bNumbersFound);
    EXPECT_EQ(s.llOffset, std::int64_t(head.size()));
    EXPECT_EQ(s.uLine, 3u);
    EXPECT_EQ(s.sHeader, "Recorded 2026-12-06\r\ntime pressure\r\n");

    // CR LF files: same decision, the header keeps one CR LF per line.
    std::string crlf = "A\r\nB\r\n";
    s = Scan(crlf + NumberLines(12, 0, "\r\n"));
    EXPECT_EQ(s.llOffset, std::int64_t(crlf.size()));
    EXPECT_EQ(s.sHeader, "A\r\nB\r\n");
}

TEST(AsciiHeaderScan, RunsShorterThanTenBelongToTheHeader)
{
    // A short run ended by a text line is header; the data start at the last run.
    std::string first = NumberLines(4) + "comment\n";
    SAsciiDataStart s = Scan(first + NumberLines(15, 100));
    EXPECT_EQ(s.llOffset, std::int64_t(first.size()));
    EXPECT_EQ(s.uLine, 6u);
    EXPECT_EQ(s.sHeader, "0 0\r\n1 2\r\n2 4\r\n3 6\r\ncomment\r\n");

    // A short run followed by a blank line and ten number lines: it belongs
    // neither to the header nor to the data.
    std::string shortRun = "title\n" + NumberLines(3) + "   \n";
    s = Scan(shortRun + NumberLines(10, 50));
    EXPECT_EQ(s.llOffset, std::int64_t(shortRun.size()));
    EXPECT_EQ(s.uLine, 6u);
    EXPECT_EQ(s.sHeader, "title\r\n");

    // An empty line is an "other" line: the numbers before it go to the header.
    std::string withEmpty = NumberLines(5) + "\n";
    s = Scan(withEmpty + NumberLines(20, 7));
    EXPECT_EQ(s.llOffset, std::int64_t(withEmpty.size()));
    EXPECT_EQ(s.sHeader, "0 0\r\n1 2\r\n2 4\r\n3 6\r\n4 8\r\n\r\n");
}

TEST(AsciiHeaderScan, NoRunOfTenAndNoNumbers)
{
    // Fewer than ten number lines in all: the data start at the last run found.
    SAsciiDataStart s = Scan("x\n" + NumberLines(3));
    EXPECT_TRUE(s.bNumbersFound);
    EXPECT_EQ(s.uLine, 2u);
    EXPECT_EQ(s.llOffset, 2);
    EXPECT_EQ(s.sHeader, "x\r\n");

    // No number line at all: the data start at the beginning; a last line
    // without line feed is not added to the header.
    s = Scan("alpha\nbeta");
    EXPECT_FALSE(s.bNumbersFound);
    EXPECT_EQ(s.llOffset, 0);
    EXPECT_EQ(s.uLine, 1u);
    EXPECT_EQ(s.sHeader, "alpha\r\n");

    s = Scan("");
    EXPECT_FALSE(s.bNumbersFound);
    EXPECT_EQ(s.sHeader, "");
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

TEST(AsciiColumnStats, LinearColumnAndNoisyColumn)
{
    CAsciiTableStats st;
    std::mt19937 g(3);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<double> col0, col1;
    for (int i = 0; i < 1000; ++i) {
        double row[3] = {i * 0.001, std::sin(i * 0.1) + 0.01 * noise(g), 5.0};
        col0.push_back(row[0]);
        col1.push_back(row[1]);
        st.AddLine(row, 3);
    }
    st.Finish();
    EXPECT_EQ(st.Lines(), 1000u);
    EXPECT_EQ(st.Columns(), 3u);
    const auto& a = st.Column(0);
    EXPECT_NEAR(a.dCorrelation, 1.0, 1e-12);
    EXPECT_NEAR(a.dSlope, 0.001, 1e-15);
    EXPECT_NEAR(a.dIntercept, 0.0, 1e-12);
    EXPECT_DOUBLE_EQ(a.dMaxAbs, 0.999);

    double corr, slope, intercept;
    Reference(col1, corr, slope, intercept);
    const auto& b = st.Column(1);
    EXPECT_NEAR(b.dCorrelation, corr, 1e-10);
    EXPECT_NEAR(b.dSlope, slope, 1e-12);
    EXPECT_NEAR(b.dIntercept, intercept, 1e-10);

    // A constant column has no correlation, slope or intercept.
    EXPECT_EQ(st.Column(2).dCorrelation, 0.0);
    EXPECT_EQ(st.Column(2).dSlope, 0.0);
    EXPECT_EQ(st.Column(2).dMaxAbs, 5.0);
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

TEST(AsciiColumnStats, ShortLinesCountAsZeros)
{
    CAsciiTableStats st;
    std::vector<std::vector<double>> rows = {{1, 10, 7}, {2, 20}, {3}, {4, 40, -3}};
    for (auto& r : rows) st.AddLine(r.data(), unsigned(r.size()));
    st.Finish();
    EXPECT_EQ(st.Columns(), 3u);
    // Column 3 is 7, 0, 0, -3.
    EXPECT_EQ(st.Column(2).dMin, -3.0);
    EXPECT_EQ(st.Column(2).dMax, 7.0);
    EXPECT_EQ(st.Column(2).dMaxAbs, 7.0);
    double corr, slope, intercept;
    Reference({7, 0, 0, -3}, corr, slope, intercept);
    EXPECT_NEAR(st.Column(2).dCorrelation, corr, 1e-12);
    EXPECT_NEAR(st.Column(2).dSlope, slope, 1e-12);
    EXPECT_NEAR(st.Column(2).dIntercept, intercept, 1e-12);
    // Column 2 is 10, 20, 0, 40: its minimum becomes 0.
    EXPECT_EQ(st.Column(1).dMin, 0.0);
    Reference({10, 20, 0, 40}, corr, slope, intercept);
    EXPECT_NEAR(st.Column(1).dSlope, slope, 1e-12);
}

TEST(AsciiColumnStats, AbscissaDecision)
{
    auto stats = [](std::vector<std::vector<double>> rows) {
        CAsciiTableStats st;
        for (auto& r : rows) st.AddLine(r.data(), unsigned(r.size()));
        st.Finish();
        return st;
    };
    // Equidistant first column with an offset that snaps to a whole step.
    auto st = stats({{0.5, 1, 2}, {1.0, 3, 4}, {1.5, 5, 1}, {2.0, 0, 0}});
    SAsciiLayout l = DecideAsciiLayout(st, true, 1.0 / 44100);
    EXPECT_TRUE(l.bAbscInFile);
    EXPECT_TRUE(l.bEquidistant);
    EXPECT_DOUBLE_EQ(l.dXDelta, 0.5);
    EXPECT_DOUBLE_EQ(l.dXStart, 0.5);
    EXPECT_EQ(l.uFirstChannelColumn, 1u);
    EXPECT_EQ(l.uChannels, 2u);

    // Fine steps printed to 7 digits: the intercept misses 0 by rounding noise
    // far below a step, and snaps to it.
    {
        CAsciiTableStats fine;
        for (int i = 0; i < 5000; ++i) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%.6e", i / 48000.0);
            double row[2] = {std::strtod(buf, nullptr), 1.0};
            fine.AddLine(row, 2);
        }
        fine.Finish();
        SAsciiLayout f = DecideAsciiLayout(fine, true, 1.0);
        EXPECT_TRUE(f.bEquidistant);
        EXPECT_EQ(f.dXStart, 0.0);
        EXPECT_NEAR(f.dXDelta, 1 / 48000.0, 1e-14);
        // A start a tenth of a step off stays where it is.
        CAsciiTableStats off;
        for (int i = 0; i < 100; ++i) {
            double row[2] = {(i + 0.1) * 0.5, 1.0};
            off.AddLine(row, 2);
        }
        off.Finish();
        EXPECT_NEAR(DecideAsciiLayout(off, true, 1.0).dXStart, 0.05, 1e-12);
    }

    // Falling first column: stored.
    st = stats({{3, 1}, {2, 1}, {1, 1}});
    l = DecideAsciiLayout(st, true, 0.1);
    EXPECT_TRUE(l.bAbscInFile);
    EXPECT_FALSE(l.bEquidistant);

    // Not linear enough: stored.
    st = stats({{0, 1}, {1, 1}, {8, 1}, {27, 1}, {64, 1}, {125, 1}});
    EXPECT_FALSE(DecideAsciiLayout(st, true, 0.1).bEquidistant);

    // One column with the abscissa expected in the file: it is a channel.
    st = stats({{5}, {6}, {9}});
    l = DecideAsciiLayout(st, true, 0.25);
    EXPECT_FALSE(l.bAbscInFile);
    EXPECT_TRUE(l.bEquidistant);
    EXPECT_EQ(l.dXDelta, 0.25);
    EXPECT_EQ(l.uChannels, 1u);

    // Settings say no abscissa column; 257 columns give 256 channels.
    std::vector<double> wide(257, 1.0), wide2(257, 2.0);
    st = stats({wide, wide2});
    l = DecideAsciiLayout(st, false, 0.5);
    EXPECT_FALSE(l.bAbscInFile);
    EXPECT_EQ(l.uFirstChannelColumn, 0u);
    EXPECT_EQ(l.uChannels, 256u);
}

// ---- plain-line reader ------------------------------------------------------

TEST(AsciiFastLine, AcceptsThePlainCase)
{
    double v[257];
    unsigned n = 0;
    auto parse = [&](const std::string& s) { return ParseAsciiNumberLine(s.data(), s.data() + s.size(), v, n); };

    ASSERT_EQ(parse("1 -2.5\t+3e2, 4.,5E-1 - - 6\r"), EAsciiFastLine::numbers);
    ASSERT_EQ(n, 6u);
    EXPECT_EQ(v[0], 1.0);
    EXPECT_EQ(v[1], -2.5);
    EXPECT_EQ(v[2], 300.0);
    EXPECT_EQ(v[3], 4.0);
    EXPECT_EQ(v[4], 0.5);
    EXPECT_EQ(v[5], 6.0);

    ASSERT_EQ(parse("1-2+3 , 7,"), EAsciiFastLine::numbers);
    ASSERT_EQ(n, 4u);
    EXPECT_EQ(v[1], -2.0);
    EXPECT_EQ(v[3], 7.0);

    EXPECT_EQ(parse(" \t\r"), EAsciiFastLine::empty);
    EXPECT_EQ(parse(""), EAsciiFastLine::empty);

    // Integers of any length, and correctly rounded decimals.
    ASSERT_EQ(parse("2147483648 0.1 1.7976931348623157e308 2.2250738585072014e-308 123456789012345678901234.5 "
                    "9007199254740993 123456789012345678901"),
              EAsciiFastLine::numbers);
    EXPECT_EQ(v[0], 2147483648.0);
    EXPECT_EQ(v[1], 0.1);
    EXPECT_EQ(v[2], 1.7976931348623157e308);
    EXPECT_EQ(v[3], 2.2250738585072014e-308);
    EXPECT_EQ(v[4], 123456789012345678901234.5);
    EXPECT_EQ(v[5], 9007199254740992.0);   // 2^53 + 1 rounds to even
    EXPECT_EQ(v[6], 123456789012345678901.0);

    // 300 numbers: 257 kept.
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
