// Networks over TRX data sets: the source's refusals, pulse files, speed
// files and 24-bit codes into a TRX drain. Time data to WAVE and the rate
// reduction run through these blocks in the WAVE export and mixed-rate
// export tests, against independent readers.
#include "BlockTestUtil.h"
#include "hostlibs/dataset/Dataset.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {
// Files of this process go to one folder, removed when it exits.
std::string TempPath(const std::string& name)
{
    static CTempDir dir;
    return dir / name;
}

const double kRate = 48000;

// Channel 0: 16-bit, factor 0.001; channel 1: float, calibration 94 dB;
// channel 2: pulse bytes whose bit 2 is the tacho (rpm / 60 pulses a second,
// one per revolution, 50 % duty), bit 0 noise of another sub-channel.
struct STrxFile {
    std::string path;
    std::vector<std::uint64_t> edges; // rising edges of bit 2
};

STrxFile MakeTrx(const std::string& name, std::uint64_t scans, double rpm, bool withPulses = true)
{
    STrxFile f{TempPath(name), {}};
    CAbscissaList absc;
    absc.Add(CAbscissa("Time", "t", CQuantity("time"), CUnit("s", 0), 0.0, 1.0 / kRate, 0, df__linear));
    CChannelList chans;
    map__dct rec;
    rec.m_dFactor = 0.001;
    chans.Add(CChannel("Mic", "M", CQuantity("sound pressure"), CUnit("Pa", 0), it__int16, 0, 1.0, 1.0, &rec));
    CChannel c1("Acc", "A", CQuantity("acceleration"), CUnit("m/s^2", 0), it__float, 1);
    c1.SetCalibration(94.0f);
    chans.Add(c1);
    if (withPulses) {
        CChannel p("Pulse Channels", "P", CQuantity(), CUnit(), it__pulse, 2);
        p.SetTitle("Pulse Channels");
        chans.Add(p);
    }
    CDataset ds(f.path.c_str(), absc, chans, dk__time, ds__dorg_interleaved, 0, 65536, sh__deny_write);
    if (withPulses) {
        CSubChannel tacho(sc__pulse, 2, 4, "Engine", "n", CQuantity("RPM"), CUnit("rpm", 1));
        tacho.SetID(7);
        tacho.SetPulseFactor(60.0);
        tacho.SetDeltaTime(0.01);
        ds.AddSubChannel(tacho);
        CSubChannel other(sc__pulse, 2, 1, "Other", "o", CQuantity("RPM"), CUnit("rpm", 1));
        other.SetID(8);
        other.SetPulseFactor(60.0);
        ds.AddSubChannel(other);
    }
    CChNbrList sig{0, 1};
    CAccess* a = ds.CreateAccess(am__readwrite, sig, 0, 0L, -1L, mk__physical);
    CAccess* p = withPulses ? ds.CreateAccess(am__readwrite, 2, 0, 0L, -1L, mk__raw) : nullptr;
    const double period = kRate * 60.0 / rpm;
    std::vector<float> v;
    std::vector<std::uint8_t> pb;
    for (std::uint64_t s = 0; s < scans; s += 10000) {
        std::size_t n = std::size_t(std::min<std::uint64_t>(10000, scans - s));
        v.resize(2 * n);
        pb.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            std::uint64_t k = s + i;
            v[2 * i] = float(std::lrint(10000 * std::sin(2 * M_PI * 50 * double(k) / kRate))) * 0.001f;
            v[2 * i + 1] = float(3.0 * std::sin(2 * M_PI * 1000 * double(k) / kRate));
            double ph = std::fmod(double(k), period);
            bool high = ph < period / 2 && k > 0;
            bool prev = k > 1 && std::fmod(double(k - 1), period) < period / 2;
            if (high && !prev)
                f.edges.push_back(k);
            pb[i] = std::uint8_t((high ? 4 : 0) | (k % 3 == 0 ? 1 : 0));
        }
        EXPECT_EQ(a->SetData(long(n), v.data(), ds__dorg_interleaved, it__float), long(n));
        if (p) {
            EXPECT_EQ(p->SetData(long(n), pb.data(), ds__dorg_interleaved, it__pulse), long(n));
        }
    }
    ds.Close();
    return f;
}

