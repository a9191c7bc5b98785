// The WAVE export: files that libsndfile and soxi read with the right
// layout, 1:1 round trips within one step, pulse bits through fades, the
// checks before writing, the tacho track, and the fades themselves.

#include "tests/common/AsyncRun.h"
#include "tests/common/PeerTools.h"
#include "formats/wave/WavExport.h"
#include "formats/wave/WavImport.h"
#include "formats/wave/WaveFade.h"
#include "interface/TSInterface.h"
#include "frame/ThreadManager.h"
#include "platform/FileSystem.h"
#include "platform/MessageLoop.h"
#include "settings/TSSettings.h"

#include "WaveTestUtil.h"

#include <atomic>
#include <cerrno>
#include <cmath>
#include <functional>
#include <sstream>

using namespace wavetest;
using tessel::test::MakeTrx;
using tessel::test::PulseSub;

namespace {

struct SInfo {
    int rate = 0, channels = 0;
    long frames = 0;
    std::string subtype;
};

SInfo SoundfileInfo(const fs::path& wav)
{
    SInfo i;
    std::istringstream in(Capture(kPython + " " + ToolPath() + " info '" + wav.string() + "'"));
    in >> i.rate >> i.channels >> i.frames >> i.subtype;
    return i;
}

// Samples of a 16/24-bit file as libsndfile decodes them, scaled back to
// the file's own integer steps.
std::vector<std::int32_t> SoundfileSamples(const fs::path& wav, int bits)
{
    fs::path raw = wav.string() + ".ints";
    if (Shell(kPython + " " + ToolPath() + " ints '" + wav.string() + "' '" + raw.string() + "'") != 0)
        return {};
    std::vector<std::int32_t> v = ReadInts(raw);
    for (auto& x : v)
        x >>= (32 - bits);
    return v;
}

class WavExport : public CWaveTest {
protected:
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

    // Starts a conversion through the interface, as a host does, and waits
    // for its message.
    CTSInterface::SMessage RunAsync(const std::function<unsigned(CTSInterface&)>& start,
                                    std::vector<std::string>* produced = nullptr)
    {
        return tessel::test::RunAsync([&] {
            CTSInterface ts;
            return start(ts);
        }, produced);
    }
};

std::int32_t Le24(const Bytes& b, std::size_t o)
{
    std::int32_t v = std::int32_t(b[o] | b[o + 1] << 8 | b[o + 2] << 16);
    return v & 0x800000 ? v - 0x1000000 : v;
}
std::int16_t Le16(const Bytes& b, std::size_t o) { return std::int16_t(b[o] | b[o + 1] << 8); }
std::uint32_t Le32(const Bytes& b, std::size_t o)
{
    return std::uint32_t(b[o] | b[o + 1] << 8 | b[o + 2] << 16 | std::uint32_t(b[o + 3]) << 24);
}

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
        fs::path out = dir / (b24 ? "f24.wav" : "f16.wav");
        CTSInterface::SMessage msg = Export((dir / "f.trx").string(), out, {.conv = 0, .b24 = b24});  // autoscale
        ASSERT_EQ(msg.uState, 23u) << msg.sText.c_str();
        EXPECT_EQ(msg.sText, Text(2));
        SInfo info = SoundfileInfo(out);
        EXPECT_EQ(info.rate, 48000);
        EXPECT_EQ(info.channels, 2);
        EXPECT_EQ(info.frames, frames);
        EXPECT_EQ(info.subtype, b24 ? "PCM_24" : "PCM_16");
        // soxi: rate, channels, bits, frames.
        if (HaveProgram("soxi"))
            EXPECT_EQ(Capture("for f in r c b s; do soxi -$f '" + out.string() + "'; done"),
                      "48000\n2\n" + std::string(b24 ? "24" : "16") + "\n" + std::to_string(frames) + "\n");
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
    ASSERT_EQ(Export((dir / "p.trx").string(), dir / "plain.wav", {.conv = 1, .pulse = 1}).uState, 23u);
    // 2000 frames at each end.
    ASSERT_EQ(Export((dir / "p.trx").string(), dir / "faded.wav", {.conv = 1, .pulse = 1, .fade = 0.25}).uState, 23u);

