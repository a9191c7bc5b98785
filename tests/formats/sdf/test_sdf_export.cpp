// The SDF export job: the file it writes read back field by field with the
// record tables (SdfFileBuilder's readers, not Tessel's records), the values
// through the import, refusals, and the speed curves of pulse channels.

#include "formats/sdf/ThreadSDFExport.h"
#include "formats/sdf/ThreadSDFImport.h"
#include "tests/common/WriteFailure.h"
#include "tests/formats/sdf/SdfJobTestUtil.h"

#include <cmath>

using namespace sdftest;

namespace {

// One calculated abscissa at `rate`; values[c][s] are stored values.
void MakeTrx(const fs::path& path, const std::vector<SChannelSpec>& specs, const std::vector<std::vector<double>>& values,
             int kind = dk__time, const char* comment = "", const std::vector<CSubChannel>& subs = {},
             double rate = 1000.0)
{
    std::vector<double> scans;
    for (std::size_t s = 0; s < values[0].size(); ++s)
        for (const auto& ch : values) scans.push_back(ch[s]);
    MakeDataset(path, specs, 1.0 / rate, scans, kind, nullptr, subs);
    CDataset ds(path.c_str(), om__readwrite, 32768, sh__deny_write);
    ds.SetDateOfRecording(CDateTimeEx(2003, 3, 12, 14, 5, 9.0));
    ds.SetComment(comment);
    for (int c = 0; c < ds.GetNbrOfChannels(); ++c) {
        CChannel ch = ds.GetChannel(c);
        ch.SetCalibration(94.0f);
        ds.SetChannel(c, ch);
    }
    ds.Close();
}

CTSInterface::SMessage Export(const fs::path& in, const fs::path& out, int overwrite = 1, int highRate = 0)
{
    CTSInterface::SMessage msg;
    EXPECT_EQ(0u, CThreadManager::RunSync(new CThreadSDFExport(in.c_str(), 3, 4, out.c_str(), &overwrite, &highRate), &msg));
    return msg;
}

class SdfExport : public CSdfJobTest {
protected:
    // Four pressure channels (16-bit, 0.01 Pa per step) and two acceleration channels (floats), five scans.
    void MakeSixChannels(const fs::path& p, const char* comment = "")
    {
        std::vector<SChannelSpec> chans;
        std::vector<std::vector<double>> v;
        for (int c = 0; c < 4; ++c) {
            chans.push_back({"p" + std::to_string(c), it__int16, 0.01});
            v.push_back({double(100 * c), -1.0, 2.0, 32767.0, -32768.0});
        }
        for (int c = 0; c < 2; ++c) {
            chans.push_back({"a" + std::to_string(c), it__float, 1.0, "", 0.0, "acceleration", "m/(s^2)"});
            v.push_back({0.5 * c, 1.25, -2.5, 1e-3, 9.80665});
        }
        MakeTrx(p, chans, v, dk__time, comment);
    }
};

TEST_F(SdfExport, EveryHeaderFieldAndOffsetFollowsTheRecordTablesAndTheValuesComeBack)
{
    MakeSixChannels(dir / "six.dat", "line one\nline two");
    ASSERT_TRUE(Succeeded(Export(dir / "six.dat", dir / "six.sdf"), 11));
    const Bytes b = ReadBytes(dir / "six.sdf");
    ASSERT_EQ(2102u, b.size());
    EXPECT_EQ("B", GetChars(b, 0, 2)) << "the format identifier: B and a zero byte";

    ExpectFields(b, 2, {{0, 2, 10}, {2, 4, 80}, {6, 2, 3}, {8, 2, 27}, {10, 2, 2003}, {12, 2, 312}, {14, 2, 1405},
                        {24, 2, 2}, {26, 2, 6}, {28, 2, 6}, {30, 2, 6}, {32, 2, 0}, {34, 2, 0}, {36, 4, 238},
                        {40, 4, 534}, {44, 4, 642}, {48, 4, 1914}, {52, 4, -1}, {56, 4, -1}, {60, 4, 2016},
                        {64, 2, 0}, {66, 2, 1}, {68, 4, -1}, {72, 4, 1974}, {76, 4, -1}}, "file header");
    EXPECT_EQ("3.2", GetChars(b, 2 + 16, 8));
    ExpectFields(b, 82, {{0, 2, 11}, {2, 4, 156}, {6, 4, -1}, {24, 2, 0}, {26, 2, 4}, {126, 2, 6}, {128, 2, 1},
                         {130, 2, -99}, {140, 4, 0}, {144, 4, 4}}, "measurement header");
    // Data headers: a run of four pressures (16-bit), one of two accelerations (floats).
    for (int d = 0; d < 2; ++d) {
        const std::size_t D = 238 + 148 * std::size_t(d);
        ExpectFields(b, D, {{0, 2, 12}, {2, 4, 148}, {6, 4, -1}, {26, 2, 1}, {28, 2, 0}, {30, 2, 5}, {32, 2, 4},
                            {42, 2, 0}, {48, 2, d == 0 ? 1.0 : 3.0}, {52, 2, 0}, {58, 2, 1}, {60, 4, d == 0 ? 0.0 : 4.0},
                            {64, 2, d == 0 ? 4.0 : 2.0}, {66, 2, 1}, {90, 2, 0}, {102, -4, 1.0}, {114, -8, 0.0},
                            {122, -8, 0.001}, {130, 2, 0}, {132, 2, 1}, {134, 4, 5}, {138, 4, 4}, {142, 2, 1}},
                     "data header " + std::to_string(d));
        EXPECT_EQ("Time Data", GetChars(b, D + 10, 16));
        EXPECT_EQ("s", GetChars(b, D + 68, 10));
        EXPECT_EQ(2, int(b[D + 68 + 16]));
    }
    for (int k = 0; k < 6; ++k) {
        const std::string n = std::to_string(k);
        ExpectFields(b, 534 + 18 * std::size_t(k), {{0, 2, 13}, {2, 4, 18}, {6, 4, -1}, {10, 2, double(k)}, {12, 2, -1},
                                                    {14, 2, 48}, {16, 2, 0}}, "vector " + n);
        const std::size_t C = 642 + 212 * std::size_t(k);
        ExpectFields(b, C, {{0, 2, 14}, {2, 4, 212}, {6, 4, 1914.0 + 10 * k}, {64, 2, 3}, {66, 2, 0}, {68, -4, 1},
                            {72, -4, 1}, {76, -4, 1}, {80, -4, 1}, {84, -4, 1}, {88, 2, 0}, {138, -4, k < 4 ? 100.0 : 1.0},
                            {142, -4, 1e6}, {152, -8, 1}, {160, -8, 0}, {208, 2, double(k)}, {116 + 10, -4, 1}},
                     "channel " + n);
        EXPECT_EQ(k < 4 ? "p" + n : "a" + std::to_string(k - 4), GetChars(b, C + 10, 30));
        // Units: Pa is kg·m⁻¹·s⁻², m/s² is m·s⁻², exponents doubled.
        const std::size_t U = C + 116;
        EXPECT_EQ(k < 4 ? "Pa" : "m/(s^2)", GetChars(b, U, 10));
        const std::vector<int> exps{(signed char)b[U + 14], (signed char)b[U + 15], (signed char)b[U + 16], b[U + 17],
                                    b[U + 18], b[U + 19], b[U + 20], b[U + 21]};
        const std::vector<int> si = k < 4 ? std::vector<int>{2, -2, -4, 0, 0, 0, 0, 0} : std::vector<int>{0, 2, -4, 0, 0, 0, 0, 0};
        EXPECT_EQ(si, exps);
        ExpectFields(b, 1914 + 10 * std::size_t(k), {{0, 2, 84}, {2, 4, 10}, {6, 4, 0}}, "unique " + n);
    }
    // The comment record behind the unique records.
    ExpectFields(b, 1974, {{0, 2, 20}, {2, 4, 24 + 18}, {6, 4, -1}, {10, 4, 24}, {14, 4, -1}, {18, 2, 0}, {20, 2, 1},
                           {22, 2, 0}}, "comment");
    EXPECT_EQ("line one\nline two", GetChars(b, 1998, 18));
    // Y data: the prefix, then each channel's trace in its own type.
    ExpectFields(b, 2016, {{0, 2, 17}, {2, 4, 86}, {6 + 2 * 10, 2, 200}, {6 + 3 * 10 + 8, 2, -32768},
                           {46 + 20, -4, 0.5}, {46 + 20 + 16, -4, 9.80665}}, "Y data");

    // Back through the import: both results share their abscissa, one data set again.
    ASSERT_TRUE(Succeeded(ImportSdf(dir / "six.sdf", dir / "back.dat"), 9));
    EXPECT_EQ((std::vector<std::string>{"back.dat", "six.dat", "six.sdf"}), Listing(dir)) << "no data set left of the combining";
    CDataset ds((dir / "back.dat").c_str(), om__read, 32768, sh__deny_write);
    ASSERT_EQ(6, ds.GetNbrOfChannels());
    EXPECT_EQ("line one\nline two", ds.GetComment());
    EXPECT_EQ("p2", ds.GetChannel(2).GetName());
    EXPECT_EQ(it__int16, ds.GetChannel(2).GetImplType());
    EXPECT_TRUE(ds.GetChannel(5).GetUnit().IsEquivalent(CUnit("m/(s^2)", 0)));
    EXPECT_EQ(5, ds.GetDateOfRecording().GetParts().iMinute);
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
    ASSERT_TRUE(Succeeded(Export(dir / "uneven.dat", dir / "uneven.sdf"), 11));
    const Bytes b = ReadBytes(dir / "uneven.sdf");
    const std::size_t x = 238 + 148 + 18 + 212 + 10;
    ExpectFields(b, 2, {{34, 2, 1}, {56, 4, double(x)}, {60, 4, double(x + 22)}}, "file header");
    ExpectFields(b, x, {{0, 2, 16}, {2, 4, 6 + 16}, {6 + 4, -4, 0.1}, {6 + 12, -4, 0.5}}, "X data");
    ExpectFields(b, 238, {{42, 2, 3}, {44, 2, 3}}, "data header");

    ASSERT_TRUE(Succeeded(ImportSdf(dir / "uneven.sdf", dir / "back.dat"), 9));
    CDataset ds((dir / "back.dat").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_DOUBLE_EQ(double(0.25f), ds.GetWorldFixAbsc(0, 2));
    EXPECT_EQ((std::vector<double>{1.5, -2.0, 3.0, 4.5}), Values(dir / "back.dat", 0));
}

TEST_F(SdfExport, RefusalsAndWarnings)
{
    MakeTrx(dir / "spectrum.dat", {{"s"}}, {{1, 2, 3}}, dk__spectrum);
    auto msg = Export(dir / "spectrum.dat", dir / "spectrum.sdf");
    EXPECT_EQ(12u, msg.uState);
    EXPECT_FALSE(fs::exists(dir / "spectrum.sdf"));
    MakeTrx(dir / "pulse.dat", {{"P", it__pulse, 1.0, "Pulse Channels", 0.0, "", ""}}, {{0, 1, 0}});
    msg = Export(dir / "pulse.dat", dir / "pulse.sdf");
    EXPECT_EQ("TRX Dataset contains no exportable channels.", msg.sText);
    EXPECT_FALSE(fs::exists(dir / "pulse.sdf"));

    MakeSixChannels(dir / "six.dat");
    WriteBytes(dir / "kept.sdf", Bytes{'k'});
    msg = Export(dir / "six.dat", dir / "kept.sdf", 0);
    EXPECT_EQ(12u, msg.uState);
    EXPECT_EQ(Bytes{'k'}, ReadBytes(dir / "kept.sdf"));

    // A full disk while later blocks wait for their turn: nothing of the file stays.
    MakeTrx(dir / "big.dat", {{"x", it__int16}, {"y", it__int16}}, {std::vector<double>(1 << 20, 3.0), std::vector<double>(1 << 20)});
    {
        tessel::test::CFileSizeLimit full(1u << 20);
        EXPECT_EQ("Write to file " + (dir / "big.sdf").string() + " failed. Disk might be full!",
                  Export(dir / "big.dat", dir / "big.sdf").sText.c_str());
    }
    EXPECT_FALSE(fs::exists(dir / "big.sdf"));

    // Per cent of full scale goes out in pascals at the calibration level
    // (94 dB); level channels are written in pascals too.
    MakeTrx(dir / "pct.dat", {{"x", it__int16, 1.0, "", 0.0, "articulation index", "%"}, {"L", it__float, 1.0, "", 0.0, "level", "dB"}},
            {{1, 2}, {60, 70}});
    EXPECT_TRUE(Succeeded(Export(dir / "pct.dat", dir / "pct.sdf"), 11));
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
    MakeTrx(dir / "run.dat", {{"mic", it__int16}, {"Pulses", it__pulse, 1.0, "Pulse Channels", 0.0, "", ""}},
            {mic, pulses}, dk__time, "", {sub}, rate);
    ASSERT_TRUE(Succeeded(Export(dir / "run.dat", dir / "run.sdf"), 11));
    Bytes b = ReadBytes(dir / "run.sdf");
    ASSERT_EQ(2, GetI16(b, 2 + 24)) << "the speed curve is a result of its own";
    EXPECT_EQ(20, GetI16(b, 238 + 148 + 28));
    EXPECT_EQ(1, GetI16(b, 2 + 30)) << "only time data carry unique records";
    EXPECT_GT(GetF64(b, 238 + 148 + 122), 1.0 / rate);

    // High rate: the reference evaluated as ".fast" and resampled to the input's rate.
    ASSERT_TRUE(Succeeded(Export(dir / "run.dat", dir / "fast.sdf", 1, 1), 11));
    b = ReadBytes(dir / "fast.sdf");
    EXPECT_DOUBLE_EQ(1.0 / rate, GetF64(b, 238 + 148 + 122));
    const std::vector<std::string> names = Listing(dir);
    EXPECT_TRUE(std::any_of(names.begin(), names.end(), [](const std::string& n) { return n.ends_with(".fast"); }));
    // One pulse per revolution: at one second the shaft turns 10 + 1 times a second.
    const long long y = GetI32(b, 2 + 60) + 6 + 2LL * 16000;
    EXPECT_NEAR(11.0, GetF32(b, std::size_t(y + 4LL * 8000)), 0.3);

    // Through CTSInterface, asynchronously: the outcome reaches the main window.
    int zero = 0;
    EXPECT_TRUE(Succeeded(
        tessel::test::RunAsync([&] { return CTSInterface().ExportSDF((dir / "run.dat").c_str(), 77, 1, nullptr, nullptr, &zero); }),
        11));
    EXPECT_TRUE(fs::exists(dir / "run.SDF"));
}

TEST_F(SdfExport, ProgressRisesBlockByBlockBothWays)
{
    // A 16-bit and a float channel of 300000 scans: two results of several
    // blocks each, of equal abscissa, which the import combines again.
    std::vector<double> p(300000), a(300000);
    for (std::size_t s = 0; s < p.size(); ++s) {
        p[s] = double(s % 1000);
        a[s] = 0.5 * double(s % 7);
    }
    MakeTrx(dir / "long.dat", {{"p", it__int16}, {"a", it__float, 1.0, "", 0.0, "acceleration", "m/(s^2)"}}, {p, a});
    int overwrite = 1, highRate = 0;
    CWatched<CThreadSDFExport> out((dir / "long.dat").c_str(), 1, 2, (dir / "long.sdf").c_str(), &overwrite, &highRate);
    ASSERT_EQ(0, out.Run()) << out.m_uStringID;
    ExpectRisingToTheEnd(out.seen);
    CWatched<CThreadSDFImport> back((dir / "long.sdf").c_str(), 1, 2, (dir / "back.dat").c_str(), &overwrite);
    ASSERT_EQ(0, back.Run()) << back.m_uStringID;
    ExpectRisingToTheEnd(back.seen);
    // The first result's blocks show on their own, in the lower half: the
    // fraction does not jump per result.
    EXPECT_GE(std::count_if(back.seen.begin(), back.seen.end(), [](float f) { return f > 0.0f && f < 0.5f; }), 2);
    // Every block's values arrived, in their place.
    EXPECT_EQ(p, Values(dir / "back.dat", 0));
    EXPECT_EQ(a, Values(dir / "back.dat", 1));
}

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
    ASSERT_TRUE(Succeeded(Export(dir / "rows.dat", dir / "rows.sdf"), 11));
    const Bytes b = ReadBytes(dir / "rows.sdf");
    ASSERT_EQ(1018u, b.size());
    ExpectFields(b, 2, {{64, 2, 2}, {68, 4, 866}, {60, 4, 964}}, "file header");
    ExpectFields(b, 238, {{130, 2, 1}, {134, 4, 4}}, "data header");
    // Scan type 2: the scans of a result follow each other.
    ExpectFields(b, 866, {{0, 2, 18}, {2, 4, 20}, {10, 4, 3}, {14, 4, 2}, {18, 2, 2}}, "scan-big");
    ExpectFields(b, 886, {{0, 2, 19}, {2, 4, 54 + 24}, {16, 2, 1}, {18, 2, 4}}, "scan-var");
    EXPECT_EQ("Block", GetChars(b, 886 + 20, 10));
    EXPECT_EQ("s", GetChars(b, 886 + 32, 10));
    for (int r = 0; r < 3; ++r) {
        EXPECT_DOUBLE_EQ(0.5 + 0.25 * r, GetF64(b, 940 + 8 * std::size_t(r)));
        for (int c = 0; c < 2; ++c)
            for (int p = 0; p < 4; ++p)
                EXPECT_EQ(100 * c + 10 * r + p, GetI16(b, 970 + 2 * std::size_t((r * 2 + c) * 4 + p))) << r << c << p;
    }

    ASSERT_TRUE(Succeeded(ImportSdf(dir / "rows.sdf", dir / "back.dat"), 9));
    CDataset ds((dir / "back.dat").c_str(), om__read, 32768, sh__deny_write);
    ASSERT_EQ(2, ds.GetNbrOfAbscissas());
    EXPECT_EQ(4, ds.GetAbscissa(0).GetNbrOfScans());
    const CAbscissa rows = ds.GetAbscissa(1);
    EXPECT_EQ(3, rows.GetNbrOfScans()); EXPECT_EQ("Block", rows.GetName()); EXPECT_EQ("s", rows.GetUnit().GetText());
    EXPECT_DOUBLE_EQ(0.5, rows.GetFirstValue()); EXPECT_DOUBLE_EQ(0.25, rows.GetDeltaValue());
    EXPECT_EQ((std::vector<double>{0.0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23}), Values(dir / "back.dat", 0));
    EXPECT_EQ(123.0, Values(dir / "back.dat", 1)[11]);

    // Rows longer than a block: a block holds the end of one row and the start of the next.
    al.RemoveAll();
    al.Add(CAbscissa("Time", "t", CQuantity("time"), CUnit("s", 1), 0.0, 0.001, 100000, df__linear));
    al.Add(CAbscissa("Block", "b", CQuantity("time"), CUnit("s", 1), 0.0, 1.0, 3, df__linear));
    scans.clear();
    for (int s = 0; s < 300000; ++s) scans.insert(scans.end(), {double(s % 30011), -double(s % 29989)});
    {
        CDataset ds((dir / "long.dat").c_str(), al, cl, dk__time, ds__dorg_interleaved, 0, 65536, sh__deny_write);
        ds.CreateAccess(am__readwrite, CChNbrList{0, 1}, 0, 0L, -1L, mk__raw)->SetData(300000, scans.data(), ds__dorg_interleaved, it__double);
        ds.Close();
    }
    ASSERT_TRUE(Succeeded(Export(dir / "long.dat", dir / "long.sdf"), 11));
    const Bytes l = ReadBytes(dir / "long.sdf");
    const std::size_t y = std::size_t(GetI32(l, 2 + 60)) + 6;
    ASSERT_EQ(y + 2 * 600000, l.size());
    int wrong = 0;   // file order: row, channel, point
    for (int i = 0, s = 0; i < 600000; ++i, s = 100000 * (i / 200000) + i % 100000)
        wrong += GetI16(l, y + 2 * std::size_t(i)) != (i / 100000 % 2 ? -(s % 29989) : s % 30011);
    EXPECT_EQ(0, wrong);
}

}  // namespace
