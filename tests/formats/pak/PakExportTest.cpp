// The PAK export through CTSInterface (always asynchronous): the throughput
// file read back by the layout tables, the side files line by line against
// the values the format lists, the templates byte for byte, the way back
// through the import, and what a failure leaves.

#include "formats/pak/PakSetup.h"
#include "formats/pak/ThreadPAKExport.h"
#include "platform/FileSystem.h"

#include "PakTestUtil.h"
#include "tests/common/PeerTools.h"

#include <cerrno>
#include <cmath>

using namespace paktest;

namespace {

struct SChannelDef {
    std::string name;
    std::string quantity = "pressure";
    std::string unit = "Pa";
    int type = it__int16;
    double factor = 1.0;
    double offset = 0.0;
    float calibration = 0.0f;
    std::string title;
};

// A time data set at `rate` whose stored value of channel c at scan i is value(c, i).
template <class F>
void MakeTrx(const fs::path& path, const std::vector<SChannelDef>& defs, double rate, long scans, F value,
             const std::vector<CSubChannel>& subs = {}, int kind = dk__time)
{
    CAbscissaList abscissas;
    abscissas.Add(CAbscissa("Time", "t", CQuantity("time"), CUnit("s", 1), 0.0, 1.0 / rate, 0, df__linear));
    CChannelList channels;
    for (std::size_t i = 0; i < defs.size(); ++i) {
        map__dct m;
        m.m_dFactor = defs[i].factor;
        m.m_dOffset = defs[i].offset;
        CChannel c(defs[i].name.c_str(), defs[i].name.substr(0, 2).c_str(), CQuantity(defs[i].quantity.c_str()),
                   CUnit(defs[i].unit.c_str(), 1), defs[i].type, int(i), 1.0, 1.0, &m);
        c.SetCalibration(defs[i].calibration);
        if (!defs[i].title.empty())
            c.SetTitle(defs[i].title.c_str());
        channels.Add(c);
    }
    CDataset ds(path.c_str(), abscissas, channels, kind, ds__dorg_interleaved, 0, 65536, sh__deny_write);
    ds.SetDateOfRecording(CDateTimeEx(1.0e9));
    std::vector<double> v;
    for (long i = 0; i < scans; ++i)
        for (std::size_t c = 0; c < defs.size(); ++c)
            v.push_back(value(c, i));
    CChNbrList all;
    all.AddGroup(0, int(defs.size()) - 1);
    CAccess* a = ds.CreateAccess(am__readwrite, all, 0, 0L, -1L, mk__raw);
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->SetData(scans, v.data(), ds__dorg_interleaved, it__double), scans);
    for (const CSubChannel& s : subs)
        ds.AddSubChannel(s);
    ds.Close();
}

double Ramp(std::size_t c, long i) { return double((long(c) * 5003 + i * 37) % 60001 - 30000); }

std::vector<std::string> Lines(const fs::path& p)
{
    const Bytes b = ReadFile(p);
    std::vector<std::string> v;
    std::string cur;
    for (unsigned char ch : b) {
        cur.push_back(char(ch));
        if (ch == '\n') {
            v.push_back(cur);
            cur.clear();
        }
    }
    if (!cur.empty())
        v.push_back(cur);
    return v;
}

std::vector<std::string> WithTabs(const std::vector<std::string>& values)
{
    std::vector<std::string> v;
    for (const std::string& s : values)
        v.push_back(s + "\t\n");
    return v;
}

class PakExport : public PakTest {
protected:
    void TearDown() override
    {
        CThreadPAKExport::SetBufferLimitForTests(0);
        PakTest::TearDown();
    }
    CTSInterface::SMessage Export(const fs::path& in, const fs::path& out, const int* overwrite = nullptr,
                                  const int* float32 = nullptr, std::vector<std::string>* produced = nullptr)
    {
        return RunAsync([&] { return CTSInterface().ExportPAK(in.c_str(), 7, 8, out.c_str(), overwrite, float32); },
                        produced);
    }
};