    SInfo info = SoundfileInfo(dir / "faded.wav");
    EXPECT_EQ(info.channels, 1);  // the pulse channel itself is not exported
    EXPECT_EQ(info.frames, frames);
    std::vector<std::int32_t> plain = SoundfileSamples(dir / "plain.wav", 16);
    std::vector<std::int32_t> faded = SoundfileSamples(dir / "faded.wav", 16);
    ASSERT_EQ(plain.size(), std::size_t(frames));
    ASSERT_EQ(faded.size(), std::size_t(frames));
    long bitMismatch = 0, scaled = 0;
    for (long i = 0; i < frames; ++i) {
        const bool pulse = (i % 80) < 40;
        if ((plain[std::size_t(i)] & 1) != (pulse ? 1 : 0) || (faded[std::size_t(i)] & 1) != (pulse ? 1 : 0))
            ++bitMismatch;
        if (i < 2000 || i >= frames - 2000)
            scaled += std::abs(faded[std::size_t(i)]) < std::abs(plain[std::size_t(i)]) - 1;
        else
            EXPECT_EQ(faded[std::size_t(i)], plain[std::size_t(i)]) << i;
    }
    EXPECT_EQ(bitMismatch, 0);
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
    CTSInterface::SMessage m = Export((dir / "only.trx").string(), dir / "only.wav", {});
    EXPECT_EQ(m.uState, 24u);
    EXPECT_EQ(m.sText, Text(17));
    EXPECT_FALSE(fs::exists(dir / "only.wav"));
    // A title in other case is an ordinary channel.
    MakeTrx(dir / "lower.trx", {{"p", it__int16, 1.0, "pulse channels"}}, 1000, {1, 2});
    EXPECT_EQ(Export((dir / "lower.trx").string(), dir / "lower.wav", {}).uState, 23u);

    // Not time data: 21.
    MakeTrx(dir / "spectrum.trx", {{"a", it__float}}, 1000, {1, 2}, {}, dk__spectrum);
    EXPECT_EQ(Export((dir / "spectrum.trx").string(), dir / "spectrum.wav", {}).sText, Text(21));
    // No data set: 15.
    EXPECT_EQ(Export((dir / "none.trx").string(), dir / "none.wav", {}).sText, Text(15));
    EXPECT_FALSE(fs::exists(dir / "none.wav"));
    // Existing output, no overwrite: 8 and the file stays.
    MakeTrx(dir / "ok.trx", {{"a", it__float}}, 1000, {0.5, -0.5});
    WriteFile(dir / "keep.wav", Bytes{'x'});
    EXPECT_EQ(Export((dir / "ok.trx").string(), dir / "keep.wav", {.overwrite = 0}).sText, Text(8));
    EXPECT_EQ(ReadFile(dir / "keep.wav"), Bytes{'x'});
    // Output = input: refused, the data set untouched.
    Bytes trx = ReadFile(dir / "ok.trx");
    EXPECT_EQ(Export((dir / "ok.trx").string(), dir / "ok.trx", {}).uState, 24u);
    EXPECT_EQ(ReadFile(dir / "ok.trx"), trx);
    // Old-header flags neither 0/0 nor 1/1: 116, nothing left behind.
    EXPECT_EQ(Export((dir / "ok.trx").string(), dir / "bad.wav", {.old1 = 1, .old2 = 0}).sText, Text(116));
    EXPECT_FALSE(fs::exists(dir / "bad.wav"));
}

TEST_F(WavExport, DifferentRatesAreRefused)
{
    // Channel 0 twice per scan, channel 1 once: 2000 and 1000 samples/s.
    const CChNbrList pattern{0, 1, 0};
    ASSERT_EQ(MakeDataset((dir / "mixed.trx").string(), {{"a"}, {"b"}}, 1.0 / 1000, {}, dk__time, &pattern), 0);
    CTSInterface::SMessage m = Export((dir / "mixed.trx").string(), dir / "mixed.wav", {});
    EXPECT_EQ(m.sText, Text(22));
    EXPECT_FALSE(fs::exists(dir / "mixed.wav"));
    // Choosing one of them is fine.
    EXPECT_EQ(Export((dir / "mixed.trx").string() + "|1", dir / "one.wav", {}).uState, 23u);
}

