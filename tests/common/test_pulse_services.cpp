// Pulse files, speed data merged as pulse patterns, and float calibration.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/time.h>

#include "common/PulseServices.h"
#include "hostlibs/blocks/Pulse.h"
#include "platform/FileSystem.h"
#include "platform/MessageLoop.h"
#include "tests/common/DatasetMaker.h"
#include "tests/common/TempDir.h"

namespace {

using tessel::test::ReadFile;
using tessel::test::WriteFile;

using namespace PulseServices;

// A time-data output of an import: one signal channel and a pulse channel
// of zeros, fs samples per second for `seconds`.
void MakeTimeData(const std::string& path, double fs, double seconds) {
    std::vector<SChannelSpec> specs(2);
    specs[0].name = "signal";
    specs[1].name = "pulses";
    specs[1].implType = it__pulse;
    specs[1].title = "Pulse Channels";
    specs[1].quantity = "";
    specs[1].unit = "";
    const long scans = long(std::lround(fs * seconds));
    std::vector<double> v(std::size_t(scans) * 2, 0.0);
    for (long i = 0; i < scans; ++i)
        v[std::size_t(2 * i)] = std::sin(0.01 * double(i));
    ASSERT_EQ(MakeDataset(path, specs, 1.0 / fs, v), scans);
}

// Speed data: one channel of speed values every `delta` seconds.
void MakeSpeedData(const std::string& path, const std::vector<double>& speeds, double delta, int kind,
                   const char* name = "Speed") {
    std::vector<SChannelSpec> specs(1);
    specs[0].name = name;
    specs[0].quantity = "RPM";
    specs[0].unit = "rpm";
    ASSERT_EQ(MakeDataset(path, specs, delta, speeds, kind), long(speeds.size()));
}

// Merges the speed data files into the outputs; the outputs afterwards,
// with the numbered files of the sets that were not merged.
CStringArray Merge(std::initializer_list<std::string> speedFiles, std::initializer_list<std::string> outputFiles) {
    CStringArray speeds, outputs;
    for (const std::string& s : speedFiles)
        speeds.Add(s.c_str());
    for (const std::string& o : outputFiles)
        outputs.Add(o.c_str());
    MergeSpeedData(speeds, outputs);
    return outputs;
}

std::vector<std::uint8_t> ReadPulseBytes(const std::string& path, int channel) {
    CDataset ds(path.c_str(), om__read, 32768, sh__deny_write);
    CAccess* a = ds.CreateAccess(am__read, channel, 0, 0, -1);
    std::vector<std::uint8_t> bytes(std::size_t(a ? a->GetNbrOfScans() : 0));
    if (a && !bytes.empty())
        bytes.resize(std::size_t(a->GetData(long(bytes.size()), bytes.data(), ds__dorg_interleaved, it__pulse)));
    return bytes;
}

TEST(PulseFactor, WholePulsesPerRevolutionForRpm) {
    // Limit fs / 10 = 4800 pulses per second at 48 kHz.
    const struct {
        int kind;
        double top, perUnit, limitAfter;
    } cases[] = {
        {dk__rpm, 3000.0, 96.0 / 60.0, 4800.0},              // 96 pulses per revolution
        {dk__rpm, 7000.0, 41.0 / 60.0, 4800.0},              // 41.1 per revolution become 41
        {dk__speed, 7000.0, 4800.0 / 7000.0, 4800.0},        // other kinds take the ratio as it is
        {dk__rpm, 0.0, 1.0 / 60.0, 4800.0},                  // standing still: one per minute and unit
        {dk__rpm, 400000.0, 9600.0 / 400000.0, 9600.0},      // too fast: the limit rises to fs / 5
    };
    for (const auto& c : cases) {
        double limit = 4800.0;
        EXPECT_DOUBLE_EQ(PulsesPerSpeedUnit(c.kind, c.top, 48000.0, limit), c.perUnit) << c.top;
        EXPECT_DOUBLE_EQ(limit, c.limitAfter) << c.top;
    }
}

class PulseServicesTest : public ::testing::Test {
protected:
    CTempDir m_dir;
};

TEST_F(PulseServicesTest, TwoSpeedSetsShareThePulseBytes) {
    const double fs = 4800.0;  // limit fs / 10 = 480 pulses per second
    const std::string out = m_dir / "run.trx";
    MakeTimeData(out, fs, 3.0);
    // Set 0: a ramp from 600 to 1200 rpm; set 1: 900 rpm; both every 0.01 s.
    std::vector<double> ramp, flat;
    for (int i = 0; i < 300; ++i) {
        ramp.push_back(600.0 + 2.0 * i);
        flat.push_back(900.0);
    }
    ramp.back() = 1200.0;
    const std::string s0 = m_dir / "front.spd", s1 = m_dir / "rear.spd";
    MakeSpeedData(s0, ramp, 0.01, dk__rpm, "Front");
    MakeSpeedData(s1, flat, 0.01, dk__rpm, "Rear");

    EXPECT_EQ(Merge({s0, s1}, {out}).GetSize(), 1) << "both sets merged";

    CDataset ds(out.c_str(), om__read, 32768, sh__deny_write);
    ASSERT_EQ(ds.GetNbrOfSubChannels(), 2);
    const CSubChannel a = ds.GetSubChannel(0), b = ds.GetSubChannel(1);
    EXPECT_EQ(a.GetBitmask(), 1u);
    EXPECT_EQ(b.GetBitmask(), 2u);
    EXPECT_NE(a.GetID(), b.GetID());
    EXPECT_EQ(a.GetType(), sc__pulse);
    EXPECT_EQ(a.GetParentChannelID(), 1);
    EXPECT_EQ(a.GetName(), "Front");
    EXPECT_EQ(b.GetName(), "Rear");
    EXPECT_EQ(a.GetUnit().GetText(), "rpm");
    // 480 / 1200 × 60 = 24 pulses per revolution; 480 / 900 × 60 = 32.
    EXPECT_DOUBLE_EQ(a.GetPulseFactor(), 60.0 / 24.0);
    EXPECT_DOUBLE_EQ(b.GetPulseFactor(), 60.0 / 32.0);
    EXPECT_DOUBLE_EQ(a.GetDeltaTime(), 0.01);
    ds.Close();

    const std::vector<std::uint8_t> bytes = ReadPulseBytes(out, 1);
    ASSERT_EQ(bytes.size(), 14400u);
    int both = 0, other = 0;
    for (std::uint8_t x : bytes) {
        both += (x & 3) == 3;
        other += (x & ~3) != 0;
    }
    EXPECT_GT(both, 0) << "bits 0 and 1 live in the same bytes";
    EXPECT_EQ(other, 0);

    // Speed value i is reached at the end of its stretch (i + 1) × d: the
    // pulse rate ramps to it from the value before.
    auto expected = [&](const std::vector<double>& sp, double t) {
        const double x = t / 0.01 - 1.0;
        if (x <= 0.0)
            return sp[0];
        const std::size_t i = std::size_t(x);
        if (i + 1 >= sp.size())
            return sp.back();
        return sp[i] + (sp[i + 1] - sp[i]) * (x - double(i));
    };
    // The pulse count follows the integral of the speed: never more than one
    // pulse ahead or behind.
    for (int bit = 0; bit < 2; ++bit) {
        const std::vector<double>& sp = bit == 0 ? ramp : flat;
        const double p = 1.0 / (bit == 0 ? a : b).GetPulseFactor();
        std::vector<std::uint64_t> edges;
        CPulseEdgeDetector(std::uint8_t(1u << bit), true).Process(bytes.data(), bytes.size(), edges);
        double phase = 0.0;
        std::size_t e = 0;
        for (std::size_t m = 0; m < bytes.size(); ++m) {
            phase += p * expected(sp, (double(m) + 0.5) / fs) / fs;
            while (e < edges.size() && edges[e] <= m)
                ++e;
            if (m % 480 == 479) {
                EXPECT_NEAR(double(e), phase, 1.5) << "bit " << bit << " at sample " << m;
            }
        }
    }
}

TEST_F(PulseServicesTest, SetsThatCannotBePulsesBecomeNumberedOutputsInTheOrderTheyWereRefused) {
    // fs / 10 and fs / 3: 4800 and 16000 pulses per second at 48 kHz, 480
    // and 1600 at 4.8 kHz.
    const std::string out48 = m_dir / "fast.trx", out4k8 = m_dir / "slow.trx";
    MakeTimeData(out48, 48000.0, 0.5);
    MakeTimeData(out4k8, 4800.0, 0.5);
    const std::string fast = m_dir / "fast.spd", medium = m_dir / "medium.spd";
    const std::string negative = m_dir / "negative", faster = m_dir / "faster.spd";
    MakeSpeedData(fast, std::vector<double>(1000, 100.0), 1.0 / 2000.0, dk__rpm);
    // Between fs / 10 and fs / 3 at 4.8 kHz: merged under the raised limit.
    MakeSpeedData(medium, std::vector<double>(500, 100.0), 1.0 / 1000.0, dk__rpm);
    MakeSpeedData(negative, {10.0, -1.0, 5.0}, 0.01, dk__rpm);  // no pulses for negative speeds
    MakeSpeedData(faster, std::vector<double>(10000, 100.0), 1.0 / 20000.0, dk__rpm);
    // An old file in the way of the new name is replaced.
    WriteFile(m_dir / "fast8.DAT", "stale");
    // Outputs without pulse channel, of another kind, or missing neither take
    // nor refuse a set.
    const std::string plain = m_dir / "plain.trx", spectrum = m_dir / "spectrum.trx";
    MakeDataset(plain, std::vector<SChannelSpec>(1), 1.0 / 4800, std::vector<double>(4800, 0.5));
    std::vector<SChannelSpec> two(2);
    two[1].implType = it__pulse;
    MakeDataset(spectrum, two, 1.0, std::vector<double>(20, 0.0), dk__spectrum);

    // The first output refuses the negative and the fastest set, the second
    // the fast one: the extra outputs follow that order, not the index order.
    CStringArray outputs =
        Merge({fast, medium, negative, faster}, {out48, out4k8, plain, spectrum, m_dir / "missing.trx"});
    ASSERT_EQ(outputs.GetSize(), 8);
    EXPECT_EQ(outputs[5], (m_dir / "negative6.DAT").c_str());
    EXPECT_EQ(outputs[6], (m_dir / "faster7.DAT").c_str());
    EXPECT_EQ(outputs[7], (m_dir / "fast8.DAT").c_str());
    EXPECT_FALSE(FileSystem::FileExists(fast.c_str()));
    EXPECT_FALSE(FileSystem::FileExists(negative.c_str()));
    EXPECT_TRUE(FileSystem::FileExists(medium.c_str())) << "taken everywhere, refused nowhere";
    {
        CDataset renamed(outputs[7], om__read, 32768, sh__deny_write);
        EXPECT_EQ(renamed.GetKind(), dk__time);
        EXPECT_EQ(renamed.GetNbrOfScans(), 1000);
    }
    for (const std::string& none : {plain, spectrum})
        EXPECT_EQ(CDataset(none.c_str(), om__read, 32768, sh__deny_write).GetNbrOfSubChannels(), 0) << none;
    CDataset ds(out4k8.c_str(), om__read, 32768, sh__deny_write);
    ASSERT_EQ(ds.GetNbrOfSubChannels(), 1);
    EXPECT_EQ(ds.GetSubChannel(0).GetBitmask(), 2u) << "the medium set keeps its index's bit";
}

TEST_F(PulseServicesTest, PulseFileOfAMergedSubChannel) {
    const double fs = 4800.0;
    const std::string out = m_dir / "run.trx";
    MakeTimeData(out, fs, 2.0);
    const std::string speed = m_dir / "s.spd";
    MakeSpeedData(speed, std::vector<double>(200, 1200.0), 0.01, dk__rpm);
    Merge({speed}, {out});
    CSubChannel sub;
    {
        CDataset ds(out.c_str(), om__read, 32768, sh__deny_write);
        ASSERT_EQ(ds.GetNbrOfSubChannels(), 1);
        sub = ds.GetSubChannel(0);
    }

    // Progress goes to a window through the message loop.
    MessageLoop::Reset();
    std::vector<LPARAM> progress;
    HWND wnd = MessageLoop::SetMainWindow([&](unsigned msg, WPARAM w, LPARAM l) -> LRESULT {
        if (msg == 0x8123 && w == 77)
            progress.push_back(l);
        return 0;
    });

    CString pulseFile, error;
    ASSERT_TRUE(MakePulseFile(out.c_str(), sub, pulseFile, error, wnd, 0x8123, 77)) << error.c_str();
    EXPECT_EQ(pulseFile, CString::Formatted("%s.p%d", (m_dir / "run").c_str(), sub.GetID()));
    while (MessageLoop::RunOnce(0) > 0) {
    }
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    MessageLoop::Reset();

    // 1200 rpm with 24 pulses per revolution: 480 pulses per second.
    CDataset pulses(pulseFile, om__read, 32768, sh__deny_write);
    const long n = pulses.GetNbrOfScans();
    EXPECT_NEAR(double(n), 960.0, 3.0);
    // Each scan: the pulse time (stored abscissa) and the interval before it.
    std::vector<double> pairs(static_cast<std::size_t>(2 * n));
    CAccess* a = pulses.CreateAccess(am__read, 0, 0, 0, -1);
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->GetData(n, pairs.data(), ds__dorg_with_abscissa, it__double), n);
    for (long i = 2; i < n; ++i) {
        const double t = pairs[std::size_t(2 * i)], before = pairs[std::size_t(2 * i - 2)];
        // Whole samples apart: 10 samples per pulse at 480 pulses per second.
        EXPECT_NEAR(t - before, 1.0 / 480.0, 1.01 / fs) << i;
        EXPECT_NEAR(pairs[std::size_t(2 * i + 1)], t - before, 1e-6) << i;
    }
}

