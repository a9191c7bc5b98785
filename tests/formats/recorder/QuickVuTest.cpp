// QuickVu-RD/Windows: the 512-byte header, its checks, the SET file, and the
// import through CTSInterface (the TEAC member without a ".hdr" file).

#include "formats/recorder/QuickVu.h"

#include "RecorderTestUtil.h"

using namespace rectest;

namespace {

class QuickVu : public RecorderTest {
protected:
    fs::path Make(const QuickVuFields& q, int channels, int scans)
    {
        samples = Interleaved(channels, scans);
        WriteFile(dir / "rec.DAT", QuickVuFile(q, Samples(samples)));
        return dir / "rec.DAT";
    }
    CTSInterface::SMessage Import(const fs::path& in)
    {
        CTSInterface::SMessage msg;
        EXPECT_EQ(CTSInterface().ImportTEAC(in.c_str(), 5, 6, (dir / "out.trx").c_str(), nullptr, &msg), 0u);
        EXPECT_EQ(fs::exists(dir / "out.trx"), IsSucceededState(msg.uState)) << msg.sText.c_str();
        return msg;
    }
    std::vector<std::int16_t> samples;
};

}  // namespace

TEST(QuickVuHeader, FieldsAndChecks)
{
    QuickVuFields q;
    q.channel[0] = 3;
    q.channel[5] = 9;
    q.range[5] = 6;
    const Bytes file = QuickVuFile(q, Bytes(40, 0));
    const SQuickVuHeader h = SQuickVuHeader::Parse(file.data());
    EXPECT_EQ(h.sComment, "pump 3, run A");
    EXPECT_EQ(h.uTotalSamples, 20u);
    EXPECT_EQ(h.fRate, 2000.0f);
    EXPECT_EQ(h.UsedSlots(), 3);
    EXPECT_EQ(h.Year(), 1999);
    EXPECT_EQ(CheckQuickVuHeader(h, 552), 0u);
    // The published volts per count of the range codes.
    EXPECT_EQ(QuickVuVoltsPerCount(1), 1.5625e-05);
    EXPECT_EQ(QuickVuVoltsPerCount(5), 0.0003125);
    EXPECT_EQ(QuickVuVoltsPerCount(6), 0.000625);
    EXPECT_EQ(QuickVuVoltsPerCount(7), 0.0);

    SQuickVuHeader bad = h;
    EXPECT_EQ(CheckQuickVuHeader(bad, 553), 71u);
    EXPECT_EQ(CheckQuickVuHeader(bad, 551), 71u);
    bad.uByteOrder = 1;
    bad.uVersion = 2;
    EXPECT_EQ(CheckQuickVuHeader(bad, 552), 72u);   // byte order before version
    bad.uByteOrder = 0;
    EXPECT_EQ(CheckQuickVuHeader(bad, 552), 76u);
    bad = h;
    bad.range[0] = 7;
    EXPECT_EQ(CheckQuickVuHeader(bad, 552), 73u);
    bad.range[0] = 0;
    EXPECT_EQ(CheckQuickVuHeader(bad, 552), 73u);
    bad = h;
    bad.fRate = 0.0f;
    EXPECT_EQ(CheckQuickVuHeader(bad, 552), 73u);
    bad = h;
    bad.channel.fill(0);
    EXPECT_EQ(CheckQuickVuHeader(bad, 552), 7u);
    // A year below 70 is in this century.
    bad.uYear = 5;
    EXPECT_EQ(bad.Year(), 2005);

    // The SET file: all 665 bytes, and a factor for every used slot.
    const Bytes set = SetFile({{"ACC", "m/s^2", 9.81f, 0.0f}, {"P", "Pa", 100.0f, 1.0f}});
    SQuickVuHeader two = SQuickVuHeader::Parse(QuickVuFile(QuickVuFields(), {}).data());
    EXPECT_TRUE(ParseQuickVuSet(set.data(), set.size(), two).bValid);
    EXPECT_FALSE(ParseQuickVuSet(set.data(), 664, two).bValid);
    two.channel[2] = 4;   // a used slot without a factor
    EXPECT_FALSE(ParseQuickVuSet(set.data(), set.size(), two).bValid);
}