bool Exists(const std::string& p) { return std::filesystem::exists(p); }
} // namespace

TEST(TrxNetworks, SourceRefusesWhatItCannotDeliver)
{
    STrxFile in = MakeTrx("refuse.trx", 1000, 600);
    std::unique_ptr<CSPBTrxSourceTimeData> src(CSPBTrxSourceTimeData::CreateObject());
    EXPECT_FALSE(src->Open(TempPath("missing.trx").c_str()));
    EXPECT_FALSE(src->SetChannels(CChNbrList{0})); // nothing open
    ASSERT_TRUE(src->Open(in.path.c_str()));
    EXPECT_FALSE(src->SetChannels(CChNbrList{0, 5}));
    EXPECT_FALSE(src->SetChannels(CChNbrList{2})); // the pulse channel
    EXPECT_FALSE(src->SetPulseEvaluation(3));
    EXPECT_FALSE(src->SetPulseDataErrorHandling(2));
    CSubChannel orphan(sc__pulse, 9, 1, "x", "x", CQuantity("RPM"), CUnit("rpm", 1));
    ASSERT_TRUE(src->SetPulseEvaluation(2));
    ASSERT_TRUE(src->SetPulseSubChannel(orphan));
    CCollectDrain d;
    src->Output(0)->ConnectInput(d.Input(0));
    EXPECT_FALSE(d.Initialize());
    EXPECT_NE(d.GetLastError().find("no parent channel 9"), std::string::npos) << d.GetLastError();
    d.EndRun();
}

TEST(TrxNetworks, PulseFileHoldsTheEdgeTimes)
{
    STrxFile in = MakeTrx("pulses.trx", 30000, 2222);
    std::string out = TempPath("pulses.p7");
    CDataset ids(in.path.c_str(), om__read, 32768, sh__deny_none);
    for (bool correction : {false, true}) {
        auto* src = CSPBTrxSource::CreateObject();
        src->SetPulseChannelDeltaTimeCorrection(correction);
        ASSERT_TRUE(src->SetPulseSubChannel(ids.GetSubChannel(0)));
        ASSERT_TRUE(src->Open(in.path.c_str()));
        auto* drain = CSPBDrainForImpulseFile::CreateObject(out.c_str());
        src->Output(0)->ConnectInput(drain->Input(0));
        ASSERT_TRUE(RunNetwork(drain)) << drain->GetLastError();
        EXPECT_EQ(drain->GetNbrOfPulses(), in.edges.size());
        src->Close();
        drain->Destroy(true);
        src->Destroy(true);

        CDataset pf(out.c_str(), om__read_complete, 32768, sh__deny_none);
        ASSERT_EQ(pf.GetNbrOfScans(), long(in.edges.size()));
        std::vector<float> tv(2 * in.edges.size());
        ASSERT_EQ(pf.GetData(long(in.edges.size()), tv.data(), ds__dorg_with_abscissa, it__float), long(in.edges.size()));
        for (std::size_t k = 0; k < in.edges.size(); ++k) {
            double want = (double(in.edges[k]) - (correction ? 0.5 : 0.0)) / kRate;
            EXPECT_FLOAT_EQ(tv[2 * k], float(want)) << k;
            if (k) {
                EXPECT_NEAR(tv[2 * k + 1], double(in.edges[k] - in.edges[k - 1]) / kRate, 1e-6) << k;
            }
        }
    }
}

