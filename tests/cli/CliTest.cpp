// The `tessel` command run as a user runs it: exit statuses, texts on the
// right stream, several inputs as asynchronous jobs, settings that persist
// and options that override them for one call, and `info`.

#include "hostlibs/dataset/Dataset.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct SResult {
    int status = -1;
    std::string out, err;
};

std::string Slurp(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / ("tessel_cli_" + std::to_string(::getpid()) + "_" + info->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "config");
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs `tessel ARGS` in the scratch directory with its own configuration.
    SResult Tessel(const std::string& args)
    {
        const std::string cmd = "cd '" + dir.string() + "' && TESSEL_CONFIG_DIR='" + (dir / "config").string() +
                                "' '" + std::string(TESSEL_BINARY_DIR) + "/tessel' " + args + " >'" +
                                (dir / "stdout").string() + "' 2>'" + (dir / "stderr").string() + "'";
        SResult r;
        int rc = std::system(cmd.c_str());
        r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
        r.out = Slurp(dir / "stdout");
        r.err = Slurp(dir / "stderr");
        return r;
    }

    // A 16-bit PCM WAVE file from the published layout.
    void MakeWave(const fs::path& p, int channels, int frames, std::uint32_t dataSizeField = 0)
    {
        std::string b = "RIFF____WAVEfmt ";
        auto put16 = [&](unsigned v) { b += char(v & 0xFF); b += char(v >> 8 & 0xFF); };
        auto put32 = [&](std::uint32_t v) { put16(v & 0xFFFF); put16(v >> 16); };
        put32(16);
        put16(1);
        put16(unsigned(channels));
        put32(8000);
        put32(8000u * 2 * unsigned(channels));
        put16(unsigned(2 * channels));
        put16(16);
        b += "data";
        const std::uint32_t n = std::uint32_t(2 * channels * frames);
        put32(dataSizeField ? dataSizeField : n);
        for (int i = 0; i < channels * frames; ++i)
            put16(unsigned(std::int16_t(1000 * std::sin(i * 0.01))) & 0xFFFF);
        const std::uint32_t riff = std::uint32_t(b.size() - 8);
        for (int i = 0; i < 4; ++i)
            b[std::size_t(4 + i)] = char(riff >> (8 * i));
        std::ofstream(p, std::ios::binary) << b;
    }

    fs::path dir;
};

}  // namespace

TEST_F(Cli, ExitStatusesAndHelp)
{
    EXPECT_EQ(Tessel("--help").status, 0);
    EXPECT_EQ(Tessel("import wav --help").status, 0);
    SResult h = Tessel("export wav --help");
    EXPECT_EQ(h.status, 0);
    EXPECT_NE(h.out.find("--conversion"), std::string::npos);
    EXPECT_EQ(Tessel("").status, 2);
    EXPECT_EQ(Tessel("frobnicate").status, 2);
    EXPECT_EQ(Tessel("import wav").status, 2);                     // no input
    EXPECT_EQ(Tessel("import wav a.wav --bogus").status, 2);
    EXPECT_EQ(Tessel("import wav a.wav --overwrite --no-overwrite").status, 2);
    EXPECT_EQ(Tessel("export wav a.trx --loop").status, 2);          // --loop needs --fade
    EXPECT_EQ(Tessel("export wav a.trx --24bit --16bit").status, 2);
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
    // The same input twice: the second start is refused while the first runs.
    SResult d = Tessel("import wav a.wav a.wav -o out --overwrite");
    EXPECT_EQ(d.status, 1);
    EXPECT_NE(d.err.find("Conversion has already been started."), std::string::npos) << d.err;
}

