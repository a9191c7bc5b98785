// The `tessel` command run as a user runs it: exit statuses, texts on the
// right stream, several inputs as asynchronous jobs, settings that persist
// and options that override them for one call, and `info`.

#include "hostlibs/dataset/Dataset.h"
#include "tests/cli/CommandTest.h"
#include "tests/cli/WaveFile.h"
#include "tests/common/DatasetMaker.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <filesystem>
#include <cstring>
#include <iomanip>
#include <functional>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const auto Slurp = [](const fs::path& p) { return tessel::test::ReadFile(p); };

class Cli : public CCommandTest {
protected:
    // A 16-bit PCM WAVE file of a slow sine over the interleaved samples.
    static void MakeWave(const fs::path& p, int channels, int frames, std::uint32_t dataSizeField = 0)
    {
        tessel::test::MakeWave(p, channels, frames, [&](int f, int c) { return int(1000 * std::sin((f * channels + c) * 0.01)); },
                               8000, dataSizeField);
    }
};

}  // namespace

TEST_F(Cli, ExitStatusesAndHelp)
{
    EXPECT_EQ(Tessel("--help").status, 0);
    SResult h = Tessel("export wav --help");
    EXPECT_EQ(h.status, 0);
    EXPECT_NE(h.out.find("--conversion"), std::string::npos);
    EXPECT_EQ(Tessel("").status, 2);
    EXPECT_EQ(Tessel("frobnicate").status, 2);
    EXPECT_EQ(Tessel("import wav").status, 2);                     // no input
    EXPECT_EQ(Tessel("import wav a.wav --bogus").status, 2);
    EXPECT_EQ(Tessel("import wav a.wav --overwrite --no-overwrite").status, 2);
    EXPECT_EQ(Tessel("export wav a.trx --loop").status, 2);          // --loop needs --fade
    EXPECT_EQ(Tessel("export wav a.trx --conversion loud").status, 2);
    EXPECT_EQ(Tessel("export wav a.trx --old-header --fade 1").status, 2);
    for (const char* fade : {"inf", "nan", "-1", "1e999"})  // no length of time
        EXPECT_EQ(Tessel(std::string("export wav a.trx --fade ") + fade).status, 2) << fade;
    EXPECT_EQ(Tessel("settings set no_such_setting 1").status, 2);
    EXPECT_EQ(Tessel("settings set m_bPascalWAVImport x").status, 2);

    SResult t = Tessel("error-text 141");
    EXPECT_EQ(t.status, 0);
    EXPECT_EQ(t.out, "Data format not accepted.\nExpected:\nFormat category: 0x0001\nNumber of channels: 1 to 256\n"
                     "Sample size:  1 to 32 bit\n");
    EXPECT_EQ(Tessel("error-text 18").status, 1);  // an unused id
    // A text that ends with a line feed gets no second one.
    EXPECT_EQ(Tessel("error-text 102").out, "Invalid format of input file or invalid header information.\n");

    // A failed conversion: 1, its text on stderr, nothing on stdout.
    SResult f = Tessel("import wav missing.wav -o x.dat");
    EXPECT_EQ(f.status, 1);
    EXPECT_NE(f.err.find("File \"missing.wav\" could not be opened."), std::string::npos) << f.err;
    EXPECT_EQ(f.out, "");
    // A warning: 0, its text on stderr.
    MakeWave(dir / "short.wav", 1, 100, 1000);
    SResult w = Tessel("import wav short.wav -o short.dat");
    EXPECT_EQ(w.status, 0);
    EXPECT_NE(w.err.find("WARNING: Improper WAVE file"), std::string::npos) << w.err;
    EXPECT_TRUE(fs::exists(dir / "short.dat"));
}

