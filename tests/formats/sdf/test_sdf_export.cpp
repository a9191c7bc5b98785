// The SDF export job: the file it writes read back field by field with the
// record tables (SdfFileBuilder's readers, not Tessel's records), the values
// through the import, refusals, and the speed curves of pulse channels.

#include "formats/sdf/ThreadSDFExport.h"
#include "formats/sdf/ThreadSDFImport.h"
#include "platform/MessageLoop.h"
#include "tests/formats/sdf/SdfJobTestUtil.h"

#include <cmath>
#include <map>

using namespace sdftest;

namespace {

struct SChannel {
    std::string name, quantity, unit;
    int type;
    double factor = 1.0;
};

// One calculated time abscissa at 1 kHz; values[c][s] are stored values.
void MakeTrx(const fs::path& path, const std::vector<SChannel>& chans, const std::vector<std::vector<double>>& values,
             int kind = dk__time, const char* comment = "", const std::vector<CSubChannel>& subs = {},
             double rate = 1000.0)
{
    CAbscissaList al;
    al.Add(CAbscissa("Time", "t", CQuantity(kind == dk__time ? "time" : "frequency"), CUnit(kind == dk__time ? "s" : "Hz", 1),
                     0.0, 1.0 / rate, 0, df__linear));
    CChannelList cl;
    for (std::size_t i = 0; i < chans.size(); ++i) {
        map__dct m;
        m.m_dFactor = chans[i].factor;
        CChannel c(chans[i].name.c_str(), chans[i].name.c_str(), CQuantity(chans[i].quantity.c_str()),
                   CUnit(chans[i].unit.c_str(), 1), chans[i].type, int(i), 1.0, 1.0, &m);
        if (chans[i].type == it__pulse) c.SetTitle("Pulse Channels");
        if (chans[i].unit == "%") c.SetCalibration(94.0f);
        cl.Add(c);
    }
    CDataset ds(path.c_str(), al, cl, kind, ds__dorg_interleaved, 0, 65536, sh__deny_write);
    ds.SetDateOfRecording(CDateTimeEx(2003, 3, 12, 14, 5, 9.0));
    ds.SetComment(comment);
    const std::size_t scans = values[0].size();
    std::vector<double> buf;
    for (std::size_t s = 0; s < scans; ++s)
        for (std::size_t c = 0; c < chans.size(); ++c) buf.push_back(values[c][s]);
    CChNbrList all;
    all.AddGroup(0, int(chans.size()) - 1);
    ds.CreateAccess(am__readwrite, all, 0, 0L, -1L, mk__raw)->SetData(long(scans), buf.data(), ds__dorg_interleaved, it__double);
    for (const CSubChannel& s : subs) ds.AddSubChannel(s);
    ds.Close();
}

CTSInterface::SMessage Export(const fs::path& in, const fs::path& out, int overwrite = 1, int highRate = 0)
{
    CTSInterface::SMessage msg;
    EXPECT_EQ(0u, CThreadManager::RunSync(new CThreadSDFExport(in.c_str(), 3, 4, out.c_str(), &overwrite, &highRate), &msg));
    return msg;
}

class SdfExport : public ::testing::Test {
protected:
    void SetUp() override
    {
        CTSSettings::ResetToDefaults();
        dir = MakeScratch();
    }
    void TearDown() override { fs::remove_all(dir); }

