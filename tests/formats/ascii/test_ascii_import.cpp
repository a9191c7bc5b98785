// ASCII import: header and data detection, abscissa decisions, number syntax,
// sample coding, failure texts, and the job around the converter.

#include "AsciiTestUtil.h"

#include "formats/ascii/TS_ASCIIImport.h"

#include <cmath>
#include <random>

using namespace ascii_test;

namespace {

std::string Table(int lines, double t0, double dt, const char* eol = "\n")
{
    std::string s;
    char buf[128];
    for (int i = 0; i < lines; ++i) {
        std::snprintf(buf, sizeof buf, "%.6f %g %g%s", t0 + i * dt, std::sin(i * 0.3), 0.5 * i - 3, eol);
        s += buf;
    }
    return s;
}

struct SImported {
    int result = -1;
    CString error;
    std::unique_ptr<CDataset> ds;
};

SImported Import(const CScratchDir& dir, const std::string& text, const SASCImportContext* ctx = nullptr)
{
    // Each import its own output: an earlier result may still be open.
    static int serial = 0;
    const std::string out = dir / ("out" + std::to_string(++serial) + ".trx");
    WriteFile(dir / "in.txt", text);
    SImported r;
    SASCImportContext context = ctx ? *ctx : SASCImportContext::FromSettings();
    r.result = ConvertASCIIToTRX((dir / "in.txt").c_str(), out.c_str(), context, r.error);
    if (r.result == 0) r.ds = std::make_unique<CDataset>(out.c_str(), om__read_complete, 32768L, sh__deny_write);
    return r;
}

using AsciiImport = CAsciiTest;

} // namespace

TEST_F(AsciiImport, WithoutHeaderTheCommentIsTheInformationText)
{
    SImported r = Import(dir, Table(20, 2.0, 0.5));
    ASSERT_EQ(r.result, 0) << r.error.c_str();
    std::string expect = "ASCII source file: " + (dir / "in.txt") +
                         "\r\nThe abscissa is calculated from column 1.\r\nThe channels are taken from columns 2 to 3.\r\n";
    EXPECT_EQ(r.ds->GetComment().str(), expect);
    // x_start 2.0 is a whole number of steps of 0.5: snapped exactly.
    EXPECT_TRUE(r.ds->GetAbscissa(0).IsCalc());
    EXPECT_EQ(r.ds->GetAbscissa(0).GetFirstValue(), 2.0);
    EXPECT_EQ(r.ds->GetAbscissa(0).GetDeltaValue(), 0.5);
    ASSERT_EQ(r.ds->GetNbrOfChannels(), 2);
    EXPECT_EQ(r.ds->GetChannel(0).GetName(), "channel 1");
    EXPECT_EQ(r.ds->GetChannel(1).GetUnit().GetText(), "Pa");
}

TEST_F(AsciiImport, NonLinearAbscissaIsStored)
{
    std::string text;
    for (int i = 0; i < 30; ++i) text += std::to_string(i * i * i) + " " + std::to_string(i) + " 1\n";
    SImported r = Import(dir, text);
    ASSERT_EQ(r.result, 0) << r.error.c_str();
    CDataset& ds = *r.ds;
    EXPECT_FALSE(ds.GetAbscissa(0).IsCalc());
    EXPECT_EQ(ds.GetOrganisation(), int(ds__dorg_with_abscissa));
    EXPECT_EQ(ds.GetKind(), int(dk__unknown)); // a stored time abscissa is no time signal
    EXPECT_NE(ds.GetComment().Find("The abscissa is taken from column 1."), -1);
    std::vector<double> expect;
    for (int i = 0; i < 30; ++i) expect.insert(expect.end(), {double(i * i * i), double(i), 1.0});
    EXPECT_EQ(ReadValues(ds, true), expect);
    EXPECT_EQ(ds.GetWorldFixAbsc(0, 29), 29.0 * 29 * 29);
}

