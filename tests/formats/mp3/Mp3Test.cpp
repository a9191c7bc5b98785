// MP3 import and export through the module, as a host runs them: round trips
// with the converters that ship beside the program (lame and mpg123), the
// side file checked byte for byte against the TRX layout, MP3 files of other
// encoders, and every failure with converters that fail on purpose.

#include "tests/common/ConversionTest.h"
#include "tests/common/DatasetMaker.h"
#include "tests/common/AsyncRun.h"
#include "tests/common/PeerTools.h"
#include "tests/common/Python.h"
#include "tests/common/TempDir.h"
#include "formats/mp3/Mp3Converter.h"
#include "formats/mp3/Mp3SideFile.h"
#include "frame/Cancellation.h"
#include "hostlibs/dataset/Dataset.h"
#include "interface/TSInterface.h"
#include "platform/Semaphore.h"
#include "settings/TSSettings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <optional>
#include <thread>

namespace fs = std::filesystem;
using tessel::test::HaveProgram;
using tessel::test::ReadFile;

namespace {

constexpr double kRate = 44100.0;
constexpr long kScans = 20000;  // more than two chunks of the pulse code

// The pulse bit of scan i: pulses 3 scans wide every 50 scans, a stretch
// where it toggles every scan, and a long high stretch.
int PulseAt(long i)
{
    if (i >= 9000 && i < 9400) return int(i % 2);
    if (i >= 15000 && i < 17000) return 1;
    return i % 50 < 3 ? 1 : 0;
}

// The pulse channel's byte in scan i: sub-channel "B" (bit 0) and "C" (bit 2).
int PulseByteAt(long i) { return (i % 40 < 20 ? 1 : 0) | (i % 10 == 0 ? 4 : 0); }

// Two 16-bit channels of sines; with `pulses`, bit 0 of channel 0 carries
// PulseAt and a sub-channel says so; with `pulseChannel` a third channel, a
// pulse channel, carries PulseByteAt.
void MakeSource(const fs::path& path, bool pulses, double rate = kRate, long scans = kScans, bool pulseChannel = false)
{
    std::vector<SChannelSpec> specs{{"Mic front", it__int16, 3.0e-4, "", 0.0, "pressure", "Pa"},
                                    {"Accel rear", it__int16, 0.002, "", 0.0, "acceleration", "m/s^2"}};
    if (pulseChannel) specs.push_back({"Pulses", it__pulse, 1.0, "Pulse Channels", 0.0, "index", ""});
    std::vector<double> v;
    for (long i = 0; i < scans; ++i) {
        int a = int(std::lround(8000 * std::sin(2 * M_PI * 440 * i / rate)));
        if (pulses) a = (a & ~1) | PulseAt(i);
        v.push_back(a);
        v.push_back(std::lround(5000 * std::sin(2 * M_PI * 660 * i / rate)));
        if (pulseChannel) v.push_back(PulseByteAt(i));
    }
    std::vector<CSubChannel> subs;
    if (pulses) subs.push_back(tessel::test::PulseSub(0, 1, 60.0, "Tacho"));
    if (pulseChannel) {
        subs.push_back(tessel::test::PulseSub(2, 1, 60.0, "B"));
        subs.push_back(tessel::test::PulseSub(2, 4, 60.0, "C"));
    }
    tessel::test::MakeTrx(path, specs, rate, v, subs);
    CDataset ds(path.c_str(), om__readwrite, 32768, sh__deny_write);
    ds.SetTitle("Run-up 3");
    ds.SetComment("gear 2, full load");
    ds.SetDateOfRecording(CDateTimeEx(2024, 5, 17, 9, 30, 12.0));
    for (int c = 0; c < 2; ++c) {
        CChannel ch = ds.GetChannel(c);
        ch.SetCalibration(c == 0 ? 100.5f : 20.0f);
        ds.SetChannel(c, ch);
    }
    ds.Close();
}

// The stored values of every channel, scan after scan.
std::vector<double> RawSamples(const fs::path& path) { return tessel::test::ReadDataset(path, {}, true); }

// Correlation of one channel of two interleaved sample sets of `channels`.
double Correlation(const std::vector<double>& a, const std::vector<double>& b, int channel, int channels)
{
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = std::size_t(channel); i < a.size() && i < b.size(); i += std::size_t(channels)) {
        ab += a[i] * b[i];
        aa += a[i] * a[i];
        bb += b[i] * b[i];
    }
    return ab / std::sqrt(aa * bb);
}