TEST_F(PulseServicesTest, PulseFileReuseNamingAndFailures) {
    const std::string out = m_dir / "data.trx";
    MakeTimeData(out, 4800.0, 0.5);
    CSubChannel sub(sc__pulse, 1, 1, "Tacho", "n", CQuantity("RPM"), CUnit("rpm", 1));
    sub.SetID(4);

    // Up to date: a pulse file not older than its source is reused untouched.
    const std::string existing = m_dir / "data.p4";
    WriteFile(existing, "not really a pulse file");
    struct timeval later[2] = {{2000000000, 0}, {2000000000, 0}};
    ASSERT_EQ(::utimes(existing.c_str(), later), 0);
    CString pulseFile, error;
    EXPECT_TRUE(MakePulseFile(out.c_str(), sub, pulseFile, error, 0, 0, 0));
    EXPECT_EQ(pulseFile, existing.c_str());
    EXPECT_EQ(ReadFile(existing), "not really a pulse file");

    // Older than the source: made again.
    struct timeval earlier[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimes(existing.c_str(), earlier), 0);
    pulseFile.Empty();
    EXPECT_TRUE(MakePulseFile(out.c_str(), sub, pulseFile, error, 0, 0, 0)) << error.c_str();
    EXPECT_NE(ReadFile(existing), "not really a pulse file");

    // A given path lends its directory only.
    ASSERT_EQ(::mkdir((m_dir / "elsewhere").c_str(), 0755), 0);
    pulseFile = (m_dir / "elsewhere/whatever.name").c_str();
    EXPECT_TRUE(MakePulseFile(out.c_str(), sub, pulseFile, error, 0, 0, 0)) << error.c_str();
    EXPECT_EQ(pulseFile, (m_dir / "elsewhere/data.p4").c_str());

    // A source without extension gets the extension appended, never itself.
    const std::string bare = m_dir / "bare";
    MakeTimeData(bare, 4800.0, 0.2);
    pulseFile.Empty();
    EXPECT_TRUE(MakePulseFile(bare.c_str(), sub, pulseFile, error, 0, 0, 0)) << error.c_str();
    EXPECT_EQ(pulseFile, (bare + ".p4").c_str());

    // No source.
    const std::string missing = m_dir / "missing.trx";
    pulseFile.Empty();
    error.Empty();
    EXPECT_FALSE(MakePulseFile(missing.c_str(), sub, pulseFile, error, 0, 0, 0));
    EXPECT_EQ(error, CString::Formatted("SignalProcessingControl: %s could not be opened as source", missing.c_str()));
    EXPECT_FALSE(FileSystem::FileExists(pulseFile));

    // No place for the pulse file.
    pulseFile = (m_dir / "no/such/dir/x").c_str();
    error.Empty();
    EXPECT_FALSE(MakePulseFile(out.c_str(), sub, pulseFile, error, 0, 0, 0));
    EXPECT_EQ(error, CString::Formatted("SignalProcessingControl: Initializing the failed.\n"
                                        "Possibly there is no write access to %s",
                                        (m_dir / "no/such/dir/data.p4").c_str()));
}

