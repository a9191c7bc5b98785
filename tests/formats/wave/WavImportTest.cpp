// The WAVE import: files written by sox, ffmpeg and libsndfile come in with
// exactly their stored samples times the mapping factor; malformed headers
// get their results; failures leave no output behind.

#include "tests/common/PeerTools.h"
#include "formats/wave/WavImport.h"
#include "formats/wave/WaveFormat.h"
#include "interface/TSInterface.h"
#include "platform/FileSystem.h"
#include "settings/TSSettings.h"

#include "WaveTestUtil.h"
#include "tests/common/WriteFailure.h"

#include <atomic>
#include <cmath>
#include <sstream>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace wavetest;

namespace {

class WavImport : public CWaveTest {
protected:
    void TearDown() override
    {
        CThreadWAVImport::SetBufferLimitForTests(0);
        CWaveTest::TearDown();
    }

    // Synchronous import; returns the record.
    CTSInterface::SMessage Import(const fs::path& in, const fs::path& out, const int* overwrite = nullptr)
    {
        CTSInterface::SMessage msg;
        unsigned rc = CTSInterface().ImportWAV(in.c_str(), 7, 8, out.c_str(), overwrite, &msg);
        EXPECT_EQ(rc, 0u);
        return msg;
    }
};

// The stored value of a sample that libsndfile returns left-justified in 32 bits.
double StoredValue(std::int32_t v, int bytes) { return double(v >> (bytes == 4 ? 0 : bytes == 3 ? 8 : 16)); }

struct ToolCase {
    const char* tool;     // "sox", "ffmpeg", "soundfile"
    int bits;
    int channels;
};

std::string Describe(const ToolCase& c)
{
    return std::string(c.tool) + "_" + std::to_string(c.bits) + "bit_" + std::to_string(c.channels) + "ch";
}

const ToolCase kToolCases[] = {
    {"soundfile", 8, 1}, {"soundfile", 16, 2}, {"soundfile", 24, 4}, {"soundfile", 32, 2}, {"sox", 8, 2},
    {"sox", 16, 1},      {"sox", 24, 2},       {"sox", 32, 4},       {"ffmpeg", 8, 1},     {"ffmpeg", 16, 2},
};
constexpr int kToolRate = 11025;
constexpr int kToolFrames = 3001;  // odd: 8-bit mono data chunks get a pad byte

// Every tool file and its samples as decoded by libsndfile, made once for
// the suite (one Python start-up for all of them).
class WavImportFromTools : public WavImport, public ::testing::WithParamInterface<ToolCase> {
public:
    // The files are made once per build tree and kept: ctest runs every
    // test in a process of its own. A lock keeps parallel runs apart.
    static void SetUpTestSuite()
    {
        s_dir = fs::path(TESSEL_BINARY_DIR) / "test-data" / "wave-tools-1";
        fs::create_directories(s_dir);
        if (fs::exists(s_dir / "done") || !HaveSoundfile())
            return;
        int lock = ::open((s_dir / "lock").c_str(), O_CREAT | O_RDWR, 0644);
        if (lock >= 0)
            ::flock(lock, LOCK_EX);
        if (!fs::exists(s_dir / "done"))
            MakeToolFiles();
        if (lock >= 0)
            ::close(lock);
    }