    // Four pressure channels (16-bit, 0.01 Pa per step) and two acceleration channels (floats), five scans.
    void MakeSixChannels(const fs::path& p, const char* comment = "")
    {
        std::vector<SChannel> chans;
        std::vector<std::vector<double>> v;
        for (int c = 0; c < 4; ++c) {
            chans.push_back({"p" + std::to_string(c), "pressure", "Pa", it__int16, 0.01});
            v.push_back({double(100 * c), -1.0, 2.0, 32767.0, -32768.0});
        }
        for (int c = 0; c < 2; ++c) {
            chans.push_back({"a" + std::to_string(c), "acceleration", "m/(s^2)", it__float});
            v.push_back({0.5 * c, 1.25, -2.5, 1e-3, 9.80665});
        }
        MakeTrx(p, chans, v, dk__time, comment);
    }
    fs::path dir;
};

TEST_F(SdfExport, EveryHeaderFieldAndOffsetFollowsTheRecordTables)
{
    MakeSixChannels(dir / "six.dat");
    auto msg = Export(dir / "six.dat", dir / "six.sdf");
    ASSERT_EQ(11u, msg.uState) << msg.sText.c_str();
    const Bytes b = ReadBytes(dir / "six.sdf");
    ASSERT_EQ(2060u, b.size());
    EXPECT_EQ('B', b[0]);
    EXPECT_EQ(0, b[1]);

    // File header at 2.
    const std::size_t F = 2;
    EXPECT_EQ(10, GetI16(b, F)); EXPECT_EQ(80, GetI32(b, F + 2)); EXPECT_EQ(3, GetI16(b, F + 6));
    EXPECT_EQ(27, GetI16(b, F + 8)); EXPECT_EQ(2003, GetI16(b, F + 10)); EXPECT_EQ(312, GetI16(b, F + 12));
    EXPECT_EQ(1405, GetI16(b, F + 14)); EXPECT_EQ("3.2", GetChars(b, F + 16, 8));
    EXPECT_EQ(2, GetI16(b, F + 24)); EXPECT_EQ(6, GetI16(b, F + 26)); EXPECT_EQ(6, GetI16(b, F + 28));
    EXPECT_EQ(6, GetI16(b, F + 30)); EXPECT_EQ(0, GetI16(b, F + 32)); EXPECT_EQ(0, GetI16(b, F + 34));
    EXPECT_EQ(238, GetI32(b, F + 36)); EXPECT_EQ(534, GetI32(b, F + 40)); EXPECT_EQ(642, GetI32(b, F + 44));
    EXPECT_EQ(1914, GetI32(b, F + 48)); EXPECT_EQ(-1, GetI32(b, F + 52)); EXPECT_EQ(-1, GetI32(b, F + 56));
    EXPECT_EQ(1974, GetI32(b, F + 60)); EXPECT_EQ(0, GetI16(b, F + 64)); EXPECT_EQ(0, GetI16(b, F + 66));
    EXPECT_EQ(-1, GetI32(b, F + 68)); EXPECT_EQ(-1, GetI32(b, F + 72)); EXPECT_EQ(-1, GetI32(b, F + 76));

    // Measurement header at 82.
    const std::size_t M = 82;
    EXPECT_EQ(11, GetI16(b, M)); EXPECT_EQ(156, GetI32(b, M + 2)); EXPECT_EQ(-1, GetI32(b, M + 6));
    EXPECT_EQ(0, GetI16(b, M + 24)); EXPECT_EQ(4, GetI16(b, M + 26)); EXPECT_EQ(6, GetI16(b, M + 126));
    EXPECT_EQ(1, GetI16(b, M + 128)); EXPECT_EQ(-99, GetI16(b, M + 130)); EXPECT_EQ(0, GetI32(b, M + 140));
    EXPECT_EQ(4, GetI32(b, M + 144));

    // Data headers: a run of four pressures (16-bit), one of two accelerations (floats).
    for (int d = 0; d < 2; ++d) {
        const std::size_t D = 238 + 148 * std::size_t(d);
        EXPECT_EQ(12, GetI16(b, D)); EXPECT_EQ(148, GetI32(b, D + 2)); EXPECT_EQ(-1, GetI32(b, D + 6));
        EXPECT_EQ("Time Data", GetChars(b, D + 10, 16)); EXPECT_EQ(1, GetI16(b, D + 26)); EXPECT_EQ(0, GetI16(b, D + 28));
        EXPECT_EQ(5, GetI16(b, D + 30)); EXPECT_EQ(4, GetI16(b, D + 32)); EXPECT_EQ(0, GetI16(b, D + 42));
        EXPECT_EQ(d == 0 ? 1 : 3, GetI16(b, D + 48)); EXPECT_EQ(0, GetI16(b, D + 52)); EXPECT_EQ(1, GetI16(b, D + 58));
        EXPECT_EQ(d == 0 ? 0 : 4, GetI32(b, D + 60)); EXPECT_EQ(d == 0 ? 4 : 2, GetI16(b, D + 64));
        EXPECT_EQ(1, GetI16(b, D + 66)); EXPECT_EQ("s", GetChars(b, D + 68, 10)); EXPECT_EQ(2, int(b[D + 68 + 16]));
        EXPECT_EQ(0, GetI16(b, D + 90)); EXPECT_FLOAT_EQ(1.0f, GetF32(b, D + 92 + 10));
        EXPECT_DOUBLE_EQ(0.0, GetF64(b, D + 114)); EXPECT_DOUBLE_EQ(0.001, GetF64(b, D + 122));
        EXPECT_EQ(0, GetI16(b, D + 130)); EXPECT_EQ(1, GetI16(b, D + 132)); EXPECT_EQ(5, GetI32(b, D + 134));
        EXPECT_EQ(4, GetI32(b, D + 138)); EXPECT_EQ(1, GetI16(b, D + 142));
    }
    for (int k = 0; k < 6; ++k) {
        const std::size_t V = 534 + 18 * std::size_t(k);
        EXPECT_EQ(13, GetI16(b, V)); EXPECT_EQ(18, GetI32(b, V + 2)); EXPECT_EQ(-1, GetI32(b, V + 6));
        EXPECT_EQ(k, GetI16(b, V + 10)); EXPECT_EQ(-1, GetI16(b, V + 12)); EXPECT_EQ(48, GetI16(b, V + 14));
        EXPECT_EQ(0, GetI16(b, V + 16));
        const std::size_t C = 642 + 212 * std::size_t(k);
        EXPECT_EQ(14, GetI16(b, C)); EXPECT_EQ(212, GetI32(b, C + 2)); EXPECT_EQ(1914 + 10 * k, GetI32(b, C + 6));
        EXPECT_EQ(k < 4 ? "p" + std::to_string(k) : "a" + std::to_string(k - 4), GetChars(b, C + 10, 30));
        EXPECT_EQ(3, GetI16(b, C + 64)); EXPECT_EQ(0, GetI16(b, C + 66));
        for (std::size_t o : {68, 72, 76, 80, 84}) EXPECT_FLOAT_EQ(1.0f, GetF32(b, C + o)) << o;
        EXPECT_EQ(0, GetI16(b, C + 88));
        EXPECT_FLOAT_EQ(k < 4 ? 100.0f : 1.0f, GetF32(b, C + 138));
        EXPECT_FLOAT_EQ(1e6f, GetF32(b, C + 142));
        EXPECT_DOUBLE_EQ(1.0, GetF64(b, C + 152)); EXPECT_DOUBLE_EQ(0.0, GetF64(b, C + 160));
        EXPECT_EQ(k, GetI16(b, C + 208));
        // Units: Pa is kg·m⁻¹·s⁻², m/s² is m·s⁻², exponents doubled.
        const std::size_t U = C + 116;
        if (k < 4) {
            EXPECT_EQ("Pa", GetChars(b, U, 10));
            EXPECT_EQ((std::vector<int>{2, -2, -4, 0, 0, 0, 0, 0}),
                      (std::vector<int>{(signed char)b[U + 14], (signed char)b[U + 15], (signed char)b[U + 16], b[U + 17],
                                        b[U + 18], b[U + 19], b[U + 20], b[U + 21]}));
        } else {
            EXPECT_EQ("m/(s^2)", GetChars(b, U, 10));
            EXPECT_EQ(0, (signed char)b[U + 14]); EXPECT_EQ(2, (signed char)b[U + 15]); EXPECT_EQ(-4, (signed char)b[U + 16]);
        }
        EXPECT_FLOAT_EQ(1.0f, GetF32(b, U + 10));
        const std::size_t Q = 1914 + 10 * std::size_t(k);
        EXPECT_EQ(84, GetI16(b, Q)); EXPECT_EQ(10, GetI32(b, Q + 2)); EXPECT_EQ(0, GetI32(b, Q + 6));
    }
    // Y data: the prefix, then each channel's trace in its own type.
    EXPECT_EQ(17, GetI16(b, 1974)); EXPECT_EQ(86, GetI32(b, 1976));
    EXPECT_EQ(200, GetI16(b, 1980 + 2 * 10));
    EXPECT_EQ(-32768, GetI16(b, 1980 + 3 * 10 + 8));
    EXPECT_FLOAT_EQ(0.5f, GetF32(b, 2020 + 20));
    EXPECT_FLOAT_EQ(9.80665f, GetF32(b, 2020 + 20 + 16));
}

TEST_F(SdfExport, ExportedValuesComeBackThroughTheImport)
{
    MakeSixChannels(dir / "six.dat", "line one\nline two");
    ASSERT_EQ(11u, Export(dir / "six.dat", dir / "six.sdf").uState);
    // The comment record behind the unique records.
    const Bytes b = ReadBytes(dir / "six.sdf");
    EXPECT_EQ(1, GetI16(b, 2 + 66));
    EXPECT_EQ(1974, GetI32(b, 2 + 72));
    EXPECT_EQ(20, GetI16(b, 1974)); EXPECT_EQ(24 + 18, GetI32(b, 1976)); EXPECT_EQ(-1, GetI32(b, 1980));
    EXPECT_EQ(24, GetI32(b, 1984)); EXPECT_EQ(-1, GetI32(b, 1988)); EXPECT_EQ(0, GetI16(b, 1992));
    EXPECT_EQ(1, GetI16(b, 1994)); EXPECT_EQ(0, GetI16(b, 1996));
    EXPECT_EQ("line one\nline two", GetChars(b, 1998, 18));
    EXPECT_EQ(2016, GetI32(b, 2 + 60));

    CTSInterface::SMessage msg;
    int overwrite = 1;
    EXPECT_EQ(0u, CTSInterface().ImportSDF((dir / "six.sdf").c_str(), 1, 2, (dir / "back.dat").c_str(), &overwrite, &msg));
    ASSERT_EQ(9u, msg.uState) << msg.sText.c_str();
    // Both results share their abscissa: one data set again.
    CDataset ds((dir / "back.dat").c_str(), om__read, 32768, sh__deny_write);
    ASSERT_EQ(6, ds.GetNbrOfChannels());
    EXPECT_EQ("line one\nline two", ds.GetComment());
    EXPECT_EQ("p2", ds.GetChannel(2).GetName());
    EXPECT_EQ(it__int16, ds.GetChannel(2).GetImplType());
    EXPECT_TRUE(ds.GetChannel(5).GetUnit().IsEquivalent(CUnit("m/(s^2)", 0)));
    EXPECT_EQ(CDateTimeEx(2003, 3, 12, 14, 5, 0.0).GetParts().iMinute, ds.GetDateOfRecording().GetParts().iMinute);
    const std::vector<double> p = Values(dir / "back.dat", 3);
    ASSERT_EQ(5u, p.size());
    EXPECT_NEAR(3.0, p[0], 1e-9);
    EXPECT_NEAR(327.67, p[3], 1e-9);
    EXPECT_EQ((std::vector<double>{0.5, 1.25, -2.5, double(1e-3f), double(9.80665f)}), Values(dir / "back.dat", 5));
}

TEST_F(SdfExport, UnevenAbscissaTravelsInTheXData)
{
    // Time data sampled at uneven instants: the abscissa values go into the X record.
    CAbscissaList al;
    al.Add(CAbscissa("Time", "t", CQuantity("time"), CUnit("s", 1), it__float, 4, ac__world));
    CChannelList cl;
    cl.Add(CChannel("v", "v", CQuantity("voltage"), CUnit("V", 1), it__float, 0));
    {
        CDataset ds((dir / "uneven.dat").c_str(), al, cl, dk__time, ds__dorg_with_abscissa, 4, 65536, sh__deny_write);
        const double scans[] = {0.0, 1.5, 0.1, -2.0, 0.25, 3.0, 0.5, 4.5};   // x, value
        ds.CreateAccess(am__readwrite, CChNbrList{0}, 0, 0L, -1L, mk__raw)->SetData(4, scans, ds__dorg_with_abscissa, it__double);
        ds.Close();
    }
    ASSERT_EQ(11u, Export(dir / "uneven.dat", dir / "uneven.sdf").uState);
    const Bytes b = ReadBytes(dir / "uneven.sdf");
    EXPECT_EQ(1, GetI16(b, 2 + 34));
    const std::size_t x = std::size_t(GetI32(b, 2 + 56));
    EXPECT_EQ(238 + 148 + 18 + 212 + 10, int(x));
    EXPECT_EQ(16, GetI16(b, x)); EXPECT_EQ(6 + 16, GetI32(b, x + 2));
    EXPECT_FLOAT_EQ(0.1f, GetF32(b, x + 6 + 4));
    EXPECT_FLOAT_EQ(0.5f, GetF32(b, x + 6 + 12));
    EXPECT_EQ(3, GetI16(b, 238 + 42)); EXPECT_EQ(3, GetI16(b, 238 + 44));
    EXPECT_EQ(int(x) + 22, GetI32(b, 2 + 60));

    CTSInterface::SMessage msg;
    int overwrite = 1;
    CTSInterface().ImportSDF((dir / "uneven.sdf").c_str(), 1, 2, (dir / "back.dat").c_str(), &overwrite, &msg);
    ASSERT_EQ(9u, msg.uState) << msg.sText.c_str();
    CDataset ds((dir / "back.dat").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_FALSE(ds.GetAbscissa(0).IsCalc());
    EXPECT_DOUBLE_EQ(double(0.25f), ds.GetWorldFixAbsc(0, 2));
    EXPECT_EQ((std::vector<double>{1.5, -2.0, 3.0, 4.5}), Values(dir / "back.dat", 0));
}

TEST_F(SdfExport, RefusalsAndWarnings)
{
    MakeTrx(dir / "spectrum.dat", {{"s", "pressure", "Pa", it__float}}, {{1, 2, 3}}, dk__spectrum);
    auto msg = Export(dir / "spectrum.dat", dir / "spectrum.sdf");
    EXPECT_EQ(12u, msg.uState);
    EXPECT_FALSE(fs::exists(dir / "spectrum.sdf"));
    MakeTrx(dir / "pulse.dat", {{"P", "", "", it__pulse}}, {{0, 1, 0}});
    msg = Export(dir / "pulse.dat", dir / "pulse.sdf");
    EXPECT_EQ("TRX Dataset contains no exportable channels.", msg.sText);
    EXPECT_FALSE(fs::exists(dir / "pulse.sdf"));

    MakeSixChannels(dir / "six.dat");
    WriteBytes(dir / "kept.sdf", Bytes{'k'});
    msg = Export(dir / "six.dat", dir / "kept.sdf", 0);
    EXPECT_EQ(12u, msg.uState);
    EXPECT_EQ(Bytes{'k'}, ReadBytes(dir / "kept.sdf"));

    // Per cent of full scale goes out in pascals at the calibration level; a
    // level unit has no SDF form (a warning, the export goes on).
    MakeTrx(dir / "pct.dat", {{"x", "articulation index", "%", it__int16}, {"L", "level", "dB", it__float}},
            {{1, 2}, {60, 70}});
    msg = Export(dir / "pct.dat", dir / "pct.sdf");
    EXPECT_EQ(11u, msg.uState);
    const Bytes b = ReadBytes(dir / "pct.sdf");
    const std::size_t C = 238 + 148 * 2 + 18 * 2;
    EXPECT_EQ("Pa", GetChars(b, C + 116, 10));
    EXPECT_NEAR(11557.44, GetF32(b, C + 138), 0.01);
    EXPECT_EQ("Pa", GetChars(b, C + 212 + 116, 10)) << "level channels are written in pascals";
}

TEST_F(SdfExport, SpeedCurvesOfPulseChannelsAndTheInterfaceMember)
{
    // 8 kHz for two seconds: a tone and one pulse per revolution of a shaft speeding up from 10 to 12 turns a second.
    const double rate = 8000.0;
    std::vector<double> mic, pulses;
    for (int i = 0; i < 16000; ++i) {
        const double t = i / rate;
        const double revolutions = 10.0 * t + 0.5 * t * t;
        mic.push_back(1000.0 * std::sin(2 * M_PI * 100.0 * t));
        pulses.push_back(revolutions - std::floor(revolutions) < 0.5 ? 1.0 : 0.0);
    }
    CSubChannel sub(sc__pulse, 1, 1, "speed", "n", CQuantity("RPM"), CUnit("rpm", 1));
    sub.SetPulseFactor(1.0);
    sub.SetDeltaTime(0.01);
    MakeTrx(dir / "run.dat", {{"mic", "pressure", "Pa", it__int16}, {"Pulses", "", "", it__pulse}}, {mic, pulses},
            dk__time, "", {sub}, rate);
    auto msg = Export(dir / "run.dat", dir / "run.sdf");
    ASSERT_EQ(11u, msg.uState) << msg.sText.c_str();
    Bytes b = ReadBytes(dir / "run.sdf");
    ASSERT_EQ(2, GetI16(b, 2 + 24)) << "the speed curve is a result of its own";
    EXPECT_EQ(20, GetI16(b, 238 + 148 + 28));
    EXPECT_EQ(1, GetI16(b, 2 + 30)) << "only time data carry unique records";
    const double slowDelta = GetF64(b, 238 + 148 + 122);
    EXPECT_GT(slowDelta, 1.0 / rate);

    // High rate: the reference evaluated as ".fast" and resampled to the input's rate.
    msg = Export(dir / "run.dat", dir / "fast.sdf", 1, 1);
    ASSERT_EQ(11u, msg.uState) << msg.sText.c_str();
    b = ReadBytes(dir / "fast.sdf");
    EXPECT_DOUBLE_EQ(1.0 / rate, GetF64(b, 238 + 148 + 122));
    bool fast = false;
    for (const auto& name : Listing(dir)) fast = fast || name.size() > 5 && name.substr(name.size() - 5) == ".fast";
    EXPECT_TRUE(fast);
    // One pulse per revolution: at one second the shaft turns 10 + 1 times a second.
    const long long y = GetI32(b, 2 + 60) + 6 + 2LL * 16000;
    const float mid = GetF32(b, std::size_t(y + 4LL * 8000));
    EXPECT_NEAR(11.0, mid, 0.3);

    // Through CTSInterface, asynchronously: the outcome reaches the main window.
    std::map<long, CTSInterface::SMessage> reports;
    MessageLoop::Reset();
    MessageLoop::SetMainWindow([&](unsigned m, WPARAM w, LPARAM) -> LRESULT {
        if (m == CTSInterface::g_uMsgFromTessel) {
            auto* r = reinterpret_cast<CTSInterface::SMessage*>(w);
            reports[r->lID] = *r;
        }
        return 0;
    });
    int zero = 0;
    EXPECT_EQ(0u, CTSInterface().ExportSDF((dir / "run.dat").c_str(), 77, 1, nullptr, nullptr, &zero));
    EXPECT_TRUE(MessageLoop::RunUntil([&] {
        MessageLoop::FireAllTimers();
        return reports.count(77) > 0;
    }, 20000));
    CThreadManager::DestroyAll();
    MessageLoop::Reset();
    EXPECT_EQ(11u, reports[77].uState) << reports[77].sText.c_str();
    EXPECT_TRUE(fs::exists(dir / "run.SDF"));
}

// Every fraction the job reports, read back through the job base as a host's
// progress query reads it.
class CWatchedExport : public CThreadSDFExport {
public:
    using CThreadSDFExport::CThreadSDFExport;
    std::vector<float> seen;

protected:
    void ReportProgress(float f) override
    {
        CThreadSDFExport::ReportProgress(f);
        seen.push_back(GetProgress());
    }
};

TEST_F(SdfExport, ProgressRisesBlockByBlockToTheEnd)
{
    // One float channel of 600000 scans: 2.4 MB of values, several blocks.
    std::vector<double> v(600000);
    for (std::size_t s = 0; s < v.size(); ++s) v[s] = double(s % 1000);
    MakeTrx(dir / "long.dat", {{"a0", "acceleration", "m/(s^2)", it__float}}, {v});
    int overwrite = 1, highRate = 0;
    {
        CWatchedExport job((dir / "long.dat").c_str(), 1, 2, (dir / "long.sdf").c_str(), &overwrite, &highRate);
        EXPECT_EQ(0.5f, job.GetProgress()) << "before the run the job base's own start value";
        ASSERT_EQ(0, job.Run()) << job.m_uStringID;
        EXPECT_EQ(11u, job.m_uState);
        ExpectRisingToTheEnd(job.seen);
        EXPECT_EQ(1.0f, job.GetProgress());
    }
    // The values of the last block did arrive.
    CTSInterface::SMessage msg;
    EXPECT_EQ(0u, CTSInterface().ImportSDF((dir / "long.sdf").c_str(), 1, 2, (dir / "back.dat").c_str(), &overwrite, &msg));
    ASSERT_EQ(9u, msg.uState) << msg.sText.c_str();
    const std::vector<double> back = Values(dir / "back.dat", 0);
    ASSERT_EQ(600000u, back.size());
    EXPECT_EQ(999.0, back[599999]);
}

}  // namespace

TEST_F(SdfExport, SecondAbscissaTravelsAsScanBigAndScanVar)
{
    // Two 16-bit channels over 4 points × 3 blocks; the blocks start at 0.5 s, 0.75 s, 1 s.
    CAbscissaList al;
    al.Add(CAbscissa("Time", "t", CQuantity("time"), CUnit("s", 1), 0.0, 0.001, 4, df__linear));
    al.Add(CAbscissa("Block", "b", CQuantity("time"), CUnit("s", 1), 0.5, 0.25, 3, df__linear));
    CChannelList cl;
    for (int c = 0; c < 2; ++c) cl.Add(CChannel(c ? "q" : "p", "p", CQuantity("pressure"), CUnit("Pa", 1), it__int16, c));
    std::vector<double> scans;
    for (int r = 0; r < 3; ++r)
        for (int p = 0; p < 4; ++p) scans.insert(scans.end(), {10.0 * r + p, 100.0 + 10 * r + p});
    {
        CDataset ds((dir / "rows.dat").c_str(), al, cl, dk__time, ds__dorg_interleaved, 0, 65536, sh__deny_write);
        ds.CreateAccess(am__readwrite, CChNbrList{0, 1}, 0, 0L, -1L, mk__raw)->SetData(12, scans.data(), ds__dorg_interleaved, it__double);
        ds.Close();
    }
    ASSERT_EQ(11u, Export(dir / "rows.dat", dir / "rows.sdf").uState);
    const Bytes b = ReadBytes(dir / "rows.sdf");
    ASSERT_EQ(1018u, b.size());
    EXPECT_EQ(2, GetI16(b, 2 + 64)); EXPECT_EQ(866, GetI32(b, 2 + 68)); EXPECT_EQ(964, GetI32(b, 2 + 60));
    EXPECT_EQ(1, GetI16(b, 238 + 130)) << "scanData"; EXPECT_EQ(4, GetI32(b, 238 + 134));
    EXPECT_EQ(18, GetI16(b, 866)); EXPECT_EQ(20, GetI32(b, 868)); EXPECT_EQ(3, GetI32(b, 866 + 10));
    EXPECT_EQ(2, GetI32(b, 866 + 14)); EXPECT_EQ(2, GetI16(b, 866 + 18)) << "the scans of a result follow each other";
    EXPECT_EQ(19, GetI16(b, 886)); EXPECT_EQ(54 + 24, GetI32(b, 888)); EXPECT_EQ(1, GetI16(b, 886 + 16));
    EXPECT_EQ(4, GetI16(b, 886 + 18)); EXPECT_EQ("Block", GetChars(b, 886 + 20, 10)); EXPECT_EQ("s", GetChars(b, 886 + 32, 10));
    for (int r = 0; r < 3; ++r) {
        EXPECT_DOUBLE_EQ(0.5 + 0.25 * r, GetF64(b, 940 + 8 * std::size_t(r)));
        for (int c = 0; c < 2; ++c)
            for (int p = 0; p < 4; ++p)
                EXPECT_EQ(100 * c + 10 * r + p, GetI16(b, 970 + 2 * std::size_t((r * 2 + c) * 4 + p))) << r << c << p;
    }

    CTSInterface::SMessage msg;
    int overwrite = 1;
    CTSInterface().ImportSDF((dir / "rows.sdf").c_str(), 1, 2, (dir / "back.dat").c_str(), &overwrite, &msg);
    ASSERT_EQ(9u, msg.uState) << msg.sText.c_str();
    CDataset ds((dir / "back.dat").c_str(), om__read, 32768, sh__deny_write);
    ASSERT_EQ(2, ds.GetNbrOfAbscissas());
    EXPECT_EQ(4, ds.GetAbscissa(0).GetNbrOfScans());
    const CAbscissa rows = ds.GetAbscissa(1);
    EXPECT_EQ(3, rows.GetNbrOfScans()); EXPECT_EQ("Block", rows.GetName()); EXPECT_EQ("s", rows.GetUnit().GetText());
    EXPECT_DOUBLE_EQ(0.5, rows.GetFirstValue()); EXPECT_DOUBLE_EQ(0.25, rows.GetDeltaValue());
    EXPECT_EQ((std::vector<double>{0.0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23}), Values(dir / "back.dat", 0));
    EXPECT_EQ(123.0, Values(dir / "back.dat", 1)[11]);
}
