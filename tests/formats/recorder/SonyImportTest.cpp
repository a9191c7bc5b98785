// The SONY MK II/III import through CTSInterface: samples copied unchanged,
// values = stored samples × the LOG's mapping, the failures of the LOG and of
// the data file, and no output left after a failure.

#include "formats/recorder/RecorderJob.h"

#include "RecorderTestUtil.h"

#include <functional>
#include <tuple>

using namespace rectest;

namespace {

class SonyImport : public RecorderTest {
protected:
    void TearDown() override
    {
        RecorderJob::SetBufferLimitForTests(0);
        RecorderTest::TearDown();
    }
    // A recording "rec.bin" + "rec.LOG" with `scans` scans of the channels.
    fs::path Make(const std::vector<SonyChannelLine>& ch, int scans, long announced = -1)
    {
        WriteFile(dir / "rec.bin", Ramp(int(ch.size()), scans));
        WriteFile(dir / "rec.LOG", SonyLog(ch, announced < 0 ? scans : announced, "2.0833333e-05"));
        return dir / "rec.bin";
    }
    CTSInterface::SMessage Import(const fs::path& in, const fs::path& out, const int* overwrite = nullptr)
    {
        CTSInterface::SMessage msg;
        EXPECT_EQ(CTSInterface().ImportSONY(in.c_str(), 3, 4, out.c_str(), overwrite, &msg), 0u);
        return msg;
    }
};

const std::vector<SonyChannelLine> kChannels = {{1, "ACC1", "m/s^2", "0.00153*(X)+0.0", "20."},
                                                {2, "PRESS", "Pa", "0.5*(X)+10.0", ""},
                                                {4, "VOLT", "V", "3.0517578125E-04*(X)-1.5", "5.0"}};

}  // namespace

TEST_F(SonyImport, ValuesAreTheStoredSamplesTimesTheMapping)
{
    const fs::path in = Make(kChannels, 1001);
    const CTSInterface::SMessage msg = Import(in, dir / "rec.dat");
    ASSERT_EQ(msg.uState, 13u) << msg.sText.c_str();
    EXPECT_EQ(std::tie(msg.sText, msg.lID, msg.lUser), std::make_tuple(Text(2), 3L, 4L));

    CDataset ds((dir / "rec.dat").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_EQ(ds.GetKind(), dk__time);
    EXPECT_EQ(ds.GetComment(), "Imported from SONY MK II/III data file format.\r\n");
    const CAbscissa a = ds.GetAbscissa(0);
    EXPECT_EQ(std::make_tuple(a.GetName(), a.GetAbbreviation(), a.GetUnit().GetText()), std::make_tuple("Time", "t", "s"));
    EXPECT_EQ(std::make_tuple(a.GetDeltaValue(), a.GetNbrOfScans()), std::make_tuple(2.0833333e-05, 1001L));
    ExpectChannels(ds, {{"ACC1", "A", "m/s^2", 1, 0.00153, 0.0},
                        {"PRESS", "P", "Pa", 2, 0.5, 10.0},
                        {"VOLT", "V", "V", 4, 3.0517578125E-04, -1.5}});
    // 20·log10(factor·32768/√2), computed independently for these factors.
    const float calibrations[] = {30.992527f, 81.278099f, 16.989700f};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(ds.GetChannel(c).GetImplType(), it__int16);
        EXPECT_NEAR(ds.GetChannel(c).GetCalibration(), calibrations[c], 1e-3);
        EXPECT_EQ(ds.GetChannel(c).GetDeltaHeadroom(), 0.0f);
    }
    ExpectSamplesAtDataOffset(dir / "rec.dat", samples);
    ExpectValues(dir / "rec.dat", samples, {0.00153, 0.5, 3.0517578125E-04}, {0.0, 10.0, -1.5});
}