TEST_F(Cli, SeveralInputsRunAsAsynchronousJobs)
{
    for (const char* n : {"a", "b", "c"})
        MakeWave(dir / (std::string(n) + ".wav"), 2, 20000);
    fs::create_directories(dir / "out");
    SResult r = Tessel("import wav a.wav b.wav c.wav -o out");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* n : {"a", "b", "c"}) {
        EXPECT_TRUE(fs::exists(dir / "out" / (std::string(n) + ".dat"))) << n;
        EXPECT_NE(r.out.find(std::string(n) + ".wav -> "), std::string::npos) << r.out;
    }
    // Each job is reported once, and the outputs name the produced files.
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3);

    // Three exports at once, one of them of a data set that does not exist:
    // the others still finish, the run fails with that one's text.
    SResult e = Tessel("export wav out/a.dat nothing.dat out/c.dat --conversion auto");
    EXPECT_EQ(e.status, 1);
    EXPECT_TRUE(fs::exists(dir / "out" / "a.WAV"));
    EXPECT_TRUE(fs::exists(dir / "out" / "c.WAV"));
    EXPECT_FALSE(fs::exists(dir / "nothing.WAV"));
    EXPECT_NE(e.err.find("nothing.dat: TRX Dataset could not be created."), std::string::npos) << e.err;

    // Quiet: nothing on stdout.
    SResult q = Tessel("import wav a.wav b.wav -o out --overwrite --quiet");
    EXPECT_EQ(q.status, 0);
    EXPECT_EQ(q.out, "");
    // Several inputs and -o that is no directory: a usage error, no job.
    SResult u = Tessel("import wav a.wav b.wav -o single.dat");
    EXPECT_EQ(u.status, 2);
    EXPECT_FALSE(fs::exists(dir / "single.dat"));
}

TEST_F(Cli, SettingsPersistAndOptionsOverrideThemForOneCall)
{
    MakeWave(dir / "s.wav", 1, 100);
    ASSERT_EQ(Tessel("settings set m_bPascalWAVImport 1").status, 0);
    ASSERT_EQ(Tessel("settings set m_fInputRangeWAVImport 2.5").status, 0);
    ASSERT_EQ(Tessel("settings set m_sUnitWAVImport V").status, 0);
    SResult show = Tessel("settings show");
    EXPECT_NE(show.out.find("m_bPascalWAVImport = 1\n"), std::string::npos) << show.out;
    EXPECT_NE(show.out.find("m_sUnitWAVImport = \"V\"\n"), std::string::npos);

    ASSERT_EQ(Tessel("import wav s.wav").status, 0);  // one input, synchronous, derived output
    SResult info = Tessel("info s.dat --json");
    ASSERT_EQ(info.status, 0) << info.err;
    nlohmann::json j = nlohmann::json::parse(info.out);
    EXPECT_EQ(j["channels"][0]["unit"], "V");
    // 2.5 V r.m.s. is 3.5355 V peak over 32768 codes.
    EXPECT_NEAR(j["channels"][0]["mapping"]["factor"].get<double>(), 1.0789593218788873e-4, 1e-15);

    // The overwrite bit of the settings, and the options that override it.
    ASSERT_EQ(Tessel("settings set m_lOverwriteFlags 0x40").status, 0);
    EXPECT_EQ(Tessel("import wav s.wav").status, 0);
    SResult no = Tessel("import wav s.wav --no-overwrite");
    EXPECT_EQ(no.status, 1);
    EXPECT_NE(no.err.find("Output file already exists"), std::string::npos);
    ASSERT_EQ(Tessel("settings set m_lOverwriteFlags 0").status, 0);
    EXPECT_EQ(Tessel("import wav s.wav").status, 1);
    EXPECT_EQ(Tessel("import wav s.wav --overwrite").status, 0);

    // Texts go in as Windows-1252 and come out as UTF-8.
    ASSERT_EQ(Tessel("settings set m_sPathTRX 'dir/\xC2\xB0' ").status, 0);
    EXPECT_NE(Tessel("settings show").out.find("m_sPathTRX = \"dir/\xC2\xB0\""), std::string::npos);
    EXPECT_EQ(Tessel("settings set m_sPathTRX '\xE2\x82\xAC\xE4\xB8\x80'").status, 2);  // no Windows-1252 byte for U+4E00

    ASSERT_EQ(Tessel("settings reset").status, 0);
    EXPECT_NE(Tessel("settings show").out.find("m_bPascalWAVImport = 0\n"), std::string::npos);
}

