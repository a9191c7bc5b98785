// The PAK import through CTSInterface: values, names, mapping, calibration
// and date of the data sets it makes from throughput files written here;
// pulse channels; the failures and what they leave behind.

#include "formats/pak/ThreadPAKExport.h"
#include "formats/pak/ThreadPAKImport.h"
#include "platform/FileSystem.h"

#include "PakTestUtil.h"
#include "tests/common/WriteFailure.h"

#include <cmath>

using namespace paktest;

namespace {

class PakImport : public PakTest {
protected:
    void TearDown() override
    {
        CThreadPAKImport::SetBufferLimitForTests(0);
        PakTest::TearDown();
    }
    fs::path Make(const TData& d, const char* name = "TDATA")
    {
        WriteFile(dir / name, d.Make());
        return dir / name;
    }
    CTSInterface::SMessage Import(const fs::path& in, const char* out = nullptr, const int* overwrite = nullptr)
    {
        // A synchronous run needs its output named.
        const std::string derived = (in.parent_path() / "Run3.dat").string();
        CTSInterface::SMessage msg;
        EXPECT_EQ(CTSInterface().ImportPAK(in.c_str(), 5, 6, out ? out : derived.c_str(), overwrite, &msg), 0u);
        return msg;
    }
    static TData TwoChannels()
    {
        TData d;
        // pressure: scale 0.5 × factor 0.002; voltage: 2 × 1.5e-4.
        d.channels = {TChannel{1, 1, 0.002, 0.25, 0.5}, TChannel{1, 6, 1.5e-4, -1.0, 2.0}};
        return d;
    }
    // The analog samples the file holds, interleaved as the data set keeps them.
    static std::vector<double> Expected(const TData& d, const std::vector<std::size_t>& analog)
    {
        std::vector<double> v;
        for (long b = 0; b < d.blocks; ++b)
            for (long s = 0; s < d.samplesPerBlock; ++s)
                for (std::size_t c : analog)
                    v.push_back(d.bits == 16 ? TData::Sample(c, b, s) : double(float(TData::Sample(c, b, s) / 1000.0)));
        return v;
    }
};

}  // namespace

TEST_F(PakImport, SixteenBitChannelsInEitherByteOrderKeepTheirSamplesWithMappingAndCalibration)
{
    // Names from the side files beside the input (their rules: PakLayoutTest).
    fs::create_directories(dir / "MeasSetup");
    WriteFile(dir / "MeasSetup/ChanPos", "POS1\tSeat rail\nDIRECTION1\tX\n");
    WriteFile(dir / "MPlist", "Front mic\t\tLS\t\nignored\t\tKS\t\n");
    for (const char* order : {"LSB", "MSB", "msb"}) {
        TData d = TwoChannels();
        d.byteOrder = order;
        const CTSInterface::SMessage msg = Import(Make(d));
        ASSERT_EQ(msg.uState, 5u) << order << ": " << msg.sText.c_str();
        // Named after the measurement directory.
        const fs::path out = dir / "Run3.dat";
        EXPECT_EQ(ReadValues(out, true), Expected(d, {0, 1})) << order;
        CDataset ds(out.c_str(), om__read, 32768, sh__deny_write);
        EXPECT_EQ(ds.GetKind(), dk__time);
        EXPECT_EQ(ds.GetComment(), "Data imported from PAK throughput file (TDATA).\r\n");
        // Start 1e9 s with a time-zone offset of 2 hours.
        EXPECT_EQ(ds.GetDateOfRecording().FormatISO(), "2001-09-08T23:46:40.000Z") << order;
        EXPECT_DOUBLE_EQ(ds.GetAbscissa(0).GetDeltaValue(), 0.001);
        EXPECT_EQ(ds.GetAbscissa(0).GetNbrOfScans(), 24);
        ASSERT_EQ(ds.GetNbrOfChannels(), 2);
        const CChannel c0 = ds.GetChannel(0), c1 = ds.GetChannel(1);
        EXPECT_EQ(c0.GetName(), "Front mic");
        EXPECT_EQ(c0.GetAbbreviation(), "Fr");
        EXPECT_EQ(c1.GetName(), "Seat rail X");
        EXPECT_EQ(c0.GetUnit().GetText(), "Pa");
        EXPECT_EQ(c1.GetQuantity().GetName(), "voltage");
        EXPECT_EQ(c1.GetUnit().GetText(), "V");
        EXPECT_EQ(c0.GetImplType(), it__int16);
        EXPECT_DOUBLE_EQ(c0.GetMapping().GetFactor(), 0.001) << order;
        EXPECT_EQ(c0.GetMapping().GetOffset(), 0.25);
        EXPECT_DOUBLE_EQ(c1.GetMapping().GetFactor(), 3e-4) << order;
        EXPECT_EQ(c1.GetMapping().GetOffset(), -1.0);
        // 20·log10(factor·32768/(√2·reference)), worked out apart: 2e-5 Pa and 1 V.
        EXPECT_NEAR(c0.GetCalibration(), 121.278099, 1e-4);
        EXPECT_NEAR(c1.GetCalibration(), 16.841124, 1e-4);
        EXPECT_EQ(c0.GetDeltaHeadroom(), 0.0f);
        ds.Close();
        fs::remove(out);
    }
}