TEST_F(WavExport, AutoscaleOfSilenceAndScaleToLevel)
{
    if (!HaveSoundfile())
        TESSEL_SKIP_OR_FAIL("python3-soundfile is not installed");
    // Silence: the scale value is 1.0, so nothing divides by zero.
    MakeTrx(dir / "z.trx", {{"a", it__float}}, 1000, std::vector<double>(500, 0.0));
    ASSERT_EQ(Export((dir / "z.trx").string(), dir / "z.wav", {.conv = 0}).uState, 23u);
    for (std::int32_t s : SoundfileSamples(dir / "z.wav", 16))
        ASSERT_EQ(s, 0);
    // Scale to 94 dB: full scale is twice the peak of a 94 dB sine, 2.835143 Pa.
    const double full = 2.835143132335767;
    MakeTrx(dir / "l.trx", {{"a", it__float}}, 1000, {full / 2, -full / 4, 0.0});
    ASSERT_EQ(Export((dir / "l.trx").string(), dir / "l.wav", {.conv = 2, .level = 94}).uState, 23u);
    std::vector<std::int32_t> s = SoundfileSamples(dir / "l.wav", 16);
    ASSERT_EQ(s.size(), 3u);
    EXPECT_NEAR(s[0], 16384, 1);
    EXPECT_NEAR(s[1], -8192, 1);
    EXPECT_EQ(s[2], 0);
}

TEST_F(WavExport, AsynchronousStartThroughTheInterface)
{
    MakeTrx(dir / "a.trx", {{"a", it__float}}, 1000, Sine(3000, 1, 1.0, 1000));
    std::vector<std::string> produced;
    int conv = 0;
    CTSInterface::SMessage m = RunAsync(
        [&](CTSInterface& ts) {
            return ts.ExportWAV((dir / "a.trx").c_str(), 11, 12, nullptr, nullptr, &conv, nullptr, nullptr, nullptr,
                                nullptr, nullptr);
        },
        &produced);
    EXPECT_EQ(m.uState, 23u) << m.sText.c_str();
    EXPECT_EQ(m.lID, 11);
    EXPECT_EQ(m.lUser, 12);
    // No output given: the extension replaced by ".WAV".
    EXPECT_EQ(produced, std::vector<std::string>{(dir / "a.WAV").string()});
    EXPECT_TRUE(fs::exists(dir / "a.WAV"));
}

