// The PAK export through CTSInterface (always asynchronous): the throughput
// file read back by the layout tables, the side files line by line against
// the values the format lists, the templates byte for byte, the way back
// through the import, and what a failure leaves.

#include "formats/pak/PakSetup.h"
#include "formats/pak/ThreadPAKExport.h"
#include "platform/FileSystem.h"

#include "PakTestUtil.h"
#include "tests/common/PeerTools.h"
#include "tests/common/Python.h"

#include <atomic>
#include <cerrno>
#include <cmath>
#include <sstream>

using namespace paktest;

namespace {

// A time data set at `rate` whose stored value of channel c at scan i is
// value(c, i), recorded at 1e9 s, with the given calibration levels.
template <class F>
void MakeTrx(const fs::path& path, const std::vector<SChannelSpec>& specs, double rate, long scans, F value,
             const std::vector<CSubChannel>& subs = {}, int kind = dk__time, const std::vector<float>& levels = {})
{
    std::vector<double> v;
    for (long i = 0; i < scans; ++i)
        for (std::size_t c = 0; c < specs.size(); ++c)
            v.push_back(value(c, i));
    tessel::test::MakeTrx(path, specs, rate, v, subs, kind);
    CDataset ds(path.c_str(), om__readwrite, 32768, sh__deny_write);
    ds.SetDateOfRecording(CDateTimeEx(1.0e9));
    for (std::size_t i = 0; i < levels.size(); ++i) {
        CChannel c = ds.GetChannel(int(i));
        c.SetCalibration(levels[i]);
        ASSERT_TRUE(ds.SetChannel(int(i), c));
    }
    ds.Close();
}

double Ramp(std::size_t c, long i) { return double((long(c) * 5003 + i * 37) % 60001 - 30000); }

// The lines of a file, each with its line feed; or the given values, each
// followed by a tab and a line feed.
std::vector<std::string> Lines(const fs::path& p)
{
    std::vector<std::string> v;
    std::istringstream in(ReadFile(p));
    for (std::string line; std::getline(in, line);)
        v.push_back(line + "\n");
    return v;
}
std::vector<std::string> WithTabs(std::vector<std::string> values)
{
    for (std::string& s : values)
        s += "\t\n";
    return values;
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

const std::vector<SChannelSpec> kThree = {{"Mic driver", it__int16, 0.001, "", 0.5},
                                          {"Level", it__int16, 0.01, "", 0.0, "level", "dB"},
                                          {"Seat", it__int16, 1.0 / 3.0, "", 0.0, "acceleration", "m/(s^2)"}};

}  // namespace

TEST_F(PakExport, SixteenBitDataAt44100HzInBlocksOf256)
{
    const fs::path in = root / "run.trx", out = root / "Run4";
    MakeTrx(in, kThree, 44100.0, 1000, Ramp);
    std::vector<std::string> produced;
    const CTSInterface::SMessage msg = Export(in, out, nullptr, nullptr, &produced);
    ASSERT_EQ(msg.uState, 7u) << msg.sText.c_str();
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
    // Setup fields and channel records also show in the side files below.
    EXPECT_EQ(f.substr(0, 4), std::string("LSB", 4));
    const std::pair<std::size_t, std::int32_t> i32[] = {{8, 1}, {2064, 256}};
    for (const auto& [at, v] : i32)
        EXPECT_EQ(r.Get<std::int32_t>(at), v) << at;
    const std::pair<std::size_t, std::int16_t> i16[] = {{2068, 16}, {8008 + 36848 + 360 + 4, 0}, {8008 + 36848 + 360 + 32, -1}};
    for (const auto& [at, v] : i16)
        EXPECT_EQ(r.Get<std::int16_t>(at), v) << at;
    EXPECT_EQ(r.Get<double>(3096), 1.0e9);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(r.Get<double>(16 + 8 * i), i < 3 ? 1.0 : 0.0) << i;
    std::size_t at = 8008 + 67568;
    for (long b = 0; b < 4; ++b)
        for (std::size_t c = 0; c < 3; ++c)
            for (long i = 0; i < 256; ++i, at += 2)
                ASSERT_EQ(r.Get<std::int16_t>(at), b * 256 + i < 1000 ? Ramp(c, b * 256 + i) : 0.0) << b << " " << c;
    EXPECT_EQ(f.substr(at), std::string(24, '\0'));

    // Side files: the values the format lists for these settings.
    EXPECT_EQ(Lines(out / "SETUP/Setup"),
              WithTabs({"2", "111", "0", "1", "0", "4", "3", "44100.000000", "0", "-99", "0.000000", "10.000000",
                        "1.000000", "0.100000", "0", "", "100.000000", "5.000000", "0", "0.100000", "0", "0",
                        "0.000000", "0.000000", "0", "0.000000", "-1", "0", "reserved", "reserved"}));
    std::vector<std::string> hw = WithTabs({"2", "0", "0", "0", "0.000000"});
    hw.resize(20, "reserved\t\n");
    EXPECT_EQ(Lines(out / "SETUP/HW_111"), hw);
    // 44100 × 0.390625 and × 0.1953125.
    std::vector<std::string> fft = WithTabs({"256", "17226.562500", "8613.281250", "0", "1.000000", "1", "0", "1", "0.000000"});
    fft.resize(15, "reserved\t\n");
    EXPECT_EQ(Lines(out / "SETUP/FFT"), fft);
    EXPECT_EQ(Lines(out / "SETUP/Kalib"),
              (std::vector<std::string>{"  1\tNORMAL\t1\t---\tlin\t\t---\t\t\t---\t1000\t---\t\n",
                                        "  2\tNORMAL\t11\t---\tlin\t\t---\t\t\t---\t100\t---\t\n",
                                        "  3\tNORMAL\t2\t---\tlin\t\t---\t\t\t---\t3\t---\t\n"}));
    const std::vector<std::string> k = Lines(out / "SETUP/Kanalkonfig");
    ASSERT_EQ(k.size(), 3u * 35);
    // Channel 1: its 8-byte block, then the record with the kind's high bit set.
    EXPECT_EQ(std::vector<std::string>(k.begin(), k.begin() + 35),
              WithTabs({"0", "1", "-1", "1", "0", "-32767", "0", "0", "1", "0", "0", "1.000000", "1.000000",
                        "0.100000", "1", "0", "0.001000", "0.500000", "0.000000", "0", "-1", "-1", "0", "MAXFLOAT",
                        "MAXFLOAT", "0.000000", "0.000000", "0.000000", "-1", "0", "0", "reserved", "reserved",
                        "reserved", "reserved"}));
    std::vector<std::string> mp = WithTabs({"Mic driver\t\tLS", "Level\t\tLS", "Seat\t\tKS"});
    mp.resize(256, "\t\tLS\t\n");
    EXPECT_EQ(Lines(out / "MPlist"), mp);

    // And back: the same 16-bit samples, names, scales and offsets.
    CTSInterface::SMessage back;
    ASSERT_EQ(CTSInterface().ImportPAK((out / "TDATA").c_str(), 1, 2, (root / "back.dat").c_str(), nullptr, &back), 0u);
    ASSERT_EQ(back.uState, 5u) << back.sText.c_str();
    CDataset ds((root / "back.dat").c_str(), om__read, 32768, sh__deny_write);
    ASSERT_EQ(ds.GetNbrOfChannels(), 3);
    EXPECT_EQ(ds.GetNbrOfScans(), 1024);
    EXPECT_EQ(ds.GetDateOfRecording().GetUnixTime(), 1.0e9);
    for (std::size_t c = 0; c < 3; ++c) {
        const CChannel ch = ds.GetChannel(int(c));
        EXPECT_EQ(ch.GetName(), kThree[c].name);
        EXPECT_EQ(ch.GetQuantity().GetName(), kThree[c].quantity);
        EXPECT_EQ(ch.GetMapping().GetFactor(), kThree[c].factor);
        EXPECT_EQ(ch.GetMapping().GetOffset(), kThree[c].offset);
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
    auto value = [](std::size_t, long i) { return 2.0 * std::sin(double(i) * 0.01); };
    MakeTrx(in, {{"p", it__float}}, 51200.0, 2000, value, {}, dk__time, {94.0f});
    const double factor = 8.652170203233439e-05;

    const int no = 0, yes = 1;
    ASSERT_EQ(Export(in, root / "i16", nullptr, &no).uState, 7u);
    Bytes f = ReadFile(root / "i16/TDATA");
    CWriter r(f, false);
    EXPECT_EQ(r.Get<std::int32_t>(2064), 512);
    EXPECT_EQ(r.Get<std::int16_t>(2068), 16);
    EXPECT_EQ(r.Get<std::int32_t>(8008 + 24), 4);   // 2000 / 512 rounded up
    EXPECT_NEAR(r.Get<double>(8008 + 36848 + 40), factor, 1e-15);
    EXPECT_EQ(f.size(), 8008u + 67568u + 4 * 512 * 2 + 4 * 2);
    for (long i = 0; i < 2000; ++i)
        ASSERT_NEAR(r.Get<std::int16_t>(8008 + 67568 + 2 * std::size_t(i)) * factor, value(0, i), factor / 2 + 1e-9);

    ASSERT_EQ(Export(in, root / "f32", nullptr, &yes).uState, 7u);
    f = ReadFile(root / "f32/TDATA");
    CWriter r32(f, false);
    EXPECT_EQ(r32.Get<std::int16_t>(2068), 32);
    EXPECT_EQ(r32.Get<double>(8008 + 36848 + 40), 1.0);
    for (long i = 0; i < 2000; ++i)
        ASSERT_EQ(r32.Get<float>(8008 + 67568 + 4 * std::size_t(i)), float(value(0, i)));

    // The float setting decides when the caller does not.
    CTSSettings::m_bEnableFloat32PAKExport = 1;
    ASSERT_EQ(Export(in, root / "setting").uState, 7u);
    EXPECT_EQ(ReadFile(root / "setting/TDATA"), ReadFile(root / "f32/TDATA"));

    // Back through the import: floats exact, 16 bits within half a step.
    for (const char* d : {"f32", "i16"}) {
        CTSInterface::SMessage back;
        CTSInterface().ImportPAK((root / d / "TDATA").c_str(), 1, 2, (root / "b.dat").c_str(), nullptr, &back);
        ASSERT_EQ(back.uState, 5u) << back.sText.c_str();
        const std::vector<double> v = ReadValues(root / "b.dat");
        for (long i = 0; i < 2000; ++i)
            ASSERT_NEAR(v[std::size_t(i)], value(0, i), *d == 'f' ? 1e-7 : factor / 2 + 1e-9) << d;
        fs::remove(root / "b.dat");
    }
}

TEST_F(PakExport, PulseSubChannelsBecomeSpeedChannels)
{
    const fs::path in = root / "pulse.trx";
    const double rate = 8192.0;
    // One pulse per revolution, 10 revolutions a second; the pulse factor 60
    // makes that 600 rpm.
    auto value = [&](std::size_t c, long i) {
        const double pulses = 10.0 * double(i) / rate;
        return c == 0 ? Ramp(0, i) : pulses - std::floor(pulses) < 0.5 ? 1.0 : 0.0;
    };
    MakeTrx(in, {{"mic", it__int16}, {"Pulses", it__pulse, 1.0, "Pulse Channels"}}, rate, 8192, value,
            {tessel::test::PulseSub(1, 1)});
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
    EXPECT_EQ(Lines(root / "p/SETUP/Kalib").at(1), "  2\tPERIOD\t7\t---\tlin\t\t\t---\t\t\t1\t0\t\n");
    EXPECT_EQ(Lines(root / "p/MPlist")[1], "speed\t\tLS\t\n");
    // The speed data set was the job's working file.
    for (const auto& e : fs::directory_iterator(root))
        EXPECT_EQ(e.path().string().find(".org"), std::string::npos) << e.path();
}

TEST_F(PakExport, TemplatesByteForByte)
{
    // Length, first and last bytes, and a piece from the middle of each.
    const struct {
        const char* file;
        std::size_t size;
        std::string head, tail;
        std::vector<std::string> middle;
    } expected[] = {
        {"Fahrzeug", 392, "Sachbearbeiter\t\n\t\nProjektnr.\t\n\t\nVer", "\nBesonderheiten\t\n\t\n\t\n", {}},
        {"MessDef", 1747, "Versuchsname:\t\nImport\t\nUntertitel:\t\nDa", "\t\nLS\t\n\t\nLS\t\n",
         {"Me\xDEtext:\t\nOFF\t\nMe\xDEzyklus:\t\nOFF\t\nMe\xDE-Setup:\t\nSetup\t\n",
          "Thruput-Zeit[s]:\t\n190\t\nMe\xDEpunkt\t\nArt\t\n\t\nLS\t\n"}},
        {"Messtext", 24, "\t\n\t\n\t\n\t\n\t\n\t\n", "\t\n\t\n\t\n\t\n\t\n\t\n", {}},
        {"Messzyklus", 4, "\t\n\t\n", "\t\n\t\n", {}}};
    const fs::path in = root / "t.trx";
    MakeTrx(in, kThree, 1000.0, 10, Ramp);
    ASSERT_EQ(Export(in, root / "t").uState, 7u);
    for (const auto& e : expected) {
        const Bytes b = ReadFile(root / "t" / e.file);
        ASSERT_EQ(b.size(), e.size) << e.file;
        EXPECT_EQ(b.substr(0, e.head.size()), e.head) << e.file;
        EXPECT_EQ(b.substr(b.size() - e.tail.size()), e.tail) << e.file;
        for (const std::string& m : e.middle)
            EXPECT_NE(b.find(m), std::string::npos) << e.file << ": " << m;
        // Only HP Roman-8 ß outside ASCII.
        for (unsigned char ch : b)
            ASSERT_TRUE(ch < 0x80 || ch == 0xDE) << e.file;
    }
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
    WriteFile(root / "have/mine.txt", "user's");
    CTSInterface::SMessage msg = Export(in, root / "have");
    EXPECT_EQ(msg.uState, 8u);
    EXPECT_EQ(msg.sText, Text(8));
    EXPECT_EQ(Listing(root / "have"), std::vector<std::string>{"mine.txt"});

    // A write that fails: everything the job made goes, the user's file stays.
    const int yes = 1;
    const struct {
        int error;
        FileSystem::EOp op;
        const char* name;
        fs::path out;
        unsigned id;
        fs::path named;
    } faults[] = {{ENOSPC, FileSystem::EOp::Write, "TDATA", root / "have", 11, root / "have/TDATA"},
                  {ENOSPC, FileSystem::EOp::Write, "TDATA", root / "new", 11, root / "new/TDATA"},
                  {ENOSPC, FileSystem::EOp::Write, "Kalib", root / "new", 11, root / "new/SETUP/Kalib"},
                  {EACCES, FileSystem::EOp::MakeDirectory, "new", root / "new", 100, root / "new"}};
    for (const auto& k : faults) {
        FileSystem::CScopedFileFault fault(k.error, k.op, k.name);
        msg = Export(in, k.out, &yes);
        EXPECT_EQ(msg.uState, 8u) << k.named;
        EXPECT_EQ(msg.sText, CString::Formatted(Text(k.id).c_str(), k.named.c_str()));
    }
    EXPECT_EQ(Listing(root / "have"), std::vector<std::string>{"mine.txt"});
    // One that fails on the writing thread, with more blocks queued behind it.
    CThreadPAKExport::SetBufferLimitForTests(4096);
    MakeTrx(root / "long.trx", kThree, 1000.0, 20000, Ramp);
    {
        std::atomic<int> writes{0};
        FileSystem::CScopedFileFault fault([&](FileSystem::EOp op, const std::string& path) {
            return op == FileSystem::EOp::Write && path.ends_with("/TDATA") && ++writes > 12 ? ENOSPC : 0;
        });
        msg = Export(root / "long.trx", root / "new");
        EXPECT_GT(writes.load(), 12);
    }
    EXPECT_EQ(msg.uState, 8u);
    EXPECT_EQ(msg.sText, CString::Formatted(Text(11).c_str(), (root / "new/TDATA").c_str()));
    EXPECT_FALSE(fs::exists(root / "new"));

    // Inputs that cannot be exported.
    MakeTrx(root / "spectrum.trx", kThree, 1000.0, 10, Ramp, {}, dk__spectrum);
    const CChNbrList pattern{0, 0, 1};   // channel 0 twice per scan of the pattern
    MakeDataset((root / "rates.trx").string(), {{"a", it__int16}, {"b", it__int16}}, 0.001, {1, 2, 3, 4, 5, 6}, dk__time,
                &pattern);
    MakeTrx(root / "pulses.trx", {{"Pulses", it__pulse, 1.0, "Pulse Channels"}}, 1000.0, 10, Ramp);
    const std::pair<const char*, unsigned> inputs[] = {
        {"missing.trx", 15}, {"spectrum.trx", 21}, {"rates.trx", 22}, {"pulses.trx", 17}};
    for (const auto& [name, id] : inputs) {
        msg = Export(root / name, root / "new");
        EXPECT_EQ(msg.uState, 8u) << name;
        EXPECT_EQ(msg.sText.Left(Text(id).GetLength()), Text(id)) << name;
    }
    EXPECT_FALSE(fs::exists(root / "new"));
    EXPECT_EQ(ReadFile(in), input);
}

TEST_F(PakExport, NumPyReadsTheDirectoryAsTheTrxReaderReadsTheInput)
{
    if (!tessel::test::HavePython("numpy"))
        TESSEL_SKIP_OR_FAIL("python3 with numpy is not installed");
    // A 16-bit channel with a mapping offset (exact), a 32-bit and a 24-bit
    // one over their whole range shifted by 16 and 8 bits (within one step),
    // a float one scaled by its calibration (within half a step); 3000 scans
    // at 51200 Hz (blocks of 512).
    const fs::path in = root / "mixed.trx";
    auto value = [](std::size_t c, long i) {
        const double wide[] = {Ramp(0, i), double(i) * 1.4e6 - 2.1e9, double(i) * 5590.0 - 8.38e6};
        return c < 3 ? wide[c] : 3.0 * std::sin(double(i) * 0.003);
    };
    MakeTrx(in,
            {{"p", it__int16, 0.002, "", -0.5}, {"u", it__int32, 1e-7, "", 2.0, "voltage", "V"},
             {"w", it__int24, 1e-3, "", 0.0, "voltage", "V"}, {"a", it__float, 1.0, "", 0.0, "acceleration", "m/(s^2)"}},
            51200.0, 3000, value, {}, dk__time, {0.0f, 0.0f, 0.0f, 140.0f});
    ASSERT_EQ(Export(in, root / "np").uState, 7u);
    const std::string cmd = "/usr/bin/python3 '" + std::string(TESSEL_SOURCE_DIR) + "/tests/formats/pak/pak_check.py' '" +
                            in.string() + "' '" + (root / "np").string() + "' 1.0 >'" +
                            (root / "check.txt").string() + "' 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << ReadFile(root / "check.txt");
}
