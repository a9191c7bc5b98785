// The UFF export job: files checked field by field and column by column by the
// independent reader, numpy reading the data lines, the binary form byte by
// byte, the list export's degrees of freedom, and the failures.

#include "tests/common/PeerTools.h"
#include "tests/formats/uff/Uff58Reference.h"
#include "tests/formats/uff/UffJobTestUtil.h"

#include <cmath>
#include <cstring>
#include <sstream>

namespace {

using namespace ufftest;
using uffref::cols;
using uffref::dcol;
using uffref::icol;
using uffref::trim;

std::vector<double> Wave(int n, double scale)
{
    std::vector<double> v;
    for (int i = 0; i < n; ++i)
        v.push_back(scale * std::cos(0.05 * i) + 0.001 * i);
    return v;
}

// Record 6 read by the independent reader: "function | entity node dir | entity node dir".
std::string Record6(const std::string& r6)
{
    return std::to_string(icol(r6, 1, 5)) + " | " + trim(cols(r6, 32, 41)) + " " + std::to_string(icol(r6, 42, 51)) +
           " " + std::to_string(icol(r6, 52, 55)) + " | " + trim(cols(r6, 57, 66)) + " " +
           std::to_string(icol(r6, 67, 76)) + " " + std::to_string(icol(r6, 77, 80));
}

// An axis record: "type label unit".
std::string Axis(const std::string& r)
{
    return std::to_string(icol(r, 1, 10)) + " " + trim(cols(r, 27, 46)) + " " + trim(cols(r, 48, 67));
}

using UffExport = CUffJobTest;

TEST_F(UffExport, AsciiHeaderFieldsAndColumns)
{
    Channel a{"Mic", "", "Pa", "pressure", it__float, Wave(20, 3.0)};
    MakeTrx(dir / "one.trx", dk__time, {a}, 0.25, 0.001);
    CTSInterface::SMessage msg = Export({dir / "one.trx"}, dir / "one.uff", false, false);
    ASSERT_EQ(msg.uState, 19u) << msg.sText.c_str();
    EXPECT_EQ(msg.sText, "Conversion successfully completed.");

    std::vector<uffref::Read> sets = ReadBack(dir / "one.uff", true);
    ASSERT_EQ(sets.size(), 1u);
    const std::vector<std::string>& L = sets[0].lines;
    for (const std::string& l : L)
        EXPECT_EQ(l.size(), 80u) << l;
    EXPECT_EQ(trim(L[0]), "58");
    EXPECT_EQ(trim(L[1]), "Source file: " + (dir / "one.trx").string().substr(0, 67));
    EXPECT_EQ(trim(L[2]), "Time Data");
    EXPECT_EQ(trim(L[3]), "12-Mar-03 14:05:09");
    EXPECT_EQ(trim(L[4]), "NONE");   // one exportable channel
    EXPECT_EQ(trim(L[5]), "NONE");
    // Record 6: time data, no nodes or directions; 7: real single precision,
    // 20 points, even spacing from 0.25 by 0.001; 8 to 11: the axes (no
    // title: the quantity names the ordinate).
    struct SField {
        std::size_t line, from, to;
        const char* text;
    };
    const SField fields[] = {
        {6, 1, 5, "1"},      {6, 6, 15, "0"},      {6, 16, 20, "0"},          {6, 21, 30, "0"},
        {6, 32, 41, "NONE"}, {6, 42, 51, "0"},     {6, 52, 55, "0"},          {6, 57, 66, "NONE"},
        {7, 1, 10, "2"},     {7, 11, 20, "20"},    {7, 21, 30, "1"},          {7, 31, 43, "2.50000e-01"},
        {7, 44, 56, "1.00000e-03"},                {7, 57, 69, "0.00000e+00"},
        {8, 1, 10, "17"},    {8, 27, 46, "time"},  {8, 48, 67, "s"},
        {9, 1, 10, "15"},    {9, 27, 46, "pressure"},                         {9, 48, 67, "Pa"},
        {10, 1, 25, "0    0    0    0"}, {10, 27, 46, "NONE"}, {10, 48, 67, "NONE"},
        {11, 1, 25, "0    0    0    0"}, {11, 27, 46, "NONE"}, {11, 48, 67, "NONE"},
    };
    for (const SField& f : fields)
        EXPECT_EQ(trim(cols(L[f.line], f.from, f.to)), f.text) << "record " << f.line << " columns " << f.from;

    // Data: 6 fields of 13 columns per line, 2 blanks (numpy reads the values).
    ASSERT_EQ(sets[0].dataLines.size(), 4u);
    for (const std::string& l : sets[0].dataLines)
        EXPECT_EQ(l.size(), 80u);
}

TEST_F(UffExport, NumpyReadsTheDataLinesBack)
{
    if (!HavePython("numpy"))
        TESSEL_SKIP_OR_FAIL("numpy is not installed");
    Channel a{"a", "", "Pa", "pressure", it__float, Wave(1000, 250.0)};
    Channel b{"b", "", "Pa", "pressure", it__double, Wave(1000, -1e-3)};
    MakeTrx(dir / "two.trx", dk__time, {a, b}, 0.0, 1.0 / 48000);
    ASSERT_EQ(Export({dir / "two.trx"}, dir / "two.uff", false, false).uState, 19u);

    // numpy gets the data lines of each data set (between the header and the stop
    // line) and reads them by fixed-width fields: 13 columns, or 20 for double precision.
    const std::string script =
        "import sys, numpy as np\n"
        "text = open(sys.argv[1], 'rb').read().decode('latin-1')\n"
        "lines = text.split('\\r\\n')\n"
        "i = 0\n"
        "while i < len(lines) and lines[i].startswith('    -1'):\n"
        "    j = i + 13\n"
        "    k = j\n"
        "    while not lines[k].startswith('    -1'): k += 1\n"
        "    w = 20 if int(lines[i + 8][:10]) in (4, 6) else 13\n"
        "    v = np.genfromtxt(lines[j:k], delimiter=[w] * (80 // w)).ravel()\n"
        "    v = v[~np.isnan(v)]\n"
        "    print(' '.join(repr(float(x)) for x in v))\n"
        "    i = k + 1\n";
    std::string out;
    ASSERT_EQ(tessel::test::RunPythonText(script, {(dir / "two.uff").string()}, &out), 0) << out;
    std::istringstream lines(out);
    std::string line;
    int set = 0;
    while (std::getline(lines, line)) {
        std::istringstream nums(line);
        const std::vector<double>& want = set == 0 ? a.values : b.values;
        const double rel = set == 0 ? 5e-6 : 5e-13;   // E13.5 and E20.12
        std::size_t i = 0;
        double x;
        while (nums >> x) {
            ASSERT_LT(i, want.size());
            EXPECT_NEAR(x, want[i], std::fabs(want[i]) * rel + 1e-300) << "set " << set << " value " << i;
            ++i;
        }
        EXPECT_EQ(i, want.size());
        ++set;
    }
    EXPECT_EQ(set, 2);
}

TEST_F(UffExport, ChannelNumbersTypesAndValuesPerLine)
{
    Channel i16{"i", "", "V", "voltage", it__int16, {1, -2, 3, 4, 5, 6, 7}};
    Channel d{"d", "", "m/s^2", "acceleration", it__double, {0.5, 0.25, 0.125, 1, 2, 3, 4}};
    Channel c{"c", "", "Pa", "pressure", it__cfloat, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}};
    MakeTrx(dir / "three.trx", dk__spectrum, {i16, d, c}, 0.0, 1.0, "Hz", "frequency");
    ASSERT_EQ(Export({dir / "three.trx"}, dir / "three.uff", false, false).uState, 19u);
    std::vector<uffref::Read> sets = ReadBack(dir / "three.uff", true);
    ASSERT_EQ(sets.size(), 3u);
    EXPECT_EQ(trim(sets[0].lines[4]), "Channel  0");
    EXPECT_EQ(trim(sets[2].lines[4]), "Channel  2");
    EXPECT_EQ(icol(sets[0].lines[6], 1, 5), 2);    // spectrum over Hz: auto spectrum
    EXPECT_EQ(icol(sets[0].lines[8], 1, 10), 18);  // Hz
    // 16-bit integers: type 2, six values per line.
    EXPECT_EQ(icol(sets[0].lines[7], 1, 10), 2);
    ASSERT_EQ(sets[0].dataLines.size(), 2u);
    EXPECT_DOUBLE_EQ(dcol(sets[0].dataLines[0], 14, 26), -2.0);
    EXPECT_DOUBLE_EQ(dcol(sets[0].dataLines[1], 1, 13), 7.0);
    // Double precision: type 4, four E20.12 values per line.
    EXPECT_EQ(icol(sets[1].lines[7], 1, 10), 4);
    EXPECT_EQ(icol(sets[1].lines[9], 1, 10), 12);
    ASSERT_EQ(sets[1].dataLines.size(), 2u);
    EXPECT_EQ(cols(sets[1].dataLines[0], 1, 20), "  5.000000000000e-01");
    EXPECT_DOUBLE_EQ(dcol(sets[1].dataLines[1], 41, 60), 4.0);
    // Complex single: type 5, three (re, im) pairs per line.
    EXPECT_EQ(icol(sets[2].lines[7], 1, 10), 5);
    ASSERT_EQ(sets[2].dataLines.size(), 3u);
    EXPECT_DOUBLE_EQ(dcol(sets[2].dataLines[0], 66, 78), 6.0);
    EXPECT_DOUBLE_EQ(dcol(sets[2].dataLines[2], 14, 26), 14.0);
}