TEST_F(PulseServicesTest, FloatChannelsGetTheCalibrationOfTheirPeak) {
    std::vector<SChannelSpec> specs(4);
    specs[0].implType = it__float;   // Pa, peak 2.0 (negative), twice per scan
    specs[1].implType = it__double;  // V, peak 10.0
    specs[1].quantity = "voltage";
    specs[1].unit = "V";
    specs[2].implType = it__int16;   // not a float channel
    specs[3].implType = it__float;   // silent
    // Channel 0 at twice the rate of the others: each is read on its own.
    std::vector<std::vector<double>> values{std::vector<double>(1000, -0.5), std::vector<double>(500, 0.25),
                                            std::vector<double>(500, 1000.0), std::vector<double>(500, 0.0)};
    values[0][501] = -2.0;
    values[1][10] = -10.0;
    const std::string path = m_dir / "cal.trx";
    {
        CAbscissaList abscissas;
        abscissas.Add(TimeAbscissa(0.001));
        CChannelList channels;
        for (int c = 0; c < 4; ++c)
            channels.Add(MakeChannel(specs[std::size_t(c)], c));
        CDataset ds(path.c_str(), abscissas, channels, dk__time, ds__dorg_interleaved, 0, 65536, sh__deny_write);
        ASSERT_TRUE(ds.SpecifySamplingParameter(sm__pattern, CChNbrList{0, 1, 2, 3, 0}));
        for (int c = 0; c < 4; ++c) {
            const std::vector<double>& x = values[std::size_t(c)];
            CAccess* a = ds.CreateAccess(am__readwrite, c, 0, 0, -1);
            ASSERT_NE(a, nullptr);
            ASSERT_EQ(a->SetData(long(x.size()), x.data(), ds__dorg_interleaved, it__double), long(x.size()));
        }
        CChannel silent = ds.GetChannel(3);
        silent.SetCalibration(77.0f);
        silent.SetDeltaHeadroom(3.0f);
        ASSERT_TRUE(ds.SetChannel(3, silent));
        CChannel c0 = ds.GetChannel(0);
        c0.SetDeltaHeadroom(6.0f);
        ASSERT_TRUE(ds.SetChannel(0, c0));
        CalibrateFloatChannels(ds);
        ds.Close();
    }
    CDataset ds(path.c_str(), om__read, 32768, sh__deny_write);
    // 20 log10(2 / (√2 × 2e-5)) = 96.99 → 97; 20 log10(10 / √2) = 16.99 → 17.
    EXPECT_EQ(ds.GetChannel(0).GetCalibration(), 97.0f);
    EXPECT_EQ(ds.GetChannel(0).GetDeltaHeadroom(), 0.0f);
    EXPECT_EQ(ds.GetChannel(1).GetCalibration(), 17.0f);
    EXPECT_EQ(ds.GetChannel(2).GetCalibration(), 0.0f);
    EXPECT_EQ(ds.GetChannel(3).GetCalibration(), 77.0f);
    EXPECT_EQ(ds.GetChannel(3).GetDeltaHeadroom(), 3.0f);
}

}  // namespace