// A 16-bit stereo PCM WAVE file of `frames` frames of a ramp, written from
// the published layout: "RIFF" size "WAVE", "fmt " of 16 bytes (PCM, 2
// channels, rate, bytes per second, 4 bytes per frame, 16 bits), "data" size.
void WriteWave(const fs::path& p, long frames, std::uint32_t rate)
{
    const std::uint32_t bytes = std::uint32_t(frames) * 4;
    const std::uint32_t head[] = {0x46464952, 36 + bytes, 0x45564157, 0x20746d66, 16, 0x00020001,
                                  rate,       rate * 4,   0x00100004, 0x61746164, bytes};
    std::string out(reinterpret_cast<const char*>(head), sizeof head);
    for (long i = 0; i < frames; ++i) {
        const std::int16_t v[2] = {std::int16_t(i * 3), std::int16_t(-i)};
        out.append(reinterpret_cast<const char*>(v), sizeof v);
    }
    tessel::test::WriteFile(p, out);
}

class Mp3 : public tessel::test::CConversionTest {
protected:
    Mp3() : CConversionTest("mp3") {}
    void SetUp() override
    {
        CConversionTest::SetUp();
        // The jobs' temporary files go to a folder of the test's own, so that
        // a file left behind shows.
        tmp = dir / "tmp";
        fs::create_directories(tmp);
        tmpdir.emplace("TMPDIR", tmp.string());
    }
    void TearDown() override
    {
        Mp3Converter::SetDirectoryForTests(nullptr);
        tmpdir.reset();
        CConversionTest::TearDown();
    }

    bool HaveConverters()
    {
        return HaveProgram("lame") && HaveProgram("mpg123") && fs::exists(fs::path(TESSEL_BINARY_DIR) / "WaveToMP3.bat");
    }

    // Converters that fail on purpose, in a folder of their own.
    void FakeConverters(const std::string& body, bool executable = true)
    {
        const fs::path fake = dir / "fake";
        fs::create_directories(fake);
        for (const char* name : {"WaveToMP3.bat", "MP3ToWave.bat"}) {
            tessel::test::WriteFile(fake / name, "#!/bin/sh\n" + body + "\n");
            fs::permissions(fake / name, executable ? fs::perms(0755) : fs::perms(0644));
        }
        Mp3Converter::SetDirectoryForTests(fake.c_str());
    }

    bool TmpIsEmpty() { return fs::is_empty(tmp); }
    // Files in the test's folder whose names start with `stem` and a dot
    // (an output, its side file, or the side file made aside).
    int Leftovers(const std::string& stem)
    {
        int n = 0;
        for (const auto& e : fs::directory_iterator(dir)) n += e.path().filename().string().rfind(stem + ".", 0) == 0;
        return n;
    }

    // Asynchronous, as a host starts it, waiting for its message.
    CTSInterface::SMessage Export(const fs::path& in, const fs::path& out, int overwrite = 1)
    {
        return tessel::test::RunAsync([&] { return CTSInterface().ExportMP3(in.c_str(), 5, 6, out.c_str(), &overwrite); });
    }
    CTSInterface::SMessage Import(const fs::path& in, const fs::path& out, int overwrite = 1)
    {
        CTSInterface::SMessage msg;
        CTSInterface ts;
        EXPECT_EQ(ts.ImportMP3(in.c_str(), 7, 8, out.c_str(), &overwrite, &msg), 0u);
        return msg;
    }
    std::string Text(unsigned id) { return CTSInterface().GetErrorText(id).str(); }

    fs::path tmp;
    std::optional<ScopedEnv> tmpdir;
};