const std::vector<SChannelDef> kThree = {{"Mic driver", "pressure", "Pa", it__int16, 0.001, 0.5},
                                         {"Level", "level", "dB", it__int16, 0.01},
                                         {"Seat", "acceleration", "m/(s^2)", it__int16, 1.0 / 3.0}};

}  // namespace

TEST_F(PakExport, SixteenBitDataAt44100HzInBlocksOf256)
{
    const fs::path in = root / "run.trx", out = root / "Run4";
    MakeTrx(in, kThree, 44100.0, 1000, Ramp);
    std::vector<std::string> produced;
    const CTSInterface::SMessage msg = Export(in, out, nullptr, nullptr, &produced);
    ASSERT_EQ(msg.uState, 7u) << msg.sText.c_str();
    EXPECT_EQ(msg.lID, 7);
    EXPECT_EQ(produced, (std::vector<std::string>{(out / "TDATA").string(), (out / "SETUP/Setup").string(),
                                                  (out / "SETUP/Kanalkonfig").string(), (out / "SETUP/Kalib").string(),
                                                  (out / "SETUP/HW_111").string(), (out / "SETUP/FFT").string(),
                                                  (out / "MPlist").string()}));
    EXPECT_EQ(Listing(out), (std::vector<std::string>{"Fahrzeug", "MPlist", "MessDef", "Messtext", "Messzyklus",
                                                      "SETUP", "SETUP/FFT", "SETUP/HW_111", "SETUP/Kalib",
                                                      "SETUP/Kanalkonfig", "SETUP/Setup", "TDATA"}));

    // 1000 scans in blocks of 256: 4 blocks, the last one padded with zeros,
    // then 4 × 3 × 2 bytes of zeros.
    Bytes f = ReadFile(out / "TDATA");
    ASSERT_EQ(f.size(), 8008u + 67568u + 4 * 3 * 256 * 2 + 4 * 3 * 2);
    CWriter r(f, false);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.data())), "LSB");
    EXPECT_EQ(r.Get<std::int32_t>(8), 1);
    EXPECT_EQ(r.Get<std::int32_t>(2064), 256);
    EXPECT_EQ(r.Get<std::int16_t>(2068), 16);
    EXPECT_EQ(r.Get<double>(3096), 1.0e9);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(r.Get<double>(16 + 8 * std::size_t(i)), 1.0);
    EXPECT_EQ(r.Get<double>(16 + 8 * 3), 0.0);
    const std::size_t s = 8008;
    EXPECT_EQ(r.Get<std::int16_t>(s + 0), 2);
    EXPECT_EQ(r.Get<std::int32_t>(s + 24), 4);
    EXPECT_EQ(r.Get<std::int16_t>(s + 28), 3);
    EXPECT_EQ(r.Get<float>(s + 32), 44100.0f);
    const short codes[] = {1, 11, 2};   // pressure, level, acceleration
    const double factors[] = {0.001, 0.01, 1.0 / 3.0};
    for (int i = 0; i < 3; ++i) {
        const std::size_t rec = s + 36848 + 120 * std::size_t(i);
        EXPECT_EQ(r.Get<std::int16_t>(rec + 4), 1);
        EXPECT_EQ(r.Get<std::int16_t>(rec + 32), codes[i]);
        EXPECT_EQ(r.Get<double>(rec + 40), factors[i]);
    }
    EXPECT_EQ(r.Get<std::int16_t>(s + 36848 + 120 * 3 + 4), 0);
    EXPECT_EQ(r.Get<std::int16_t>(s + 36848 + 120 * 3 + 32), -1);
    std::size_t at = 8008 + 67568;
    for (long b = 0; b < 4; ++b)
        for (std::size_t c = 0; c < 3; ++c)
            for (long i = 0; i < 256; ++i, at += 2) {
                const long scan = b * 256 + i;
                ASSERT_EQ(r.Get<std::int16_t>(at), scan < 1000 ? Ramp(c, scan) : 0.0) << b << " " << c << " " << i;
            }
    for (; at < f.size(); ++at)
        ASSERT_EQ(f[at], 0);

    // Side files: the values the format lists for these settings.
    EXPECT_EQ(Lines(out / "SETUP/Setup"),
              WithTabs({"2", "111", "0", "1", "0", "4", "3", "44100.000000", "0", "-99", "0.000000", "10.000000",
                        "1.000000", "0.100000", "0", "", "100.000000", "5.000000", "0", "0.100000", "0", "0",
                        "0.000000", "0.000000", "0", "0.000000", "-1", "0", "reserved", "reserved"}));
    EXPECT_EQ(Lines(out / "SETUP/HW_111"),
              WithTabs({"2", "0", "0", "0", "0.000000", "reserved", "reserved", "reserved", "reserved", "reserved",
                        "reserved", "reserved", "reserved", "reserved", "reserved", "reserved", "reserved",
                        "reserved", "reserved", "reserved"}));
    // 44100 × 0.390625 and × 0.1953125.
    EXPECT_EQ(Lines(out / "SETUP/FFT"),
              WithTabs({"256", "17226.562500", "8613.281250", "0", "1.000000", "1", "0", "1", "0.000000", "reserved",
                        "reserved", "reserved", "reserved", "reserved", "reserved"}));
    EXPECT_EQ(Lines(out / "SETUP/Kalib"),
              (std::vector<std::string>{"  1\tNORMAL\t1\t---\tlin\t\t---\t\t\t---\t1000\t---\t\n",
                                        "  2\tNORMAL\t11\t---\tlin\t\t---\t\t\t---\t100\t---\t\n",
                                        "  3\tNORMAL\t2\t---\tlin\t\t---\t\t\t---\t3\t---\t\n"}));
    const std::vector<std::string> k = Lines(out / "SETUP/Kanalkonfig");
    ASSERT_EQ(k.size(), 3u * 35);
    // Channel 1: its 8-byte block, then the record with the kind's high bit set.
    const std::vector<std::string> first(k.begin(), k.begin() + 35);
    EXPECT_EQ(first, WithTabs({"0", "1", "-1", "1", "0", "-32767", "0", "0", "1", "0", "0", "1.000000", "1.000000",
                               "0.100000", "1", "0", "0.001000", "0.500000", "0.000000", "0", "-1", "-1", "0",
                               "MAXFLOAT", "MAXFLOAT", "0.000000", "0.000000", "0.000000", "-1", "0", "0",
                               "reserved", "reserved", "reserved", "reserved"}));
    std::vector<std::string> mp = Lines(out / "MPlist");
    ASSERT_EQ(mp.size(), 256u);
    EXPECT_EQ(mp[0], "Mic driver\t\tLS\t\n");
    EXPECT_EQ(mp[1], "Level\t\tLS\t\n");
    EXPECT_EQ(mp[2], "Seat\t\tKS\t\n");
    for (std::size_t i = 3; i < 256; ++i)
        ASSERT_EQ(mp[i], "\t\tLS\t\n") << i;

    // And back: the same 16-bit samples, names, scales and offset.
    CTSInterface::SMessage back;
    ASSERT_EQ(CTSInterface().ImportPAK((out / "TDATA").c_str(), 1, 2, (root / "back.dat").c_str(), nullptr, &back), 0u);
    ASSERT_EQ(back.uState, 5u) << back.sText.c_str();
    CDataset ds((root / "back.dat").c_str(), om__read, 32768, sh__deny_write);
    ASSERT_EQ(ds.GetNbrOfChannels(), 3);
    EXPECT_EQ(ds.GetNbrOfScans(), 1024);
    EXPECT_EQ(ds.GetDateOfRecording().GetUnixTime(), 1.0e9);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(ds.GetChannel(c).GetName(), kThree[std::size_t(c)].name);
        EXPECT_EQ(ds.GetChannel(c).GetQuantity().GetName(), kThree[std::size_t(c)].quantity);
        EXPECT_EQ(ds.GetChannel(c).GetMapping().GetFactor(), factors[c]);
        EXPECT_EQ(ds.GetChannel(c).GetMapping().GetOffset(), kThree[std::size_t(c)].offset);
    }
    ds.Close();
    const std::vector<double> v = ReadValues(root / "back.dat", true);
    for (long i = 0; i < 1000; ++i)
        for (std::size_t c = 0; c < 3; ++c)
            ASSERT_EQ(v[std::size_t(i) * 3 + c], Ramp(c, i));
}