// The speed file's contents and when it is made again are checked through
// CTSSpeedDataManager (tests/speed); here: its names and the choice of the
// sub-channel.
TEST(TrxNetworks, SpeedFileNamesAndSubChannelChoice)
{
    STrxFile in = MakeTrx("speed.trx", 4800, 1800);
    CDataset ids(in.path.c_str(), om__read, 32768, sh__deny_none);
    CSubChannel tacho = ids.GetSubChannel(0);
    CString def = RPMFileManager::GetRpmFileName(in.path.c_str(), tacho, -1, 1);
    EXPECT_EQ(def, CString(TempPath("speed.rpm7")));
    EXPECT_EQ(RPMFileManager::GetRpmFileName(in.path.c_str(), tacho, -1, 2), CString(TempPath("speed.p7")));
    EXPECT_EQ(RPMFileManager::GetRpmFileName("/a.b/noext", tacho, -1, 1), CString("/a.b/noext.rpm7"));

    CString name;
    std::uint32_t total = 1, done = 0;
    ASSERT_TRUE(RPMFileManager::CreateRpmFile(in.path.c_str(), name, tacho, -1, 1, false, &total, &done));
    EXPECT_EQ(name, def);
    EXPECT_FALSE(Exists(std::string(name) + ".part"));
    CString chosen = name + ".fast";
    ASSERT_TRUE(RPMFileManager::CreateRpmFile(in.path.c_str(), chosen, tacho, 0, 1, false, &total, &done));
    EXPECT_TRUE(Exists(std::string(chosen)));
    CString bad;
    EXPECT_FALSE(RPMFileManager::CreateRpmFile(in.path.c_str(), bad, tacho, 5, 1, false, &total, &done));
    EXPECT_FALSE(RPMFileManager::CreateRpmFile(TempPath("none.trx").c_str(), bad, tacho, -1, 1, false, &total, &done));
}

TEST(TrxNetworks, ReferencePulseInfoOfADataSet)
{
    STrxFile with = MakeTrx("bnr.trx", 100, 600);
    STrxFile without = MakeTrx("nobnr.trx", 100, 600, false);
    double factor = 0;
    int index = -1, count = -1;
    EXPECT_TRUE(CTrx::ScanForBNRInfo(with.path.c_str(), &factor, &index, &count));
    EXPECT_DOUBLE_EQ(factor, 60.0);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(count, 2);
    EXPECT_FALSE(CTrx::ScanForBNRInfo(without.path.c_str(), &factor, &index, &count));
    EXPECT_FALSE(CTrx::ScanForBNRInfo(TempPath("absent.trx").c_str(), nullptr, nullptr, nullptr));
}

TEST(TrxNetworks, TwentyFourBitCodesWithACommonFullScaleReachATrxFile)
{
    std::string out = TempPath("codes24.trx");
    SStreamFormat fmt = MakeFormat(1000, 500, 2, 1);
    auto value = [](std::size_t c, std::uint64_t i) { return float((c ? -1.0 : 1.0) * (double(i) - 250.0) / 300.0); };
    auto pulse = [](std::uint64_t i) { return std::uint8_t(i % 50 == 10); };
    {
        CTestSource src(fmt, value, pulse, 64);
        std::unique_ptr<CSPBConvertMultiChnFloatToInt> cv(CSPBConvertMultiChnFloatToInt::CreateObject());
        ASSERT_TRUE(cv->SetParameters(1, 1, true, CChNbrList{}, false, false, false));
        ASSERT_TRUE(cv->SetParametersSignalChannels(0, 2, false, 1.0, false));
        std::unique_ptr<CSPBTrxDrain> d(CSPBTrxDrain::CreateObject(out.c_str()));
        src.Output(0)->ConnectInput(cv->Input(0));
        cv->Output(0)->ConnectInput(d->Input(0));
        ASSERT_TRUE(RunNetwork(d.get())) << d->GetLastError();
    }
    CDataset o(out.c_str(), om__read_complete, 32768, sh__deny_none);
    ASSERT_EQ(o.GetNbrOfChannels(), 3);
    EXPECT_EQ(o.GetChannel(0).GetImplType(), it__int24);
    EXPECT_NEAR(o.GetChannel(0).GetMapping().GetFactor(), 1.0 / 8388608, 1e-18);
    std::vector<float> v(1000);
    CAccess* a = o.CreateAccess(am__read, CChNbrList{0, 1}, 0, 0L, -1L, mk__physical);
    ASSERT_EQ(a->GetData(500, v.data(), ds__dorg_interleaved, it__float), 500);
    for (std::uint64_t i = 0; i < 500; ++i) {
        ASSERT_NEAR(v[2 * i], value(0, i), 1.0 / 8388608) << i;
        ASSERT_NEAR(v[2 * i + 1], value(1, i), 1.0 / 8388608) << i;
    }
}