TEST_F(Cli, SettingsEditWithoutADisplayFailsCleanly)
{
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        ::unsetenv(v);
    SResult r = Tessel("settings edit");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("display"), std::string::npos) << r.err;
}

TEST_F(Cli, InfoDescribesADataSet)
{
    // A channel name with the degree sign (byte 0xB0 inside).
    MakeDataset((dir / "i.trx").string(),
                {{"Temp \xB0" "C", it__int16, 0.25, "", 1.5, "temperature", "\xB0" "C"}, {"pulses", it__pulse}}, 0.001,
                {1, 0, 2, 1, 3, 0}, dk__time, nullptr, {tessel::test::PulseSub(1, 1)}, 0.5);
    {
        // A comment, a tag, a physical channel number and a logarithmic
        // mapping, added the way the host would.
        CDataset ds((dir / "i.trx").c_str(), om__readwrite, 0, sh__deny_write);
        ds.SetComment("c");
        CTags t;
        t.SetValue("DOF", CTagValue("+3Z"));
        ds.SetTags("Channel0", t);
        CChannel c = ds.GetChannel(0);
        c.SetPhysChannel(3);
        ds.SetChannel(0, c);
        CChannel p = ds.GetChannel(1);
        p.SetMapping(CMapping(2e-5, 2e-4, tt__log10, 0.0, 20.0, tt__linear));
        ds.SetChannel(1, p);
        ds.Close();
    }
    SResult r = Tessel("info i.trx --json");
    ASSERT_EQ(r.status, 0) << r.err;
    nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["comment"], "c");
    EXPECT_EQ(j["complete"], true);
    EXPECT_EQ(j["scans_in_file"], 3);
    EXPECT_EQ(j["layout"]["fields"][1]["dtype"], "|u1");
    const auto& a = j["abscissas"][0];
    EXPECT_EQ(a["first"], 0.5);
    EXPECT_EQ(a["delta"], 0.001);
    const auto& c = j["channels"][0];
    EXPECT_EQ(c["name"], "Temp \xC2\xB0" "C");
    EXPECT_EQ(c["phys_channel"], 3);
    EXPECT_EQ(c["mapping"], (nlohmann::json{{"factor", 0.25}, {"offset", 1.5}}));
    EXPECT_EQ(c["tags"]["DOF"]["text"], "+3Z");
    EXPECT_DOUBLE_EQ(c["sampling_rate"].get<double>(), 1000.0);
    EXPECT_EQ(j["channels"][1]["mapping"],
              (nlohmann::json{{"x1", 2e-5}, {"x2", 2e-4}, {"type_x", 2}, {"y1", 0.0}, {"y2", 20.0}, {"type_y", 1}}));
    EXPECT_EQ(j["sub_channels"][0]["parent"], 1);

    SResult text = Tessel("info i.trx");
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("Temp \xC2\xB0" "C"), std::string::npos);
    EXPECT_NE(text.out.find("tag         DOF = +3Z"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("2e-05 <-> 0, 0.0002 <-> 20 (logarithmic physical, linear stored)"), std::string::npos)
        << text.out;
    SResult bad = Tessel("info nothing.trx");
    EXPECT_EQ(bad.status, 1);
    EXPECT_FALSE(bad.err.empty());
}

namespace {

// A text table: abscissa in steps of 1 ms, then one column of values.
void MakeTable(const fs::path& p, const std::vector<double>& values)
{
    std::ofstream f(p);
    for (std::size_t i = 0; i < values.size(); ++i)
        f << i * 0.001 << ' ' << values[i] << '\n';
}

using tessel::test::ReadDataset;

}  // namespace

