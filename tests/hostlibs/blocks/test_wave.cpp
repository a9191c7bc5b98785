// The WAVE drain: layout, samples read back by an independent reader,
// scaling paths, pulse bits, and its error codes.
#include "BlockTestUtil.h"
#include "platform/FileSystem.h"

#include <gtest/gtest.h>
#include "tests/common/PeerTools.h"
#include "tests/common/Python.h"
#include "tests/common/TempDir.h"

#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {
using tessel::test::ReadFile;

// A little-endian field of `width` bytes in a file's bytes; samples are signed.
std::uint32_t LE(const std::string& b, std::size_t o, int width)
{
    std::uint32_t v = 0;
    for (int k = width - 1; k >= 0; --k)
        v = v << 8 | std::uint8_t(b[o + std::size_t(k)]);
    return v;
}
std::int32_t Sample(const std::string& b, std::size_t index, int bytes)
{
    const std::int32_t v = std::int32_t(LE(b, 46 + index * std::size_t(bytes), bytes)), sign = 1 << (8 * bytes - 1);
    return v & sign ? v - 2 * sign : v;
}

bool WriteWave(const std::string& path, SStreamFormat fmt, CTestSource::ValueFn fn, CTestSource::PulseFn pulse,
               std::function<bool(CSPMWaveDrain&)> setup, int* error = nullptr, std::uint64_t failAt = ~0ull)
{
    auto* src = new CTestSource(std::move(fmt), std::move(fn), std::move(pulse), 1000);
    src->nFailAtScan = failAt;
    CSPMWaveDrain* drain = CSPMWaveDrain::CreateObject(path.c_str());
    bool ok = setup(*drain);
    src->Output(0)->ConnectInput(drain->Input(0));
    ok = ok && RunNetwork(drain);
    if (error)
        *error = drain->GetErrorCode();
    drain->Destroy(true);
    src->Destroy(true);
    return ok;
}

// What libsndfile's reader (python3-soundfile) finds in a file: subtype,
// channels, rate, frames and every sample; empty subtype when the tool is
// missing.
struct SSoundfile {
    std::string subtype;
    int channels = 0, rate = 0, frames = 0;
    std::vector<long long> samples;
};
SSoundfile SoundfileRead(const std::string& path, const char* dtype)
{
    SSoundfile r;
    if (!tessel::test::HavePython("soundfile"))
        return r;
    std::string out;
    tessel::test::RunCommand(tessel::test::kPython + " -c \"import soundfile as sf,sys\n"
                             "d,r=sf.read(sys.argv[1],dtype='" + std::string(dtype) + "',always_2d=True)\n"
                             "i=sf.info(sys.argv[1])\n"
                             "print(i.subtype,i.channels,r,len(d))\n"
                             "print(' '.join(str(int(v)) for v in d.flatten()))\" '" + path + "' 2>&1",
                             &out);
    std::istringstream in(out);
    in >> r.subtype >> r.channels >> r.rate >> r.frames;
    for (long long v; in >> v;)
        r.samples.push_back(v);
    return r;
}
} // namespace

