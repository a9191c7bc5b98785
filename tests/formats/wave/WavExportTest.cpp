// The WAVE export: files that libsndfile and soxi read with the right
// layout, 1:1 round trips within one step, pulse bits through fades, the
// checks before writing, the tacho track, and the fades themselves.

#include "tests/common/PeerTools.h"
#include "formats/wave/WavExport.h"
#include "formats/wave/WavImport.h"
#include "formats/wave/WaveFade.h"
#include "interface/TSInterface.h"
#include "frame/ThreadManager.h"
#include "platform/MessageLoop.h"
#include "settings/TSSettings.h"

#include "WaveTestUtil.h"

#include <cmath>
#include <sstream>

using namespace wavetest;

namespace {

struct SChan {
    const char* name;
    int implType;
    double factor = 1.0;
    const char* title = "";
};

// A time data set of the given channels; values are stored values, scan by scan.
void MakeTrx(const fs::path& path, const std::vector<SChan>& chans, double rate, const std::vector<double>& values,
             const std::vector<CSubChannel>& subs = {}, int kind = dk__time)
{
    CAbscissaList abscissas;
    abscissas.Add(CAbscissa("Time", "t", CQuantity("time"), CUnit("s", 1), 0.0, 1.0 / rate, 0, df__linear));
    CChannelList channels;
    for (std::size_t i = 0; i < chans.size(); ++i) {
        map__dct m;
        m.m_dFactor = chans[i].factor;
        CChannel c(chans[i].name, chans[i].name, CQuantity("pressure"), CUnit("Pa", 1), chans[i].implType, int(i),
                   1.0, 1.0, &m);
        c.SetTitle(chans[i].title);
        channels.Add(c);
    }
    CDataset ds(path.c_str(), abscissas, channels, kind, ds__dorg_interleaved, 0, 65536, sh__deny_write);
    CChNbrList all;
    all.AddGroup(0, int(chans.size()) - 1);
    if (!values.empty()) {
        CAccess* a = ds.CreateAccess(am__readwrite, all, 0, 0L, -1L, mk__raw);
        ASSERT_NE(a, nullptr);
        ASSERT_EQ(a->SetData(long(values.size() / chans.size()), values.data(), ds__dorg_interleaved, it__double),
                  long(values.size() / chans.size()));
    }
    for (const CSubChannel& s : subs)
        ds.AddSubChannel(s);
    ds.Close();
}

CSubChannel PulseSub(int parent, unsigned mask)
{
    return CSubChannel(sc__pulse, parent, mask, "speed", "n", CQuantity("RPM"), CUnit("rpm", 1));
}

struct SInfo {
    int rate = 0, channels = 0;
    long frames = 0;
    std::string subtype;
};

SInfo SoundfileInfo(const fs::path& wav)
{
    SInfo i;
    std::istringstream in(Capture("/usr/bin/python3 " + ToolPath() + " info '" + wav.string() + "'"));
    in >> i.rate >> i.channels >> i.frames >> i.subtype;
    return i;
}

// Samples of a 16/24-bit file as libsndfile decodes them, scaled back to
// the file's own integer steps.
std::vector<std::int32_t> SoundfileSamples(const fs::path& wav, int bits)
{
    fs::path raw = wav.string() + ".ints";
    if (Shell("/usr/bin/python3 " + ToolPath() + " ints '" + wav.string() + "' '" + raw.string() + "'") != 0)
        return {};
    std::vector<std::int32_t> v = ReadInts(raw);
    for (auto& x : v)
        x >>= (32 - bits);
    return v;
}

class WavExport : public ::testing::Test {
protected:
    void SetUp() override
    {
        CTSSettings::ResetToDefaults();
        CTSSettings::m_lStandardPathFlags = 0;
        CTSSettings::m_lOverwriteFlags = 0;
        dir = MakeScratch("wavexport");
    }
    void TearDown() override
    {
        CTSSettings::ResetToDefaults();
        fs::remove_all(dir);
    }

    struct SOptions {
        int conv = 1;
        short level = 94;
        int b24 = 0;
        int pulse = 0;
        double fade = 0.0;
        int loop = 0;
        int overwrite = 1;
        int old1 = 0, old2 = 0;
    };
    // Runs one export job to its end on this thread and returns its record.
    CTSInterface::SMessage Export(const std::string& input, const fs::path& out, const SOptions& o)
    {
        CTSInterface::SMessage msg;
        auto* job = new CThreadWAVExport(CMark(input.c_str()), 3, 4, out.c_str(), &o.overwrite, &o.conv, &o.level,
                                         &o.b24, &o.pulse, &o.fade, &o.loop, o.old1, o.old2);
        EXPECT_EQ(CThreadManager::RunSync(job, &msg), 0u);
        return msg;
    }
    CString Text(unsigned id) { return CTSInterface().GetErrorText(id); }