TEST_F(PakExport, FloatDataAt51200HzAsCalibrated16BitOrAsFloats)
{
    const fs::path in = root / "f.trx";
    // 94 dB re 20 µPa with 0 dB headroom: full scale 10^((94 + 6.0206)/20) · 2e-5 · √2 = 2.8351431 Pa.
    const std::vector<SChannelDef> defs = {{"p", "pressure", "Pa", it__float, 1.0, 0.0, 94.0f}};
    auto value = [](std::size_t, long i) { return 2.0 * std::sin(double(i) * 0.01); };
    MakeTrx(in, defs, 51200.0, 2000, value);
    const double factor = 8.652170203233439e-05;

    const int no = 0, yes = 1;
    CTSInterface::SMessage msg = Export(in, root / "i16", nullptr, &no);
    ASSERT_EQ(msg.uState, 7u) << msg.sText.c_str();
    Bytes f = ReadFile(root / "i16/TDATA");
    CWriter r(f, false);
    EXPECT_EQ(r.Get<std::int32_t>(2064), 512);
    EXPECT_EQ(r.Get<std::int16_t>(2068), 16);
    EXPECT_EQ(r.Get<std::int32_t>(8008 + 24), 4);   // 2000 / 512 rounded up
    EXPECT_NEAR(r.Get<double>(8008 + 36848 + 40), factor, 1e-15);
    EXPECT_EQ(f.size(), 8008u + 67568u + 4 * 512 * 2 + 4 * 2);
    for (long i = 0; i < 2000; ++i)
        ASSERT_NEAR(r.Get<std::int16_t>(8008 + 67568 + 2 * std::size_t(i)) * factor, value(0, i), factor / 2 + 1e-9);

    msg = Export(in, root / "f32", nullptr, &yes);
    ASSERT_EQ(msg.uState, 7u) << msg.sText.c_str();
    f = ReadFile(root / "f32/TDATA");
    CWriter r32(f, false);
    EXPECT_EQ(r32.Get<std::int16_t>(2068), 32);
    EXPECT_EQ(r32.Get<double>(8008 + 36848 + 40), 1.0);
    for (long i = 0; i < 2000; ++i)
        ASSERT_EQ(r32.Get<float>(8008 + 67568 + 4 * std::size_t(i)), float(value(0, i)));

    // The float setting decides when the caller does not.
    CTSSettings::m_bEnableFloat32PAKExport = 1;
    msg = Export(in, root / "setting");
    ASSERT_EQ(msg.uState, 7u) << msg.sText.c_str();
    EXPECT_EQ(ReadFile(root / "setting/TDATA"), ReadFile(root / "f32/TDATA"));

    // Back through the import: floats exact, 16 bits within half a step.
    CTSInterface::SMessage back;
    CTSInterface().ImportPAK((root / "f32/TDATA").c_str(), 1, 2, (root / "f.dat").c_str(), nullptr, &back);
    ASSERT_EQ(back.uState, 5u) << back.sText.c_str();
    std::vector<double> v = ReadValues(root / "f.dat");
    for (long i = 0; i < 2000; ++i)
        ASSERT_EQ(v[std::size_t(i)], double(float(value(0, i))));
    CTSInterface().ImportPAK((root / "i16/TDATA").c_str(), 1, 2, (root / "i.dat").c_str(), nullptr, &back);
    ASSERT_EQ(back.uState, 5u) << back.sText.c_str();
    v = ReadValues(root / "i.dat");
    for (long i = 0; i < 2000; ++i)
        ASSERT_NEAR(v[std::size_t(i)], value(0, i), factor / 2 + 1e-9);
}