TEST(WaveDrain, HeaderHoldsTheSizesAtBytes4And42AndSoundfileReadsTheSamples)
{
    const std::string path = TempPath("scaled16.wav");
    const double V = 2.0;
    // Values that land on known codes of x / V * 32768: exact, ties, beyond full scale.
    std::vector<float> ch0{0.0f, 1.0f, -1.0f, 2.0f, -2.0f, 2.5f, float(1.5 / 32768 * 2), float(-0.5 / 32768 * 2), 0.25f};
    std::vector<std::int32_t> want0{0, 16384, -16384, 32767, -32768, 32767, 2, 0, 4096};
    std::vector<std::int32_t> want1{0, -8192, 8192, -16384, 16384, -20480, -1, 0, -2048};   // -x / 2
    SStreamFormat fmt = MakeFormat(44100, ch0.size(), 2);
    ASSERT_TRUE(WriteWave(path, fmt,
                          [&](std::size_t c, std::uint64_t i) { return c == 0 ? ch0[i] : -ch0[i] * 0.5f; }, nullptr,
                          [&](CSPMWaveDrain& d) { return d.SetParameters(false, false, false, V, 0, false); }));
    // soundfile checks the chunk tags and the format; the sizes, byte rate
    // and block alignment, which it does not need, are checked here.
    auto b = ReadFile(path);
    ASSERT_EQ(b.size(), 46u + ch0.size() * 4);
    EXPECT_EQ(LE(b, 4, 4), b.size() - 8);
    EXPECT_EQ(LE(b, 16, 4), 18u);
    EXPECT_EQ(LE(b, 28, 4), 44100u * 4);
    EXPECT_EQ(LE(b, 32, 2), 4);
    EXPECT_EQ(LE(b, 42, 4), ch0.size() * 4);

    const SSoundfile sf = SoundfileRead(path, "int16");
    if (sf.subtype.empty())
        TESSEL_SKIP_OR_FAIL("python3-soundfile not available");
    EXPECT_EQ(sf.subtype, "PCM_16");
    EXPECT_EQ(sf.channels, 2);
    EXPECT_EQ(sf.rate, 44100);
    ASSERT_EQ(sf.frames, int(ch0.size()));
    ASSERT_EQ(sf.samples.size(), 2 * ch0.size());
    for (std::size_t i = 0; i < ch0.size(); ++i) {
        EXPECT_EQ(sf.samples[2 * i], want0[i]) << i;
        EXPECT_EQ(sf.samples[2 * i + 1], want1[i]) << i;
    }
}

// Independent readers of the drain's 24-bit files: the WAVE export tests.
TEST(WaveDrain, OneToOneUsesEachChannelsOwnFullScaleAndPulsesGoIntoTheLowBit)
{
    const std::string path = TempPath("oneToOne24.wav");
    SStreamFormat fmt = MakeFormat(48000, 64, 2, 2);
    fmt.channels[0].iOriginType = 3; // 16-bit channel, factor 0.01: full scale 327.68
    fmt.channels[0].dOriginFactor = 0.01;
    fmt.channels[1].iOriginType = 10; // float channel with calibration 20 dB: full scale 2*sqrt(2)*10
    fmt.channels[1].fCalibration = 20.0f;
    const double fs1 = 2 * std::sqrt(2.0) * 10.0;
    auto value = [&](std::size_t c, std::uint64_t i) {
        return c == 0 ? float(0.01 * (double(i) * 100 - 3200)) : float(fs1 * (double(i) - 32) / 64.0);
    };
    auto pulse = [](std::uint64_t i) { return std::uint8_t(((i / 4) & 1) | (((i / 8) & 1) << 1)); };
    ASSERT_TRUE(WriteWave(path, fmt, value, pulse, [](CSPMWaveDrain& d) { return d.SetParameters(false, false, true, 0.0, 2, true); }));
    auto b = ReadFile(path);
    ASSERT_EQ(LE(b, 34, 2), 24);
    ASSERT_EQ(LE(b, 42, 4), 64u * 6);
    for (std::uint64_t i = 0; i < 64; ++i) {
        std::int32_t s0 = Sample(b, i * 2, 3), s1 = Sample(b, i * 2 + 1, 3);
        // The 16-bit code, moved to 24 bits, and its bit 8 replaced by the pulse.
        std::int32_t code = std::int32_t(i) * 100 - 3200;
        EXPECT_EQ(s0 & ~0x100, (code * 256) & ~0x100) << i;
        EXPECT_EQ((s0 >> 8) & 1, int((i / 4) & 1)) << i;
        std::int32_t want1 = std::int32_t(std::lrint((double(i) - 32) / 64.0 * 8388608));
        EXPECT_NEAR(s1 & ~0x100, want1 & ~0x100, 1) << i; // the float input itself carries 1e-7
        EXPECT_EQ((s1 >> 8) & 1, int((i / 8) & 1)) << i;
    }
}

TEST(WaveDrain, SixteenBitPulsesUseBitZeroAndTheReferencePulseFillsTheOtherChannels)
{
    const std::string path = TempPath("bnr16.wav");
    SStreamFormat fmt = MakeFormat(8000, 32, 3, 1);
    auto pulse = [](std::uint64_t i) { return std::uint8_t((i % 5) == 0); };
    ASSERT_TRUE(WriteWave(path, fmt, [](std::size_t, std::uint64_t) { return 0.5f; }, pulse, [](CSPMWaveDrain& d) {
        return d.SetParameters(false, false, false, 1.0, 1, false) && d.SetParametersBNRSubChannel(0, 1, 94.0);
    }));
    auto b = ReadFile(path);
    for (std::uint64_t i = 0; i < 32; ++i)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(Sample(b, i * 3 + std::size_t(c), 2), 16384 | int(i % 5 == 0)) << i << " " << c;
}