TEST_F(Cli, TextTablesInAndOut)
{
    MakeTable(dir / "t.txt", {0, 0.5, -0.5, 1, -1, 0.25, 0, 0.75, -0.75, 0.125, 0, 0.5});
    SResult in = Tessel("import asc t.txt -o t.trx");
    ASSERT_EQ(in.status, 0) << in.err;
    EXPECT_NE(in.out.find("t.txt -> "), std::string::npos) << in.out;
    const std::vector<double> v = ReadDataset(dir / "t.trx", {0});
    ASSERT_EQ(v.size(), 12u);
    // 16 bits over the column's full scale: within one step of 1/32768.
    EXPECT_NEAR(v[1], 0.5, 1.0 / 32768);
    EXPECT_NEAR(v[4], -1.0, 1.0 / 32768);
    EXPECT_NEAR(v[9], 0.125, 1.0 / 32768);

    SResult out = Tessel("export asc t.trx -o t.asc --notation scientific --digits 6 --tab");
    ASSERT_EQ(out.status, 0) << out.err;
    std::istringstream lines(Slurp(dir / "t.asc"));
    std::string line;
    int n = 0;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const std::size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        EXPECT_NE(line.find('e'), std::string::npos) << "scientific: " << line;
        EXPECT_NEAR(std::strtod(line.c_str(), nullptr), n * 0.001, 1e-9) << line;
        EXPECT_NEAR(std::strtod(line.c_str() + tab + 1, nullptr), v[std::size_t(n)], 1e-6) << line;
        ++n;
    }
    EXPECT_EQ(n, 12);
    EXPECT_EQ(Tessel("export asc t.trx --digits 99").status, 2);

    // "\" is an ordinary character of a file name here.
    SResult odd = Tessel("import asc t.txt -o 'odd\\name.trx'");
    ASSERT_EQ(odd.status, 0) << odd.err;
    EXPECT_TRUE(fs::is_regular_file(dir / "odd\\name.trx"));
    EXPECT_FALSE(fs::exists(dir / "odd"));
}

TEST_F(Cli, UniversalFilesInAndOut)
{
    fs::copy_file(fs::path(TESSEL_SOURCE_DIR) / "fuzz/corpus/uff/ascii58.unv", dir / "m.unv");
    SResult in = Tessel("import uff m.unv -o m.trx");
    ASSERT_EQ(in.status, 0) << in.err;
    const std::vector<double> v = ReadDataset(dir / "m.trx", {0});
    ASSERT_EQ(v.size(), 9u);
    for (std::size_t i = 0; i < v.size(); ++i)
        EXPECT_NEAR(v[i], -2.0 + 0.5 * double(i), 1e-6) << i;

    // The form follows --binary (values through both forms: the job tests).
    for (const std::string form : {"", " --binary"}) {
        ASSERT_EQ(Tessel("export uff m.trx -o back.uff --overwrite" + form).status, 0) << form;
        EXPECT_EQ(Slurp(dir / "back.uff").find("    58b ") != std::string::npos, !form.empty()) << form;
    }
    SResult bad = Tessel("import uff t.none -o x.trx");
    EXPECT_EQ(bad.status, 1);
    EXPECT_FALSE(fs::exists(dir / "x.trx"));
}