TEST_F(UffExport, BinaryFormLayoutAndBytes)
{
    Channel a{"a", "", "Pa", "pressure", it__float, {1.5, -2.25, 3e-5, 4e10}};
    Channel b{"b", "", "Pa", "pressure", it__double, {1.0 / 3, 2, 3, 4}};
    MakeTrx(dir / "b.trx", dk__time, {a, b}, 0.0, 0.5);
    ASSERT_EQ(Export({dir / "b.trx"}, dir / "b.uff", true, false).uState, 19u);
    std::vector<uffref::Read> sets = ReadBack(dir / "b.uff", false);
    ASSERT_EQ(sets.size(), 2u);
    const std::string& t = sets[0].lines[0];
    ASSERT_EQ(t.size(), 79u);
    // 58b, little-endian IEEE, 11 header lines, 16 bytes of values, the rest 0.
    EXPECT_EQ(t, "    58b     1     2          11          16     0     0           0           0");
    for (int i = 0; i < 4; ++i) {
        float f;
        std::memcpy(&f, sets[0].raw.data() + 4 * i, 4);
        EXPECT_EQ(f, float(a.values[std::size_t(i)]));
    }
    EXPECT_EQ(icol(sets[1].lines[0], 32, 43), 32);
    double d;
    std::memcpy(&d, sets[1].raw.data(), 8);
    EXPECT_EQ(d, 1.0 / 3);
}