TEST_F(PakImport, FloatSamplesInEitherByteOrderGetTheCalibrationOfTheirPeak)
{
    // 30.0 and 22.081 m/s²: ceil(20·log10(peak / (√2 · 1e-6))).
    for (const char* order : {"LSB", "MSB"}) {
        TData d = TwoChannels();
        d.byteOrder = order;
        d.bits = 32;
        d.channels = {TChannel{1, 2}, TChannel{1, 2}};
        const fs::path out = root / "x.dat";
        const CTSInterface::SMessage msg = Import(Make(d), out.c_str());
        ASSERT_EQ(msg.uState, 5u) << order << ": " << msg.sText.c_str();
        EXPECT_EQ(ReadValues(out, true), Expected(d, {0, 1})) << order;
        CDataset ds(out.c_str(), om__read, 32768, sh__deny_write);
        EXPECT_EQ(ds.GetChannel(0).GetImplType(), it__float);
        EXPECT_EQ(ds.GetChannel(0).GetUnit().GetText(), "m/(s^2)");
        EXPECT_EQ(ds.GetChannel(0).GetCalibration(), 147.0f);
        EXPECT_EQ(ds.GetChannel(1).GetCalibration(), 144.0f);
        ds.Close();
        fs::remove(out);
    }
}

TEST_F(PakImport, PulseChannelsBecomeSpeedDataSetsMergedIntoThePulseChannel)
{
    TData d;
    d.samplesPerBlock = 256;
    d.blocks = 40;
    d.rate = 8192.0f;
    // An analog channel, an RPM channel with one value per block, a second
    // analog channel, nine speed channels: the last two of the ten pulse
    // channels are left out.
    d.channels = {TChannel{}, TChannel{4, 7, 1.0, 0.0, 1.0, 1}, TChannel{1, 6}};
    d.channels.resize(12, TChannel{4, 13, 1.0, 0.0, 1.0, 1});
    const fs::path in = Make(d);
    std::vector<std::string> produced;
    const CTSInterface::SMessage msg = RunAsync(
        [&] { return CTSInterface().ImportPAK(in.c_str(), 8, 9, nullptr, nullptr, nullptr); }, &produced);
    ASSERT_EQ(msg.uState, 5u) << msg.sText.c_str();
    EXPECT_EQ(msg.sText, CString::Formatted(Text(33).c_str(), "10->8"));
    // Speed data at 32 values a second are far below fs / 10: merged.
    const fs::path out = dir / "Run3.dat";
    EXPECT_EQ(produced, std::vector<std::string>{out.string()});
    for (int k = 0; k < 9; ++k)
        EXPECT_EQ(fs::exists(dir / ("Run3.dat.SC" + std::to_string(k))), k < 8) << k;

    CDataset ds(out.c_str(), om__read, 32768, sh__deny_write);
    ASSERT_EQ(ds.GetNbrOfChannels(), 3);
    EXPECT_EQ(ds.GetChannel(0).GetName(), "Channel 01");   // no side files
    EXPECT_EQ(ds.GetChannel(2).GetTitle(), "Pulse Channels");
    EXPECT_EQ(ds.GetChannel(2).GetImplType(), it__pulse);
    ASSERT_EQ(ds.GetNbrOfSubChannels(), 8);
    EXPECT_EQ(ds.GetSubChannel(0).GetName(), "SubCh RPM");
    EXPECT_EQ(ds.GetSubChannel(0).GetBitmask(), 1u);
    EXPECT_EQ(ds.GetSubChannel(7).GetBitmask(), 128u);
    ds.Close();
    // The analog samples are where they belong, past the values in between.
    EXPECT_EQ(ReadValues(out, true, 2), Expected(d, {0, 2}));

    // The speed values, one per block, in their own data set.
    const fs::path sc = dir / "Run3.dat.SC0";
    CDataset speed(sc.c_str(), om__read, 32768, sh__deny_write);
    EXPECT_EQ(speed.GetChannel(0).GetUnit().GetText(), "rpm");
    EXPECT_DOUBLE_EQ(speed.GetAbscissa(0).GetDeltaValue(), 256.0 / 8192.0);
    speed.Close();
    const std::vector<double> v = ReadValues(sc, true);
    ASSERT_EQ(v.size(), 40u);
    for (long b = 0; b < 40; ++b)
        EXPECT_EQ(v[std::size_t(b)], double(TData::Value(1, b, 0)));
}