TEST_F(PakExport, WiderIntegersAreShiftedTo16Bits)
{
    const fs::path in = root / "w.trx";
    const std::vector<SChannelDef> defs = {{"a", "voltage", "V", it__int32, 1e-6}, {"b", "voltage", "V", it__int24, 1e-3}};
    auto value = [](std::size_t c, long i) { return c == 0 ? double(i * 65536 * 3 - 100000000) : double(i * 256 - 30000); };
    MakeTrx(in, defs, 1000.0, 256, value);
    ASSERT_EQ(Export(in, root / "w").uState, 7u);
    Bytes f = ReadFile(root / "w/TDATA");
    CWriter r(f, false);
    EXPECT_EQ(r.Get<double>(8008 + 36848 + 40), 1e-6 * 65536);
    EXPECT_EQ(r.Get<double>(8008 + 36848 + 120 + 40), 1e-3 * 256);
    for (long i = 0; i < 256; ++i) {
        ASSERT_EQ(r.Get<std::int16_t>(8008 + 67568 + 2 * std::size_t(i)), std::int16_t(std::floor(value(0, i) / 65536)));
        ASSERT_EQ(r.Get<std::int16_t>(8008 + 67568 + 512 + 2 * std::size_t(i)), std::int16_t(std::floor(value(1, i) / 256)));
    }
}

