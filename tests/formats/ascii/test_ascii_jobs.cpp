// The ASCII import and export jobs as the host runs them: outcome codes and
// texts, output naming, and the exact text of exported tables.

#include "AsciiTestUtil.h"
#include "tests/common/BandDataset.h"

#include "hostlibs/dataset/Dataset.h"
#include "tests/common/WriteFailure.h"

#include <cerrno>
#include <cmath>
#include <complex>
#include <sys/stat.h>
#include <thread>

using namespace ascii_test;

namespace {

using AsciiJobs = CAsciiTest;

std::string Table(int lines)
{
    std::string s;
    for (int i = 0; i < lines; ++i) s += std::to_string(i * 0.1) + " " + std::to_string(i % 7) + "\n";
    return s;
}

} // namespace

// ---- import -------------------------------------------------------------------

TEST_F(AsciiJobs, ImportOutcomes)
{
    WriteFile(dir / "a.txt", Table(12));
    // Derived output: the input with ".trx".
    CTSInterface::SMessage msg = RunImport(dir / "a.txt", nullptr, nullptr);
    EXPECT_EQ(msg.uState, 1u) << msg.sText.c_str();
    EXPECT_EQ(msg.sText, "Conversion successfully completed.");
    EXPECT_TRUE(Exists(dir / "a.trx"));

    // The output exists and may not be replaced.
    int no = 0;
    msg = RunImport(dir / "a.txt", (dir / "a.trx").c_str(), &no);
    EXPECT_EQ(msg.uState, 2u);
    EXPECT_EQ(msg.sText.str(),
              "Output file already exists and may not be overwritten. (Overwriting can be enabled by the settings).");
    EXPECT_TRUE(Exists(dir / "a.trx"));

    // A failed conversion leaves no output; its text has no trailing line feed.
    WriteFile(dir / "b.txt", "1\n");
    int yes = 1;
    msg = RunImport(dir / "b.txt", (dir / "sub/b.trx").c_str(), &yes);
    EXPECT_EQ(msg.uState, 2u);
    EXPECT_EQ(msg.sText, "Found to less numbers in file (1*1).");
    EXPECT_FALSE(Exists(dir / "sub/b.trx"));
    EXPECT_TRUE(Exists(dir / "sub")); // the output directory was made first

    // Never over the input.
    msg = RunImport(dir / "a.txt", (dir / "a.txt").c_str(), &yes);
    EXPECT_EQ(msg.uState, 2u);
    EXPECT_EQ(ReadFile(dir / "a.txt"), Table(12));
}

TEST_F(AsciiJobs, ImportOutputNaming)
{
    // The rules are the output policy's; the job brings its bits and extension.
    CTSSettings::m_lStandardPathFlags = CTSSettings::bitASCImport;
    CTSSettings::m_lOverwriteFlags = CTSSettings::bitASCImport;
    CTSSettings::m_sPathTRX = (dir / "std").c_str();
    CThreadASCImport job((dir / "a.txt").c_str(), 1, 0, nullptr, nullptr);
    EXPECT_EQ(job.m_sOutput.str(), dir / "std/a.trx");
    EXPECT_EQ(job.m_bOverwrite, 1);
}

// ---- export -------------------------------------------------------------------

namespace {

std::vector<SChannelSpec> ThreeChannels()
{
    SChannelSpec a{"a", "Pa", it__float, {1.5, -2.25, 0.0}};
    SChannelSpec b{"b", "V", it__float, {100.0, 0.125, -7.0}};
    SChannelSpec c{"c", "m/s", it__double, {1e-3, 2e5, 3.0}};
    return {a, b, c};
}

} // namespace