TEST_F(AsciiImport, SingleColumnOrAbscissaFromSettings)
{
    CTSSettings::m_dAbscDeltaValASCImport = 0.25;
    SImported r = Import(dir, "3\n1\n4\n1\n5\n");
    ASSERT_EQ(r.result, 0) << r.error.c_str();
    EXPECT_EQ(r.ds->GetNbrOfChannels(), 1);
    EXPECT_EQ(r.ds->GetAbscissa(0).GetDeltaValue(), 0.25);
    EXPECT_EQ(r.ds->GetAbscissa(0).GetFirstValue(), 0.0);
    EXPECT_EQ(ReadValues(*r.ds), (std::vector<double>{3, 1, 4, 1, 5}));

    CTSSettings::m_bAbscProvidedASCImport = 0;
    CTSSettings::m_sAbscUnitASCImport = "Hz";
    r = Import(dir, "0 1\n1 2\n2 3\n");
    ASSERT_EQ(r.result, 0) << r.error.c_str();
    EXPECT_EQ(r.ds->GetNbrOfChannels(), 2);
    EXPECT_EQ(r.ds->GetKind(), int(dk__spectrum));
    EXPECT_EQ(r.ds->GetComment().str(), "ASCII source file: " + (dir / "in.txt") +
                                            "\r\nThe channels are taken from columns 1 to 2.\r\n");

    // 257 numbers without an abscissa column: 256 channels, the last column is dropped.
    std::string wide;
    for (int l = 0; l < 3; ++l) {
        for (int c = 0; c < 257; ++c) wide += std::to_string(c + l) + " ";
        wide += "\n";
    }
    r = Import(dir, wide);
    ASSERT_EQ(r.result, 0) << r.error.c_str();
    EXPECT_EQ(r.ds->GetNbrOfChannels(), 256);
}

TEST_F(AsciiImport, SuffixesDecibelsSignsAndCommas)
{
    std::string text = "1k, 2m 3u -6dB\n"
                       "- -4 +5M 6n 0dB\n"
                       "7p, 8g 9t -20DB\n";
    // Lines with suffixes are no number lines for the header scan: with no
    // number line at all the data start at the top, and the text is the comment.
    SImported r = Import(dir, text);
    ASSERT_EQ(r.result, 0) << r.error.c_str();
    EXPECT_EQ(r.ds->GetComment(), "1k, 2m 3u -6dB\r\n- -4 +5M 6n 0dB\r\n7p, 8g 9t -20DB\r\n");
    // Column 1 (1000, 4, 7e-12) is no equidistant abscissa: stored.
    CDataset& ds = *r.ds;
    ASSERT_EQ(ds.GetNbrOfChannels(), 3);
    std::vector<double> v = ReadValues(ds, true);
    ASSERT_EQ(v.size(), 12u);
    // -6 dB is 0.501187 (10^(-6/20)).
    const double expect[12] = {1000, 0.002, 3e-6, 0.501187, 4, 5e6, 6e-9, 1.0, 7e-12, 8e9, 9e12, 0.1};
    for (int i = 0; i < 12; ++i) EXPECT_NEAR(v[std::size_t(i)], expect[i], std::fabs(expect[i]) * 1e-6) << i;

    // Decimal commas are separators: 1,5 is two numbers.
    r = Import(dir, "0 1,5\n1 2,5\n2 3,5\n");
    ASSERT_EQ(r.result, 0) << r.error.c_str();
    EXPECT_EQ(ReadValues(*r.ds), (std::vector<double>{1, 5, 2, 5, 3, 5}));
}

TEST_F(AsciiImport, ScannerAndPlainReaderGiveTheSameSamples)
{
    std::mt19937 g(5);
    std::uniform_real_distribution<double> u(-1e3, 1e3);
    std::string plain;
    char buf[64];
    for (int i = 0; i < 2000; ++i) {
        plain += std::to_string(i);
        for (int c = 0; c < 4; ++c) {
            std::snprintf(buf, sizeof buf, c % 2 ? ", %.9g" : "\t%.4e", u(g));
            plain += buf;
        }
        plain += i % 3 ? "\r\n" : "\n";
    }
    SImported fast = Import(dir, plain);
    ASSERT_EQ(fast.result, 0) << fast.error.c_str();
    std::vector<double> a = ReadValues(*fast.ds);
    fast.ds.reset();
    // A comment on the last line sends the whole table through the scanner.
    SImported scanned = Import(dir, plain + "// end of table\n");
    ASSERT_EQ(scanned.result, 0) << scanned.error.c_str();
    std::vector<double> b = ReadValues(*scanned.ds);
    ASSERT_EQ(a.size(), 2000u * 4);
    EXPECT_EQ(a, b);
}

