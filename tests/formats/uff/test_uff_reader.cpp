// Reading universal files written by the independent reference writer:
// line rules, finding and grouping data sets, header fields, values, and
// every way a file can be refused.

#include "formats/uff/UffReader.h"
#include "tests/formats/uff/Uff58Reference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

using uffref::Ramp;

struct Result {
    std::vector<SUffDataSet> sets;
    std::vector<SUffGroup> groups;
    std::optional<CUffError> error;
};

Result Scan(const std::string& file)
{
    Result r;
    CUffMemorySource src(file.data(), file.size());
    CUffTrace trace;
    CUffReader reader(src, trace, "in.uff");
    try {
        reader.Scan();
    } catch (const CUffError& e) {
        r.error = e;
    }
    r.sets = reader.DataSets();
    r.groups = reader.Groups();
    return r;
}

// All values of data set i, NumbersPerPoint() numbers per point.
std::vector<double> Values(const std::string& file, std::size_t i, int* perPoint = nullptr, double* peak = nullptr,
                           std::size_t block = 7)
{
    CUffMemorySource src(file.data(), file.size());
    CUffTrace trace;
    CUffReader reader(src, trace, "in.uff");
    reader.Scan();
    CUffValueReader values(reader, reader.DataSets().at(i));
    std::vector<double> all, buf(block * 3);
    while (std::size_t n = values.Read(buf.data(), block))
        all.insert(all.end(), buf.begin(), buf.begin() + std::ptrdiff_t(n * std::size_t(values.NumbersPerPoint())));
    if (perPoint) *perPoint = values.NumbersPerPoint();
    if (peak) *peak = values.Peak();
    return all;
}

TEST(UffLineReader, StartAndStopLines)
{
    EXPECT_TRUE(uff_is_start_stop_line("    -1"));
    EXPECT_TRUE(uff_is_start_stop_line("    -1      "));
    EXPECT_FALSE(uff_is_start_stop_line("    -1    5"));
    EXPECT_FALSE(uff_is_start_stop_line("   -1"));
    EXPECT_FALSE(uff_is_start_stop_line("    -10"));
}

TEST(UffLineReader, ShortAndLongLinesAreOnlyWarnings)
{
    std::string file;
    uffref::write(file, Ramp(10));
    file.insert(file.find("NONE"), std::string(100, 'L'));   // ID line far too long
    std::FILE* trace = std::tmpfile();
    ASSERT_NE(trace, nullptr);
    CUffMemorySource src(file.data(), file.size());
    CUffTrace t;
    t.SetTarget(trace);
    CUffReader reader(src, t, "in.uff");
    ASSERT_NO_THROW(reader.Scan());
    EXPECT_EQ(reader.DataSets().size(), 1u);
    std::rewind(trace);
    std::string text(4096, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), trace));
    std::fclose(trace);
    EXPECT_NE(text.find("Warning: line 1 too short (7 characters) in UFF file.\n"), std::string::npos) << text;
    EXPECT_NE(text.find("too long in UFF header.\n"), std::string::npos) << text;
}