TEST_F(PakExport, PulseSubChannelsBecomeSpeedChannels)
{
    const fs::path in = root / "pulse.trx";
    const double rate = 8192.0;
    // One pulse per revolution, 10 revolutions a second; the pulse factor 60
    // makes that 600 rpm.
    auto value = [&](std::size_t c, long i) {
        if (c == 0)
            return Ramp(0, i);
        const double pulses = 10.0 * double(i) / rate;
        return pulses - std::floor(pulses) < 0.5 ? 1.0 : 0.0;
    };
    CSubChannel sub(sc__pulse, 1, 1, "speed", "n", CQuantity("RPM"), CUnit("rpm", 1));
    sub.SetPulseFactor(60.0);
    MakeTrx(in, {{"mic"}, {"Pulses", "", "", it__pulse, 1.0, 0.0, 0.0f, "Pulse Channels"}}, rate, 8192, value, {sub});
    const CTSInterface::SMessage msg = Export(in, root / "p");
    ASSERT_EQ(msg.uState, 7u) << msg.sText.c_str();
    EXPECT_EQ(msg.sText, Text(2)) << msg.sText.c_str();
    Bytes f = ReadFile(root / "p/TDATA");
    CWriter r(f, false);
    EXPECT_EQ(r.Get<std::int16_t>(8008 + 28), 2);
    EXPECT_EQ(r.Get<std::int16_t>(8008 + 36848 + 120 + 4), 4);
    EXPECT_EQ(r.Get<std::int16_t>(8008 + 36848 + 120 + 32), 7);   // RPM
    EXPECT_EQ(r.Get<std::int32_t>(2072 + 4), 1);
    // Blocks: 256 samples, then one float of speed.
    ASSERT_EQ(f.size(), 8008u + 67568u + 32 * (256 * 2 + 4) + 32 * 2);
    for (long b = 4; b < 28; ++b)
        EXPECT_NEAR(r.Get<float>(8008 + 67568 + std::size_t(b) * 516 + 512), 600.0f, 6.0f) << b;
    const std::vector<std::string> kalib = Lines(root / "p/SETUP/Kalib");
    ASSERT_EQ(kalib.size(), 2u);
    EXPECT_EQ(kalib[1], "  2\tPERIOD\t7\t---\tlin\t\t\t---\t\t\t1\t0\t\n");
    EXPECT_EQ(Lines(root / "p/MPlist")[1], "speed\t\tLS\t\n");
    // The speed data set was the job's working file.
    for (const auto& e : fs::directory_iterator(root))
        EXPECT_EQ(e.path().string().find(".org"), std::string::npos) << e.path();

    // Imported again: the speed channel comes back as speed data merged into pulses.
    std::vector<std::string> produced;
    const CTSInterface::SMessage back = RunAsync(
        [&] { return CTSInterface().ImportPAK((root / "p/TDATA").c_str(), 1, 2, nullptr, nullptr, nullptr); }, &produced);
    ASSERT_EQ(back.uState, 5u) << back.sText.c_str();
    CDataset ds((root / "p/p.dat").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_EQ(ds.GetNbrOfChannels(), 2);
    EXPECT_EQ(ds.GetNbrOfSubChannels(), 1);
}

TEST_F(PakExport, TemplatesByteForByte)
{
    const auto& t = PakSetup::Templates();
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0].iResource, 149);
    EXPECT_STREQ(t[0].pszFile, "Fahrzeug");
    EXPECT_EQ(t[0].bytes.size(), 392u);
    EXPECT_EQ(t[0].bytes.substr(0, 35), "Sachbearbeiter\t\n\t\nProjektnr.\t\n\t\nVer");
    EXPECT_EQ(t[0].bytes.substr(t[0].bytes.size() - 21), "\nBesonderheiten\t\n\t\n\t\n");
    EXPECT_EQ(t[1].iResource, 135);
    EXPECT_STREQ(t[1].pszFile, "MessDef");
    EXPECT_EQ(t[1].bytes.size(), 1747u);
    EXPECT_EQ(t[1].bytes.substr(0, 38), "Versuchsname:\t\nImport\t\nUntertitel:\t\nDa");
    EXPECT_NE(t[1].bytes.find("Me\xDEtext:\t\nOFF\t\nMe\xDEzyklus:\t\nOFF\t\nMe\xDE-Setup:\t\nSetup\t\n"), std::string::npos);
    EXPECT_NE(t[1].bytes.find("Thruput-Zeit[s]:\t\n190\t\nMe\xDEpunkt\t\nArt\t\n\t\nLS\t\n"), std::string::npos);
    EXPECT_EQ(t[1].bytes.substr(t[1].bytes.size() - 12), "\t\nLS\t\n\t\nLS\t\n");
    EXPECT_EQ(t[2].bytes, std::string("\t\n\t\n\t\n\t\n\t\n\t\n\t\n\t\n\t\n\t\n\t\n\t\n"));
    EXPECT_EQ(t[3].bytes, "\t\n\t\n");
    EXPECT_STREQ(t[2].pszFile, "Messtext");
    EXPECT_STREQ(t[3].pszFile, "Messzyklus");
    // Only HP Roman-8 ß outside ASCII.
    for (const auto& x : t)
        for (unsigned char ch : x.bytes)
            ASSERT_TRUE(ch < 0x80 || ch == 0xDE) << x.pszFile;

    const fs::path in = root / "t.trx";
    MakeTrx(in, kThree, 1000.0, 10, Ramp);
    ASSERT_EQ(Export(in, root / "t").uState, 7u);
    for (const auto& x : t)
        EXPECT_EQ(ReadFile(root / "t" / x.pszFile), Bytes(x.bytes.begin(), x.bytes.end())) << x.pszFile;
}