    static void MakeToolFiles()
    {
        std::string makes, ints;
        for (const ToolCase& c : kToolCases) {
            const std::string wav = (s_dir / (Describe(c) + ".wav")).string();
            const std::string tool = c.tool;
            const std::string rate = std::to_string(kToolRate), ch = std::to_string(c.channels);
            fs::remove(wav);
            if (tool == "soundfile") {
                const char* sub =
                    c.bits == 8 ? "PCM_U8" : c.bits == 16 ? "PCM_16" : c.bits == 24 ? "PCM_24" : "PCM_32";
                makes += "make " + wav + " " + sub + " " + ch + " " + rate + " " + std::to_string(kToolFrames) + "\n";
            } else if (tool == "sox" && HaveProgram("sox")) {
                // wavpcm: the plain PCM record even for more than 16 bits or 2 channels.
                Shell("sox -n -r " + rate + " -c " + ch + " -b " + std::to_string(c.bits) +
                      (c.bits == 8 ? " -e unsigned-integer" : " -e signed-integer") + " -t wavpcm " + wav +
                      " synth " + std::to_string(kToolFrames) + "s sine 300-2000 gain -0.1");
            } else if (tool == "ffmpeg" && HaveProgram("ffmpeg")) {
                // Overdriven, so that both ends of the range occur.
                Shell("ffmpeg -v error -y -f lavfi -i 'sine=f=440:sample_rate=" + rate + ":d=1' -af volume=8 -ac " +
                      ch + " -c:a " + (c.bits == 8 ? "pcm_u8" : "pcm_s16le") + " -t " +
                      std::to_string(double(kToolFrames) / kToolRate) + " " + wav);
            }
            ints += "ints " + wav + " " + wav + ".ints\n";
        }
        std::ofstream((s_dir / "make.txt").string()) << makes;
        Shell(kPython + " " + ToolPath() + " batch " + (s_dir / "make.txt").string());
        // A file a tool failed to make leaves the rest of the batch alone.
        std::string present;
        std::istringstream lines(ints);
        for (std::string line; std::getline(lines, line);)
            if (fs::exists(line.substr(5, line.find(' ', 5) - 5)))
                present += line + "\n";
        std::ofstream((s_dir / "ints.txt").string()) << present;
        if (Shell(kPython + " " + ToolPath() + " batch " + (s_dir / "ints.txt").string()) == 0)
            std::ofstream((s_dir / "done").string()) << "\n";
    }
    static fs::path s_dir;
};
fs::path WavImportFromTools::s_dir;

void PrintTo(const ToolCase& c, std::ostream* os) { *os << Describe(c); }

}  // namespace

TEST_P(WavImportFromTools, PhysicalValuesAreStoredSamplesTimesTheFactor)
{
    const ToolCase c = GetParam();
    if (!fs::exists(s_dir / "done"))
        TESSEL_SKIP_OR_FAIL("python3-soundfile is not installed");
    if (std::string(c.tool) != "soundfile" && !HaveProgram(c.tool))
        TESSEL_SKIP_OR_FAIL(c.tool << " is not installed");
    const fs::path wav = s_dir / (Describe(c) + ".wav");
    ASSERT_TRUE(fs::exists(wav)) << "the tool did not make " << wav;
    std::vector<std::int32_t> ref = ReadInts(wav.string() + ".ints");
    ASSERT_FALSE(ref.empty());
    ASSERT_EQ(ref.size() % std::size_t(c.channels), 0u);

    CTSSettings::m_bPascalWAVImport = 0;
    CTSSettings::m_fCalibrationWAVImport = 94.0f;
    fs::path out = dir / "out.dat";
    CTSInterface::SMessage msg = Import(wav, out);
    ASSERT_EQ(msg.uState, 21u) << msg.sText.c_str();
    EXPECT_EQ(msg.sText, Text(2));

    const int bytes = c.bits / 8;
    // 94 dB: a full-scale sine peaks at 2.835143 Pa (twice the 1.41757 Pa
    // peak of a 94 dB re 20 µPa sine), spread over 32768, 8388607.5 or
    // 2147483647.5 steps.
    const double M = bytes <= 2 ? 8.652170203661399e-05 : bytes == 3 ? 3.3797541872542815e-07 : 1.3202164010125564e-09;
    {
        CDataset ds(out.c_str(), om__read, 32768, sh__deny_write);
        ASSERT_EQ(ds.GetNbrOfChannels(), c.channels);
        EXPECT_EQ(ds.GetKind(), dk__time);
        EXPECT_EQ(ds.GetComment(), "Imported from WAVE file format.");
        CAbscissa a = ds.GetAbscissa(0);
        EXPECT_EQ(a.GetUnit().GetText(), "s");
        EXPECT_DOUBLE_EQ(a.GetDeltaValue(), 1.0 / kToolRate);
        EXPECT_EQ(a.GetNbrOfScans(), long(ref.size()) / c.channels);
        for (int i = 0; i < c.channels; ++i) {
            CChannel ch = ds.GetChannel(i);
            EXPECT_EQ(ch.GetImplType(), bytes <= 2 ? it__int16 : bytes == 3 ? it__int24 : it__int32);
            EXPECT_NEAR(ch.GetMapping().GetFactor(), M, 1e-14 * M);
        }
    }
    std::vector<double> got = ReadDataset(out);
    ASSERT_EQ(got.size(), ref.size());
    std::size_t bad = 0;
    for (std::size_t i = 0; i < ref.size(); ++i)
        if (std::fabs(got[i] - StoredValue(ref[i], bytes) * M) > 1e-12 * std::fabs(StoredValue(ref[i], bytes) * M))
            ++bad;
    EXPECT_EQ(bad, 0u) << "first value " << got[0] << " expected " << StoredValue(ref[0], bytes) * M;
}