    fs::path dir;
};

std::vector<double> Sine(long frames, int channels, double amplitude, double rate)
{
    std::vector<double> v;
    for (long i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            v.push_back(amplitude * (c + 1) / channels * std::sin(2 * M_PI * (50.0 + 10 * c) * i / rate));
    return v;
}

}  // namespace

TEST_F(WavExport, IndependentReadersSeeTheAnnouncedLayout)
{
    if (!HaveSoundfile())
        TESSEL_SKIP_OR_FAIL("python3-soundfile is not installed");
    const long frames = 12345;
    MakeTrx(dir / "f.trx", {{"a", it__float}, {"b", it__float}}, 48000, Sine(frames, 2, 3.0, 48000));
    for (int b24 : {0, 1}) {
        SOptions o;
        o.conv = 0;  // autoscale
        o.b24 = b24;
        fs::path out = dir / (b24 ? "f24.wav" : "f16.wav");
        CTSInterface::SMessage msg = Export((dir / "f.trx").string(), out, o);
        ASSERT_EQ(msg.uState, 23u) << msg.sText.c_str();
        EXPECT_EQ(msg.sText, Text(2));
        SInfo info = SoundfileInfo(out);
        EXPECT_EQ(info.rate, 48000);
        EXPECT_EQ(info.channels, 2);
        EXPECT_EQ(info.frames, frames);
        EXPECT_EQ(info.subtype, b24 ? "PCM_24" : "PCM_16");
        if (Have("soxi")) {
            EXPECT_EQ(Capture("soxi -r '" + out.string() + "'"), "48000\n");
            EXPECT_EQ(Capture("soxi -c '" + out.string() + "'"), "2\n");
            EXPECT_EQ(Capture("soxi -b '" + out.string() + "'"), b24 ? "24\n" : "16\n");
            EXPECT_EQ(Capture("soxi -s '" + out.string() + "'"), std::to_string(frames) + "\n");
        }
        // Autoscale: the loudest channel reaches full scale, the other keeps
        // its ratio of 1:2.
        std::vector<std::int32_t> s = SoundfileSamples(out, b24 ? 24 : 16);
        ASSERT_EQ(s.size(), std::size_t(2 * frames));
        std::int32_t peak0 = 0, peak1 = 0;
        for (long i = 0; i < frames; ++i) {
            peak0 = std::max(peak0, std::abs(s[std::size_t(2 * i)]));
            peak1 = std::max(peak1, std::abs(s[std::size_t(2 * i + 1)]));
        }
        const double full = b24 ? 8388607.0 : 32767.0;
        EXPECT_GE(peak1, full - 2);
        EXPECT_NEAR(double(peak0) / peak1, 0.5, 2.0 / full * 4) << peak0 << " " << peak1;
    }
}

TEST_F(WavExport, OneToOneGivesBackAnImported16BitFile)
{
    if (!HaveSoundfile() || !Have("sox"))
        TESSEL_SKIP_OR_FAIL("sox and python3-soundfile are needed");
    fs::path src = dir / "src.wav";
    ASSERT_EQ(Shell("sox -n -r 22050 -c 2 -b 16 " + src.string() + " synth 0.7 sine 200 sine 3000 gain -1"), 0);
    CTSInterface::SMessage im;
    ASSERT_EQ(CTSInterface().ImportWAV(src.c_str(), 1, 2, (dir / "src.dat").c_str(), nullptr, &im), 0u);
    ASSERT_EQ(im.uState, 21u);
    SOptions o;
    o.conv = 1;
    CTSInterface::SMessage ex = Export((dir / "src.dat").string(), dir / "back.wav", o);
    ASSERT_EQ(ex.uState, 23u) << ex.sText.c_str();
    std::vector<std::int32_t> a = SoundfileSamples(src, 16), b = SoundfileSamples(dir / "back.wav", 16);
    ASSERT_EQ(a.size(), b.size());
    ASSERT_FALSE(a.empty());
    int worst = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        worst = std::max(worst, std::abs(a[i] - b[i]));
    EXPECT_LE(worst, 1);
    // A mode outside 0..2 behaves as 1:1.
    o.conv = 7;
    ASSERT_EQ(Export((dir / "src.dat").string(), dir / "back7.wav", o).uState, 23u);
    EXPECT_EQ(ReadFile(dir / "back7.wav"), ReadFile(dir / "back.wav"));
}

TEST_F(WavExport, PulseBitSurvivesTheFade)
{
    if (!HaveSoundfile())
        TESSEL_SKIP_OR_FAIL("python3-soundfile is not installed");
    const double rate = 8000;
    const long frames = 16000;
    std::vector<double> v;
    for (long i = 0; i < frames; ++i) {
        v.push_back(std::round(20000 * std::sin(2 * M_PI * 100 * i / rate)));
        v.push_back((i % 80) < 40 ? 1 : 0);  // pulse byte, bit 0
    }
    MakeTrx(dir / "p.trx", {{"sig", it__int16, 1e-3}, {"pulses", it__pulse, 1.0, "Pulse Channels"}}, rate, v,
            {PulseSub(1, 1)});
    SOptions o;
    o.conv = 1;
    o.pulse = 1;
    ASSERT_EQ(Export((dir / "p.trx").string(), dir / "plain.wav", o).uState, 23u);
    o.fade = 0.25;  // 2000 frames at each end
    ASSERT_EQ(Export((dir / "p.trx").string(), dir / "faded.wav", o).uState, 23u);

    SInfo info = SoundfileInfo(dir / "faded.wav");
    EXPECT_EQ(info.channels, 1);  // the pulse channel itself is not exported
    EXPECT_EQ(info.frames, frames);
    std::vector<std::int32_t> plain = SoundfileSamples(dir / "plain.wav", 16);
    std::vector<std::int32_t> faded = SoundfileSamples(dir / "faded.wav", 16);
    ASSERT_EQ(plain.size(), std::size_t(frames));
    ASSERT_EQ(faded.size(), std::size_t(frames));
    long pulseBitsSeen = 0, bitMismatch = 0, scaled = 0;
    for (long i = 0; i < frames; ++i) {
        const bool pulse = (i % 80) < 40;
        pulseBitsSeen += plain[std::size_t(i)] & 1;
        if ((plain[std::size_t(i)] & 1) != (pulse ? 1 : 0) || (faded[std::size_t(i)] & 1) != (pulse ? 1 : 0))
            ++bitMismatch;
        if (i < 2000 || i >= frames - 2000)
            scaled += std::abs(faded[std::size_t(i)]) < std::abs(plain[std::size_t(i)]) - 1;
        else
            EXPECT_EQ(faded[std::size_t(i)], plain[std::size_t(i)]) << i;
    }
    EXPECT_EQ(bitMismatch, 0);
    EXPECT_EQ(pulseBitsSeen, frames / 2);
    EXPECT_GT(scaled, 3000);  // the fades really changed the ends
    // The first frame is silent but for its pulse bit.
    EXPECT_LE(std::abs(faded[0]), 1);
}

TEST_F(WavExport, ChecksBeforeWriting)
{
    const std::vector<double> two{1, 2, 3, 4};
    // Only pulse channels: 17, nothing written.
    MakeTrx(dir / "only.trx", {{"p", it__pulse, 1.0, "Pulse Channels"}, {"q", it__int16, 1.0, "Pulse Channels"}},
            1000, two);
    SOptions o;
    CTSInterface::SMessage m = Export((dir / "only.trx").string(), dir / "only.wav", o);
    EXPECT_EQ(m.uState, 24u);
    EXPECT_EQ(m.sText, Text(17));
    EXPECT_FALSE(fs::exists(dir / "only.wav"));
    // A title in other case is an ordinary channel.
    MakeTrx(dir / "lower.trx", {{"p", it__int16, 1.0, "pulse channels"}}, 1000, {1, 2});
    EXPECT_EQ(Export((dir / "lower.trx").string(), dir / "lower.wav", o).uState, 23u);

    // Not time data: 21.
    MakeTrx(dir / "spectrum.trx", {{"a", it__float}}, 1000, {1, 2}, {}, dk__spectrum);
    EXPECT_EQ(Export((dir / "spectrum.trx").string(), dir / "spectrum.wav", o).sText, Text(21));
    // No data set: 15.
    EXPECT_EQ(Export((dir / "none.trx").string(), dir / "none.wav", o).sText, Text(15));
    EXPECT_FALSE(fs::exists(dir / "none.wav"));
    // Existing output, no overwrite: 8 and the file stays.
    MakeTrx(dir / "ok.trx", {{"a", it__float}}, 1000, {0.5, -0.5});
    WriteFile(dir / "keep.wav", Bytes{'x'});
    o.overwrite = 0;
    EXPECT_EQ(Export((dir / "ok.trx").string(), dir / "keep.wav", o).sText, Text(8));
    EXPECT_EQ(ReadFile(dir / "keep.wav"), Bytes{'x'});
    o.overwrite = 1;
    // Output = input: refused, the data set untouched.
    Bytes trx = ReadFile(dir / "ok.trx");
    EXPECT_EQ(Export((dir / "ok.trx").string(), dir / "ok.trx", o).uState, 24u);
    EXPECT_EQ(ReadFile(dir / "ok.trx"), trx);
    // Old-header flags neither 0/0 nor 1/1: 116, nothing left behind.
    o.old1 = 1;
    o.old2 = 0;
    EXPECT_EQ(Export((dir / "ok.trx").string(), dir / "bad.wav", o).sText, Text(116));
    EXPECT_FALSE(fs::exists(dir / "bad.wav"));
}

TEST_F(WavExport, DifferentRatesAreRefused)
{
    // Channel 0 twice per scan, channel 1 once: 2000 and 1000 samples/s.
    CAbscissaList abscissas;
    abscissas.Add(CAbscissa("Time", "t", CQuantity("time"), CUnit("s", 1), 0.0, 1.0 / 1000, 0, df__linear));
    CChannelList channels;
    channels.Add(CChannel("a", "a", CQuantity("pressure"), CUnit("Pa", 1), it__float, 0));
    channels.Add(CChannel("b", "b", CQuantity("pressure"), CUnit("Pa", 1), it__float, 1));
    {
        CDataset ds((dir / "mixed.trx").c_str(), abscissas, channels, dk__time, ds__dorg_interleaved, 0, 65536,
                    sh__deny_write);
        ASSERT_TRUE(ds.SpecifySamplingParameter(sm__pattern, CChNbrList{0, 1, 0}));
        ds.Close();
    }
    SOptions o;
    CTSInterface::SMessage m = Export((dir / "mixed.trx").string(), dir / "mixed.wav", o);
    EXPECT_EQ(m.sText, Text(22));
    EXPECT_FALSE(fs::exists(dir / "mixed.wav"));
    // Choosing one of them is fine.
    EXPECT_EQ(Export((dir / "mixed.trx").string() + "|1", dir / "one.wav", o).uState, 23u);
}

TEST_F(WavExport, AutoscaleOfSilenceAndScaleToLevel)
{
    if (!HaveSoundfile())
        TESSEL_SKIP_OR_FAIL("python3-soundfile is not installed");
    // Silence: the scale value is 1.0, so nothing divides by zero.
    MakeTrx(dir / "z.trx", {{"a", it__float}}, 1000, std::vector<double>(500, 0.0));
    SOptions o;
    o.conv = 0;
    ASSERT_EQ(Export((dir / "z.trx").string(), dir / "z.wav", o).uState, 23u);
    for (std::int32_t s : SoundfileSamples(dir / "z.wav", 16))
        ASSERT_EQ(s, 0);
    // Scale to 94 dB: a value of √2·4e-5·10^4.7 / 2 is half of full scale.
    const double full = std::sqrt(2.0) * 4e-5 * std::pow(10.0, 94 * 0.05);
    MakeTrx(dir / "l.trx", {{"a", it__float}}, 1000, {full / 2, -full / 4, 0.0});
    o.conv = 2;
    o.level = 94;
    ASSERT_EQ(Export((dir / "l.trx").string(), dir / "l.wav", o).uState, 23u);
    std::vector<std::int32_t> s = SoundfileSamples(dir / "l.wav", 16);
    ASSERT_EQ(s.size(), 3u);
    EXPECT_NEAR(s[0], 16384, 1);
    EXPECT_NEAR(s[1], -8192, 1);
    EXPECT_EQ(s[2], 0);
}

TEST_F(WavExport, AsynchronousStartThroughTheInterface)
{
    MakeTrx(dir / "a.trx", {{"a", it__float}}, 1000, Sine(3000, 1, 1.0, 1000));
    std::vector<CTSInterface::SMessage> got;
    std::vector<std::string> produced;
    MessageLoop::Reset();
    MessageLoop::SetMainWindow([&](unsigned msg, WPARAM w, LPARAM l) -> LRESULT {
        if (msg == CTSInterface::g_uMsgFromTessel) {
            got.push_back(*reinterpret_cast<CTSInterface::SMessage*>(w));
            for (const CString& f : *reinterpret_cast<CStringArray*>(l))
                produced.push_back(f.str());
        }
        return 0;
    });
    int conv = 0;
    ASSERT_EQ(CTSInterface().ExportWAV((dir / "a.trx").c_str(), 11, 12, nullptr, nullptr, &conv, nullptr, nullptr,
                                       nullptr, nullptr, nullptr),
              0u);
    ASSERT_TRUE(MessageLoop::RunUntil(
        [&] {
            MessageLoop::FireAllTimers();
            return !got.empty();
        },
        20000));
    MessageLoop::ClearMainWindow();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].uState, 23u) << got[0].sText.c_str();
    EXPECT_EQ(got[0].lID, 11);
    EXPECT_EQ(got[0].lUser, 12);
    // No output given: the extension replaced by ".WAV".
    ASSERT_EQ(produced.size(), 1u);
    EXPECT_EQ(produced[0], (dir / "a.WAV").string());
    EXPECT_TRUE(fs::exists(dir / "a.WAV"));
}