TEST(UffScan, ForeignDataSetsAreSkippedAndGroupsFollowTheAbscissa)
{
    std::string file;
    // A data set 55 (only its frame matters here) before the 58s.
    file += "    -1\n    55\nsome header\n    1    2\n  1.0  2.0\n    -1\n";
    uffref::write(file, Ramp(35, 0.001));
    uffref::write(file, Ramp(35, 0.001, 2.0));
    uffref::write(file, Ramp(35, 0.002));       // another increment: a second group
    uffref::write(file, Ramp(17, 0.001));       // 17 scans: bucket 0, written first
    Result r = Scan(file);
    ASSERT_FALSE(r.error);
    ASSERT_EQ(r.sets.size(), 4u);
    ASSERT_EQ(r.groups.size(), 3u);
    EXPECT_EQ(r.groups[0].aMembers, (std::vector<std::size_t>{3}));
    EXPECT_EQ(r.groups[1].aMembers, (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(r.groups[2].aMembers, (std::vector<std::size_t>{2}));

    // Kind and type separate groups too: ASCII complex (magnitude, 32-bit float)
    // joins real single data; double precision does not.
    std::string mixed;
    uffref::DataSet c = Ramp(10);
    c.ordType = 5;
    c.im = c.re;
    uffref::DataSet dd = Ramp(10);
    dd.ordType = 4;
    uffref::write(mixed, Ramp(10));
    uffref::write(mixed, c);
    uffref::write(mixed, dd);
    r = Scan(mixed);
    ASSERT_FALSE(r.error);
    ASSERT_EQ(r.groups.size(), 2u);
    EXPECT_EQ(r.groups[0].aMembers.size(), 2u);
}

struct BadCase {
    const char* what;
    std::function<void(std::string&)> spoil;
    unsigned code;
    const char* second;
};

TEST(UffScan, RefusedHeadersGiveTheirCodesAndTexts)
{
    auto replaceLine = [](std::string& f, int lineIndex, const std::string& text) {
        std::size_t p = 0;
        for (int i = 0; i < lineIndex; ++i) p = f.find('\n', p) + 1;
        f.replace(p, f.find('\n', p) - p, text);
    };
    const std::vector<BadCase> cases = {
        {"ordinate type 3",
         [&](std::string& f) { replaceLine(f, 8, "         3        10         1  0.00000E+00  1.00000E-03  0.00000E+00"); },
         122, "Illegal or unsupported data type (3) found."},
        {"spacing 2",
         [&](std::string& f) { replaceLine(f, 8, "         2        10         2  0.00000E+00  1.00000E-03  0.00000E+00"); },
         122, "Record 7, field 3: Illegal entry 2."},
        {"decimal comma",
         [&](std::string& f) { replaceLine(f, 8, "         2        10         1  0,00000E+00  1,00000E-03  0,00000E+00"); },
         122, "Can't read number in line 9. Invalid format (e.g. decimal point)?"},
        {"short record 6", [&](std::string& f) { replaceLine(f, 7, "    1         0"); }, 122,
         "Syntaxerror in line 8 of UFF file header."},
        {"short record 9", [&](std::string& f) { replaceLine(f, 10, "        12    0    0    0"); }, 122,
         "Syntaxerror in line 11 of UFF file header."},
        {"end inside the header", [&](std::string& f) { f.resize(f.find("Accel") - 40); }, 122,
         "Unexpected EOF while reading UFF header."},
        {"more values announced than the file can hold",
         [&](std::string& f) { replaceLine(f, 8, "         2 999999999         1  0.00000E+00  1.00000E-03  0.00000E+00"); },
         122, "Syntaxerror in line 9 of UFF file header."},
    };
    for (const BadCase& c : cases) {
        std::string file;
        uffref::write(file, Ramp(10));
        c.spoil(file);
        Result r = Scan(file);
        ASSERT_TRUE(r.error) << c.what;
        EXPECT_EQ(r.error->uStringID, c.code) << c.what;
        EXPECT_EQ(r.error->sTextAppend, c.second) << c.what;
        EXPECT_EQ(r.error->sTextArg, "in.uff") << c.what;
    }
}

TEST(UffScan, BinaryHeadersThatCannotBeRead)
{
    // A byte count beyond the end of the file, or too small for the points: refused before reading.
    uffref::DataSet d = Ramp(10);
    d.binary = true;
    std::string file;
    uffref::write(file, d);
    Result r = Scan(file.substr(0, file.size() - 20));
    ASSERT_TRUE(r.error);
    EXPECT_EQ(r.error->uStringID, 104u);
    d.pointsOverride = 11;
    file.clear();
    uffref::write(file, d);
    r = Scan(file);
    ASSERT_TRUE(r.error);
    EXPECT_EQ(r.error->uStringID, 104u);
}

TEST(UffValues, AsciiLayoutsReadBackWithinTheirPrecision)
{
    // Real single, even; every block size that does not divide the line.
    uffref::DataSet d = Ramp(25, 0.001, 3.0);
    std::string file;
    uffref::write(file, d, "\r\n");
    for (std::size_t block : {1u, 5u, 6u, 7u, 100u}) {
        std::vector<double> v = Values(file, 0, nullptr, nullptr, block);
        ASSERT_EQ(v.size(), 25u);
        for (std::size_t i = 0; i < 25; ++i)
            EXPECT_NEAR(v[i], d.re[i], std::fabs(d.re[i]) * 1e-5 + 1e-30);
    }

    // Complex single in ASCII: magnitudes; peak follows the magnitude.
    uffref::DataSet c = Ramp(9);
    c.ordType = 5;
    c.re = {3, 0, -6, 1, 1, 1, 1, 1, 1};
    c.im = {4, -2, 8, 0, 0, 0, 0, 0, 0};
    file.clear();
    uffref::write(file, c);
    int per = 0;
    double peak = 0;
    std::vector<double> v = Values(file, 0, &per, &peak);
    EXPECT_EQ(per, 1);
    EXPECT_EQ(v, (std::vector<double>{5, 2, 10, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(peak, 10.0);

    // Uneven real double: (x, y) pairs, x in E13.5, y in E20.12.
    uffref::DataSet u = Ramp(5);
    u.ordType = 4;
    u.spacing = 0;
    u.x = {0.0, 0.1, 0.25, 0.7, 1.5};
    u.re = {1.0 / 3.0, -2.0 / 3.0, 1e-20, 5.5, -7.25};
    file.clear();
    uffref::write(file, u);
    v = Values(file, 0, &per);
    EXPECT_EQ(per, 2);
    ASSERT_EQ(v.size(), 10u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_NEAR(v[2 * i], u.x[i], 1e-6);
        EXPECT_NEAR(v[2 * i + 1], u.re[i], std::fabs(u.re[i]) * 1e-12);
    }
}

TEST(UffValues, BinaryDataInBothByteOrdersAndComplexKept)
{
    // Big-endian with CR LF header lines: the binary values start after the CR.
    for (bool big : {false, true}) {
        uffref::DataSet d = Ramp(7);
        d.binary = true;
        d.bigEndian = big;
        d.ordType = 6;
        d.re = {1, -2, 3.5, 4, 5, 6, 7};
        d.im = {0.5, 0.25, -0.125, 0, 0, 0, -9};
        std::string file;
        uffref::write(file, d, big ? "\r\n" : "\n");
        uffref::write(file, Ramp(3));   // an ASCII set after the binary one is still found
        Result r = Scan(file);
        ASSERT_FALSE(r.error);
        ASSERT_EQ(r.sets.size(), 2u);
        EXPECT_EQ(r.sets[0].iImplType, 16);
        EXPECT_EQ(r.sets[0].bLittleEndian, !big);
        int per = 0;
        double peak = 0;
        std::vector<double> v = Values(file, 0, &per, &peak, 3);
        EXPECT_EQ(per, 2);
        ASSERT_EQ(v.size(), 14u);
        for (std::size_t i = 0; i < 7; ++i) {
            EXPECT_EQ(v[2 * i], d.re[i]);
            EXPECT_EQ(v[2 * i + 1], d.im[i]);
        }
        EXPECT_NEAR(peak, std::hypot(7.0, 9.0), 1e-12);
    }

    // Uneven single precision: x and y as 4-byte floats.
    uffref::DataSet u = Ramp(4);
    u.binary = true;
    u.spacing = 0;
    u.x = {0, 1, 3, 7};
    u.re = {0.5, -0.25, 2, 8};
    std::string file;
    uffref::write(file, u);
    int per = 0;
    std::vector<double> v = Values(file, 0, &per);
    EXPECT_EQ(per, 2);
    EXPECT_EQ(v, (std::vector<double>{0, 0.5, 1, -0.25, 3, 2, 7, 8}));
}

TEST(UffValues, OtherWritersLineBreaksAreRead)
{
    // Another writer puts one value per line, or seven: the values are the same.
    uffref::DataSet d = Ramp(9);
    std::string file;
    uffref::write(file, d);
    std::size_t first = 0;   // after the 13 lines of frame and header
    for (int i = 0; i < 13; ++i)
        first = file.find('\n', first) + 1;
    const std::size_t last = file.rfind("    -1");
    for (int perLine : {1, 7}) {
        std::string body;
        for (std::size_t i = 0; i < d.re.size(); ++i)
            body += uffref::E(d.re[i], 13, 5) + ((i + 1) % std::size_t(perLine) == 0 ? "\n" : "");
        if (d.re.size() % std::size_t(perLine)) body += "\n";
        std::string f = file.substr(0, first) + body + file.substr(last);
        std::vector<double> v = Values(f, 0);
        ASSERT_EQ(v.size(), 9u) << perLine;
        for (std::size_t i = 0; i < 9; ++i)
            EXPECT_NEAR(v[i], d.re[i], 1e-5) << perLine;
    }
}

TEST(UffValues, UnreadableValuesStopWithTheLineNumber)
{
    uffref::DataSet d = Ramp(12);
    std::string file;
    uffref::write(file, d);
    // Lines 1-13 are the frame and header, values on lines 14 and 15; a
    // number spoilt on line 14. Values missing altogether are the import's case.
    std::string junk = file;
    junk.replace(junk.find("E+00", junk.find("Accel")) , 4, "E+0x");
    try {
        Values(junk, 0);
        FAIL() << "no error";
    } catch (const CUffError& e) {
        EXPECT_EQ(e.uStringID, 124u);
        EXPECT_EQ(e.sTextArg, "14");
    }
}

}  // namespace