TEST_F(PakExport, NumbersFitTenCharacters)
{
    EXPECT_EQ(PakSetup::FormatFitting(1000.0, 10), "1000");
    EXPECT_EQ(PakSetup::FormatFitting(1.0 / 3.0, 10), "0.33333333");
    EXPECT_EQ(PakSetup::FormatFitting(123456789012.0, 10), "1.2346e+11");
    EXPECT_EQ(PakSetup::FormatFitting(-1.0 / 3.0e-12, 10), "-3.333e+11");
    EXPECT_EQ(PakSetup::FormatFitting(1e300, 3), "");
}

TEST_F(PakExport, RefusalsAndFailuresLeaveNoTrace)
{
    const fs::path in = root / "run.trx";
    MakeTrx(in, kThree, 1000.0, 300, Ramp);
    const Bytes input = ReadFile(in);

    // An existing directory without permission to overwrite: nothing written.
    fs::create_directories(root / "have");
    WriteFile(root / "have/mine.txt", std::string("user's"));
    CTSInterface::SMessage msg = Export(in, root / "have");
    EXPECT_EQ(msg.uState, 8u);
    EXPECT_EQ(msg.sText, Text(8));
    EXPECT_EQ(Listing(root / "have"), std::vector<std::string>{"mine.txt"});

    // A write that fails: everything the job made goes, the user's file stays.
    {
        FileSystem::CScopedFileFault full(ENOSPC, FileSystem::EOp::Write, "TDATA");
        const int yes = 1;
        msg = Export(in, root / "have", &yes);
        EXPECT_EQ(msg.uState, 8u);
        EXPECT_EQ(msg.sText, CString::Formatted(Text(11).c_str(), (root / "have/TDATA").c_str()));
        EXPECT_EQ(Listing(root / "have"), std::vector<std::string>{"mine.txt"});
        msg = Export(in, root / "new");
        EXPECT_EQ(msg.uState, 8u);
        EXPECT_FALSE(fs::exists(root / "new"));
    }
    {
        FileSystem::CScopedFileFault full(ENOSPC, FileSystem::EOp::Write, "Kalib");
        msg = Export(in, root / "new");
        EXPECT_EQ(msg.uState, 8u);
        EXPECT_EQ(msg.sText, CString::Formatted(Text(11).c_str(), (root / "new/SETUP/Kalib").c_str()));
        EXPECT_FALSE(fs::exists(root / "new"));
    }
    {
        FileSystem::CScopedFileFault denied(EACCES, FileSystem::EOp::MakeDirectory, "new");
        msg = Export(in, root / "new");
        EXPECT_EQ(msg.uState, 8u);
        EXPECT_EQ(msg.sText, CString::Formatted(Text(100).c_str(), (root / "new").c_str()));
        EXPECT_FALSE(fs::exists(root / "new"));
    }

    // Inputs that cannot be exported.
    msg = Export(root / "missing.trx", root / "new");
    EXPECT_EQ(msg.uState, 8u);
    EXPECT_EQ(msg.sText.Left(Text(15).GetLength()), Text(15));
    EXPECT_FALSE(fs::exists(root / "new"));
    MakeTrx(root / "spectrum.trx", kThree, 1000.0, 10, Ramp, {}, dk__spectrum);
    msg = Export(root / "spectrum.trx", root / "new");
    EXPECT_EQ(msg.sText, Text(21));
    EXPECT_FALSE(fs::exists(root / "new"));
    {
        // Two rates: channel 0 twice per scan of the pattern.
        CAbscissaList a;
        a.Add(CAbscissa("Time", "t", CQuantity("time"), CUnit("s", 1), 0.0, 0.001, 0, df__linear));
        CChannelList c;
        c.Add(CChannel("a", "a", CQuantity("voltage"), CUnit("V", 1), it__int16, 0));
        c.Add(CChannel("b", "b", CQuantity("voltage"), CUnit("V", 1), it__int16, 1));
        CDataset ds((root / "rates.trx").c_str(), a, c, dk__time, ds__dorg_interleaved, 0, 65536, sh__deny_write);
        ds.SpecifySamplingParameter(sm__pattern, CChNbrList{0, 0, 1});
        const std::int16_t v[6] = {1, 2, 3, 4, 5, 6};
        ds.SetData(2, v, ds__dorg_interleaved, it__int16);
        ds.Close();
    }
    msg = Export(root / "rates.trx", root / "new");
    EXPECT_EQ(msg.sText, Text(22));
    EXPECT_FALSE(fs::exists(root / "new"));
    MakeTrx(root / "pulses.trx", {{"Pulses", "", "", it__pulse, 1.0, 0.0, 0.0f, "Pulse Channels"}}, 1000.0, 10, Ramp);
    msg = Export(root / "pulses.trx", root / "new");
    EXPECT_EQ(msg.sText, Text(17));
    EXPECT_FALSE(fs::exists(root / "new"));
    EXPECT_EQ(ReadFile(in), input);
}

