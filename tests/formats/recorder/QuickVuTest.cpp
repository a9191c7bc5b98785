// QuickVu-RD/Windows: the 512-byte header, its checks, the SET file, and the
// import through CTSInterface (the TEAC member without a ".hdr" file).

#include "formats/recorder/QuickVu.h"

#include "RecorderTestUtil.h"

#include <functional>

using namespace rectest;

namespace {

class QuickVu : public RecorderTest {
protected:
    fs::path Make(const QuickVuFields& q, int channels, int scans)
    {
        WriteFile(dir / "rec.DAT", QuickVuFile(q, Ramp(channels, scans)));
        return dir / "rec.DAT";
    }
};

}  // namespace

TEST(QuickVuHeader, FieldsAndChecks)
{
    // The header's fields as the import uses them: TEST_F(QuickVu, ...) below.
    QuickVuFields q;
    q.channel[0] = 3;
    q.channel[5] = 9;
    q.range[5] = 6;
    const SQuickVuHeader h = SQuickVuHeader::Parse(Raw(QuickVuFile(q, Bytes(40, 0))));
    EXPECT_EQ(h.UsedSlots(), 3);
    EXPECT_EQ(CheckQuickVuHeader(h, 552), 0u);
    SQuickVuHeader y2k = h;
    y2k.uYear = 5;   // a year below 70 is in this century
    EXPECT_EQ(y2k.Year(), 2005);
    // The published volts per count of the range codes (1 and 5: the imports below).
    EXPECT_EQ((std::vector<double>{QuickVuVoltsPerCount(6), QuickVuVoltsPerCount(7)}), (std::vector<double>{0.000625, 0.0}));

    // The SET file: all 665 bytes, and a factor for every used slot.
    const Bytes set = SetFile({{"ACC", "m/s^2", 9.81f, 0.0f}, {"P", "Pa", 100.0f, 1.0f}});
    SQuickVuHeader two = SQuickVuHeader::Parse(Raw(QuickVuFile(QuickVuFields(), {})));
    EXPECT_TRUE(ParseQuickVuSet(Raw(set), set.size(), two).bValid);
    EXPECT_FALSE(ParseQuickVuSet(Raw(set), 664, two).bValid);
    two.channel[2] = 4;   // a used slot without a factor
    EXPECT_FALSE(ParseQuickVuSet(Raw(set), set.size(), two).bValid);
}