TEST_F(AsciiJobs, ExportLayoutsFollowTheOptions)
{
    MakeTrx(dir / "t.trx", ThreeChannels(), 0.0, 0.5);
    // No output given: the input with ".asc".
    SExportOptions fixedTab{1, 4, 1}; // notation, digits, tab
    CTSInterface::SMessage msg = RunExport(dir / "t.trx", nullptr, fixedTab);
    ASSERT_EQ(msg.uState, 3u) << msg.sText.c_str();
    EXPECT_EQ(msg.sText, "Conversion successfully completed.");
    EXPECT_EQ(ReadFile(dir / "t.asc"), "0.0000\t1.5000\t100.0000\t0.0010\t\r\n"
                                       "0.5000\t-2.2500\t0.1250\t200000.0000\t\r\n"
                                       "1.0000\t0.0000\t-7.0000\t3.0000\t\r\n");
    SExportOptions scientific{2, 6};
    scientific.header = "Run 4\nmicrophones";
    struct SCase {
        SExportOptions o;
        std::vector<std::string> lines;
    };
    const SCase cases[] = {
        {scientific,
         {"Run 4", "microphones", "", "+0.000000e+00 +1.500000e+00 +1.000000e+02 +1.000000e-03 ",
          "+5.000000e-01 -2.250000e+00 +1.250000e-01 +2.000000e+05 ",
          "+1.000000e+00 +0.000000e+00 -7.000000e+00 +3.000000e+00 "}},
        // Decimal comma: no "+" on this path, nothing replaced without a point.
        {{0, 6, 1, 1}, {"0\t1,5\t100\t0,001\t", "0,5\t-2,25\t0,125\t200000\t", "1\t0\t-7\t3\t"}},
    };
    int serial = 0;
    for (const SCase& c : cases) {
        const std::string out = dir / ("o" + std::to_string(++serial) + ".txt");
        msg = RunExport(dir / "t.trx", out.c_str(), c.o);
        ASSERT_EQ(msg.uState, 3u) << msg.sText.c_str();
        EXPECT_EQ(SplitLines(ReadFile(out)), c.lines) << serial;
    }
}

TEST_F(AsciiJobs, ExportComplexNotationsAnddB)
{
    // A spectrum with one complex channel: 3+4i, -1, 2i.
    SChannelSpec z{"z", "Pa", it__cfloat, {3, 4, -1, 0, 0, 2}};
    MakeTrx(dir / "z.trx", {z}, 0.0, 10.0, dk__spectrum, 0, nullptr, "Hz", "frequency");
    // Complex as magnitude/phase in radians, re/im, magnitude/degrees, magnitude
    // alone; dB takes only the magnitude column, 20·log10(|z| / 2e-5) for pascals.
    const struct {
        int complex, dB;
        std::size_t line;
        const char* text;
    } cases[] = {
        {3, 0, 1, "10.0000\t1.0000\t3.1416\t"},   {3, 0, 2, "20.0000\t2.0000\t1.5708\t"},
        {1, 0, 0, "0.0000\t3.0000\t4.0000\t"},    {2, 0, 2, "20.0000\t2.0000\t90.0000\t"},
        {0, 0, 0, "0.0000\t5.0000\t"},            {3, 1, 0, "0.0000\t107.9588\t0.9273\t"},
    };
    for (const auto& c : cases) {
        SExportOptions o{1, 4, 1, 0, c.complex, c.dB}; // notation, digits, tab, comma, complex, dB
        ASSERT_EQ(RunExport(dir / "z.trx", (dir / "z.txt").c_str(), o).uState, 3u);
        EXPECT_EQ(SplitLines(ReadFile(dir / "z.txt")).at(c.line), c.text) << c.complex << " " << c.dB;
    }
}

TEST_F(AsciiJobs, ExportLeavesOutChannelsOfAnotherRate)
{
    // Channel 0 twice per scan, channel 1 once, channel 2 twice.
    SChannelSpec a{"fast", "Pa", it__float, {0, 1, 2, 3, 4, 5}};
    SChannelSpec b{"slow", "Pa", it__float, {10, 20, 30}};
    SChannelSpec c{"fast2", "Pa", it__float, {-0.0, -1, -2, -3, -4, -5}};
    CChNbrList pattern{0, 1, 2, 0, 2};
    MakeTrx(dir / "p.trx", {a, b, c}, 0.0, 1.0, dk__time, 0, &pattern);
    SExportOptions o{1, 1, 1}; // notation, digits, tab
    CTSInterface::SMessage msg = RunExport(dir / "p.trx", (dir / "p.txt").c_str(), o);
    ASSERT_EQ(msg.uState, 3u) << msg.sText.c_str();
    std::vector<std::string> lines = SplitLines(ReadFile(dir / "p.txt"));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "0.0\t0.0\t-0.0\t");
    EXPECT_EQ(lines[5], "2.5\t5.0\t-5.0\t");
}

