// Networks over TRX data sets, as the conversions build them: time data to
// WAVE, rate reduction to 16-bit TRX, pulse files and speed files.
#include "BlockTestUtil.h"
#include "hostlibs/dataset/Dataset.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Files of this process go to one folder, removed when it exits.
std::string TempPath(const std::string& name)
{
    static CTempDir dir;
    return dir / name;
}

const double kRate = 48000;

// Channel 0: 16-bit, factor 0.001 (a 50 Hz sine of 10 units); channel 1:
// float, calibration 94 dB (a 1 kHz sine); channel 2: pulse bytes whose bit 2
// is the tacho (rpm / 60 pulses a second, one per revolution, 50 % duty),
// bit 0 noise of another sub-channel.
struct STrxFile {
    std::string path;
    std::uint64_t scans;
    double rpm;
    std::vector<std::uint64_t> edges; // rising edges of bit 2
};

float Ch0(std::uint64_t i) { return float(std::lrint(10000 * std::sin(2 * M_PI * 50 * double(i) / kRate))) * 0.001f; }
float Ch1(std::uint64_t i, double amplitude = 3.0)
{
    return float(amplitude * std::sin(2 * M_PI * 1000 * double(i) / kRate));
}

STrxFile MakeTrx(const std::string& name, std::uint64_t scans, double rpm, bool withPulses = true,
                 double amplitude1 = 3.0)
{
    STrxFile f{TempPath(name), scans, rpm, {}};
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
            v[2 * i] = Ch0(k);
            v[2 * i + 1] = Ch1(k, amplitude1);
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

std::vector<unsigned char> ReadFile(const std::string& p)
{
    const std::string bytes = tessel::test::ReadFile(p);
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

bool Exists(const std::string& p) { return std::filesystem::exists(p); }
} // namespace

TEST(TrxNetworks, TimeDataToWaveWithPulseBitsAsTheExportBuildsIt)
{
    STrxFile in = MakeTrx("wave.trx", 20000, 1500);
    std::string out = TempPath("wave.wav");
    auto* src = CSPBTrxSourceTimeData::CreateObject();
    auto* drain = CSPMWaveDrain::CreateObject(out.c_str());
    const double V = 20.0;
    ASSERT_TRUE(src->Open(in.path.c_str()));
    ASSERT_TRUE(src->SetChannels(CChNbrList{0, 1}));
    ASSERT_TRUE(drain->SetParameters(false, false, false, V, 2, false));
    CDataset ds(in.path.c_str(), om__read, 32768, sh__deny_none);
    for (int k = 0; k < ds.GetNbrOfSubChannels(); ++k) {
        ASSERT_TRUE(src->SetPulseEvaluation(2));
        ASSERT_TRUE(src->SetPulseSubChannel(ds.GetSubChannel(k)));
    }
    src->Output(0)->ConnectInput(drain->Input(0));
    ASSERT_TRUE(drain->Initialize()) << drain->GetLastError();
    std::uint32_t total = 0, done = 0, steps = 0;
    while (!drain->IsFinished()) {
        ASSERT_TRUE(drain->DoOneStepOfProcessing()) << drain->GetLastError();
        src->GetProgress(total, done);
        ++steps;
    }
    EXPECT_TRUE(drain->EndRun());
    EXPECT_EQ(drain->GetErrorCode(), 0);
    EXPECT_EQ(total, 20000u);
    EXPECT_EQ(done, 20000u);
    EXPECT_GT(steps, 1u); // streamed in blocks
    drain->Destroy(true);
    src->Destroy(true);

    auto b = ReadFile(out);
    ASSERT_EQ(b.size(), 46u + 20000 * 4);
    for (std::uint64_t i = 0; i < 20000; i += 7) {
        auto s0 = std::int16_t(b[46 + i * 4] | b[47 + i * 4] << 8);
        auto s1 = std::int16_t(b[48 + i * 4] | b[49 + i * 4] << 8);
        long w0 = std::lrint(double(Ch0(i)) / V * 32768), w1 = std::lrint(double(Ch1(i)) / V * 32768);
        ASSERT_NEAR(s0 & ~1, w0 & ~1, 1) << i; // bit 0 holds the pulses
        ASSERT_NEAR(s1 & ~1, w1 & ~1, 1) << i;
        ASSERT_EQ(s0 & 1, int(std::find(in.edges.begin(), in.edges.end(), i) != in.edges.end() ||
                              (std::fmod(double(i), kRate * 60 / 1500) < kRate * 60 / 1500 / 2 && i > 0)))
            << i;
        ASSERT_EQ(s1 & 1, int(i % 3 == 0)) << i;
    }
}

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

TEST(TrxNetworks, RateReductionTo16BitKeepsPhysicalValuesAndPulses)
{
    // Channel 1 large enough against its 16-bit steps of 4.33 to show the tone.
    STrxFile in = MakeTrx("mixed.trx", 48000, 1200, true, 30000.0);
    std::string out = TempPath("mixedTmp0.dat");
    CDataset ids(in.path.c_str(), om__read, 32768, sh__deny_none);
    auto* src = CSPBTrxSourceTimeData::CreateObject();
    auto* res = CSPBResample::CreateObject();
    auto* cv = CSPBConvertMultiChnFloatToInt::CreateObject();
    auto* drain = CSPBTrxDrain::CreateObject(out.c_str());
    ASSERT_TRUE(src->Open(in.path.c_str()));
    ASSERT_TRUE(src->SetChannels(CChNbrList{0, 1}));
    ASSERT_TRUE(src->SetPulseEvaluation(2));
    ASSERT_TRUE(src->SetPulseSubChannel(ids.GetSubChannel(0)));
    ASSERT_TRUE(src->SetPulseDataErrorHandling(0));
    ASSERT_TRUE(res->SetParameters(false, kRate / 4, 32, 32));
    CPulseRequirement req;
    ASSERT_TRUE(req.SetParameters(5, -1000.0, 0, 0, -1.0));
    ASSERT_TRUE(cv->SetParameters(0, 1, true, CChNbrList{}, false, false, false));
    ASSERT_TRUE(cv->SetParametersSignalChannels(0, 2, true, 0.0, false));
    ASSERT_TRUE(cv->SetParametersPulseChannels(0, 1, req));
    src->Output(0)->ConnectInput(res->Input(0));
    res->Output(0)->ConnectInput(cv->Input(0));
    cv->Output(0)->ConnectInput(drain->Input(0));
    ASSERT_TRUE(RunNetwork(drain)) << drain->GetLastError();
    for (CNetNode* n : std::initializer_list<CNetNode*>{drain, cv, res, src})
        n->Destroy(true);

    CDataset o(out.c_str(), om__read, 32768, sh__deny_none);
    ASSERT_EQ(o.GetNbrOfChannels(), 3);
    EXPECT_EQ(o.GetNbrOfScans(), 12000);
    EXPECT_DOUBLE_EQ(o.GetSamplingRate(0), 12000);
    EXPECT_EQ(o.GetChannel(0).GetImplType(), it__int16);
    EXPECT_EQ(o.GetChannel(1).GetImplType(), it__int16);
    EXPECT_NEAR(o.GetChannel(0).GetMapping().GetFactor(), 0.001, 1e-12);
    EXPECT_EQ(o.GetChannel(0).GetName(), "Mic");
    EXPECT_EQ(o.GetChannel(2).GetImplType(), it__pulse);
    ASSERT_EQ(o.GetNbrOfSubChannels(), 1);
    EXPECT_EQ(o.GetSubChannel(0).GetID(), 7);
    EXPECT_EQ(o.GetSubChannel(0).GetParentChannelID(), 2);
    EXPECT_EQ(o.GetSubChannel(0).GetBitmask(), 1u);

    std::vector<float> v(12000 * 2);
    CAccess* a = o.CreateAccess(am__read, CChNbrList{0, 1}, 0, 0L, -1L, mk__physical);
    ASSERT_EQ(a->GetData(12000, v.data(), ds__dorg_interleaved, it__float), 12000);
    const double lsb1 = 4.326085101830699; // full scale of 94 dB re 1 (141757.16) over 32768 steps
    for (std::size_t j = 100; j < 11900; ++j) {
        ASSERT_NEAR(v[2 * j], Ch0(4 * j), 0.0015) << j;        // 50 Hz passes, within ~1 code
        ASSERT_NEAR(v[2 * j + 1], Ch1(4 * j, 30000.0), lsb1 + 3e-4) << j; // 1 kHz passes too
    }
    std::vector<std::uint8_t> p(12000);
    CAccess* pa = o.CreateAccess(am__read, 2, 0, 0L, -1L, mk__raw);
    ASSERT_EQ(pa->GetData(12000, p.data(), ds__dorg_interleaved, it__pulse), 12000);
    std::vector<std::uint64_t> rises; // the file starts low: a high first scan is an edge
    for (std::size_t j = 0; j < p.size(); ++j)
        if ((p[j] & 1) && (j == 0 || !(p[j - 1] & 1)))
            rises.push_back(j);
    ASSERT_EQ(rises.size(), in.edges.size());
    for (std::size_t k = 0; k < rises.size(); ++k)
        EXPECT_EQ(rises[k], std::uint64_t(std::floor(double(in.edges[k]) / 4 + 0.5))) << k;
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

TEST(TrxNetworks, SpeedFileIsMadeOnceAndRemadeWhenAsked)
{
    STrxFile in = MakeTrx("speed.trx", 48000 * 3, 1800);
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
    EXPECT_EQ(total, 48000u * 3);
    EXPECT_EQ(done, total);
    EXPECT_FALSE(Exists(std::string(name) + ".part"));
    {
        CDataset sp(name, om__read_complete, 32768, sh__deny_none);
        EXPECT_EQ(sp.GetKind(), dk__rpm);
        EXPECT_DOUBLE_EQ(sp.GetAbscissa(0).GetDeltaValue(), 0.01);
        ASSERT_EQ(sp.GetNbrOfScans(), 300);
        EXPECT_EQ(sp.GetChannel(0).GetUnit().GetText(), "rpm");
        std::vector<float> v(300);
        ASSERT_EQ(sp.GetData(300, v.data(), ds__dorg_interleaved, it__float), 300);
        for (std::size_t k = 5; k < 295; ++k)
            ASSERT_NEAR(v[k], 1800.0, 1800.0 * 0.002) << k;
    }
    // Not older than its source: kept as it is, unless a new run is asked for.
    // Its time is set a day ahead, to a value no write could give it, so that
    // neither a coarse clock nor a coincidence of nanoseconds can decide.
    struct stat after;
    struct timespec ahead[2];
    ahead[0].tv_sec = ahead[1].tv_sec = ::time(nullptr) + 86400;
    ahead[0].tv_nsec = ahead[1].tv_nsec = 123456789;
    ASSERT_EQ(::utimensat(AT_FDCWD, name, ahead, 0), 0);
    ASSERT_TRUE(RPMFileManager::CreateRpmFile(in.path.c_str(), name, tacho, -1, 1, false, &total, &done));
    ASSERT_EQ(::stat(name, &after), 0);
    EXPECT_EQ(after.st_mtim.tv_sec, ahead[1].tv_sec) << "kept files keep their time";
    EXPECT_EQ(after.st_mtim.tv_nsec, 123456789);
    ASSERT_TRUE(RPMFileManager::CreateRpmFile(in.path.c_str(), name, tacho, -1, 1, true, &total, &done));
    ASSERT_EQ(::stat(name, &after), 0);
    EXPECT_LT(after.st_mtim.tv_sec, ahead[1].tv_sec) << "a new run writes the file again";

    // A chosen name, and the sub-channel by index.
    CString fast = name + ".fast";
    ASSERT_TRUE(RPMFileManager::CreateRpmFile(in.path.c_str(), fast, tacho, 0, 1, false, &total, &done));
    EXPECT_TRUE(Exists(std::string(fast)));
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

TEST(TrxNetworks, TwentyFourBitCodesAndPulsesAloneReachATrxFile)
{
    // 24-bit codes with a common full scale; pulses alone through a resampler.
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
    {
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
    ::unlink(out.c_str());

    SStreamFormat pulsesOnly = MakeFormat(1000, 1000, 0, 1);
    CTestSource src(pulsesOnly, nullptr, pulse, 77);
    std::unique_ptr<CSPBResample> res(CSPBResample::CreateObject());
    ASSERT_TRUE(res->SetParameters(false, 250, 20, 20));
    CCollectDrain d;
    src.Output(0)->ConnectInput(res->Input(0));
    res->Output(0)->ConnectInput(d.Input(0));
    ASSERT_TRUE(RunNetwork(&d)) << d.GetLastError();
    ASSERT_EQ(d.pulses.size(), 250u);
    std::vector<std::size_t> rises;
    for (std::size_t j = 1; j < d.pulses.size(); ++j)
        if (d.pulses[j] && !d.pulses[j - 1])
            rises.push_back(j);
    ASSERT_EQ(rises.size(), 20u);
    for (std::size_t k = 0; k < rises.size(); ++k)
        EXPECT_EQ(rises[k], std::size_t(std::floor((10.0 + 50.0 * double(k)) / 4 + 0.5))) << k;
}
