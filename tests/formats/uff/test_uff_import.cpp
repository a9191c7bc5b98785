// The UFF import job: files written by the independent reference writer become
// TRX data sets with the right groups, channels, values, dates and DOF tags;
// every failure leaves nothing behind.

#include "tests/formats/uff/Uff58Reference.h"
#include "tests/formats/uff/UffJobTestUtil.h"

#include <array>
#include <cmath>
#include <functional>

namespace {

using namespace ufftest;

// The ramp of the reference writer, measured at a node of the bracket.
uffref::DataSet Signal(int n, double dx, double scale, int node = 0, int dir = 0)
{
    uffref::DataSet d = uffref::Ramp(n, dx, scale);
    d.respEntity = "Bracket";
    d.respNode = node;
    d.respDir = dir;
    return d;
}

using UffImport = CUffJobTest;

TEST_F(UffImport, GroupsBecomeNumberedFilesWithChannelsValuesDatesAndDofTags)
{
    std::string file;
    uffref::write(file, Signal(40, 0.001, 1.0, 74, 3), "\r\n");
    uffref::write(file, Signal(40, 0.001, 2.0, 12, -1), "\r\n");
    uffref::write(file, Signal(40, 0.002, 3.0), "\r\n");
    WriteText(dir / "in.uff", file);

    CTSInterface::SMessage msg = Import(dir / "in.uff", dir / "out.trx");
    ASSERT_EQ(msg.uState, 17u) << msg.sText.c_str();
    EXPECT_EQ(msg.sText, "Conversion successfully completed.");
    EXPECT_FALSE(fs::exists(dir / "out.trx"));
    ASSERT_TRUE(fs::exists(dir / "out1.trx"));
    ASSERT_TRUE(fs::exists(dir / "out2.trx"));

    CDataset a((dir / "out1.trx").c_str(), om__read, 32768, sh__deny_write);
    ASSERT_EQ(a.GetNbrOfChannels(), 2);
    EXPECT_EQ(a.GetKind(), dk__time);
    EXPECT_EQ(a.GetComment(), "Import from UFF:\nRun 7\nNONE\n12-MAR-03 14:05:09\nNONE\nNONE");
    CDateTimeEx::SParts p = a.GetDateOfRecording().GetParts();
    EXPECT_EQ((std::array<int, 5>{p.iYear, p.iMonth, p.iDay, p.iHour, p.iMinute}),
              (std::array<int, 5>{2003, 3, 12, 14, 5}));
    EXPECT_EQ(a.GetAbscissa(0).GetNbrOfScans(), 40);
    EXPECT_DOUBLE_EQ(a.GetAbscissa(0).GetDeltaValue(), 0.001);
    EXPECT_EQ(a.GetAbscissa(0).GetUnit().GetText(), "s");
    const CChannel c0 = a.GetChannel(0);
    EXPECT_EQ(c0.GetName(), "Accel");
    EXPECT_EQ(c0.GetAbbreviation(), "Ac");
    EXPECT_EQ(c0.GetUnit().GetText(), "m/s^2");
    EXPECT_EQ(c0.GetQuantity().GetName(), "acceleration");
    EXPECT_EQ(c0.GetImplType(), it__float);
    EXPECT_EQ(c0.GetPhysChannel(), 0);
    EXPECT_EQ(a.GetChannel(1).GetPhysChannel(), 1);
    // Calibration: the peak 6.5 over 2·√2 times 1 µm/s² (ISO 1683) is 127.23 dB, rounded up to whole dB.
    EXPECT_EQ(a.GetChannel(1).GetCalibration(), 128.0f);

    CTagValue v;
    ASSERT_TRUE(a.GetTags("Channel0")->GetValue("DOF", v));
    EXPECT_EQ(v.GetText(), "+74Z");
    ASSERT_TRUE(a.GetTags("Channel1")->GetValue("DOF", v));
    EXPECT_EQ(v.GetText(), "-12X");

    std::vector<double> v1 = ReadChannel(dir / "out1.trx", 1);
    ASSERT_EQ(v1.size(), 40u);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(v1[std::size_t(i)], (i - 13) * 0.25);

    CDataset b((dir / "out2.trx").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_EQ(b.GetNbrOfChannels(), 1);
    EXPECT_FALSE(b.GetTags("Channel0")->Has("DOF"));
}

TEST_F(UffImport, BinaryComplexUnevenAndRatioUnits)
{
    // Big-endian complex double, kept complex.
    uffref::DataSet c = Signal(6, 2.5, 1.0);
    c.funcType = 4;
    c.binary = true;
    c.bigEndian = true;
    c.ordType = 6;
    c.xmin = 10.0;
    c.axis[0] = {18, 0, 0, 0, "Frequency", "Hz"};
    c.axis[2] = {13, 0, 0, 0, "Force", "N"};
    c.re = {1, 2, 3, 4, 5, 6};
    c.im = {-1, -0.5, 0.25, 0, 1e-3, 7};
    std::string file;
    uffref::write(file, c);
    WriteText(dir / "c.uff", file);
    CTSInterface::SMessage msg = Import(dir / "c.uff", dir / "c.trx");
    ASSERT_EQ(msg.uState, 17u) << msg.sText.c_str();
    {
        CDataset a((dir / "c.trx").c_str(), om__read, 32768, sh__deny_write);
        EXPECT_EQ(a.GetKind(), dk__frf);
        EXPECT_EQ(a.GetChannel(0).GetImplType(), it__cdouble);
        EXPECT_EQ(a.GetChannel(0).GetName(), "Accel/Force");
        EXPECT_EQ(a.GetChannel(0).GetUnit().GetText(), "(m/s^2)/N");
        EXPECT_EQ(a.GetAbscissa(0).GetName(), "Frequency");
        EXPECT_DOUBLE_EQ(a.GetAbscissa(0).GetFirstValue(), 10.0);
        EXPECT_DOUBLE_EQ(a.GetAbscissa(0).GetDeltaValue(), 2.5);
    }
    EXPECT_EQ(ReadChannel(dir / "c.trx", 0), (std::vector<double>{1, -1, 2, -0.5, 3, 0.25, 4, 0, 5, 1e-3, 6, 7}));

    // Uneven real single: the abscissa values travel with the samples.
    uffref::DataSet u = Signal(5, 0, 1.0);
    u.spacing = 0;
    u.x = {0.0, 0.5, 1.5, 3.5, 7.5};
    u.re = {10, 20, 30, 40, 50};
    file.clear();
    uffref::write(file, u);
    WriteText(dir / "u.uff", file);
    msg = Import(dir / "u.uff", dir / "u.trx");
    ASSERT_EQ(msg.uState, 17u) << msg.sText.c_str();
    const std::vector<double> v = ReadChannel(dir / "u.trx", 0, true);
    EXPECT_EQ(v, (std::vector<double>{0, 10, 0.5, 20, 1.5, 30, 3.5, 40, 7.5, 50}));
}

TEST_F(UffImport, FailuresLeaveNoOutputAndReportTheirTexts)
{
    struct Case {
        const char* what;
        std::function<std::string()> make;
        unsigned state;
        std::string text;
    };
    const std::string in = (dir / "in.uff").string();
    const std::vector<Case> cases = {
        {"not IEEE", [&] { uffref::DataSet d = Signal(4, 0.1, 1); d.binary = true; d.fpFormat = 1;
                           std::string f; uffref::write(f, d); return f; },
         18, "The floating point format used by the UFF data set ist not supported!\nFloating point format has to be IEEE."},
        {"nothing to import", [] { return std::string("    -1\n    15\n    -1\n"); }, 18,
         "No or no valid UFF 58 or 58b data sets found in " + in + "."},
        {"values missing in the second group", [&] {
             std::string f;
             uffref::write(f, Signal(10, 0.1, 1.0));
             uffref::DataSet d = Signal(10, 0.2, 1.0);
             d.pointsOverride = 16;   // one value line short
             uffref::write(f, d);
             return f; },
         18, "Conversion failed at line number 32 of the UFF file.\n.\nConversion aborted in CThreadUFFImport::uff_read_number."},
    };
    for (const Case& c : cases) {
        WriteText(dir / "in.uff", c.make());
        CTSInterface::SMessage msg = Import(dir / "in.uff", dir / "out.trx");
        EXPECT_EQ(msg.uState, c.state) << c.what;
        EXPECT_EQ(msg.sText, c.text.c_str()) << c.what;
        EXPECT_FALSE(fs::exists(dir / "out.trx")) << c.what;
        EXPECT_FALSE(fs::exists(dir / "out1.trx")) << c.what;
        EXPECT_FALSE(fs::exists(dir / "out2.trx")) << c.what;
        EXPECT_TRUE(fs::exists(dir / "in.uff")) << c.what;
    }

    // Missing input: 10 with the path.
    CTSInterface::SMessage msg = Import(dir / "missing.uff", dir / "out.trx");
    EXPECT_EQ(msg.uState, 18u);
    EXPECT_EQ(msg.sText, ("File \"" + (dir / "missing.uff").string() + "\" could not be opened.").c_str());

    // Existing output without permission: 8, and the file keeps its contents.
    std::string good;
    uffref::write(good, Signal(4, 0.1, 1.0));
    WriteText(dir / "in.uff", good);
    WriteText(dir / "out.trx", "precious");
    msg = Import(dir / "in.uff", dir / "out.trx", 0);
    EXPECT_EQ(msg.uState, 18u);
    EXPECT_EQ(ReadText(dir / "out.trx"), "precious");
}

TEST_F(UffImport, DerivedOutputAndTheInterfaceRule)
{
    std::string file;
    uffref::write(file, Signal(4, 0.1, 1.0));
    WriteText(dir / "meas.unv", file);
    CTSInterface::SMessage msg;
    // A synchronous call without output: 110, nothing built.
    EXPECT_EQ(CTSInterface().ImportUFF((dir / "meas.unv").c_str(), 1, 2, nullptr, nullptr, &msg), 110u);
    EXPECT_FALSE(fs::exists(dir / "meas.trx"));

    // The rules are the output policy's; the job brings its bit and extension.
    CTSSettings::m_lStandardPathFlags = CTSSettings::bitUFFImport;
    CTSSettings::m_sPathTRX = (dir / "std").c_str();
    CThreadUFFImport redirected((dir / "meas.unv").c_str(), 1, 2, nullptr, nullptr);
    EXPECT_EQ(redirected.m_arsOutput[0], (dir / "std" / "meas.trx").c_str());
}

}  // namespace