TEST_F(SonyImport, UnknownUnitsBecomePercentWithAWarning)
{
    const fs::path in = Make({{1, "ACC1", "xyz", "0.00153*(X)+0.0", ""}, {2, "B", "V", "2.0*(X)+0.0", ""}}, 10);
    const CTSInterface::SMessage msg = Import(in, dir / "rec.dat");
    ASSERT_EQ(msg.uState, 13u) << msg.sText.c_str();
    EXPECT_EQ(msg.sText, Text(60));
    CDataset ds((dir / "rec.dat").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_EQ(ds.GetChannel(0).GetUnit().GetText(), "%");
    EXPECT_EQ(ds.GetChannel(0).GetMapping().GetFactor(), 1.0030518509475996);
    EXPECT_EQ(ds.GetChannel(0).GetMapping().GetOffset(), 0.0);
    EXPECT_EQ(ds.GetChannel(1).GetUnit().GetText(), "V");
    EXPECT_EQ(ds.GetChannel(1).GetMapping().GetFactor(), 2.0);
}

TEST_F(SonyImport, FailuresLeaveNoOutput)
{
    const fs::path in = dir / "rec.bin", log = dir / "rec.LOG";
    const struct {
        std::function<void()> make;   // changes the recording of the case before
        CString text;                 // the text starts so
        const char* part;             // and holds this
    } kCases[] = {
        // One sample short of channels × samples × 2 bytes.
        {[&] {
             Make(kChannels, 100);
             const Bytes b = ReadFile(in);
             WriteFile(in, Bytes(b.begin(), b.end() - 2));
         },
         Text(12), ""},
        // A LOG that lacks TRIG_MODE: 61, the reason appended.
        {[&] {
             Make(kChannels, 10);
             WriteFile(log, SonyLog(kChannels, 10, "1e-3", {"TRIG_MODE"}));
         },
         Text(61), "TRIG_MODE"},
        // No channels: the reader's message goes with the result text.
        {[&] { WriteFile(log, SonyLog({}, 10, "1e-3")); },
         Text(61) + "\n" + CString(log.string()) + ": No channels were read!\nLog file may be corrupted", ""},
        // No LOG at all; then a sampling interval of 0.
        {[&] { fs::remove(log); }, Text(61), ""},
        {[&] { WriteFile(log, SonyLog(kChannels, 10, "0")); }, "", "FILE_INTVL_CH"},
        // No work buffer of even 4096 bytes.
        {[&] {
             Make(kChannels, 10);
             RecorderJob::SetBufferLimitForTests(2048);
         },
         Text(6), ""},
    };
    for (const auto& k : kCases) {
        k.make();
        const CTSInterface::SMessage msg = Import(in, dir / "rec.dat");
        EXPECT_EQ(msg.uState, 14u);
        EXPECT_EQ(msg.sText.Left(k.text.GetLength()), k.text);
        EXPECT_NE(msg.sText.Find(k.part), -1) << msg.sText.c_str();
        EXPECT_FALSE(fs::exists(dir / "rec.dat"));
    }
    RecorderJob::SetBufferLimitForTests(0);

    // An output that exists and may not be replaced stays as it was; the
    // input is never the output.
    WriteFile(dir / "keep.dat", std::string("mine"));
    const int no = 0, yes = 1;
    CTSInterface::SMessage msg = Import(in, dir / "keep.dat", &no);
    EXPECT_EQ(msg.uState, 14u);
    EXPECT_EQ(msg.sText, Text(8));
    EXPECT_EQ(ReadFile(dir / "keep.dat"), "mine");
    const Bytes before = ReadFile(in);
    msg = Import(in, in, &yes);
    EXPECT_EQ(msg.sText.Left(20), Text(111).Left(20));
    EXPECT_EQ(ReadFile(in), before);
}

TEST_F(SonyImport, AsynchronousStartDerivesTheOutput)
{
    const fs::path in = Make(kChannels, 50);
    // Into the TRX standard directory, made when missing.
    CTSSettings::m_lStandardPathFlags = CTSSettings::bitSONYImport;
    CTSSettings::m_sPathTRX = (dir / "std").c_str();
    std::vector<std::string> produced;
    const CTSInterface::SMessage msg = RunAsync(
        [&] { return CTSInterface().ImportSONY(in.c_str(), 21, 22, nullptr, nullptr, nullptr); }, &produced);
    EXPECT_EQ(msg.uState, 13u) << msg.sText.c_str();
    EXPECT_EQ(std::tie(msg.lID, msg.lUser), std::make_tuple(21L, 22L));
    ASSERT_EQ(produced.size(), 1u);
    EXPECT_EQ(produced[0], (dir / "std" / "rec.dat").string());
    EXPECT_EQ(ReadDataset(dir / "std" / "rec.dat", {}, true).size(), samples.size());
    // A synchronous call needs an output path.
    CTSInterface::SMessage rec;
    EXPECT_EQ(CTSInterface().ImportSONY(in.c_str(), 1, 2, nullptr, nullptr, &rec), 110u);
}