TEST_F(UffExport, UnevenAbscissaInBinaryForm)
{
    std::vector<double> x = {0, 0.5, 1.5, 3.5};
    Channel a{"a", "", "Pa", "pressure", it__float, {10, 20, 30, 40}};
    MakeTrx(dir / "u.trx", dk__unknown, {a}, 0, 0, "m", "distance", &x);
    // The ASCII form of (x, y) pairs is checked by the band export.
    ASSERT_EQ(Export({dir / "u.trx"}, dir / "ub.uff", true, false).uState, 19u);
    std::vector<uffref::Read> sets = ReadBack(dir / "ub.uff", false);
    EXPECT_EQ(icol(sets[0].lines[7], 21, 30), 0);
    ASSERT_EQ(sets[0].raw.size(), 32u);
    float f[8];
    std::memcpy(f, sets[0].raw.data(), 32);
    EXPECT_EQ(std::vector<float>(f, f + 8), (std::vector<float>{0, 10, 0.5, 20, 1.5, 30, 3.5, 40}));
}

TEST_F(UffExport, ListExportDegreesOfFreedomAndRatioUnits)
{
    Channel good{"74+z", "Bracket", "Pa/N", "virtual quantity", it__float, {1, 2}};
    Channel named{"Plate_12_-x", "", "m/s^2", "acceleration", it__float, {3, 4}};
    MakeTrx(dir / "a.trx", dk__frf, {good, named}, 0, 1, "Hz", "frequency");
    Channel mic{"Mic1", "", "Pa", "pressure", it__float, {5, 6}};
    MakeTrx(dir / "b.trx", dk__frf, {mic}, 0, 1, "Hz", "frequency");

    CTSInterface::SMessage msg = Export({dir / "a.trx", dir / "b.trx"}, dir / "list.uff", false, true);
    EXPECT_EQ(msg.uState, 19u);
    EXPECT_EQ(msg.sText,
              "Conversion completed. NOTE: Degrees Of Freedom (DOF) could not be evaluated from the name of TRX "
              "channel. Check the syntax please. Example: 74+z (Node number and direction)");
    EXPECT_EQ(msg.sSource, (dir / "a.trx").c_str());
    std::vector<uffref::Read> sets = ReadBack(dir / "list.uff", true);
    ASSERT_EQ(sets.size(), 3u);
    EXPECT_EQ(Record6(sets[0].lines[6]), "4 | Bracket 74 3 | NONE 0 0");
    EXPECT_EQ(Axis(sets[0].lines[9]), "15 Bracket Pa");   // the title labels it
    EXPECT_EQ(Axis(sets[0].lines[10]), "13 NONE N");
    EXPECT_EQ(Record6(sets[1].lines[6]), "4 | Plate 12 -1 | NONE 0 0");
    EXPECT_EQ(Record6(sets[2].lines[6]), "4 | NONE 0 0 | NONE 0 0");
    EXPECT_EQ(trim(sets[2].lines[1]), "Source file: " + (dir / "b.trx").string().substr(0, 67));

    // The single export splits names of transfer functions into entity names only.
    Channel frf{"Accel/Hammer", "", "(m/s^2)/N", "virtual quantity", it__float, {1, 2}};
    MakeTrx(dir / "f.trx", dk__frf, {frf}, 0, 1, "Hz", "frequency");
    ASSERT_EQ(Export({dir / "f.trx"}, dir / "f.uff", false, false).uState, 19u);
    sets = ReadBack(dir / "f.uff", true);
    EXPECT_EQ(Record6(sets[0].lines[6]), "4 | Accel 0 0 | Hammer 0 0");
    EXPECT_EQ(trim(cols(sets[0].lines[9], 27, 46)), "Accel/Hammer");
    EXPECT_EQ(icol(sets[0].lines[10], 1, 10), 0);   // ratio units only in the list export
}