// The pulse channel is not in the MP3; the bits of its sub-channels come
// back from the side file into a pulse channel of the new data set.
TEST_F(Mp3, RoundTripKeepsDescriptionAndExactPulseBits)
{
    if (!HaveConverters()) TESSEL_SKIP_OR_FAIL("lame or mpg123 is not installed");
    MakeSource(dir / "src.trx", true, kRate, kScans, true);
    const std::string before = ReadFile(dir / "src.trx");

    const CTSInterface::SMessage ex = Export(dir / "src.trx", dir / "run.mp3");
    ASSERT_EQ(ex.uState, 27u) << ex.sText.str();
    EXPECT_EQ(ex.lID, 5);
    // An independent reader sees an MP3 stream of the source's layout.
    if (!HaveProgram("ffprobe")) TESSEL_SKIP_OR_FAIL("ffprobe is not installed");
    std::string probe;
    tessel::test::RunCommand("ffprobe -v error -show_entries stream=codec_name,sample_rate,channels -of "
                             "default=noprint_wrappers=1 '" + (dir / "run.mp3").string() + "'", &probe);
    EXPECT_EQ(probe, "codec_name=mp3\nsample_rate=44100\nchannels=2\n");

    // Synchronous import, then asynchronous into a second file: the same.
    const CTSInterface::SMessage im = Import(dir / "run.mp3", dir / "back.trx");
    ASSERT_EQ(im.uState, 25u) << im.sText.str();
    EXPECT_EQ(im.sText.str().find(Text(108)), std::string::npos) << im.sText.str();
    int one = 1;
    const CTSInterface::SMessage im2 = tessel::test::RunAsync(
        [&] { return CTSInterface().ImportMP3((dir / "run.mp3").c_str(), 1, 2, (dir / "back2.trx").c_str(), &one, nullptr); });
    ASSERT_EQ(im2.uState, 25u) << im2.sText.str();
    EXPECT_EQ(ReadFile(dir / "back.trx"), ReadFile(dir / "back2.trx"));
    EXPECT_TRUE(TmpIsEmpty());
    EXPECT_EQ(ReadFile(dir / "src.trx"), before);

    CDataset src((dir / "src.trx").c_str(), om__read, 32768, sh__deny_write);
    CDataset back((dir / "back.trx").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_EQ(back.GetTitle(), "Run-up 3");
    EXPECT_EQ(back.GetComment(), "gear 2, full load");
    EXPECT_TRUE(back.GetDateOfRecording() == src.GetDateOfRecording());
    ASSERT_EQ(back.GetNbrOfChannels(), 3);
    EXPECT_EQ(back.GetChannel(2).GetImplType(), it__pulse);
    for (int c = 0; c < 3; ++c) {
        const CChannel a = src.GetChannel(c), b = back.GetChannel(c);
        EXPECT_EQ(b.GetName(), a.GetName());
        EXPECT_EQ(b.GetAbbreviation(), a.GetAbbreviation());
        EXPECT_EQ(b.GetUnit().GetText(), a.GetUnit().GetText());
        EXPECT_EQ(b.GetQuantity().GetName(), a.GetQuantity().GetName());
        EXPECT_EQ(b.GetCalibration(), a.GetCalibration());
        EXPECT_EQ(b.GetMapping().GetFactor(), a.GetMapping().GetFactor());
    }
    ASSERT_EQ(back.GetNbrOfSubChannels(), 3);
    const struct {
        const char* name;
        int parent;
        unsigned mask;
    } subs[] = {{"Tacho", 0, 1}, {"B", 2, 1}, {"C", 2, 4}};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(back.GetSubChannel(k).GetName(), subs[k].name);
        EXPECT_EQ(back.GetSubChannel(k).GetParentChannelID(), subs[k].parent);
        EXPECT_EQ(back.GetSubChannel(k).GetBitmask(), subs[k].mask);
    }
    ASSERT_EQ(back.GetNbrOfScans(), kScans);
    EXPECT_EQ(fs::file_size(dir / "back.trx"), std::uintmax_t(back.GetStartOfDataInFile() + kScans * 5));

    const std::vector<double> s = RawSamples(dir / "src.trx"), b = RawSamples(dir / "back.trx");
    long wrong = 0;
    for (long i = 0; i < kScans; ++i)
        if ((int(b[std::size_t(3 * i)]) & 1) != PulseAt(i) || b[std::size_t(3 * i + 2)] != PulseByteAt(i)) ++wrong;
    EXPECT_EQ(wrong, 0);
    // The sound itself went through MP3: close, not equal.
    EXPECT_GT(Correlation(s, b, 0, 3), 0.99);
    EXPECT_GT(Correlation(s, b, 1, 3), 0.99);
}