TEST_F(QuickVu, WithoutSetFileChannelsComeInVolts)
{
    QuickVuFields q;
    q.channel[1] = 7;
    const CTSInterface::SMessage msg = ImportTeac(Make(q, 2, 250));
    ASSERT_EQ(msg.uState, 15u) << msg.sText.c_str();
    EXPECT_EQ(msg.sText, Text(74));

    CDataset ds((dir / "out.trx").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_EQ(ds.GetComment(), "Imported from QuickVu-RD/Windows data file format.\r\npump 3, run A");
    EXPECT_EQ(ds.GetNbrOfScans(), 250);
    EXPECT_EQ(ds.GetAbscissa(0).GetDeltaValue(), 1.0 / 2000.0f);
    ExpectDate(ds, {1999, 3, 12, 10, 15});
    // The volts per count of range codes 5 and 1.
    ExpectChannels(ds, {{"Channel 1", "1", "V", 1, 0.0003125, 0.0}, {"Channel 7", "7", "V", 7, 1.5625e-05, 0.0}});
    // 20·log10(0.0003125·32768/√2), independently computed.
    EXPECT_NEAR(ds.GetChannel(0).GetCalibration(), 17.195699f, 1e-3);
    ExpectValues(dir / "out.trx", samples, {0.0003125, 1.5625e-05}, {0.0});
}

TEST_F(QuickVu, SetFileGivesEngineeringUnits)
{
    CTSSettings::m_sNameSETFileTEACImport = "pump.set";
    WriteFile(dir / "pump.set", SetFile({{"ACC-X", "m/s^2", 9.81f, 0.0f}, {"PRESSURE", "furlong", 100.0f, 1.5f}}));
    const CTSInterface::SMessage msg = ImportTeac(Make(QuickVuFields(), 2, 20));
    ASSERT_EQ(msg.uState, 15u) << msg.sText.c_str();
    EXPECT_EQ(msg.sText, CString::Formatted(Text(35).c_str(), "furlong"));
    CDataset ds((dir / "out.trx").c_str(), om__read, 32768, sh__deny_write);
    // An unknown unit is the virtual unit; the offset is the SET file's.
    ExpectChannels(ds, {{"ACC-X", "AC", "m/s^2", 1, double(9.81f) * 0.0003125, 0.0},
                        {"PRESSURE", "PR", "vU", 2, 100.0 * 1.5625e-05, 1.5}});
    // Against the reference of acceleration levels, 1e-6 m/s^2 (ISO 1683).
    EXPECT_NEAR(ds.GetChannel(0).GetCalibration(), 157.029079f, 1e-3);
}

TEST_F(QuickVu, RefusedHeadersLeaveNoOutput)
{
    const struct {
        std::function<void(QuickVuFields&)> change;
        unsigned text;
    } kCases[] = {
        {[](QuickVuFields& q) { q.totalSamples = 21; }, 71},   // two bytes more than 512 + 2 × samples
        {[](QuickVuFields& q) { q.totalSamples = 19; }, 71},
        {[](QuickVuFields& q) {   // the byte order is checked before the version
             q.byteOrder = 1;
             q.version = 2;
         },
         72},
        {[](QuickVuFields& q) { q.version = 3; }, 76},
        {[](QuickVuFields& q) { q.range[0] = 7; }, 73},
        {[](QuickVuFields& q) { q.range[0] = 0; }, 73},
        {[](QuickVuFields& q) { q.rate = 0.0f; }, 73},
        {[](QuickVuFields& q) { std::fill(std::begin(q.channel), std::end(q.channel), 0); }, 7},
    };
    for (const auto& k : kCases) {
        QuickVuFields q;
        k.change(q);
        EXPECT_EQ(ImportTeac(Make(q, 2, 10)).sText, Text(k.text)) << k.text;
    }
    // Not even a header; no file.
    WriteFile(dir / "rec.DAT", Bytes(100, 0));
    EXPECT_EQ(ImportTeac(dir / "rec.DAT").sText, Text(70));
    const CTSInterface::SMessage none = ImportTeac(dir / "nothing.DAT");
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
    EXPECT_EQ(ReadDataset(dir / "rec.trx", {}, true).size(), samples.size());
}

// QuickVu-RD samples start at byte 512 of their file; a data set of a MiB or
// more puts its samples at 512 modulo 64 KiB, so that the kernel copies whole
// page-cache folios, and they lie there unchanged.
TEST_F(QuickVu, LargeRecordingsKeepTheSamplesPagePhase)
{
    for (int channels : {1, 2, 4}) {
        QuickVuFields q;
        std::fill(std::begin(q.channel), std::end(q.channel), 0);
        for (int c = 0; c < channels; ++c) {
            q.channel[c] = std::uint8_t(c + 1);
            q.range[c] = 5;
        }
        const int scans = 600000 / channels + 17;   // more than 1 MiB
        fs::remove(dir / "out.trx");
        ASSERT_EQ(ImportTeac(Make(q, channels, scans)).uState, 15u) << channels;
        CDataset ds((dir / "out.trx").c_str(), om__read, 32768, sh__deny_write);
        EXPECT_EQ(ds.GetStartOfDataInFile() % 65536, 512) << channels;
        EXPECT_EQ(ds.GetNbrOfScans(), scans);
        ExpectSamplesAtDataOffset(dir / "out.trx", samples);
    }
}