TEST_F(AsciiJobs, ExportMatrices)
{
    // Two abscissas (3 values × 2 rows) and two channels.
    SChannelSpec a{"a", "Pa", it__float, {1, 2, 3, 4, 5, 6}};
    SChannelSpec b{"b", "Pa", it__float, {-1, -2, -3, -4, -5, -6}};
    MakeTrx(dir / "m.trx", {a, b}, 100.0, 50.0, dk__spectrum, 2, nullptr, "Hz", "frequency");
    SExportOptions o{1, 1, 1}; // notation, digits, tab
    CTSInterface::SMessage msg = RunExport(dir / "m.trx", (dir / "m.txt").c_str(), o);
    ASSERT_EQ(msg.uState, 3u) << msg.sText.c_str();
    EXPECT_EQ(ReadFile(dir / "m.txt"), " \t100.0\t150.0\t200.0\t\r\n"
                                       "10.0\t1.0\t2.0\t3.0\t\r\n"
                                       "10.5\t4.0\t5.0\t6.0\t\r\n"
                                       "\r\n\r\n\r\n"
                                       " \t100.0\t150.0\t200.0\t\r\n"
                                       "10.0\t-1.0\t-2.0\t-3.0\t\r\n"
                                       "10.5\t-4.0\t-5.0\t-6.0\t\r\n"
                                       "\r\n\r\n\r\n");
}

TEST_F(AsciiJobs, ExportFailures)
{
    MakeTrx(dir / "t.trx", ThreeChannels(), 0.0, 0.5);
    WriteFile(dir / "t.asc", "keep");
    SExportOptions o;
    o.overwrite = 0;
    CTSInterface::SMessage msg = RunExport(dir / "t.trx", nullptr, o);
    EXPECT_EQ(msg.uState, 4u);
    EXPECT_EQ(msg.sText.str(),
              "Output file already exists and may not be overwritten. (Overwriting can be enabled by the settings).");
    EXPECT_EQ(ReadFile(dir / "t.asc"), "keep");

    o.overwrite = 1;
    SChannelSpec pulses{"tacho", "Pa", it__float, {0, 1, 0}, "Pulse Channels"};
    MakeTrx(dir / "p.trx", {pulses}, 0.0, 1.0);
    msg = RunExport(dir / "p.trx", (dir / "p.txt").c_str(), o);
    EXPECT_EQ(msg.uState, 4u);
    EXPECT_EQ(msg.sText, "TRX Dataset contains no exportable channels.");
    EXPECT_FALSE(Exists(dir / "p.txt"));

    // The output cannot be created: a directory stands in its place.
    std::filesystem::create_directory(dir / "d.txt");
    msg = RunExport(dir / "t.trx", (dir / "d.txt").c_str(), o);
    EXPECT_EQ(msg.uState, 4u);
}