TEST_F(Mp3, DecodedLengthIsCutToTheSourceButNeverExtended)
{
    MakeSource(dir / "src.trx", true, kRate, 3000);
    std::string error;
    ASSERT_TRUE(Mp3SideFile::Write((dir / "src.trx").c_str(), (dir / "x.mp3").c_str(),
                                   (dir / "x.MP3Plus").c_str(), error, nullptr))
        << error;
    std::ofstream(dir / "x.mp3") << "MP3 data, as far as the fake decoder cares";
    for (long frames : {4152L, 2000L}) {
        SCOPED_TRACE(frames);
        WriteWave(dir / "decoded.wav", frames, 44100);
        FakeConverters("cat '" + (dir / "decoded.wav").string() + "' > \"$2\"");
        const CTSInterface::SMessage im = Import(dir / "x.mp3", dir / "x.dat");
        ASSERT_EQ(im.uState, 25u) << im.sText.str();
        CDataset ds((dir / "x.dat").c_str(), om__read, 32768, sh__deny_write);
        const long scans = std::min(frames, 3000L);
        ASSERT_EQ(ds.GetNbrOfScans(), scans);
        EXPECT_EQ(fs::file_size(dir / "x.dat"), std::uintmax_t(ds.GetStartOfDataInFile() + scans * 4));
        EXPECT_EQ(ds.GetChannel(1).GetName(), "Accel rear");
        const std::vector<double> v = RawSamples(dir / "x.dat");
        long wrong = 0;
        for (long i = 0; i < scans; ++i) {
            // Bit 0 of channel 0 is the pulse; the other bits and channel 1 are the WAVE file's.
            if ((int(v[std::size_t(2 * i)]) & 1) != PulseAt(i)) ++wrong;
            if ((int(v[std::size_t(2 * i)]) & ~1) != (std::int16_t(i * 3) & ~1)) ++wrong;
            if (v[std::size_t(2 * i + 1)] != std::int16_t(-i)) ++wrong;
        }
        EXPECT_EQ(wrong, 0);
    }
    EXPECT_TRUE(TmpIsEmpty());
}

TEST_F(Mp3, PulseBitsGoInWithTheSamplesInPiecesOfAnySize)
{
    MakeSource(dir / "src.trx", true);
    std::string error;
    ASSERT_TRUE(Mp3SideFile::Write((dir / "src.trx").c_str(), (dir / "x.mp3").c_str(),
                                   (dir / "x.MP3Plus").c_str(), error, nullptr))
        << error;
    {
        // Pieces that end inside chunks, one scan past the source's end.
        Mp3SideFile::CRestore restore;
        ASSERT_TRUE(restore.Open((dir / "x.mp3").c_str()));
        ASSERT_TRUE(restore.Accepts(2));
        std::vector<std::int16_t> samples(2 * (kScans + 1), 0x7FFE);
        long first = 0;
        for (long n : {1L, 8190L, 5000L, 6809L, 1L}) {
            ASSERT_TRUE(restore.Filter(samples.data() + 2 * first, 2, first, n)) << restore.FilterError();
            first += n;
        }
        long wrong = 0;
        for (long i = 0; i <= kScans; ++i)
            if (samples[std::size_t(2 * i)] != (i < kScans ? 0x7FFE | PulseAt(i) : 0x7FFE) ||
                samples[std::size_t(2 * i + 1)] != 0x7FFE)
                ++wrong;
        EXPECT_EQ(wrong, 0);
    }
    {
        // A code cut short fails in the chunk where it ends.
        const std::string side = ReadFile(dir / "x.MP3Plus");
        tessel::test::WriteFile(dir / "x.MP3Plus", side.substr(0, side.size() - 40));
        Mp3SideFile::CRestore restore;
        ASSERT_TRUE(restore.Open((dir / "x.mp3").c_str()));
        ASSERT_TRUE(restore.Accepts(2));
        std::vector<std::int16_t> samples(2 * kScans, 0);
        EXPECT_FALSE(restore.Filter(samples.data(), 2, 0, kScans));
        EXPECT_NE(restore.FilterError().find("the pulse-bit code ends in the chunk at scan 16384"), std::string::npos)
            << restore.FilterError();
    }
    // Sub-channels of a pulse channel wait for the data set made anew.
    MakeSource(dir / "src.trx", true, kRate, 100, true);
    ASSERT_TRUE(Mp3SideFile::Write((dir / "src.trx").c_str(), (dir / "x.mp3").c_str(),
                                   (dir / "x.MP3Plus").c_str(), error, nullptr));
    Mp3SideFile::CRestore restore;
    ASSERT_TRUE(restore.Open((dir / "x.mp3").c_str()));
    EXPECT_FALSE(restore.Accepts(2));
}