TEST_F(PakExport, OutputDirectoryNames)
{
    EXPECT_EQ(CThreadPAKExport::DeriveOutput("/m/run.1/meas.trx"), "/m/run.1/meas");
    EXPECT_EQ(CThreadPAKExport::DeriveOutput("/m/meas"), "/m/meas");
    CTSSettings::m_sPathPAK = (root / "pak/").c_str();
    CTSSettings::m_lStandardPathFlags = CTSSettings::bitPAKExport;
    EXPECT_EQ(CThreadPAKExport::DeriveOutput("/m/meas.trx"), (root / "pak/meas").string());
}

TEST_F(PakExport, NumPyReadsTheDirectoryAsTheTrxReaderReadsTheInput)
{
    if (std::system("/usr/bin/python3 -c 'import numpy' >/dev/null 2>&1") != 0)
        TESSEL_SKIP_OR_FAIL("python3 with numpy is not installed");
    // A 16-bit channel with a mapping offset (exact), a 32-bit one shifted by
    // 16 bits (within one step), a float one scaled by its calibration (within
    // half a step); 3000 scans at 51200 Hz (blocks of 512).
    const fs::path in = root / "mixed.trx";
    const std::vector<SChannelDef> defs = {{"p", "pressure", "Pa", it__int16, 0.002, -0.5},
                                           {"u", "voltage", "V", it__int32, 1e-7, 2.0},
                                           {"a", "acceleration", "m/(s^2)", it__float, 1.0, 0.0, 140.0f}};
    auto value = [](std::size_t c, long i) {
        return c == 0 ? Ramp(0, i) : c == 1 ? double(i) * 70001.0 - 1.0e8 : 3.0 * std::sin(double(i) * 0.003);
    };
    MakeTrx(in, defs, 51200.0, 3000, value);
    ASSERT_EQ(Export(in, root / "np").uState, 7u);
    const std::string cmd = "/usr/bin/python3 '" + std::string(TESSEL_SOURCE_DIR) + "/tests/formats/pak/pak_check.py' '" +
                            in.string() + "' '" + (root / "np").string() + "' 1.0 >'" +
                            (root / "check.txt").string() + "' 2>&1";
    const int rc = std::system(cmd.c_str());
    const Bytes report = ReadFile(root / "check.txt");
    EXPECT_EQ(rc, 0) << std::string(report.begin(), report.end());
}