TEST_F(PakImport, BlocksLargerThanTheBufferAreReadChannelByChannel)
{
    TData d;
    d.samplesPerBlock = 3000;   // 6 kB per analog channel and block
    d.blocks = 3;
    d.rate = 100000.0f;
    // Nothing in a block for an unused record; values of a negative kind are skipped.
    d.channels = {TChannel{}, TChannel{4, 7, 1.0, 0.0, 1.0, 1500}, TChannel{0}, TChannel{-2, 0, 1, 0, 1, 5},
                  TChannel{1, 6}, TChannel{}};
    for (const char* order : {"LSB", "MSB"}) {
        d.byteOrder = order;
        const fs::path in = Make(d);
        CThreadPAKImport::SetBufferLimitForTests(4096);
        std::vector<std::string> produced;
        const CTSInterface::SMessage msg = RunAsync(
            [&] { return CTSInterface().ImportPAK(in.c_str(), 1, 2, (root / "small.dat").c_str(), nullptr, nullptr); },
            &produced);
        ASSERT_EQ(msg.uState, 5u) << msg.sText.c_str();
        EXPECT_EQ(ReadValues(root / "small.dat", true, 3), Expected(d, {0, 4, 5})) << order;
        // Speed data at 50 kHz are too fast to become pulses at 100 kHz: they
        // stay a data set of their own, renamed and listed as an output.
        ASSERT_EQ(produced.size(), 2u);
        EXPECT_EQ(produced[0], (root / "small.dat").string());
        EXPECT_EQ(produced[1], (root / "small.dat2.DAT").string());
        EXPECT_FALSE(fs::exists(root / "small.dat.SC0"));
        const std::vector<double> sc = ReadValues(produced[1], true);
        ASSERT_EQ(sc.size(), 4500u);
        EXPECT_EQ(sc[1501], double(TData::Value(1, 1, 1)));
        for (const std::string& p : produced)
            fs::remove(p);
    }
}

TEST_F(PakImport, OutputNamesOfImportAndExport)
{
    EXPECT_EQ(CThreadPAKImport::DeriveOutput("/m/Run3/TDATA"), "/m/Run3/Run3.dat");
    EXPECT_EQ(CThreadPAKImport::DeriveOutput("/m/Run3/TDATA2"), "/m/Run3/Run32.dat");
    EXPECT_EQ(CThreadPAKImport::DeriveOutput("/m/Run3/TDATA0"), "/m/Run3/Run3.dat");
    EXPECT_EQ(CThreadPAKExport::DeriveOutput("/m/run.1/meas.trx"), "/m/run.1/meas");
    EXPECT_EQ(CThreadPAKExport::DeriveOutput("/m/meas"), "/m/meas");
    const fs::path standard = root / "trx";
    CTSSettings::m_sPathTRX = standard.c_str();
    CTSSettings::m_sPathPAK = (root / "pak/").c_str();
    CTSSettings::m_lStandardPathFlags = CTSSettings::bitPAKImport | CTSSettings::bitPAKExport;
    EXPECT_EQ(CThreadPAKImport::DeriveOutput("/m/Run3/TDATA7"), (standard / "Run37.dat").string());
    EXPECT_TRUE(fs::is_directory(standard));
    EXPECT_EQ(CThreadPAKExport::DeriveOutput("/m/meas.trx"), (root / "pak/meas").string());
}