TEST_F(WavExport, TachoTrackHalfHighPerPulseInterval)
{
    // Pulses every 100 scans (bit 0 rising at scans 100, 200, ...), an hour
    // into a recording at 48 kHz: the edges must still fall on their scans.
    const long frames = 1000;
    std::vector<double> v;
    for (long i = 0; i < frames; ++i) {
        v.push_back(double(i));
        v.push_back((i % 100) >= 50 ? 0 : 1);
    }
    MakeTrx(dir / "t.trx", {{"sig", it__int16}, {"pulses", it__pulse, 1.0, "Pulse Channels"}}, 48000, v,
            {PulseSub(1, 1)}, dk__time, 3600.0);
    // Through the interface's own member, as a host starts it.
    int yes = 1, conv = 1;
    CTSInterface::SMessage m = RunAsync([&](CTSInterface& ts) {
        return ts.ExportWAVTachoOldHeader((dir / "t.trx").c_str(), 5, 6, (dir / "t.wav").c_str(), &yes, &conv,
                                          nullptr, nullptr);
    });
    ASSERT_EQ(m.uState, 23u) << m.sText.c_str();
    ASSERT_EQ(m.sText, Text(2));
    EXPECT_EQ(m.lID, 5);
    // The file: plain 16-bit PCM, signal + tacho, no other chunks.
    Bytes b = ReadFile(dir / "t.wav");
    ASSERT_EQ(b.size(), 44u + 4 * frames);
    EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
    EXPECT_EQ(Le16(b, 22), 2);           // channels
    EXPECT_EQ(Le16(b, 34), 16);          // bits
    for (std::size_t i = 0; i < std::size_t(frames); ++i) {
        ASSERT_EQ(Le16(b, 44 + 4 * i), std::int16_t(i)) << i;
        // Each interval [100k, 100k+100): 50 frames 16383, then 50 frames 0.
        if (i >= 100 && i < 900)
            ASSERT_EQ(Le16(b, 46 + 4 * i), (i % 100) < 50 ? 16383 : 0) << i;
    }

    // With the 24-bit flag the frames stay 16-bit, and the record says so.
    const SOptions o{.b24 = 1, .pulse = 1, .old1 = 1, .old2 = 1};
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

TEST_F(WavExport, FadesScaleEachEndFrameByFrame)
{
    // 8 frames per second and 0.5 s: four frames fade at each end, with
    // gains 0, 1/4, 1/2, 3/4 in and 1, 3/4, 1/2, 1/4 out, truncated toward 0.
    WaveSpec w{.channels = 2, .rate = 8, .blockAlign = 4};
    for (int k = 0; k < 10; ++k) {
        Put16(w.data, std::uint16_t(999));
        Put16(w.data, std::uint16_t(-1001));
    }
    const std::vector<std::int16_t> plain0{0, 249, 499, 749, 999, 999, 999, 749, 499, 249};
    const std::vector<std::int16_t> plain1{0, -250, -500, -750, -1001, -1001, -1001, -750, -500, -250};
    // Keeping the pulse bit: both channels have bit 0 set throughout.
    const std::vector<std::int16_t> pulse0{1, 249, 499, 749, 999, 999, 999, 749, 499, 249};
    const std::vector<std::int16_t> pulse1{1, -249, -499, -749, -1001, -1001, -1001, -749, -499, -249};
    for (bool keep : {false, true}) {
        fs::path f = dir / (keep ? "p.wav" : "f.wav");
        WriteFile(f, MakeWave(w));
        ASSERT_EQ(ApplyFadeInOut(f.c_str(), 0.5, keep), EFadeResult::Done);
        Bytes b = ReadFile(f);
        ASSERT_EQ(b.size(), 44u + 40);
        for (std::size_t k = 0; k < 10; ++k) {
            EXPECT_EQ(Le16(b, 44 + 4 * k), (keep ? pulse0 : plain0)[k]) << keep << " frame " << k;
            EXPECT_EQ(Le16(b, 46 + 4 * k), (keep ? pulse1 : plain1)[k]) << keep << " frame " << k;
        }
    }
    // Fewer than 2n frames: unchanged.
    w.data.resize(7 * 4);
    WriteFile(dir / "s.wav", MakeWave(w));
    EXPECT_EQ(ApplyFadeInOut((dir / "s.wav").c_str(), 0.5, false), EFadeResult::TooShort);
    EXPECT_EQ(ReadFile(dir / "s.wav"), MakeWave(w));
}

TEST_F(WavExport, LoopCrossFadeMixesTheEndIntoTheBeginning)
{
    // 24-bit mono at 8 frames per second, 0.25 s: two frames. Frame k of the
    // head becomes tail_k · (1 − k/2) + head_k · k/2; the file loses the two
    // tail frames. Nine frames make an odd data chunk, which the drain writes
    // without pad byte and this one with.
    const std::vector<std::int32_t> codes{0x10000, 0x10100, 3, 4, 5, 6, 7, -0x10000, 0x20000};
    WaveSpec w{.rate = 8, .blockAlign = 3, .bits = 24};
    for (std::int32_t c : codes) {
        w.data.push_back(std::uint8_t(c));
        w.data.push_back(std::uint8_t(c >> 8));
        w.data.push_back(std::uint8_t(c >> 16));
    }
    for (bool keep : {false, true}) {
        for (bool pad : {false, true}) {
            Bytes image = MakeWave(w);
            if (pad) {
                image.push_back(0);
                image[4] += 1;  // the RIFF size counts the pad byte
            }
            fs::path f = dir / "l.wav";
            WriteFile(f, image);
            ASSERT_EQ(ApplyLoopCrossFade(f.c_str(), 0.25, keep), EFadeResult::Done) << keep << pad;
            Bytes b = ReadFile(f);
            ASSERT_EQ(b.size(), 44u + 21 + (pad ? 1 : 0)) << pad;
            EXPECT_EQ(Le32(b, 4), 36u + 21 + (pad ? 1 : 0));
            EXPECT_EQ(Le32(b, 40), 21u);
            // -65536 keeps bit 8 clear like the head frame; 98432 has bit 8
            // clear, the head frame 0x10100 has it set: 98688.
            EXPECT_EQ(Le24(b, 44), -65536);
            EXPECT_EQ(Le24(b, 47), keep ? 98688 : 98432);
            for (std::size_t k = 2; k < 7; ++k)
                EXPECT_EQ(Le24(b, 44 + 3 * k), codes[k]);
            if (pad) {
                EXPECT_EQ(b.back(), 0);
            }
        }
    }
}

TEST_F(WavExport, LoopCrossFadeOfAnOddDataChunkThroughTheJob)
{
    // 24-bit mono with an odd frame count, as the drain writes it.
    MakeTrx(dir / "o.trx", {{"a", it__int24}}, 8, {4000, 8000, 3, 4, 5, 6, 7, -4000, -8000});
    ASSERT_EQ(Export((dir / "o.trx").string(), dir / "o.wav", {.conv = 1, .b24 = 1, .fade = 0.25, .loop = 1}).uState,
              23u);
    Bytes b = ReadFile(dir / "o.wav");
    ASSERT_EQ(b.size(), 46u + 21);
    EXPECT_EQ(Le32(b, 4), 38u + 21);
    EXPECT_EQ(Le32(b, 42), 21u);
    const std::vector<std::int32_t> expect{-4000, 0, 3, 4, 5, 6, 7};
    for (std::size_t k = 0; k < expect.size(); ++k)
        EXPECT_EQ(Le24(b, 46 + 3 * k), expect[k]) << k;
}

TEST_F(WavExport, FadesLongerThanTheRuleAllowsLeaveTheSamplesAlone)
{
    MakeTrx(dir / "h.trx", {{"a", it__int16}}, 48000, Sine(10000, 1, 20000, 48000));
    ASSERT_EQ(Export((dir / "h.trx").string(), dir / "plain.wav", {.conv = 1}).uState, 23u);
    const Bytes plain = ReadFile(dir / "plain.wav");
    // 2^62 and 2^63 frames: twice the fade's bytes are 2^64 and 2^65.
    for (double fade : {4611686018427387904.0 / 48000, 9223372036854775808.0 / 48000, 9.2e15, 1e300, HUGE_VAL,
                        std::nan("")}) {
        for (int loop : {0, 1}) {
            CTSInterface::SMessage m = Export((dir / "h.trx").string(), dir / "h.wav", {.conv = 1, .fade = fade, .loop = loop});
            EXPECT_EQ(m.uState, 23u) << fade;
            EXPECT_EQ(ReadFile(dir / "h.wav"), plain) << fade << " loop " << loop;
        }
    }
}

TEST_F(WavExport, OneToOneGivesBackTheImportedCodes)
{
    if (!HaveSoundfile() || !HaveProgram("sox"))
        TESSEL_SKIP_OR_FAIL("sox and python3-soundfile are needed");
    // A 16-bit file of sox comes back as it was; 32-bit codes of libsndfile
    // come back as numpy rounds them (to nearest, ties to even) to 24 and 16 bits.
    const struct {
        std::string make;
        std::vector<int> bits;
    } sources[] = {
        {"sox -n -r 22050 -c 2 -b 16 SRC synth 0.7 sine 200 sine 3000 gain -1", {16}},
        {kPython + " " + ToolPath() + " make SRC PCM_32 2 48000 20000", {24, 16}},
    };
    int n = 0;
    for (const auto& source : sources) {
        const std::string src = (dir / ("src" + std::to_string(++n) + ".wav")).string();
        const fs::path dat = dir / ("src" + std::to_string(n) + ".dat");
        std::string make = source.make;
        ASSERT_EQ(Shell(make.replace(make.find("SRC"), 3, src)), 0) << make;
        CTSInterface::SMessage im;
        ASSERT_EQ(CTSInterface().ImportWAV(src.c_str(), 1, 2, dat.c_str(), nullptr, &im), 0u);
        ASSERT_EQ(im.uState, 21u);
        for (int bits : source.bits) {
            fs::path out = dir / ("back" + std::to_string(bits) + ".wav");
            ASSERT_EQ(Export(dat.string(), out, {.b24 = bits == 24}).uState, 23u);
            fs::path expect = dir / ("expect" + std::to_string(bits));
            ASSERT_EQ(Shell(kPython + " " + ToolPath() + " requant " + src + " " + std::to_string(bits) + " " +
                            expect.string()),
                      0);
            std::vector<std::int32_t> want = ReadInts(expect), got = SoundfileSamples(out, bits);
            ASSERT_FALSE(got.empty());
            ASSERT_EQ(want.size(), got.size());
            std::size_t off = 0;
            for (std::size_t i = 0; i < got.size(); ++i)
                off += got[i] != want[i];
            EXPECT_EQ(off, 0u) << src << " at " << bits << " bits";
        }
    }
    // A mode outside 0..2 behaves as 1:1.
    ASSERT_EQ(Export((dir / "src2.dat").string(), dir / "back7.wav", {.conv = 7}).uState, 23u);
    EXPECT_EQ(ReadFile(dir / "back7.wav"), ReadFile(dir / "back16.wav"));

    // Whatever the mapping, the stored codes come back, negated under a
    // negative factor; only -32768 negated cannot be held.
    const fs::path odd = dir / "odd.dat";
    MakeTrx(odd, {{"a", it__int16, 0.0013, "", 3.7}, {"b", it__int16, -7.1e-5, "", -0.25}}, 8000,
            {-32768, -32768, -1, -1, 12345, 12345, 32767, 32767});
    for (int b24 : {0, 1}) {
        ASSERT_EQ(Export(odd.string(), dir / "odd.wav", {.conv = 1, .b24 = b24}).uState, 23u);
        const Bytes w = ReadFile(dir / "odd.wav");
        const int k = b24 ? 256 : 1, size = b24 ? 3 : 2;
        const std::int32_t want[] = {-32768 * k, 32767 * k + k - 1, -k, k, 12345 * k, -12345 * k, 32767 * k, -32767 * k};
        ASSERT_EQ(w.size(), 46u + 8 * size);
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(b24 ? Le24(w, 46 + 3 * i) : Le16(w, 46 + 2 * i), want[i]) << b24 << " " << i;
    }
}

TEST_F(WavExport, ManySubChannelsDoNotStopAnExport)
{
    // Nine pulse sub-channels on one pulse channel: more than a stream's
    // pulse byte carries.
    std::vector<double> v;
    for (long i = 0; i < 100; ++i) {
        v.push_back(double(i * 10));
        v.push_back((i % 10) < 5 ? 255 : 0);
    }
    std::vector<CSubChannel> subs;
    for (int k = 0; k < 9; ++k)
        subs.push_back(PulseSub(1, 1u << (k % 8)));
    MakeTrx(dir / "m.trx", {{"sig", it__int16}, {"pulses", it__pulse, 1.0, "Pulse Channels"}}, 1000, v, subs);
    for (int pulse : {0, 1}) {
        fs::path out = dir / ("m" + std::to_string(pulse) + ".wav");
        CTSInterface::SMessage m = Export((dir / "m.trx").string(), out, {.conv = 1, .pulse = pulse});
        ASSERT_EQ(m.uState, 23u) << m.sText.c_str();
        Bytes b = ReadFile(out);
        ASSERT_EQ(b.size(), 46u + 200);
        for (std::size_t i = 0; i < 100; ++i) {
            const int pulseBit = pulse && (i % 10) < 5 ? 1 : 0;
            EXPECT_EQ(Le16(b, 46 + 2 * i), std::int16_t((i * 10) | std::size_t(pulseBit))) << pulse << " " << i;
        }
    }
}

TEST_F(WavExport, AFailedWriteLeavesNoPartialOutputAndAnotherJobsFileAlone)
{
    MakeTrx(dir / "w.trx", {{"a", it__int16}}, 1000, Sine(50000, 1, 20000, 1000));
    const fs::path out = dir / "w.wav";
    const CString failed = CString::Formatted(Text(11).c_str(), out.c_str());
    const Bytes theirs{'t', 'h', 'e', 'i', 'r', 's'};
    int yes = 1, conv = 1;
    for (bool old : {false, true}) {
        for (bool swap : {false, true}) {
            // The disk fills after the header (one write by the drain, five
            // chunk writes by the old-header path): the first sample block
            // fails. With swap, another job has just put its own file there.
            WriteFile(dir / "other.wav", theirs);
            const int header = old ? 5 : 1;
            std::atomic<int> writes{0};
            FileSystem::CScopedFileFault full([&](FileSystem::EOp op, const std::string& path) {
                if (op != FileSystem::EOp::Write || path != out.string() || ++writes <= header)
                    return 0;
                if (swap && writes == header + 1)
                    fs::rename(dir / "other.wav", out);
                return ENOSPC;
            });
            CTSInterface::SMessage m = RunAsync([&](CTSInterface& ts) {
                return old ? ts.ExportWAVTachoOldHeader((dir / "w.trx").c_str(), 1, 2, out.c_str(), &yes, &conv,
                                                        nullptr, nullptr)
                           : ts.ExportWAV((dir / "w.trx").c_str(), 1, 2, out.c_str(), &yes, &conv, nullptr, nullptr,
                                          nullptr, nullptr, nullptr);
            });
            EXPECT_EQ(m.uState, 24u) << old << swap;
            EXPECT_EQ(m.sText, failed) << old << swap;
            if (swap)
                EXPECT_EQ(ReadFile(out), theirs) << old;
            else
                EXPECT_FALSE(fs::exists(out)) << old;
            fs::remove(out);
        }
    }
}