TEST_F(AsciiJobs, ExportOptionsFromSettings)
{
    // Fixed notation, two digits, tabs, decimal comma; the standard folder,
    // where an older table may be replaced.
    MakeTrx(dir / "t.trx", ThreeChannels(), 0.0, 0.5);
    CTSSettings::m_iNumberNotationASCExport = 1;
    CTSSettings::m_nNbrOfDigitsASCExport = 2;
    CTSSettings::m_bSeparatorASCExport = 1;
    CTSSettings::m_bUseCommaASCExport = 1;
    CTSSettings::m_lOverwriteFlags = CTSSettings::bitASCExport;
    CTSSettings::m_lStandardPathFlags = CTSSettings::bitASCExport;
    CTSSettings::m_sPathASC = (dir / "out/").c_str();
    std::filesystem::create_directory(dir / "out");
    WriteFile(dir / "out/t.asc", "older");
    CTSInterface::SMessage msg;
    ASSERT_EQ(CThreadManager::RunSync(new CThreadASCExport((dir / "t.trx").c_str(), 1, 2, nullptr, nullptr, nullptr,
                                                           nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
                                      &msg),
              0u);
    ASSERT_EQ(msg.uState, 3u) << msg.sText.c_str();
    EXPECT_EQ(ReadFile(dir / "out/t.asc"), "0,00\t1,50\t100,00\t0,00\t\r\n"
                                           "0,50\t-2,25\t0,12\t200000,00\t\r\n"
                                           "1,00\t0,00\t-7,00\t3,00\t\r\n");
}

TEST_F(AsciiJobs, ExportdBLeavesLevelsAsTheyAreAndZeroIsMinusInfinity)
{
    SChannelSpec level{"L", "dB", it__float, {94, -3.5, 0}, ""};
    SChannelSpec p{"p", "Pa", it__double, {2e-5, 0, 2e-4}, ""};
    MakeTrx(dir / "l.trx", {level, p}, 0.0, 1.0);
    SExportOptions o{1, 2, 1, 0, 0, 1}; // notation, digits, tab, comma, complex, dB
    ASSERT_EQ(RunExport(dir / "l.trx", (dir / "l.txt").c_str(), o).uState, 3u);
    EXPECT_EQ(ReadFile(dir / "l.txt"), "0.00\t94.00\t0.00\t\r\n"
                                       "1.00\t-3.50\t-inf\t\r\n"
                                       "2.00\t0.00\t20.00\t\r\n");
}

TEST_F(AsciiJobs, ExportTakesBandsChannelSelectionsOrSaysWhyNot)
{
    // Bands: the centre of each band is the abscissa column.
    tessel::test::MakeBandTrx(dir / "band.trx");
    SExportOptions o{1, 1, 1}; // notation, digits, tab
    CTSInterface::SMessage msg = RunExport(dir / "band.trx", (dir / "band.txt").c_str(), o);
    ASSERT_EQ(msg.uState, 3u) << msg.sText.c_str();
    EXPECT_EQ(ReadFile(dir / "band.txt"), "100.0\t0.5\t\r\n125.0\t1.5\t\r\n160.0\t2.5\t\r\n");

    // A channel selection: only channels 0 and 2, in that order.
    MakeTrx(dir / "t.trx", ThreeChannels(), 0.0, 0.5);
    o.digits = 4;
    msg = RunExport(dir / "t.trx|2,0", (dir / "sel.txt").c_str(), o);
    ASSERT_EQ(msg.uState, 3u) << msg.sText.c_str();
    EXPECT_EQ(SplitLines(ReadFile(dir / "sel.txt"))[1], "0.5000\t200000.0000\t-2.2500\t");
    msg = RunExport(dir / "t.trx|7", (dir / "none.txt").c_str(), o);
    EXPECT_EQ(msg.uState, 4u);
    EXPECT_EQ(msg.sText, "TRX Dataset contains no exportable channels.");
    EXPECT_FALSE(Exists(dir / "none.txt"));

    // A file cut short is refused, the text going on with the library's reason.
    std::filesystem::copy_file(dir / "t.trx", dir / "cut.trx");
    std::filesystem::resize_file(dir / "cut.trx", std::filesystem::file_size(dir / "cut.trx") - 5);
    msg = RunExport(dir / "cut.trx", (dir / "cut.txt").c_str(), o);
    EXPECT_EQ(msg.uState, 4u);
    EXPECT_EQ(msg.sText.str().rfind("TRX Dataset could not be created.\n", 0), 0u) << msg.sText.c_str();
    EXPECT_NE(msg.sText.str().find("cut.trx"), std::string::npos) << msg.sText.c_str();
    EXPECT_FALSE(Exists(dir / "cut.txt"));
}

TEST_F(AsciiJobs, AWriteFailureSaysSoAndLeavesNoTable)
{
    std::vector<double> many(40000);
    for (std::size_t i = 0; i < many.size(); ++i) many[i] = double(i) * 0.25;
    SChannelSpec big{"big", "Pa", it__float, many, ""};
    MakeTrx(dir / "big.trx", {big}, 0.0, 1.0);
    CTSInterface::SMessage msg;
    {
        tessel::test::CFileSizeLimit full(64 * 1024);
        msg = RunExport(dir / "big.trx", (dir / "big.txt").c_str(), SExportOptions());
    }
    EXPECT_EQ(msg.uState, 4u);
    EXPECT_EQ(msg.sText.str(), "Write to file " + (dir / "big.txt") + " failed. Disk might be full!");
    EXPECT_FALSE(Exists(dir / "big.txt"));
}

TEST_F(AsciiJobs, AFailedJobLeavesAnotherJobsOutputAlone)
{
    // The import reads a pipe, so its checks of the output are done when it
    // opens the input; meanwhile another job's data set appears at the output,
    // and then this import fails before it has written anything.
    ASSERT_EQ(mkfifo((dir / "in.txt").c_str(), 0600), 0);
    int yes = 1;
    CTSInterface::SMessage msg;
    std::thread job([&] { msg = RunImport(dir / "in.txt", (dir / "out.trx").c_str(), &yes); });
    std::FILE* w = std::fopen((dir / "in.txt").c_str(), "w");   // returns once the job has opened the pipe
    ASSERT_NE(w, nullptr);
    MakeTrx(dir / "out.trx", ThreeChannels(), 0.0, 0.5);
    std::fputs("1\n", w);
    std::fclose(w);
    job.join();
    EXPECT_EQ(msg.uState, 2u);
    ASSERT_TRUE(Exists(dir / "out.trx"));
    {
        CDataset ds((dir / "out.trx").c_str(), om__read_complete, 32768L, sh__deny_write);
        EXPECT_EQ(ds.GetNbrOfChannels(), 3);
    }

}
