// Networks over TRX data sets: the source's refusals, pulse files, speed
// files and 24-bit codes into a TRX drain. Time data to WAVE and the rate
// reduction run through these blocks in the WAVE export and mixed-rate
// export tests, against independent readers.
#include "BlockTestUtil.h"
#include "tests/common/DatasetMaker.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {
const double kRate = 48000;

// Channel 0: 16-bit signal (its values matter to no test here); channel 1:
// pulse bytes whose bit 2 is the tacho (rpm / 60 pulses a second, one per
// revolution, 50 % duty), bit 0 noise of another sub-channel.
struct STrxFile {
    std::string path;
    std::vector<std::uint64_t> edges; // rising edges of bit 2
};

STrxFile MakeTrx(const std::string& name, std::uint64_t scans, double rpm, bool withPulses = true)
{
    STrxFile f{TempPath(name), {}};
    const double period = kRate * 60.0 / rpm;
    std::vector<double> v;
    for (std::uint64_t k = 0; k < scans; ++k) {
        bool high = std::fmod(double(k), period) < period / 2 && k > 0;
        bool prev = k > 1 && std::fmod(double(k - 1), period) < period / 2;
        if (high && !prev)
            f.edges.push_back(k);
        v.push_back(0.0);
        if (withPulses)
            v.push_back((high ? 4 : 0) | (k % 3 == 0 ? 1 : 0));
    }
    std::vector<SChannelSpec> specs(withPulses ? 2 : 1);
    specs[0].implType = it__int16;
    std::vector<CSubChannel> subs;
    if (withPulses) {
        specs[1].implType = it__pulse;
        subs = {tessel::test::PulseSub(1, 4, 60.0, "Engine"), tessel::test::PulseSub(1, 1, 60.0, "Other")};
        subs[0].SetID(7);
        subs[1].SetID(8);
    }
    tessel::test::MakeTrx(f.path, specs, kRate, v, subs);
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
    EXPECT_FALSE(src->SetChannels(CChNbrList{1})); // the pulse channel
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
        std::vector<double> tv(2 * in.edges.size());
        ASSERT_EQ(pf.GetData(long(in.edges.size()), tv.data(), ds__dorg_with_abscissa, it__double), long(in.edges.size()));
        for (std::size_t k = 0; k < in.edges.size(); ++k) {
            double want = (double(in.edges[k]) - (correction ? 0.5 : 0.0)) / kRate;
            EXPECT_DOUBLE_EQ(tv[2 * k], want) << k;
            if (k) {
                EXPECT_FLOAT_EQ(float(tv[2 * k + 1]), float(double(in.edges[k] - in.edges[k - 1]) / kRate)) << k;
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