TEST_F(Mp3, Mp3OfAnotherEncoderImportsAsPlainWave)
{
    if (!HaveConverters()) TESSEL_SKIP_OR_FAIL("lame or mpg123 is not installed");
    if (!HaveProgram("ffmpeg")) TESSEL_SKIP_OR_FAIL("ffmpeg is not installed");
    const fs::path mp3 = dir / "tone.mp3";
    ASSERT_EQ(std::system(("ffmpeg -v error -f lavfi -i sine=frequency=1000:sample_rate=22050:duration=0.5 "
                           "-ac 2 -c:a libmp3lame -b:a 128k '" + mp3.string() + "'")
                              .c_str()),
              0);
    const CTSInterface::SMessage im = Import(mp3, dir / "tone.dat");
    ASSERT_EQ(im.uState, 25u) << im.sText.str();
    CDataset ds((dir / "tone.dat").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_EQ(ds.GetComment(), "Imported from WAVE file format.");
    ASSERT_EQ(ds.GetNbrOfChannels(), 2);
    EXPECT_EQ(ds.GetChannel(0).GetName(), "Left channel");
    EXPECT_EQ(ds.GetChannel(1).GetName(), "Right channel");
    EXPECT_EQ(ds.GetNbrOfSubChannels(), 0);
    EXPECT_DOUBLE_EQ(ds.GetSamplingRate(0), 22050.0);
    // Half a second, give or take a frame of the coder.
    EXPECT_NEAR(ds.GetNbrOfScans(), 11025, 1152);
    EXPECT_TRUE(TmpIsEmpty());

    // The shipped decoder writes a reserved empty file in place and replaces
    // one with other contents: either way the bytes of mpg123 alone.
    const std::string q = "'" + mp3.string() + "' '" + (dir / "d.wav").string() + "'";
    const std::string script = "'" + (fs::path(TESSEL_BINARY_DIR) / "MP3ToWave.bat").string() + "' ";
    ASSERT_EQ(std::system(("mpg123 --quiet -w '" + (dir / "m.wav").string() + "' '" + mp3.string() + "'").c_str()), 0);
    for (const char* before : {": >", "head -c 300000 /dev/urandom >"}) {
        ASSERT_EQ(std::system((std::string(before) + " '" + (dir / "d.wav").string() + "' && " + script + q).c_str()), 0);
        EXPECT_EQ(ReadFile(dir / "d.wav"), ReadFile(dir / "m.wav")) << before;
    }
}

TEST_F(Mp3, ConverterFailuresLeaveNothingBehind)
{
    MakeSource(dir / "src.trx", true);
    const std::string before = ReadFile(dir / "src.trx");
    tessel::test::WriteFile(dir / "in.mp3", "not really an MP3");
    // The decoder is judged by the WAVE file it leaves: one that cannot be
    // started is 106; one that ran and made nothing fails the WAVE import.
    struct SCase {
        const char* what;
        std::string body;
        bool executable;
        unsigned importText;
    };
    for (const SCase& c : {SCase{"exit status 1", "exit 1", true, 140}, SCase{"not executable", "exit 0", false, 106},
                           SCase{"killed by a signal", "kill -9 $$", true, 140}}) {
        SCOPED_TRACE(c.what);
        FakeConverters(c.body, c.executable);
        const CTSInterface::SMessage ex = Export(dir / "src.trx", dir / "out.mp3");
        EXPECT_EQ(ex.uState, 28u);
        EXPECT_EQ(ex.sText.str().rfind(Text(106), 0), 0u) << ex.sText.str();
        const CTSInterface::SMessage im = Import(dir / "in.mp3", dir / "in.dat");
        EXPECT_EQ(im.uState, 26u);
        EXPECT_EQ(im.sText.str().rfind(Text(c.importText), 0), 0u) << im.sText.str();
        EXPECT_EQ(Leftovers("out") + Leftovers("in"), 1);  // in.mp3
        EXPECT_TRUE(TmpIsEmpty());
        EXPECT_EQ(ReadFile(dir / "src.trx"), before);
        EXPECT_EQ(ReadFile(dir / "in.mp3"), "not really an MP3");
    }

    // The encoder gets the WAVE file, the MP3 name and the rate.
    FakeConverters("printf '%s\\n' \"$#\" \"$3\" > '" + (dir / "args").string() +
                   "'; head -c 4 \"$1\" > \"$2\"; exit 0");
    const CTSInterface::SMessage ok = Export(dir / "src.trx", dir / "fake.mp3");
    EXPECT_EQ(ok.uState, 27u) << ok.sText.str();
    EXPECT_EQ(ReadFile(dir / "args"), "3\n44100\n");
    EXPECT_EQ(ReadFile(dir / "fake.mp3"), "RIFF");
    EXPECT_TRUE(TmpIsEmpty());
}

TEST_F(Mp3, InterruptionEndsTheConverterAndItsChildren)
{
    MakeSource(dir / "src.trx", false, kRate, 2000);
    const fs::path marker = dir / "still-running";
    // The shell's child must end too: it would otherwise write its marker.
    FakeConverters("sleep 2; touch '" + marker.string() + "'");
    const auto start = std::chrono::steady_clock::now();
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        JobCancellation::Request(15);
    });
    const CTSInterface::SMessage m = Export(dir / "src.trx", dir / "out.mp3");
    stopper.join();
    JobCancellation::Clear();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1900));
    EXPECT_EQ(m.uState, 28u);
    EXPECT_NE(m.sText.str().find(JobCancellation::kInterruptedText), std::string::npos) << m.sText.str();
    EXPECT_FALSE(fs::exists(dir / "out.mp3"));
    EXPECT_TRUE(TmpIsEmpty());
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    EXPECT_FALSE(fs::exists(marker));
}

