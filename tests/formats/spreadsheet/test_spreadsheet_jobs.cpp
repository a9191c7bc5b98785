// ImportExcel through CTSInterface, synchronously and asynchronously: the
// outcome record, the produced file, and what a failure leaves behind.

#include "SpreadsheetTestUtil.h"

#include "interface/TSInterface.h"
#include "platform/MessageLoop.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>

using namespace sheet_test;

namespace {

// The sheet of these tests, written by openpyxl: a title, a header row, then
// frequency and two level columns.
const char* const kMakeSheet = R"PY(
import sys, openpyxl
wb = openpyxl.Workbook()
ws = wb.active
ws.append(["Measured levels"])
ws.append(["f / Hz", "left", "right"])
for f, l, r in [(50, 0, 6), (100, 6, 12), (150, 12, 0)]:
    ws.append([f, l, r])
wb.create_sheet("second").append([1, 2, 3])
wb.save(sys.argv[1])
textonly = openpyxl.Workbook()
textonly.active.append(["only", "text"])
textonly.save(sys.argv[2])
)PY";

bool MakeSheets(const CScratchDir& dir)
{
    WriteFile(dir / "make.py", kMakeSheet);
    const std::string cmd = "/usr/bin/python3 " + (dir / "make.py") + " " + (dir / "levels.xlsx") + " " +
                            (dir / "text.xlsx") + " >/dev/null 2>&1";
    const int rc = std::system(cmd.c_str());
    return rc != -1 && WIFEXITED(rc) && WEXITSTATUS(rc) == 0;
}

class ExcelJobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!MakeSheets(dir)) {
            if (std::getenv("CI")) FAIL() << "python3-openpyxl is needed to make the test sheets";
            GTEST_SKIP() << "python3-openpyxl is missing";
        }
        in = dir / "levels.xlsx";
    }
    CScratchDir dir;
    std::string in;
    std::string out = dir / "levels.trx";
};

TEST_F(ExcelJobTest, SynchronousImportFillsTheRecordAndWritesTheLevels)
{
    CTSInterface::SMessage msg;
    ASSERT_EQ(CTSInterface().ImportExcel(in.c_str(), 5, 6, out.c_str(), nullptr, dk__spectrum, &msg), 0u);
    EXPECT_EQ(msg.uState, 31u) << msg.sText.c_str();
    EXPECT_EQ(msg.sText, "Conversion successfully completed.");
    EXPECT_EQ(msg.lID, 5);
    EXPECT_EQ(msg.lUser, 6);
    EXPECT_EQ(msg.sSource, in.c_str());
    const STrxContent c = ReadTrx(out);
    EXPECT_EQ(c.kind, 3);
    EXPECT_DOUBLE_EQ(c.abscissa.GetFirstValue(), 50.0);
    EXPECT_DOUBLE_EQ(c.abscissa.GetDeltaValue(), 50.0);
    ASSERT_EQ(c.channels.size(), 2u);
    const float expected[] = {1.0f, 1.9952623f, 1.9952623f, 3.9810717f, 3.9810717f, 1.0f};
    ASSERT_EQ(c.scans.size(), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_FLOAT_EQ(c.scans[i], expected[i]) << i;

    // A record without an output path: 110, no job.
    CTSInterface::SMessage none;
    EXPECT_EQ(CTSInterface().ImportExcel(in.c_str(), 5, 6, nullptr, nullptr, dk__spectrum, &none), 110u);
}

TEST_F(ExcelJobTest, AsynchronousImportReportsThroughTheMainWindow)
{
    std::vector<CTSInterface::SMessage> got;
    std::vector<std::string> produced;
    MessageLoop::Reset();
    MessageLoop::SetMainWindow([&](unsigned m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == CTSInterface::g_uMsgFromTessel) {
            got.push_back(*reinterpret_cast<CTSInterface::SMessage*>(w));
            for (const CString& f : *reinterpret_cast<CStringArray*>(l)) produced.push_back(f.str());
        }
        return 0;
    });
    ASSERT_EQ(CTSInterface().ImportExcel(in.c_str(), 21, 22, out.c_str(), nullptr, dk__frf, nullptr), 0u);
    ASSERT_TRUE(MessageLoop::RunUntil(
        [&] {
            MessageLoop::FireAllTimers();
            return !got.empty();
        },
        20000));
    MessageLoop::ClearMainWindow();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].uState, 31u) << got[0].sText.c_str();
    EXPECT_EQ(got[0].lID, 21);
    EXPECT_EQ(got[0].lUser, 22);
    ASSERT_EQ(produced, std::vector<std::string>{out});
    EXPECT_EQ(ReadTrx(out).kind, 4);
}