TEST_F(Cli, TwoInputsForOneOutputAreRefusedBeforeAnyJob)
{
    fs::create_directories(dir / "c1");
    fs::create_directories(dir / "c2");
    fs::create_directories(dir / "out");
    MakeTable(dir / "c1" / "x.txt", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
    MakeTable(dir / "c2" / "x.txt", {11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0});
    SResult r = Tessel("import asc c1/x.txt c2/x.txt -o out/");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("c1/x.txt"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("c2/x.txt"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(dir / "out")) << "no job ran";
    // Outputs derived without -o meet in the standard-folder test below.
    // Different outputs still run side by side.
    EXPECT_EQ(Tessel("import asc c1/x.txt c2/x.txt").status, 0);
    EXPECT_TRUE(fs::exists(dir / "c1" / "x.trx"));
    EXPECT_TRUE(fs::exists(dir / "c2" / "x.trx"));
}

TEST_F(Cli, TwoInputsForOneStandardFolderOutputAreRefused)
{
    // Without -o the settings may send every output of a kind to one folder:
    // x.trx from a/ and from b/ then meet there.
    for (const char* sub : {"a", "b"}) {
        fs::create_directories(dir / sub);
        MakeTable(dir / sub / "x.txt", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
        ASSERT_EQ(Tessel(std::string("import asc ") + sub + "/x.txt -o " + sub + "/x.trx").status, 0);
    }
    const std::string folder = (dir / "std").string() + "/";
    ASSERT_EQ(Tessel("settings set m_lStandardPathFlags 2177").status, 0);  // ASCII export, WAVE export, ASCII import
    for (const char* key : {"m_sPathASC", "m_sPathWAV", "m_sPathTRX"})
        ASSERT_EQ(Tessel(std::string("settings set ") + key + " '" + folder + "'").status, 0);
    for (const char* call : {"export asc a/x.trx b/x.trx", "export wav 'a/x.trx|0' b/x.trx", "import asc a/x.txt b/x.txt"}) {
        SResult r = Tessel(call);
        EXPECT_EQ(r.status, 2) << call << "\n" << r.err;
        EXPECT_NE(r.err.find(folder), std::string::npos) << call << "\n" << r.err;
        EXPECT_TRUE(!fs::exists(dir / "std") || fs::is_empty(dir / "std")) << call << ": no job ran";
    }
    // One of them alone goes to the folder.
    EXPECT_EQ(Tessel("export asc a/x.trx").status, 0);
    EXPECT_TRUE(fs::exists(dir / "std" / "x.asc"));
}

// A long kernel copy (WAVE, SONY) or a long first pass through the lines (UFF) must
// look at the stop request as it goes: after the signal the command may read
// or write little more before it ends. What was read or written is watched
// from outside; a slow machine only makes the watch see less, never more.
TEST_F(Cli, InterruptStopsLongImportsWithinAFewPieces)
{
    // Bytes read so far by the whole process (every thread).
    auto readBytes = [](pid_t pid) -> long long {
        std::ifstream io("/proc/" + std::to_string(pid) + "/io");
        std::string key;
        long long v = -1;
        while (io >> key >> v)
            if (key == "rchar:") return v;
        return -1;
    };

    // WAVE: 1 GiB of 16-bit stereo samples; SONY: 1 GiB of one 16-bit
    // channel behind its LOG. Both are holes on disk.
    auto longWave = [&](const fs::path& in) {
        MakeWave(in, 2, 0);
        std::string b = Slurp(in);
        const std::uint32_t data = 1u << 30;
        const std::uint32_t riff = std::uint32_t(b.size() - 8) + data;
        std::memcpy(b.data() + 4, &riff, 4);
        std::memcpy(b.data() + b.size() - 4, &data, 4);
        std::ofstream(in, std::ios::binary) << b;
        fs::resize_file(in, b.size() + data);
    };
    auto longSony = [&](const fs::path& in) {
        std::ofstream(dir / "long.LOG", std::ios::binary)
            << "VERSION 1.02\r\nDATA_FILE REC001.BIN\r\nFORMAT 0\r\nVOLUME_CH 536870912\r\n"
               "FILE_INTVL_CH 0.001\r\nFILE_MEMO run\r\nTAPE_BC_MODE 1\r\nTAPE_SRATE_CH 48000\r\nDECIMATION 4\r\n"
               "TAPE_SPEED 2\r\nID 042\r\nDATE_TIME 990312 101500\r\nCNT_ADDRESS +12345\r\n"
               "MEMO m\r\nTRIG_MODE 0\r\nCHANNEL  1, \"A\", V, 0.001*(X)+0.0\r\n";
        std::ofstream(in, std::ios::binary).put('\0');
        fs::resize_file(in, 1ull << 30);
    };
    const struct {
        const char *kind, *input, *output;
        std::function<void(const fs::path&)> make;
    } copies[] = {{"wav", "long.wav", "long.dat", longWave}, {"sony", "long.bin", "long_sony.dat", longSony}};
    for (const auto& c : copies) {
        const fs::path in = dir / c.input, out = dir / c.output;
        c.make(in);
        const pid_t pid = Start(std::string("import ") + c.kind + " " + c.input + " -o " + c.output + " --quiet --overwrite");
        ASSERT_GT(pid, 0);
        const long long past = Interrupt(pid, [&] { return FileSize(out); }, 1);
        EXPECT_LT(past, 200LL << 20) << c.kind << ": the copy went on after the stop request";
        EXPECT_FALSE(fs::exists(out)) << c.kind << ": partial output left behind";
        fs::remove(in);
    }

    // UFF: one ASCII data set of 96 MiB of value lines.
    {
        const fs::path in = dir / "long.unv";
        const long long lines = (96LL << 20) / 79;
        {
            std::ofstream f(in, std::ios::binary);
            f << "    -1\n    58\nlong\nNONE\n12-MAR-03 14:05:09\nNONE\nNONE\n"
                 "    1         0    0         0 Bracket           74   3 NONE               0   0\n"
              << "         2" << std::setw(10) << lines * 6 << "         1  0.00000E+00  1.00000E-03  0.00000E+00\n"
              << "        17    0    0    0 Time                 s                   \n"
                 "        12    0    0    0 Accel                m/s^2               \n"
                 "        13    0    0    0 Force                N                   \n"
                 "         0    0    0    0 NONE                 NONE                \n";
            std::string block;
            for (int i = 0; i < 4096; ++i)
                block += " -2.00000E+00 -1.50000E+00 -1.00000E+00 -5.00000E-01  0.00000E+00  5.00000E-01\n";
            for (long long k = 0; k < lines; k += 4096)
                f.write(block.data(), std::streamsize(std::min<long long>(4096, lines - k) * 79));
            f << "    -1\n";
        }
        const pid_t pid = Start("import uff long.unv -o long.trx --quiet --overwrite");
        ASSERT_GT(pid, 0);
        const long long past = Interrupt(pid, [&] { return readBytes(pid); }, 8LL << 20);
        EXPECT_LT(past, 24LL << 20) << "the first pass read on after the stop request";
        EXPECT_FALSE(fs::exists(dir / "long.trx")) << "partial output left behind";
    }
}

TEST_F(Cli, InterruptStopsTheExportAndRemovesItsOutput)
{
    // Large enough that the export runs for a while: 4 M scans of two channels.
    const fs::path input = dir / "big.trx";
    {
        CAbscissaList abscissas;
        abscissas.Add(CAbscissa("Time", "t", CQuantity("time"), CUnit("s", 1), 0.0, 1e-4, 0, df__linear));
        CChannelList channels;
        channels.Add(CChannel("a", "a", CQuantity("pressure"), CUnit("Pa", 1), it__int16, 1));
        channels.Add(CChannel("b", "b", CQuantity("pressure"), CUnit("Pa", 1), it__int16, 2));
        CDataset ds(input.c_str(), abscissas, channels, dk__time, ds__dorg_interleaved, 0, 65536, sh__deny_write);
        CAccess* a = ds.CreateAccess(am__readwrite, CChNbrList{0, 1}, 0, 0L, -1L, mk__raw);
        std::vector<std::int16_t> block(2 * 65536);
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = std::int16_t(i * 7919);
        for (int k = 0; k < 64; ++k) a->SetData(65536, block.data(), ds__dorg_interleaved, it__int16);
        ds.Close();
    }
    const std::string before = Slurp(input);
    for (int sig : {SIGINT, SIGTERM}) {
        const fs::path output = dir / "big.asc";
        const pid_t pid = Start("export asc big.trx -o big.asc --quiet --overwrite");
        ASSERT_GT(pid, 0);
        // Interrupted once the output is being written (the write probe makes
        // and removes an empty file of that name first).
        Interrupt(pid, [&] { return FileSize(output); }, 1, sig);
        EXPECT_FALSE(fs::exists(output)) << "partial output left behind";
        EXPECT_TRUE(Slurp(input) == before) << "the input was touched";
    }
}