TEST_F(Mp3, RefusalsAndSideFileFailures)
{
    MakeSource(dir / "src.trx", true);
    CTSInterface::SMessage m = Export(dir / "none.trx", dir / "none.mp3");
    EXPECT_EQ(m.uState, 28u);
    EXPECT_EQ(m.sText.str(), Text(19));

    // An output that may not be replaced stays as it is.
    std::ofstream(dir / "kept.mp3") << "keep";
    m = Export(dir / "src.trx", dir / "kept.mp3", 0);
    EXPECT_EQ(m.uState, 28u);
    EXPECT_EQ(m.sText.str(), Text(8));
    std::ofstream(dir / "kept.dat") << "keep";
    m = Import(dir / "kept.mp3", dir / "kept.dat", 0);
    EXPECT_EQ(m.uState, 26u);
    EXPECT_EQ(m.sText.str(), Text(8));
    EXPECT_EQ(ReadFile(dir / "kept.mp3"), "keep");
    EXPECT_EQ(ReadFile(dir / "kept.dat"), "keep");

    if (!HaveConverters()) TESSEL_SKIP_OR_FAIL("lame or mpg123 is not installed");
    // A rate MP3 cannot hold is refused by the encoder rather than resampled.
    MakeSource(dir / "odd.trx", false, 51200.0, 5000);
    m = Export(dir / "odd.trx", dir / "odd.mp3");
    EXPECT_EQ(m.uState, 28u);
    EXPECT_EQ(m.sText.str().rfind(Text(106), 0), 0u);
    EXPECT_FALSE(fs::exists(dir / "odd.mp3"));

    // The side file cannot be written: no MP3 either.
    fs::create_directories(dir / "blocked.MP3Plus");
    m = Export(dir / "src.trx", dir / "blocked.mp3");
    EXPECT_EQ(m.uState, 28u);
    EXPECT_EQ(m.sText.str().rfind(Text(107), 0), 0u) << m.sText.str();
    EXPECT_EQ(Leftovers("blocked"), 1);
    EXPECT_TRUE(fs::is_empty(dir / "blocked.MP3Plus"));

    // A damaged side file: 108, no data set, the MP3 and its side file untouched.
    ASSERT_EQ(Export(dir / "src.trx", dir / "cut.mp3").uState, 27u);
    const std::string side = ReadFile(dir / "cut.MP3Plus");
    std::ofstream(dir / "cut.MP3Plus", std::ios::binary) << side.substr(0, side.size() - 40);
    const std::string mp3 = ReadFile(dir / "cut.mp3");
    m = Import(dir / "cut.mp3", dir / "cut.dat");
    EXPECT_EQ(m.uState, 26u);
    EXPECT_EQ(m.sText.str().rfind(Text(108), 0), 0u) << m.sText.str();
    EXPECT_FALSE(fs::exists(dir / "cut.dat"));
    EXPECT_EQ(ReadFile(dir / "cut.mp3"), mp3);
    EXPECT_EQ(ReadFile(dir / "cut.MP3Plus").size(), side.size() - 40);
    // Not a side file at all.
    std::ofstream(dir / "cut.MP3Plus") << "something else entirely";
    m = Import(dir / "cut.mp3", dir / "cut.dat");
    EXPECT_EQ(m.sText.str().rfind(Text(108), 0), 0u) << m.sText.str();
    EXPECT_TRUE(TmpIsEmpty());
}

