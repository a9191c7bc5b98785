// The SONY MK II/III import through CTSInterface: samples copied unchanged,
// values = stored samples × the LOG's mapping, the failures of the LOG and of
// the data file, and no output left after a failure.

#include "formats/recorder/RecorderJob.h"

#include "RecorderTestUtil.h"

#include <cmath>

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
        samples = Interleaved(int(ch.size()), scans);
        WriteFile(dir / "rec.bin", Samples(samples));
        WriteFile(dir / "rec.LOG", SonyLog(ch, announced < 0 ? scans : announced, "2.0833333e-05"));
        return dir / "rec.bin";
    }
    CTSInterface::SMessage Import(const fs::path& in, const fs::path& out, const int* overwrite = nullptr)
    {
        CTSInterface::SMessage msg;
        EXPECT_EQ(CTSInterface().ImportSONY(in.c_str(), 3, 4, out.c_str(), overwrite, &msg), 0u);
        return msg;
    }
    std::vector<std::int16_t> samples;
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
    EXPECT_EQ(msg.sText, Text(2));
    EXPECT_EQ(msg.lID, 3);
    EXPECT_EQ(msg.lUser, 4);

    CDataset ds((dir / "rec.dat").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_EQ(ds.GetKind(), dk__time);
    EXPECT_EQ(ds.GetComment(), "Imported from SONY MK II/III data file format.\r\n");
    const CAbscissa a = ds.GetAbscissa(0);
    EXPECT_EQ(a.GetName(), "Time");
    EXPECT_EQ(a.GetAbbreviation(), "t");
    EXPECT_EQ(a.GetUnit().GetText(), "s");
    EXPECT_EQ(a.GetDeltaValue(), 2.0833333e-05);
    EXPECT_EQ(a.GetNbrOfScans(), 1001);
    ASSERT_EQ(ds.GetNbrOfChannels(), 3);
    const char* names[] = {"ACC1", "PRESS", "VOLT"};
    const char* abbreviations[] = {"A", "P", "V"};
    const char* units[] = {"m/s^2", "Pa", "V"};
    const int physical[] = {1, 2, 4};
    const double factors[] = {0.00153, 0.5, 3.0517578125E-04};
    const double offsets[] = {0.0, 10.0, -1.5};
    // 20·log10(factor·32768/√2), computed independently for these factors.
    const float calibrations[] = {30.992527f, 81.278099f, 16.989700f};
    for (int c = 0; c < 3; ++c) {
        const CChannel ch = ds.GetChannel(c);
        EXPECT_EQ(ch.GetName(), names[c]);
        EXPECT_EQ(ch.GetAbbreviation(), abbreviations[c]);
        EXPECT_EQ(ch.GetUnit().GetText(), units[c]);
        EXPECT_EQ(ch.GetImplType(), it__int16);
        EXPECT_EQ(ch.GetPhysChannel(), physical[c]);
        EXPECT_EQ(ch.GetMapping().GetFactor(), factors[c]);
        EXPECT_EQ(ch.GetMapping().GetOffset(), offsets[c]);
        EXPECT_NEAR(ch.GetCalibration(), calibrations[c], 1e-3);
        EXPECT_EQ(ch.GetDeltaHeadroom(), 0.0f);
    }
    // The samples lie unchanged where the data set says they start.
    const Bytes file = ReadFile(dir / "rec.dat");
    const Bytes raw = Samples(samples);
    const std::size_t start = std::size_t(ds.GetStartOfDataInFile());
    ASSERT_GE(file.size(), start + raw.size());
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), file.begin() + long(start)));

    const std::vector<double> values = ReadValues(dir / "rec.dat");
    ASSERT_EQ(values.size(), samples.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        ASSERT_DOUBLE_EQ(values[i], samples[i] * factors[i % 3] + offsets[i % 3]) << "value " << i;
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
    // One sample short of channels × samples × 2 bytes.
    fs::path in = Make(kChannels, 100);
    {
        Bytes b = ReadFile(in);
        b.resize(b.size() - 2);
        WriteFile(in, b);
    }
    CTSInterface::SMessage msg = Import(in, dir / "rec.dat");
    EXPECT_EQ(msg.uState, 14u);
    EXPECT_EQ(msg.sText.Left(Text(12).GetLength()), Text(12));
    EXPECT_FALSE(fs::exists(dir / "rec.dat"));

    // A LOG that lacks TRIG_MODE: 61, the reason appended.
    in = Make(kChannels, 10);
    WriteFile(dir / "rec.LOG", SonyLog(kChannels, 10, "1e-3", {"TRIG_MODE"}));
    msg = Import(in, dir / "rec.dat");
    EXPECT_EQ(msg.uState, 14u);
    EXPECT_EQ(msg.sText.Left(Text(61).GetLength()), Text(61));
    EXPECT_NE(msg.sText.Find("TRIG_MODE"), -1) << msg.sText.c_str();
    EXPECT_FALSE(fs::exists(dir / "rec.dat"));

    // No channels: the reader's message goes with the result text.
    WriteFile(dir / "rec.LOG", SonyLog({}, 10, "1e-3"));
    msg = Import(in, dir / "rec.dat");
    EXPECT_EQ(msg.sText, Text(61) + "\n" + CString((dir / "rec.LOG").string()) +
                             ": No channels were read!\nLog file may be corrupted");

    // No LOG at all; then a sampling interval of 0.
    fs::remove(dir / "rec.LOG");
    msg = Import(in, dir / "rec.dat");
    EXPECT_EQ(msg.uState, 14u);
    EXPECT_EQ(msg.sText.Left(Text(61).GetLength()), Text(61));
    WriteFile(dir / "rec.LOG", SonyLog(kChannels, 10, "0"));
    msg = Import(in, dir / "rec.dat");
    EXPECT_NE(msg.sText.Find("FILE_INTVL_CH"), -1) << msg.sText.c_str();
    EXPECT_FALSE(fs::exists(dir / "rec.dat"));

    // An output that exists and may not be replaced stays as it was; the
    // input is never the output.
    Make(kChannels, 10);
    WriteFile(dir / "keep.dat", std::string("mine"));
    const int no = 0;
    msg = Import(in, dir / "keep.dat", &no);
    EXPECT_EQ(msg.uState, 14u);
    EXPECT_EQ(msg.sText, Text(8));
    EXPECT_EQ(ReadFile(dir / "keep.dat"), Bytes({'m', 'i', 'n', 'e'}));
    const int yes = 1;
    const Bytes before = ReadFile(in);
    msg = Import(in, in, &yes);
    EXPECT_EQ(msg.sText.Left(20), Text(111).Left(20));
    EXPECT_EQ(ReadFile(in), before);

    // No work buffer of even 4096 bytes.
    RecorderJob::SetBufferLimitForTests(2048);
    msg = Import(in, dir / "rec.dat");
    EXPECT_EQ(msg.sText, Text(6));
    EXPECT_FALSE(fs::exists(dir / "rec.dat"));
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
    EXPECT_EQ(msg.lID, 21);
    EXPECT_EQ(msg.lUser, 22);
    ASSERT_EQ(produced.size(), 1u);
    EXPECT_EQ(produced[0], (dir / "std" / "rec.dat").string());
    EXPECT_EQ(ReadValues(dir / "std" / "rec.dat", true).size(), samples.size());
    // A synchronous call needs an output path.
    CTSInterface::SMessage rec;
    EXPECT_EQ(CTSInterface().ImportSONY(in.c_str(), 1, 2, nullptr, nullptr, &rec), 110u);
}