TEST_F(Cli, SettingsPersistAndOptionsOverrideThemForOneCall)
{
    MakeWave(dir / "s.wav", 1, 100);
    ASSERT_EQ(Tessel("settings set m_bPascalWAVImport 1").status, 0);
    ASSERT_EQ(Tessel("settings set m_fInputRangeWAVImport 5").status, 0);
    ASSERT_EQ(Tessel("settings set m_sUnitWAVImport V").status, 0);
    SResult show = Tessel("settings show");
    EXPECT_NE(show.out.find("m_bPascalWAVImport = 1\n"), std::string::npos) << show.out;
    EXPECT_NE(show.out.find("m_sUnitWAVImport = \"V\"\n"), std::string::npos);

    ASSERT_EQ(Tessel("import wav s.wav").status, 0);  // one input, synchronous, derived output
    SResult info = Tessel("info s.dat --json");
    ASSERT_EQ(info.status, 0) << info.err;
    nlohmann::json j = nlohmann::json::parse(info.out);
    EXPECT_EQ(j["channels"][0]["unit"], "V");
    EXPECT_NEAR(j["channels"][0]["mapping"]["factor"].get<double>(), std::sqrt(2.0) * 5 / 32768, 1e-15);

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

TEST_F(Cli, InfoDescribesADataSet)
{
    // A channel name with the degree sign (byte 0xB0 inside).
    CAbscissaList abscissas;
    abscissas.Add(CAbscissa("Time", "t", CQuantity("time"), CUnit("s", 1), 0.5, 0.001, 0, df__linear));
    CChannelList channels;
    map__dct m;
    m.m_dFactor = 0.25;
    m.m_dOffset = 1.5;
    channels.Add(CChannel("Temp \xB0" "C", "T", CQuantity("temperature"), CUnit("\xB0" "C", 1), it__int16, 3, 1.0,
                          1.0, &m));
    channels.Add(CChannel("pulses", "p", CQuantity("pressure"), CUnit("Pa", 1), it__pulse, 4));
    {
        CDataset ds((dir / "i.trx").c_str(), abscissas, channels, dk__time, ds__dorg_interleaved, 0, 65536,
                    sh__deny_write);
        std::vector<double> v{1, 0, 2, 1, 3, 0};
        ds.CreateAccess(am__readwrite, CChNbrList{0, 1}, 0, 0L, -1L, mk__raw)
            ->SetData(3, v.data(), ds__dorg_interleaved, it__double);
        ds.SetComment("c");
        ds.AddSubChannel(CSubChannel(sc__pulse, 1, 1, "speed", "n", CQuantity("RPM"), CUnit("rpm", 1)));
        ds.Close();
    }
    SResult r = Tessel("info i.trx --json");
    ASSERT_EQ(r.status, 0) << r.err;
    nlohmann::json j = nlohmann::json::parse(r.out);
    for (const char* k : {"kind", "title", "comment", "date", "organisation", "data_offset", "abscissas", "channels",
                          "subchannels"})
        EXPECT_TRUE(j.contains(k)) << k;
    EXPECT_EQ(j["kind"], 1);
    EXPECT_EQ(j["comment"], "c");
    const auto& a = j["abscissas"][0];
    for (const char* k : {"name", "abbreviation", "quantity", "unit", "first", "delta", "scans", "distribution",
                          "impl_type"})
        EXPECT_TRUE(a.contains(k)) << k;
    EXPECT_EQ(a["scans"], 3);
    EXPECT_EQ(a["first"], 0.5);
    const auto& c = j["channels"][0];
    for (const char* k : {"index", "name", "abbreviation", "title", "quantity", "unit", "impl_type", "number",
                          "mapping", "calibration", "delta_headroom", "sampling_rate"})
        EXPECT_TRUE(c.contains(k)) << k;
    EXPECT_EQ(c["name"], "Temp \xC2\xB0" "C");
    EXPECT_EQ(c["unit"], "\xC2\xB0" "C");
    EXPECT_EQ(c["number"], 3);
    EXPECT_EQ(c["mapping"]["factor"], 0.25);
    EXPECT_EQ(c["mapping"]["offset"], 1.5);
    EXPECT_DOUBLE_EQ(c["sampling_rate"].get<double>(), 1000.0);
    const auto& s = j["subchannels"][0];
    for (const char* k : {"type", "id", "parent", "bitmask", "name", "unit", "pulse_factor"})
        EXPECT_TRUE(s.contains(k)) << k;
    EXPECT_EQ(s["parent"], 1);
    EXPECT_EQ(s["name"], "speed");

    SResult text = Tessel("info i.trx");
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("Temp \xC2\xB0" "C"), std::string::npos);
    SResult bad = Tessel("info nothing.trx");
    EXPECT_EQ(bad.status, 1);
    EXPECT_FALSE(bad.err.empty());
}