TEST_F(AsciiImport, IntegerTypesScaleTheLargestMagnitudeToFullScale)
{
    // Samples of -2.5 1.25 0.5 0 and 10 0 -4 0.001, the largest magnitude at
    // full scale, rounded half away from zero.
    struct SCase {
        int type;
        double full;
        std::vector<double> raw;
    };
    const SCase cases[] = {
        {3, 32767.0, {-32767, 32767, 16384, 0, 6553, -13107, 0, 3}},
        {5, 8388607.0, {-8388607, 8388607, 4194304, 0, 1677721, -3355443, 0, 839}},
        {7, 2147483647.0, {-2147483647, 2147483647, 1073741824, 0, 429496729, -858993459, 0, 214748}},
    };
    for (const SCase& c : cases) {
        ResetSettings(c.type);
        SImported r = Import(dir, "0 -2.5 10\n1 1.25 0\n2 0.5 -4\n3 0 0.001\n");
        ASSERT_EQ(r.result, 0) << r.error.c_str();
        CDataset& ds = *r.ds;
        ASSERT_EQ(ds.GetChannel(0).GetImplType(), c.type);
        EXPECT_EQ(ReadValues(ds, false, mk__raw), c.raw) << c.type;
        std::vector<double> phys = ReadValues(ds);
        EXPECT_NEAR(phys[4], 0.5, 2.5 / c.full);
        EXPECT_NEAR(phys[5], -4.0, 10 / c.full);
        // The peak 10 Pa is 104.95 dB re 2·√2·20 µPa: 105.0 dB, rounded up to 0.1 dB.
        EXPECT_NEAR(ds.GetChannel(1).GetCalibration(), 105.0, 1e-4);
    }
    // An all-zero column: calibration 94 dB, samples 0.
    ResetSettings(3);
    SImported r = Import(dir, "0 0\n1 0\n2 0\n");
    ASSERT_EQ(r.result, 0) << r.error.c_str();
    EXPECT_EQ(r.ds->GetChannel(0).GetCalibration(), 94.0f);
    EXPECT_EQ(ReadValues(*r.ds), (std::vector<double>{0, 0, 0}));

    // Types without a coding of their own are stored as floats, declared as floats.
    ResetSettings(4);
    r = Import(dir, "0 1.5\n1 -2.25\n");
    ASSERT_EQ(r.result, 0) << r.error.c_str();
    EXPECT_EQ(r.ds->GetChannel(0).GetImplType(), int(it__float));
    EXPECT_EQ(ReadValues(*r.ds), (std::vector<double>{1.5, -2.25}));
}

TEST_F(AsciiImport, FailureTexts)
{
    std::string text;
    for (int i = 0; i < 11; ++i) text += std::to_string(i) + " 1 2\n";
    const std::pair<std::string, const char*> cases[] = {
        {"1 2 3\n", "Found to less numbers in file (1*3)."},
        {"just text\n", "Can't read number in line 1."},
        {"", "Found to less numbers in file (0*0)."},
        {"1e\n", "Can't create stream on file."}, // the first token fails
        {text + "11 x 5\n12 1 2\n", "Can't read number in line 12."},
        {text + "11, 2e\n", "Syntax error in line 13 (error in exponent of floating point numeral)."},
    };
    for (const auto& [table, error] : cases) {
        SImported r = Import(dir, table);
        EXPECT_EQ(r.result, 1) << error;
        EXPECT_EQ(r.error, error);
    }

    SASCImportContext ctx;
    CString err;
    EXPECT_EQ(ConvertASCIIToTRX("", (dir / "o.trx").c_str(), ctx, err), 1);
    EXPECT_EQ(err, "Empty file names.");
    EXPECT_EQ(ConvertASCIIToTRX((dir / "missing.txt").c_str(), (dir / "o.trx").c_str(), ctx, err), 1);
    EXPECT_EQ(err.str(), "Can't open ASCII file " + (dir / "missing.txt") + ".");
    WriteFile(dir / "in.txt", "0 1\n1 2\n");
    EXPECT_EQ(ConvertASCIIToTRX((dir / "in.txt").c_str(), (dir / "no/such/dir/o.trx").c_str(), ctx, err), 1);
    EXPECT_EQ(err.str(), "Can't open TRX output file " + (dir / "no/such/dir/o.trx") + ".");
}