TEST(WaveDrain, ErrorCodesTellWhatFailedAndNoPartialFileStays)
{
    SStreamFormat fmt = MakeFormat(1000, 5000, 1);
    auto zero = [](std::size_t, std::uint64_t) { return 0.0f; };
    auto plain = [](CSPMWaveDrain& d) { return d.SetParameters(false, false, false, 1.0, 0, false); };
    int err = -1;
    std::string dir = TempPath("no_such_dir");
    EXPECT_FALSE(WriteWave(dir + "/x.wav", fmt, zero, nullptr, plain, &err));
    EXPECT_EQ(err, CSPMWaveDrain::eOpen);

    std::string path = TempPath("broken.wav");
    EXPECT_FALSE(WriteWave(path, fmt, zero, nullptr, plain, &err, 2500));
    EXPECT_EQ(err, CSPMWaveDrain::eRun);
    struct stat st;
    EXPECT_NE(::stat(path.c_str(), &st), 0) << "partial file left behind";

    SStreamFormat none = MakeFormat(1000, 10, 0);
    EXPECT_FALSE(WriteWave(path, none, zero, nullptr, plain, &err));
    EXPECT_EQ(err, CSPMWaveDrain::eInit);

    std::unique_ptr<CSPMWaveDrain> d(CSPMWaveDrain::CreateObject(path.c_str()));
    EXPECT_FALSE(d->SetParameters(false, false, false, 0.0, 0, false)); // no full scale
    EXPECT_FALSE(d->SetParameters(false, false, true, 0.0, -1, false));
    EXPECT_FALSE(d->SetParametersBNRSubChannel(8, 1, 0.0));  // no ninth bit in a pulse byte
}

// A file that exists is someone else's, held open or not.
TEST(WaveDrain, AFileAnotherWriterHoldsIsNeitherEmptiedNorTakenOver)
{
    SStreamFormat fmt = MakeFormat(1000, 5000, 1);
    auto plain = [](CSPMWaveDrain& d) { return d.SetParameters(false, false, false, 1.0, 0, false); };
    const std::string path = TempPath("held.wav");
    {
        // Another job is writing this file: the drain must not touch it.
        std::ofstream(path, std::ios::binary) << "another job's samples";
        FileSystem::CFile holder;
        ASSERT_TRUE(holder.Open(path.c_str(), true, FileSystem::EShare::None));
        int err = -1;
        EXPECT_FALSE(WriteWave(path, fmt, [](std::size_t, std::uint64_t) { return 0.0f; }, nullptr, plain, &err));
        EXPECT_EQ(err, CSPMWaveDrain::eOpen);
        EXPECT_EQ(ReadFile(path), "another job's samples");
    }
    // The drain makes its file new; a replaceable one is gone before it runs.
    ::unlink(path.c_str());
    // And while the drain writes, nobody else of ours may create the file.
    unsigned seenByOther = FileSystem::kErrorNone;
    auto probe = [&](std::size_t, std::uint64_t i) {
        if (i == 2500) {
            FileSystem::CFile other;
            if (!other.Create(path.c_str(), FileSystem::EShare::None)) seenByOther = other.GetError().uCode;
        }
        return 0.0f;
    };
    ASSERT_TRUE(WriteWave(path, fmt, probe, nullptr, plain));
    EXPECT_EQ(seenByOther, FileSystem::kErrorSharingViolation);
    EXPECT_EQ(ReadFile(path).size(), 46u + 5000 * 2) << "the drain's file is whole";
}

TEST(WaveDrain, EmptySignalGivesAValidEmptyFile)
{
    std::string path = TempPath("empty.wav");
    ASSERT_TRUE(WriteWave(path, MakeFormat(1000, 0, 1), nullptr, nullptr,
                          [](CSPMWaveDrain& d) { return d.SetParameters(false, true, false, 1.0, 0, false); }));
    auto b = ReadFile(path);
    ASSERT_EQ(b.size(), 46u);
    EXPECT_EQ(LE(b, 4, 4), 38u);
    EXPECT_EQ(LE(b, 42, 4), 0u);
}