TEST_F(UffExport, FailuresDeleteThePartialOutput)
{
    Channel tiny{"t", "", "Pa", "pressure", it__double, {1.0, 1e-120}};
    MakeTrx(dir / "tiny.trx", dk__time, {tiny}, 0, 1);
    CTSInterface::SMessage msg = Export({dir / "tiny.trx"}, dir / "tiny.uff", false, false);
    EXPECT_EQ(msg.uState, 20u);
    EXPECT_EQ(msg.sText, "Conversion failed.\n\nConversion aborted in CThreadUFFExport::uff_ftoa.");
    EXPECT_FALSE(fs::exists(dir / "tiny.uff"));

    // Only pulse channels: nothing to export.
    Channel pulse{"p", "Pulse Channels", "vU", "virtual quantity", it__float, {0, 1}};
    MakeTrx(dir / "pulse.trx", dk__time, {pulse}, 0, 1);
    msg = Export({dir / "pulse.trx"}, dir / "pulse.uff", false, false);
    EXPECT_EQ(msg.uState, 20u);
    EXPECT_EQ(msg.sText, "Conversion failed.\n\nConversion aborted in CThreadUFFExport::uff_conv_trx2uff.\n"
                         "The TRX data set contains no exportable channels.");
    EXPECT_FALSE(fs::exists(dir / "pulse.uff"));

    // A second input that cannot be opened: the whole file goes.
    Channel a{"a", "", "Pa", "pressure", it__float, {1, 2}};
    MakeTrx(dir / "a.trx", dk__time, {a}, 0, 1);
    msg = Export({dir / "a.trx", dir / "nothere.trx"}, dir / "two.uff", false, true);
    EXPECT_EQ(msg.uState, 20u);
    EXPECT_FALSE(fs::exists(dir / "two.uff"));

    // An existing output without permission stays as it was.
    WriteText(dir / "keep.uff", "keep");
    msg = Export({dir / "a.trx"}, dir / "keep.uff", false, false, 0);
    EXPECT_EQ(msg.uState, 20u);
    EXPECT_EQ(msg.sText,
              "Output file already exists and may not be overwritten. (Overwriting can be enabled by the settings).");
    EXPECT_EQ(ReadText(dir / "keep.uff"), "keep");

    // The output may not be one of the inputs.
    msg = Export({dir / "a.trx"}, dir / "a.trx", false, false);
    EXPECT_EQ(msg.uState, 20u);
    EXPECT_TRUE(fs::exists(dir / "a.trx"));
}

TEST_F(UffExport, ExportThenImportKeepsValuesNamesAndKind)
{
    Channel a{"a", "Left", "Pa", "pressure", it__float, Wave(50, 10.0)};
    MakeTrx(dir / "r.trx", dk__time, {a}, 0.0, 0.01);
    for (bool binary : {false, true}) {
        ASSERT_EQ(Export({dir / "r.trx"}, dir / "r.uff", binary, false).uState, 19u);
        ASSERT_EQ(Import(dir / "r.uff", dir / "back.trx").uState, 17u);
        CDataset ds((dir / "back.trx").c_str(), om__read, 32768, sh__deny_write);
        EXPECT_EQ(ds.GetKind(), dk__time);
        EXPECT_EQ(ds.GetChannel(0).GetName(), "Left");
        EXPECT_EQ(ds.GetChannel(0).GetUnit().GetText(), "Pa");
        EXPECT_DOUBLE_EQ(ds.GetAbscissa(0).GetDeltaValue(), 0.01);
        std::vector<double> v = ReadChannel(dir / "back.trx", 0);
        ASSERT_EQ(v.size(), 50u);
        for (std::size_t i = 0; i < 50; ++i)
            EXPECT_NEAR(v[i], a.values[i], binary ? 1e-5 : std::fabs(a.values[i]) * 5e-6);
    }
}

}  // namespace