TEST_F(QuickVu, WithoutSetFileChannelsComeInVolts)
{
    QuickVuFields q;
    q.channel[1] = 7;
    const CTSInterface::SMessage msg = Import(Make(q, 2, 250));
    ASSERT_EQ(msg.uState, 15u) << msg.sText.c_str();
    EXPECT_EQ(msg.sText, Text(74));

    CDataset ds((dir / "out.trx").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_EQ(ds.GetComment(), "Imported from QuickVu-RD/Windows data file format.\r\npump 3, run A");
    EXPECT_EQ(ds.GetNbrOfScans(), 250);
    EXPECT_EQ(ds.GetAbscissa(0).GetDeltaValue(), 1.0 / 2000.0f);
    const CDateTimeEx::SParts d = ds.GetDateOfRecording().GetParts();
    EXPECT_EQ(d.iYear, 1999);
    EXPECT_EQ(d.iMonth, 3);
    EXPECT_EQ(d.iDay, 12);
    EXPECT_EQ(d.iHour, 10);
    EXPECT_EQ(d.iMinute, 15);
    ASSERT_EQ(ds.GetNbrOfChannels(), 2);
    EXPECT_EQ(ds.GetChannel(0).GetName(), "Channel 1");
    EXPECT_EQ(ds.GetChannel(0).GetAbbreviation(), "1");
    EXPECT_EQ(ds.GetChannel(0).GetPhysChannel(), 1);
    EXPECT_EQ(ds.GetChannel(1).GetName(), "Channel 7");
    EXPECT_EQ(ds.GetChannel(1).GetPhysChannel(), 7);
    EXPECT_EQ(ds.GetChannel(0).GetUnit().GetText(), "V");
    EXPECT_EQ(ds.GetChannel(0).GetMapping().GetFactor(), 0.0003125);   // range code 5
    EXPECT_EQ(ds.GetChannel(1).GetMapping().GetFactor(), 1.5625e-05);  // range code 1
    // 20·log10(0.0003125·32768/√2), independently computed.
    EXPECT_NEAR(ds.GetChannel(0).GetCalibration(), 17.195699f, 1e-3);

    const std::vector<double> values = ReadValues(dir / "out.trx");
    ASSERT_EQ(values.size(), samples.size());
    const double factor[] = {0.0003125, 1.5625e-05};
    for (std::size_t i = 0; i < values.size(); ++i)
        ASSERT_DOUBLE_EQ(values[i], samples[i] * factor[i % 2]) << "value " << i;
}

TEST_F(QuickVu, SetFileGivesEngineeringUnits)
{
    CTSSettings::m_sNameSETFileTEACImport = "pump.set";
    WriteFile(dir / "pump.set", SetFile({{"ACC-X", "m/s^2", 9.81f, 0.0f}, {"PRESSURE", "furlong", 100.0f, 1.5f}}));
    const CTSInterface::SMessage msg = Import(Make(QuickVuFields(), 2, 20));
    ASSERT_EQ(msg.uState, 15u) << msg.sText.c_str();
    EXPECT_EQ(msg.sText, CString::Formatted(Text(35).c_str(), "furlong"));
    CDataset ds((dir / "out.trx").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_EQ(ds.GetChannel(0).GetName(), "ACC-X");
    EXPECT_EQ(ds.GetChannel(0).GetAbbreviation(), "AC");
    EXPECT_EQ(ds.GetChannel(0).GetUnit().GetText(), "m/s^2");
    EXPECT_EQ(ds.GetChannel(0).GetMapping().GetFactor(), double(9.81f) * 0.0003125);
    // Against the reference of acceleration levels, 1e-6 m/s^2 (ISO 1683).
    EXPECT_NEAR(ds.GetChannel(0).GetCalibration(), 157.029079f, 1e-3);
    EXPECT_EQ(ds.GetChannel(1).GetUnit().GetText(), "vU");
    EXPECT_EQ(ds.GetChannel(1).GetMapping().GetFactor(), 100.0 * 1.5625e-05);
    EXPECT_EQ(ds.GetChannel(1).GetMapping().GetOffset(), 1.5);
}

TEST_F(QuickVu, RefusedHeadersLeaveNoOutput)
{
    QuickVuFields q;
    Make(q, 2, 10);
    {   // one byte more than 512 + 2 × samples
        Bytes b = ReadFile(dir / "rec.DAT");
        b.push_back(0);
        WriteFile(dir / "rec.DAT", b);
    }
    EXPECT_EQ(Import(dir / "rec.DAT").sText, Text(71));
    q.byteOrder = 1;
    EXPECT_EQ(Import(Make(q, 2, 10)).sText, Text(72));
    q = QuickVuFields();
    q.range[0] = 7;
    EXPECT_EQ(Import(Make(q, 2, 10)).sText, Text(73));
    q = QuickVuFields();
    q.version = 3;
    EXPECT_EQ(Import(Make(q, 2, 10)).sText, Text(76));
    WriteFile(dir / "rec.DAT", Bytes(100, 0));
    EXPECT_EQ(Import(dir / "rec.DAT").sText, Text(70));
    const CTSInterface::SMessage none = Import(dir / "nothing.DAT");
    EXPECT_EQ(none.sText, CString::Formatted(Text(10).c_str(), (dir / "nothing.DAT").c_str()));
}

TEST_F(QuickVu, AsynchronousStartDerivesTheOutput)
{
    const fs::path in = Make(QuickVuFields(), 2, 30);
    std::vector<std::string> produced;
    const CTSInterface::SMessage msg = RunAsync(
        [&] { return CTSInterface().ImportTEAC(in.c_str(), 31, 32, nullptr, nullptr, nullptr); }, &produced);
    EXPECT_EQ(msg.uState, 15u) << msg.sText.c_str();
    EXPECT_EQ(msg.lID, 31);
    ASSERT_EQ(produced.size(), 1u);
    EXPECT_EQ(produced[0], (dir / "rec.trx").string());
    EXPECT_EQ(ReadValues(dir / "rec.trx", true).size(), samples.size());
}