TEST_F(WavExport, TachoTrackHalfHighPerPulseInterval)
{
    // Pulses every 100 scans (bit 0 rising at scans 100, 200, ...).
    const long frames = 1000;
    std::vector<double> v;
    for (long i = 0; i < frames; ++i) {
        v.push_back(double(i));
        v.push_back((i % 100) >= 50 ? 0 : 1);
    }
    MakeTrx(dir / "t.trx", {{"sig", it__int16}, {"pulses", it__pulse, 1.0, "Pulse Channels"}}, 10000, v,
            {PulseSub(1, 1)});
    SOptions o;
    o.conv = 1;
    o.old1 = o.old2 = 1;
    o.pulse = 1;
    CTSInterface::SMessage m = Export((dir / "t.trx").string(), dir / "t.wav", o);
    ASSERT_EQ(m.uState, 23u) << m.sText.c_str() << m.sText.c_str();
    ASSERT_EQ(m.sText, Text(2));
    // The file: plain 16-bit PCM, signal + tacho, no other chunks.
    Bytes b = ReadFile(dir / "t.wav");
    ASSERT_EQ(b.size(), 44u + 4 * frames);
    EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
    auto s16 = [&](std::size_t off) { return std::int16_t(b[off] | b[off + 1] << 8); };
    EXPECT_EQ(s16(22), 2);           // channels
    EXPECT_EQ(s16(34), 16);          // bits
    long high = 0, low = 0, signalOff = 0;
    for (long i = 0; i < frames; ++i) {
        if (s16(44 + 4 * std::size_t(i)) != std::int16_t(i))
            ++signalOff;
        std::int16_t t = s16(44 + 4 * std::size_t(i) + 2);
        if (i >= 100 && i < 900) {
            // Each interval [100k, 100k+100): 50 frames 16383, then 50 frames 0.
            EXPECT_EQ(t, (i % 100) < 50 ? 16383 : 0) << i;
        }
        (t == 16383 ? high : low) += 1;
    }
    EXPECT_EQ(signalOff, 0);
    EXPECT_EQ(high + low, frames);

    // With the 24-bit flag the frames stay 16-bit, and the record says so.
    o.b24 = 1;
    ASSERT_EQ(Export((dir / "t.trx").string(), dir / "t24.wav", o).uState, 23u);
    EXPECT_EQ(ReadFile(dir / "t24.wav"), b);

    // Without a pulse sub-channel: the channels alone.
    MakeTrx(dir / "n.trx", {{"sig", it__int16}}, 10000, {1, 2, 3});
    ASSERT_EQ(Export((dir / "n.trx").string(), dir / "n.wav", o).uState, 23u);
    Bytes nb = ReadFile(dir / "n.wav");
    ASSERT_EQ(nb.size(), 44u + 6);
    EXPECT_EQ(nb[22], 1);
    EXPECT_EQ(nb[44], 1);
    EXPECT_EQ(nb[48], 3);
}