TEST_F(PakExport, SixteenBitChannelCountsComeBackExactly)
{
    for (int n : {1, 2, 4, 5, 8}) {
        const fs::path in = root / ("n" + std::to_string(n) + ".trx"), out = root / ("n" + std::to_string(n));
        std::vector<SChannelDef> defs;
        for (int c = 0; c < n; ++c)
            defs.push_back({"ch" + std::to_string(c), "voltage", "V", it__int16, 0.001});
        MakeTrx(in, defs, 48000.0, 700, Ramp);
        ASSERT_EQ(Export(in, out).uState, 7u) << n;
        CTSInterface::SMessage back;
        CTSInterface().ImportPAK((out / "TDATA").c_str(), 1, 2, (root / "back.dat").c_str(), nullptr, &back);
        ASSERT_EQ(back.uState, 5u) << back.sText.c_str();
        const std::vector<double> v = ReadValues(root / "back.dat", true);
        ASSERT_EQ(v.size(), std::size_t(768 * n));
        for (long i = 0; i < 768; ++i)
            for (int c = 0; c < n; ++c)
                ASSERT_EQ(v[std::size_t(i * n + c)], i < 700 ? Ramp(std::size_t(c), i) : 0.0) << n << " " << c << " " << i;
        fs::remove(root / "back.dat");
    }
}