CTSInterface::SMessage RunSync(const std::string& in, const std::string& out, const int* overwrite)
{
    CTSInterface::SMessage msg;
    EXPECT_EQ(CTSInterface().ImportExcel(in.c_str(), 1, 2, out.c_str(), overwrite, dk__frf, &msg), 0u);
    return msg;
}

TEST_F(ExcelJobTest, InputsThatCannotBeReadFailWithTheirPath)
{
    const std::string missing = dir / "missing.xlsx";
    CTSInterface::SMessage m = RunSync(missing, out, nullptr);
    EXPECT_EQ(m.uState, 32u);
    EXPECT_EQ(m.sText.str().rfind("File \"" + missing + "\" could not be opened.\n", 0), 0u) << m.sText.c_str();
    EXPECT_FALSE(Exists(out));

    // A zip container cut short: the reader refuses it, also 10.
    const std::string whole = ReadFile(in);
    const std::string cut = dir / "cut.xlsx";
    WriteFile(cut, whole.substr(0, whole.size() / 2));
    m = RunSync(cut, out, nullptr);
    EXPECT_EQ(m.uState, 32u);
    EXPECT_EQ(m.sText.str().rfind("File \"" + cut + "\" could not be opened.", 0), 0u) << m.sText.c_str();
    EXPECT_FALSE(Exists(out));

    // Entries that claim far more than deflate can make of their bytes (a zip
    // bomb, or damage): refused before anything is unpacked.
    std::string bomb = whole;
    for (std::size_t at = bomb.find("PK\x01\x02"); at != std::string::npos; at = bomb.find("PK\x01\x02", at + 4))
        bomb.replace(at + 24, 4, "\xf0\xff\xff\x7f", 4);
    const std::string bombPath = dir / "bomb.xlsx";
    WriteFile(bombPath, bomb);
    m = RunSync(bombPath, out, nullptr);
    EXPECT_EQ(m.uState, 32u);
    EXPECT_EQ(m.sText.str().rfind("File \"" + bombPath + "\" could not be opened.\nthe zip container is damaged", 0), 0u)
        << m.sText.c_str();

    // A text file has no reader: 3.
    const std::string csv = dir / "table.csv";
    WriteFile(csv, "100,0\n200,6\n");
    m = RunSync(csv, out, nullptr);
    EXPECT_EQ(m.uState, 32u);
    EXPECT_EQ(m.sText.str().rfind("Conversion failed.", 0), 0u) << m.sText.c_str();
    EXPECT_EQ(ReadFile(csv), "100,0\n200,6\n");
    EXPECT_FALSE(Exists(out));
}

// An xls file on which libfreexl 1.0.6 reads outside a stack buffer (found by
// fuzz_spreadsheet): the reader's process ends, the import reports 10.
TEST(ExcelJobFaultTest, AnXlsThatBreaksItsReaderFailsWithoutHarm)
{
    CScratchDir dir;
    const std::string in = std::string(TESSEL_SOURCE_DIR) + "/tests/formats/spreadsheet/data/freexl_iconv_stack_underflow.xls";
    const std::string before = ReadFile(in);
    ASSERT_FALSE(before.empty());
    const std::string out = dir / "out.trx";
    const CTSInterface::SMessage m = RunSync(in, out, nullptr);
    EXPECT_EQ(m.uState, 32u);
    EXPECT_EQ(m.sText.str().rfind("File \"" + in + "\" could not be opened.", 0), 0u) << m.sText.c_str();
    EXPECT_FALSE(Exists(out));
    EXPECT_EQ(ReadFile(in), before);
}