TEST_F(PakImport, FailuresLeaveNothingBehindAndTheInputUntouched)
{
    // (The order of the header checks: PakLayoutTest.)
    TData noSamples = TwoChannels(), withPulse = TwoChannels();
    noSamples.samplesPerBlock = 0;
    withPulse.channels.push_back(TChannel{4, 7, 1, 0, 1, 2});
    const Bytes whole = withPulse.Make();
    const struct {
        Bytes file;
        unsigned id;
    } cases[] = {{noSamples.Make(), 131},
                 {whole.substr(0, whole.size() - 1), 104},   // cut inside the last block
                 {whole.substr(0, 8008 + 100), 70}};         // cut inside the setup
    const fs::path in = dir / "TDATA", out = root / "out.dat";
    for (const auto& k : cases) {
        WriteFile(in, k.file);
        const CTSInterface::SMessage msg = Import(in, out.c_str());
        EXPECT_EQ(msg.uState, 6u) << k.id;
        const int n = std::min(Text(k.id).GetLength(), 20);
        EXPECT_EQ(msg.sText.Left(n), Text(k.id).Left(n)) << k.id << ": " << msg.sText.c_str();
        EXPECT_EQ(Listing(root), std::vector<std::string>({"Run3", "Run3/TDATA"})) << k.id;
        EXPECT_EQ(ReadFile(in), k.file) << k.id;
    }
    CTSInterface::SMessage msg = Import(dir / "missing", out.c_str());
    EXPECT_EQ(msg.uState, 6u);
    EXPECT_EQ(msg.sText, CString::Formatted(Text(10).c_str(), (dir / "missing").c_str()));
    // No transfer buffer, no output.
    CThreadPAKImport::SetBufferLimitForTests(2048);
    WriteFile(in, whole);
    msg = Import(in, out.c_str());
    EXPECT_EQ(msg.sText, Text(6));
    EXPECT_FALSE(fs::exists(out));
    CThreadPAKImport::SetBufferLimitForTests(0);
    // An existing output stays unless overwriting is allowed, by the caller
    // or else by the setting.
    WriteFile(out, std::string("keep me"));
    const int no = 0;
    msg = Import(in, out.c_str(), &no);
    EXPECT_EQ(msg.sText, Text(8));
    EXPECT_EQ(ReadFile(out), "keep me");
    CTSSettings::m_lOverwriteFlags = CTSSettings::bitPAKImport;
    msg = Import(in, out.c_str());
    EXPECT_EQ(msg.uState, 5u) << msg.sText.c_str();
    EXPECT_EQ(ReadValues(out, true).size(), 3u * 24);   // two analog channels and the pulse channel
}

TEST_F(PakImport, ADiskThatFillsUpHalfWayLeavesNoDataSet)
{
    // 2 MiB of analog samples and a pulse channel: the main data set hits the
    // limit after its first megabyte, the speed data set never does.
    TData d;
    d.samplesPerBlock = 4096;
    d.blocks = 128;
    d.rate = 48000.0f;
    d.channels = {TChannel{}, TChannel{4, 7, 1.0, 0.0, 1.0, 1}, TChannel{}};
    const fs::path in = Make(d);
    const Bytes before = ReadFile(in);
    const fs::path out = root / "full.dat";
    // Pieces of about 1 MiB, then of 64 KiB: several of them queued behind
    // the write that fails.
    for (const std::size_t limit : {std::size_t(0), std::size_t(64) << 10}) {
        CThreadPAKImport::SetBufferLimitForTests(limit);
        CTSInterface::SMessage msg;
        {
            tessel::test::CFileSizeLimit full(1u << 20);
            msg = Import(in, out.c_str());
        }
        EXPECT_EQ(msg.uState, 6u) << limit;
        EXPECT_EQ(msg.sText, CString::Formatted(Text(11).c_str(), out.c_str())) << limit;
        EXPECT_EQ(Listing(root), std::vector<std::string>({"Run3", "Run3/TDATA"})) << limit;
        EXPECT_EQ(ReadFile(in), before) << limit;
    }
}