INSTANTIATE_TEST_SUITE_P(Tools, WavImportFromTools, ::testing::ValuesIn(kToolCases),
                         [](const auto& info) { return Describe(info.param); });

TEST_F(WavImport, HeaderWalk)
{
    Bytes samples{1, 0, 2, 0, 3, 0, 4, 0};
    struct Case {
        const char* what;
        WaveSpec layout;
        unsigned expect;
    };
    WaveSpec ok;
    ok.data = samples;
    auto with = [&](void (*change)(WaveSpec&)) {
        WaveSpec s = ok;
        change(s);
        return s;
    };
    std::vector<Case> cases = {
        {"plain", ok, 2},
        {"chunk before fmt", with([](WaveSpec& s) { s.junkFirst = true; }), 2},
        {"LIST between fmt and data", with([](WaveSpec& s) { s.listBetween = true; }), 2},
        {"fmt of 18 bytes", with([](WaveSpec& s) { s.fmtSize = 18; }), 2},
        {"fmt of 17 bytes", with([](WaveSpec& s) { s.fmtSize = 17; }), 2},  // odd chunk with pad byte
        {"data before fmt", with([](WaveSpec& s) { s.dataBeforeFmt = true; }), 140},
        {"fmt shorter than 16", with([](WaveSpec& s) { s.fmtSize = 14; }), 140},
    };
    for (auto [tag, ch, bits, align, rate, what] :
         std::vector<std::tuple<int, int, int, int, unsigned, const char*>>{
             {3, 1, 32, 4, 8000, "float"},
             {0xFFFE, 2, 16, 4, 8000, "extensible"},
             {1, 0, 16, 2, 8000, "0 channels"},
             {1, 257, 16, 514, 8000, "257 channels"},
             {1, 1, 0, 2, 8000, "0 bits"},
             {1, 1, 33, 5, 8000, "33 bits"},
             {1, 2, 16, 0, 8000, "block alignment 0"},
             {1, 2, 16, 3, 8000, "block alignment not a multiple of the channels"},
             {1, 1, 32, 5, 8000, "5 bytes per sample"},
             {1, 1, 16, 2, 0, "rate 0"},
         }) {
        WaveSpec s = ok;
        s.tag = std::uint16_t(tag);
        s.channels = std::uint16_t(ch);
        s.bits = std::uint16_t(bits);
        s.blockAlign = std::uint16_t(align);
        s.rate = rate;
        cases.push_back({what, s, 141});
    }
    for (const Case& c : cases) {
        fs::path in = dir / "h.wav", out = dir / "h.dat";
        fs::remove(out);
        WriteFile(in, MakeWave(c.layout));
        CTSInterface::SMessage msg = Import(in, out);
        EXPECT_EQ(msg.sText, Text(c.expect)) << c.what;
        EXPECT_EQ(msg.uState, c.expect == 2 ? 21u : 22u) << c.what;
        EXPECT_EQ(fs::exists(out), c.expect == 2) << c.what;
    }

    // Not a RIFF file, a RIFF of another form, an empty file.
    for (const Bytes& b : {Bytes{'R', 'I', 'F', 'X', 4, 0, 0, 0, 'W', 'A', 'V', 'E'},
                           Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '}, Bytes{}}) {
        WriteFile(dir / "n.wav", b);
        CTSInterface::SMessage msg = Import(dir / "n.wav", dir / "n.dat");
        EXPECT_EQ(msg.sText, Text(140));
        EXPECT_FALSE(fs::exists(dir / "n.dat"));
    }
}

TEST_F(WavImport, ShortDataImportsWholeFramesWithWarning)
{
    // Size field 400 bytes, 13 present: 3 whole stereo 16-bit frames.
    WaveSpec s{.channels = 2, .blockAlign = 4, .dataSizeField = 400};
    for (int i = 0; i < 13; ++i)
        s.data.push_back(std::uint8_t(i + 1));
    WriteFile(dir / "s.wav", MakeWave(s));
    CTSInterface::SMessage msg = Import(dir / "s.wav", dir / "s.dat");
    EXPECT_EQ(msg.uState, 21u);
    EXPECT_EQ(msg.sText, Text(143));
    {
        CDataset ds((dir / "s.dat").c_str(), om__read, 32768, sh__deny_write);
        EXPECT_EQ(ds.GetNbrOfScans(), 3);
    }
    std::vector<double> raw = ReadDataset(dir / "s.dat", {}, true);
    ASSERT_EQ(raw.size(), 6u);
    EXPECT_EQ(raw[0], double(0x0201));
    EXPECT_EQ(raw[5], double(0x0C0B));

    // An honest size with a trailing partial frame: the same warning.
    s.dataSizeField = -1;
    WriteFile(dir / "t.wav", MakeWave(s));
    msg = Import(dir / "t.wav", dir / "t.dat");
    EXPECT_EQ(msg.uState, 21u);
    EXPECT_EQ(msg.sText, Text(143));

    // Exactly whole frames: no warning. An empty data chunk proclaims a
    // recording it does not hold: the warning, and a data set without scans.
    s.data.resize(12);
    WriteFile(dir / "u.wav", MakeWave(s));
    EXPECT_EQ(Import(dir / "u.wav", dir / "u.dat").sText, Text(2));
    s.data.clear();
    WriteFile(dir / "v.wav", MakeWave(s));
    for (int limit : {0, 4096}) {  // the kernel copy and the block loop
        CThreadWAVImport::SetBufferLimitForTests(std::size_t(limit));
        s.bits = limit ? 8 : 16;
        s.blockAlign = limit ? 2 : 4;
        WriteFile(dir / "v.wav", MakeWave(s));
        msg = Import(dir / "v.wav", dir / "v.dat");
        EXPECT_EQ(msg.uState, 21u);
        EXPECT_EQ(msg.sText, Text(143)) << s.bits << " bits";
        CDataset ds((dir / "v.dat").c_str(), om__read, 32768, sh__deny_write);
        EXPECT_EQ(ds.GetNbrOfScans(), 0);
        fs::remove(dir / "v.dat");
    }
}

TEST_F(WavImport, EightBitWideningAndChannelNames)
{
    const WaveSpec s{.channels = 4, .blockAlign = 4, .bits = 8, .data = {0x80, 0xFF, 0x00, 0x81, 0x7F, 0x01, 0x80, 0x80}};
    WriteFile(dir / "e.wav", MakeWave(s));
    ASSERT_EQ(Import(dir / "e.wav", dir / "e.dat").uState, 21u);
    std::vector<double> raw = ReadDataset(dir / "e.dat", {}, true);
    std::vector<double> expect{0, 0x7F00, -32768, 0x0100, -256, -0x7F00, 0, 0};
    EXPECT_EQ(raw, expect);

    CDataset ds((dir / "e.dat").c_str(), om__read, 32768, sh__deny_write);
    std::string names;
    for (int i = 0; i < 4; ++i)
        names += std::string(ds.GetChannel(i).GetName().c_str()) + "|" + ds.GetChannel(i).GetAbbreviation().c_str() + " ";
    EXPECT_EQ(names, "Left channel|L Right channel|R channel 3|L channel 4|R ");
}

TEST_F(WavImport, CalibrationSettings)
{
    const WaveSpec s{.data = {0x00, 0x40}};  // 16384
    WriteFile(dir / "c.wav", MakeWave(s));

    // "Pascal": 94 dB.
    CTSSettings::m_bPascalWAVImport = 0;
    CTSSettings::m_fCalibrationWAVImport = 94.0f;
    ASSERT_EQ(Import(dir / "c.wav", dir / "p.dat").uState, 21u);
    // Half of full scale is the peak of a 94 dB sine: √2 · 1.0023773 Pa.
    EXPECT_NEAR(ReadDataset(dir / "p.dat")[0], 1.4175715661678836, 1e-12);
    {
        CDataset ds((dir / "p.dat").c_str(), om__read, 32768, sh__deny_write);
        EXPECT_EQ(ds.GetChannel(0).GetUnit().GetText(), "Pa");
        EXPECT_FLOAT_EQ(ds.GetChannel(0).GetCalibration(), 94.0f);
    }

    // "Other": an input range of 5 V r.m.s.
    CTSSettings::m_bPascalWAVImport = 1;
    CTSSettings::m_fInputRangeWAVImport = 5.0f;
    CTSSettings::m_sUnitWAVImport = "V";
    ASSERT_EQ(Import(dir / "c.wav", dir / "v.dat").uState, 21u);
    // Full scale is the peak of a 5 V r.m.s. sine, 5 · √2 V; half of it 5 / √2.
    EXPECT_NEAR(ReadDataset(dir / "v.dat")[0], 3.5355339059327378, 1e-12);
    {
        CDataset ds((dir / "v.dat").c_str(), om__read, 32768, sh__deny_write);
        CChannel ch = ds.GetChannel(0);
        EXPECT_EQ(ch.GetUnit().GetText(), "V");
        EXPECT_EQ(ch.GetQuantity().GetName(), "voltage");
        // 5 V over a reference of 1 V, less the 6.02 dB of the factor 2.
        EXPECT_NEAR(ch.GetCalibration(), 7.958800173440752, 1e-4);
    }

    // "Other" with a text that is no unit: the empty unit.
    CTSSettings::m_sUnitWAVImport = "no such unit";
    ASSERT_EQ(Import(dir / "c.wav", dir / "x.dat").uState, 21u);
    CDataset ds((dir / "x.dat").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_EQ(ds.GetChannel(0).GetUnit().GetText(), "");
}

TEST_F(WavImport, OutputPolicyAndInputFailures)
{
    const WaveSpec s{.data = {1, 2, 3, 4}};
    WriteFile(dir / "a.wav", MakeWave(s));

    // An existing output that may not be replaced: 8, and the file stays.
    WriteFile(dir / "keep.dat", Bytes{'k', 'e', 'e', 'p'});
    int no = 0, yes = 1;
    CTSInterface::SMessage msg = Import(dir / "a.wav", dir / "keep.dat", &no);
    EXPECT_EQ(msg.uState, 22u);
    EXPECT_EQ(msg.sText, Text(8));
    EXPECT_EQ(ReadFile(dir / "keep.dat"), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(Import(dir / "a.wav", dir / "keep.dat", &yes).uState, 21u);

    // A missing input: 10 naming it; nothing created.
    msg = Import(dir / "none.wav", dir / "none.dat");
    EXPECT_EQ(msg.uState, 22u);
    EXPECT_EQ(msg.sText, CString::Formatted(Text(10).c_str(), (dir / "none.wav").c_str()));
    EXPECT_FALSE(fs::exists(dir / "none.dat"));
    // A path longer than 260 characters is opened whole, not cut.
    fs::path deep = dir;
    while (deep.native().size() < 300)
        deep /= "a_rather_long_directory_name";
    fs::create_directories(deep);
    WriteFile(deep / "long.wav", MakeWave(s));
    EXPECT_EQ(Import(deep / "long.wav", deep / "long.dat").uState, 21u);

    // The output is the input: refused, the input untouched.
    Bytes before = ReadFile(dir / "a.wav");
    msg = Import(dir / "a.wav", dir / "a.wav", &yes);
    EXPECT_EQ(msg.uState, 22u);
    EXPECT_EQ(ReadFile(dir / "a.wav"), before);

    // A synchronous call without output: 110 and no job.
    CTSInterface::SMessage m2;
    EXPECT_EQ(CTSInterface().ImportWAV((dir / "a.wav").c_str(), 1, 2, nullptr, nullptr, &m2), 110u);
    EXPECT_FALSE(fs::exists(dir / "a.dat"));
}

TEST_F(WavImport, AFileThatTakesTheOutputNameMeanwhileIsLeftAlone)
{
    WriteFile(dir / "a.wav", MakeWave({.data = {1, 2, 3, 4}}));
    const fs::path out = dir / "a.dat";
    const Bytes theirs{'t', 'h', 'e', 'i', 'r', 's'};
    int yes = 1;
    std::atomic<int> creates{0};
    CTSInterface::SMessage msg;
    {
        // The write probe creates the output first; just before the data set
        // is made, another job puts its own file there.
        FileSystem::CScopedFileFault other([&](FileSystem::EOp op, const std::string& path) {
            if (op == FileSystem::EOp::Create && path == out.string() && ++creates == 2)
                WriteFile(out, theirs);
            return 0;
        });
        msg = Import(dir / "a.wav", out, &yes);
    }
    EXPECT_EQ(msg.uState, 22u);
    EXPECT_EQ(std::string(msg.sText.c_str()).rfind(Text(15).c_str(), 0), 0u) << msg.sText.c_str();
    EXPECT_EQ(ReadFile(out), theirs);
}

TEST_F(WavImport, DerivedOutputPath)
{
    // The rules are the output policy's; the job brings its bit and extension.
    CTSSettings::m_lStandardPathFlags = CTSSettings::bitWAVImport;
    CTSSettings::m_sPathTRX = (dir / "std").c_str();
    CThreadWAVImport job((dir / "x.y.wav").c_str(), 1, 2, nullptr, nullptr);
    EXPECT_EQ(job.GetOutputPath(), CString((dir / "std" / "x.y.dat").c_str()));
}

TEST_F(WavImport, BufferHalvingAndNoMemory)
{
    WaveSpec s{.channels = 2, .blockAlign = 4, .data = Bytes(40000 * 4)};
    for (std::size_t i = 0; i < s.data.size(); ++i)
        s.data[i] = std::uint8_t(i * 7 + 3);
    WriteFile(dir / "b.wav", MakeWave(s));
    // The smallest buffer still copies every frame.
    CThreadWAVImport::SetBufferLimitForTests(4096);
    ASSERT_EQ(Import(dir / "b.wav", dir / "b.dat").uState, 21u);
    std::vector<double> raw = ReadDataset(dir / "b.dat", {}, true);
    ASSERT_EQ(raw.size(), 80000u);
    for (std::size_t i = 0; i < raw.size(); i += 997) {
        std::int16_t v = std::int16_t(s.data[2 * i] | s.data[2 * i + 1] << 8);
        ASSERT_EQ(raw[i], double(v)) << i;
    }
    // Below 4096 bytes: 6, nothing written.
    CThreadWAVImport::SetBufferLimitForTests(2048);
    CTSInterface::SMessage msg = Import(dir / "b.wav", dir / "c.dat");
    EXPECT_EQ(msg.uState, 22u);
    EXPECT_EQ(msg.sText, Text(6));
    EXPECT_FALSE(fs::exists(dir / "c.dat"));
}

TEST_F(WavImport, WriteFailureRemovesThePartialOutput)
{
    WriteFile(dir / "big.wav", MakeWave({.channels = 2, .blockAlign = 4, .data = Bytes(4u << 20)}));
    CTSInterface::SMessage msg;
    {
        tessel::test::CFileSizeLimit full(1u << 20);
        msg = Import(dir / "big.wav", dir / "big.dat");
    }
    EXPECT_EQ(msg.uState, 22u);
    EXPECT_EQ(msg.sText, Text(12));
    EXPECT_FALSE(fs::exists(dir / "big.dat"));
}