// An xlsx whose sheet part ends inside a tag (found by fuzz_spreadsheet): the
// XML parser once read on past the part's end, into whatever memory followed,
// so that the fault came and went with the heap's contents.
TEST(ExcelJobFaultTest, DamagedPackagesAreRefused)
{
    CScratchDir dir;
    const std::string in = std::string(TESSEL_SOURCE_DIR) + "/tests/formats/spreadsheet/data/orcus_sax_read_past_end.xlsx";
    const std::string out = dir / "out.trx";
    for (int i = 0; i < 3; ++i) {
        const CTSInterface::SMessage m = RunSync(in, out, nullptr);
        EXPECT_EQ(m.uState, 32u);
        EXPECT_EQ(m.sText.str(), "File \"" + in + "\" could not be opened.\n"
                                 "xl/worksheets/sheet1.xml: not well-formed (invalid token) in line 2");
        EXPECT_FALSE(Exists(out));
    }
    // Zip directories whose entry counts disagree with each other, or say
    // none at all (found by fuzz_spreadsheet): the zip reader went by the
    // larger count, or by the records it found, met one claiming gigabytes
    // and allocated them.
    for (const char* name : {"zip_entry_counts_disagree.ods", "zip_directory_without_counts.ods", "zip_directory_size_zero.ods"}) {
        const std::string counts = std::string(TESSEL_SOURCE_DIR) + "/tests/formats/spreadsheet/data/" + name;
        const CTSInterface::SMessage m = RunSync(counts, out, nullptr);
        EXPECT_EQ(m.uState, 32u);
        EXPECT_EQ(m.sText.str(), "File \"" + counts + "\" could not be opened.\nthe zip container is damaged");
    }
}

TEST_F(ExcelJobTest, OutputsThatMayNotBeWrittenStayAsTheyAre)
{
    // Overwriting forbidden: 8, the file untouched.
    WriteFile(out, "old");
    const int no = 0;
    CTSInterface::SMessage m = RunSync(in, out, &no);
    EXPECT_EQ(m.uState, 32u);
    EXPECT_EQ(m.sText.str().rfind("Output file already exists", 0), 0u) << m.sText.c_str();
    EXPECT_EQ(ReadFile(out), "old");

    // A sheet without numbers: 3, and the file that was there stays.
    m = RunSync(dir / "text.xlsx", out, nullptr);
    EXPECT_EQ(m.uState, 32u);
    EXPECT_EQ(m.sText.str().rfind("Conversion failed.", 0), 0u) << m.sText.c_str();
    EXPECT_EQ(ReadFile(out), "old");

    // The input named as output: 111, the input untouched.
    const std::string before = ReadFile(in);
    m = RunSync(in, in, nullptr);
    EXPECT_EQ(m.uState, 32u);
    EXPECT_EQ(m.sText.str().rfind("Path and name of input and output file are identical.", 0), 0u);
    EXPECT_EQ(ReadFile(in), before);

    // Overwriting by default (null): the old file is replaced.
    m = RunSync(in, out, nullptr);
    EXPECT_EQ(m.uState, 31u) << m.sText.c_str();
    EXPECT_EQ(ReadTrx(out).channels.size(), 2u);
}

} // namespace

namespace {

int Shell(const std::string& cmd)
{
    const int rc = std::system(cmd.c_str());
    return rc != -1 && WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

TEST(SpreadsheetCommandLineTest, ClipboardFromStandardInputAndHelp)
{
    const std::string tessel = std::string(TESSEL_BINARY_DIR) + "/tessel";
    if (!Exists(tessel)) GTEST_SKIP() << "the tessel command is not built";
    CScratchDir dir;
    WriteFile(dir / "table.txt", "100\t0\r\n200\t6\r\n300\t12\r\n");
    const std::string out = dir / "clip.trx";
    EXPECT_EQ(Shell(tessel + " import clipboard -q -o " + out + " < " + (dir / "table.txt")), 0);
    const STrxContent c = ReadTrx(out);
    EXPECT_EQ(c.kind, 4);
    EXPECT_EQ(c.abscissa.GetNbrOfScans(), 3);
    // Refused text: exit status 1 and nothing written.
    WriteFile(dir / "bad.txt", "300 0\n200 6\n150 12\n");
    EXPECT_EQ(Shell(tessel + " import clipboard -q -o " + (dir / "bad.trx") + " < " + (dir / "bad.txt") +
                    " 2>/dev/null"),
              1);
    EXPECT_FALSE(Exists(dir / "bad.trx"));
    // --no-overwrite keeps an existing file.
    EXPECT_EQ(Shell(tessel + " import clipboard -q --no-overwrite -o " + out + " < " + (dir / "table.txt") +
                    " 2>/dev/null"),
              1);
    for (const char* name : {"xlsx", "ods", "xls", "clipboard"})
        EXPECT_EQ(Shell(tessel + " import " + name + " --help >/dev/null"), 0) << name;
}

} // namespace