TEST_F(Mp3, OneConversionAtATime)
{
    MakeSource(dir / "src.trx", false, kRate, 2000);
    FakeConverters("head -c 4 \"$1\" > \"$2\"; exit 0");
    // While another process holds the one unit, the export waits for it.
    CSemaphore single(1, 1, "ThreadTSSingleAccess");
    ASSERT_TRUE(single.Lock(0));
    bool madeWhileHeld = true;
    std::thread holder([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        madeWhileHeld = fs::exists(dir / "o.mp3");
        single.Unlock();
    });
    const CTSInterface::SMessage m = Export(dir / "src.trx", dir / "o.mp3");
    holder.join();
    EXPECT_FALSE(madeWhileHeld);
    EXPECT_EQ(m.uState, 27u) << m.sText.str();
}

// The command line, on a data set without sub-channels: its side file holds
// the banner and the TRX header only.
TEST_F(Mp3, CommandLineAndASideFileWithoutSubChannels)
{
    if (!HaveConverters()) TESSEL_SKIP_OR_FAIL("lame or mpg123 is not installed");
    const std::string tessel = std::string(TESSEL_BINARY_DIR) + "/tessel";
    MakeSource(dir / "cli.trx", false, kRate, 3000);
    const std::string q = "'" + dir.string() + "/";
    ASSERT_EQ(std::system((tessel + " export mp3 " + q + "cli.trx' --quiet").c_str()), 0);
    // The header ends where the layout's field at offset 16 says the samples begin.
    const std::string trx = ReadFile(dir / "cli.trx");
    std::uint64_t start = 0;
    for (int k = 7; k >= 0; --k) start = start * 256 + std::uint8_t(trx[std::size_t(16 + k)]);
    ASSERT_GT(start, 24u);
    EXPECT_EQ(ReadFile(dir / "cli.MP3Plus"), "Orvano additional data for " + (dir / "cli.MP3").string() + "\r\n" +
                                                 trx.substr(0, std::size_t(start)));
    ASSERT_EQ(std::system((tessel + " import mp3 " + q + "cli.MP3' -o " + q + "cli2.dat' --quiet").c_str()), 0);
    CDataset ds((dir / "cli2.dat").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_EQ(ds.GetTitle(), "Run-up 3");
    EXPECT_EQ(ds.GetNbrOfScans(), 3000);
    EXPECT_TRUE(TmpIsEmpty());
}

}  // namespace