TEST_F(WavExport, FadesWorkInPlace)
{
    if (!HaveSoundfile())
        TESSEL_SKIP_OR_FAIL("python3-soundfile is not installed");
    const int rate = 48000;
    fs::path f = dir / "f.wav";
    ASSERT_EQ(Shell("/usr/bin/python3 " + ToolPath() + " make " + f.string() + " PCM_16 2 48000 60000"), 0);
    std::vector<std::int32_t> before = SoundfileSamples(f, 16);
    ASSERT_EQ(ApplyFadeInOut(f.c_str(), 0.5, false), EFadeResult::Done);
    std::vector<std::int32_t> after = SoundfileSamples(f, 16);
    ASSERT_EQ(after.size(), before.size());
    const long n = rate / 2, frames = 60000;
    for (long k = 0; k < frames; ++k) {
        for (int c = 0; c < 2; ++c) {
            std::size_t i = std::size_t(2 * k + c);
            std::int32_t expect = before[i];
            if (k < n)
                expect = std::int32_t(std::trunc(before[i] * (double(k) / n)));
            else if (k >= frames - n)
                expect = std::int32_t(std::trunc(before[i] * (1.0 - double(k - (frames - n)) / n)));
            ASSERT_EQ(after[i], expect) << "frame " << k;
        }
    }
    // Fewer than 2n frames: unchanged.
    fs::path s = dir / "s.wav";
    ASSERT_EQ(Shell("/usr/bin/python3 " + ToolPath() + " make " + s.string() + " PCM_24 1 48000 47999"), 0);
    Bytes sb = ReadFile(s);
    EXPECT_EQ(ApplyFadeInOut(s.c_str(), 0.5, false), EFadeResult::TooShort);
    EXPECT_EQ(ReadFile(s), sb);
}