TEST_F(AsciiImport, NumbersBeyondTheRangeAreRefusedWithTheirLine)
{
    std::string text;
    for (int i = 0; i < 11; ++i) text += std::to_string(i) + " 1\n";
    for (const char* bad : {"11 1e999\n", "11 -1e999\n", "1e999 1\n", "11 7000dB\n"}) {
        SImported r = Import(dir, text + bad + "12 1\n");
        EXPECT_EQ(r.result, 1) << bad;
        EXPECT_EQ(r.error, "Number out of range in line 12.") << bad;
    }
    // Finite, but more than a 32-bit float holds: refused for float channels...
    SImported r = Import(dir, text + "11 1.7e308\n");
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.error, "Number out of range of 32-bit floats in line 12.");
    // ...and kept by 64-bit and integer channels, with a finite calibration:
    // 20·log10(1.7e308 / (2·√2·2e-5 Pa)) = 6249.56 dB, rounded up to 0.1 dB.
    for (int type : {12, 3}) {
        ResetSettings(type);
        r = Import(dir, text + "11 1.7e308\n");
        ASSERT_EQ(r.result, 0) << type << ": " << r.error.c_str();
        const std::vector<double> v = ReadValues(*r.ds);
        ASSERT_EQ(v.size(), 12u);
        EXPECT_NEAR(v.back(), 1.7e308, 1.7e308 * 1e-9) << type;
        EXPECT_NEAR(r.ds->GetChannel(0).GetCalibration(), 6249.6f, 0.01f) << type;
    }
}

TEST_F(AsciiImport, LargeIntegersAreReadExactly)
{
    ResetSettings(12);
    std::string text;
    for (int i = 0; i < 12; ++i) text += std::to_string(i) + " " + std::to_string(1700000000000LL + 7 * i) + "\n";
    // Plain, and through the scanner (a comment line sends the table there).
    for (const std::string& t : {text, text + "// epoch milliseconds\n"}) {
        SImported r = Import(dir, t);
        ASSERT_EQ(r.result, 0) << r.error.c_str();
        const std::vector<double> v = ReadValues(*r.ds);
        ASSERT_EQ(v.size(), 12u);
        for (int i = 0; i < 12; ++i) EXPECT_EQ(v[std::size_t(i)], 1700000000000.0 + 7 * i) << i;
    }
}

TEST_F(AsciiImport, StoredAbscissaAndDoubleChannelsKeepTheirValues)
{
    // Falling clock times a quarter second apart: stored, whatever the channel type.
    for (int type : {3, 10, 12}) {
        ResetSettings(type);
        std::string text;
        char line[64];
        for (int i = 0; i < 12; ++i) {
            std::snprintf(line, sizeof line, "%.2f %d\n", 1700000000.0 - 0.25 * i, i % 5);
            text += line;
        }
        SImported r = Import(dir, text);
        ASSERT_EQ(r.result, 0) << r.error.c_str();
        const CAbscissa a = r.ds->GetAbscissa(0);
        ASSERT_FALSE(a.IsCalc());
        EXPECT_EQ(a.GetImplType(), int(it__double));
        for (int i = 0; i < 12; ++i) EXPECT_EQ(r.ds->GetWorldFixAbsc(0, i), 1700000000.0 - 0.25 * i) << type << " " << i;
    }
    // Type 12 is stored as 64-bit floats.
    ResetSettings(12);
    SImported r = Import(dir, "0 0.1\n1 -0.3\n2 1e-300\n");
    ASSERT_EQ(r.result, 0) << r.error.c_str();
    EXPECT_EQ(r.ds->GetChannel(0).GetImplType(), int(it__double));
    EXPECT_EQ(ReadValues(*r.ds), (std::vector<double>{0.1, -0.3, 1e-300}));
}

TEST_F(AsciiImport, ANulByteInTheHeaderDoesNotCutTheComment)
{
    std::string text("Run 4\0after the zero byte\nsecond line\n", 38);
    for (int i = 0; i < 12; ++i) text += std::to_string(i) + " 1\n";
    SImported r = Import(dir, text);
    ASSERT_EQ(r.result, 0) << r.error.c_str();
    EXPECT_EQ(r.ds->GetComment(), "Run 4 after the zero byte\r\nsecond line\r\n");
}

TEST_F(AsciiImport, LinesLongerThanTheFirstReadBufferAreReadWhole)
{
    // 100 KiB lines of three numbers, most of them blanks.
    std::string text;
    std::vector<double> expect;
    for (int l = 0; l < 12; ++l) {
        text += std::to_string(l);
        for (int c = 1; c < 25000; ++c) text += c == 1 ? " 7.5" : "   ";
        text += " " + std::to_string(l * 2) + "\n";
        expect.insert(expect.end(), {7.5, 2.0 * l});
    }
    SImported r = Import(dir, text);
    ASSERT_EQ(r.result, 0) << r.error.c_str();
    ASSERT_EQ(r.ds->GetNbrOfChannels(), 2);
    EXPECT_EQ(ReadValues(*r.ds), expect);
}