TEST_F(WavExport, LoopCrossFadeShortensTheFile)
{
    if (!HaveSoundfile())
        TESSEL_SKIP_OR_FAIL("python3-soundfile is not installed");
    // A drain-written file (data size at offset 42), 24-bit with pulse bits.
    const double rate = 1000;
    std::vector<double> v;
    for (long i = 0; i < 3000; ++i) {
        v.push_back(0.5 * std::sin(2 * M_PI * 7 * i / rate));
        v.push_back(i % 3 == 0 ? 1 : 0);
    }
    MakeTrx(dir / "l.trx", {{"a", it__float}, {"pulses", it__pulse, 1.0, "Pulse Channels"}}, rate, v,
            {PulseSub(1, 1)});
    SOptions o;
    o.conv = 0;
    o.b24 = 1;
    o.pulse = 1;
    ASSERT_EQ(Export((dir / "l.trx").string(), dir / "plain.wav", o).uState, 23u);
    o.fade = 0.2;  // 200 frames
    o.loop = 1;
    ASSERT_EQ(Export((dir / "l.trx").string(), dir / "loop.wav", o).uState, 23u);
    Bytes plain = ReadFile(dir / "plain.wav"), loop = ReadFile(dir / "loop.wav");
    auto le32 = [](const Bytes& b, std::size_t o) {
        return std::uint32_t(b[o] | b[o + 1] << 8 | b[o + 2] << 16 | std::uint32_t(b[o + 3]) << 24);
    };
    ASSERT_EQ(std::string(plain.begin() + 38, plain.begin() + 42), "data");
    const std::uint32_t L = 200 * 3;
    EXPECT_EQ(loop.size(), plain.size() - L);
    EXPECT_EQ(le32(loop, 4), le32(plain, 4) - L);
    EXPECT_EQ(le32(loop, 42), le32(plain, 42) - L);
    SInfo info = SoundfileInfo(dir / "loop.wav");
    EXPECT_EQ(info.frames, 3000 - 200);
    std::vector<std::int32_t> p = SoundfileSamples(dir / "plain.wav", 24);
    std::vector<std::int32_t> l = SoundfileSamples(dir / "loop.wav", 24);
    ASSERT_EQ(l.size(), 2800u);
    for (long k = 0; k < 200; ++k) {
        const double g = double(k) / 200;
        std::int32_t mixed = std::int32_t(std::trunc(p[std::size_t(2800 + k)] * (1 - g) + p[std::size_t(k)] * g));
        mixed = (mixed & ~0x100) | (p[std::size_t(k)] & 0x100);
        ASSERT_EQ(l[std::size_t(k)], mixed) << k;
        // The pulse bit lives at bit 8 of 24-bit samples.
        ASSERT_EQ((l[std::size_t(k)] >> 8) & 1, k % 3 == 0 ? 1 : 0) << k;
    }
    for (long k = 200; k < 2800; ++k)
        ASSERT_EQ(l[std::size_t(k)], p[std::size_t(k)]);
}
