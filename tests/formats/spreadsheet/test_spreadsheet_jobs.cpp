// ImportExcel through CTSInterface, synchronously and asynchronously: the
// outcome record, the produced file, and what a failure leaves behind; the
// `tessel` commands; and the readers' plug-in, loaded only when a sheet is read.

#include "SpreadsheetTestUtil.h"

#include "interface/TSInterface.h"
#include "tests/common/AsyncRun.h"
#include "tests/common/PeerTools.h"
#include "tests/common/Python.h"

#include <string>
#include <tuple>

using namespace sheet_test;
using tessel::test::RunCommand;

namespace {

// The sheets of these tests, written by openpyxl: a title, a header row,
// then frequency and two level columns; and one of text only. A second
// sheet of numbers behind each is never read.
const char* const kMakeSheet = R"PY(
import sys, openpyxl
for path, rows in ((sys.argv[1], [["Measured levels"], ["f / Hz", "left", "right"], [50, 0, 6], [100, 6, 12], [150, 12, 0]]),
                   (sys.argv[2], [["only", "text"]])):
    wb = openpyxl.Workbook()
    for r in rows:
        wb.active.append(r)
    second = wb.create_sheet("second")
    for r in ([1, 0], [2, 0], [3, 0]):
        second.append(r)
    wb.save(path)
)PY";

const std::string kData = std::string(TESSEL_SOURCE_DIR) + "/tests/formats/spreadsheet/data/";

class ExcelJobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (tessel::test::RunPythonText(kMakeSheet, {in, dir / "text.xlsx"}) != 0)
            TESSEL_SKIP_OR_FAIL("python3-openpyxl is needed to make the test sheets");
    }
    CTempDir dir;
    std::string in = dir / "levels.xlsx";
    std::string out = dir / "levels.trx";
};

TEST_F(ExcelJobTest, SynchronousAndAsynchronousImportsWriteTheLevels)
{
    CTSInterface::SMessage msg;
    ASSERT_EQ(CTSInterface().ImportExcel(in.c_str(), 5, 6, out.c_str(), nullptr, dk__spectrum, &msg), 0u);
    EXPECT_EQ(msg.uState, 31u) << msg.sText.c_str();
    EXPECT_EQ(std::tie(msg.sText, msg.lID, msg.lUser, msg.sSource),
              std::make_tuple(CString("Conversion successfully completed."), 5L, 6L, CString(in.c_str())));
    // The values of sheets made by other programs: test_spreadsheet_tools.cpp.
    const STrxContent c = ReadTrx(out);
    EXPECT_EQ(c.kind, 3);
    ASSERT_EQ(c.scans.size(), 6u);
    EXPECT_FLOAT_EQ(c.scans[1], 1.9952623f);
    // A record without an output path: 110, no job.
    EXPECT_EQ(CTSInterface().ImportExcel(in.c_str(), 5, 6, nullptr, nullptr, dk__spectrum, &msg), 110u);

    std::vector<std::string> produced;
    msg = tessel::test::RunAsync(
        [&] { return CTSInterface().ImportExcel(in.c_str(), 21, 22, out.c_str(), nullptr, dk__frf, nullptr); },
        &produced);
    EXPECT_EQ(msg.uState, 31u) << msg.sText.c_str();
    EXPECT_EQ(std::make_pair(msg.lID, msg.lUser), std::make_pair(21L, 22L));
    ASSERT_EQ(produced, std::vector<std::string>{out});
    EXPECT_EQ(ReadTrx(out).kind, 4);
}

// Inputs that cannot be read fail with their path and reason, write nothing
// and stay as they were.
TEST_F(ExcelJobTest, InputsThatCannotBeReadFailWithTheirPathAndReason)
{
    const std::string whole = ReadFile(in);
    WriteFile(dir / "cut.xlsx", whole.substr(0, whole.size() / 2));
    // Entries that claim far more than deflate can make of their bytes (a zip
    // bomb, or damage): refused before anything is unpacked.
    std::string bomb = whole;
    for (std::size_t at = bomb.find("PK\x01\x02"); at != std::string::npos; at = bomb.find("PK\x01\x02", at + 4))
        bomb.replace(at + 24, 4, "\xf0\xff\xff\x7f", 4);
    WriteFile(dir / "bomb.xlsx", bomb);
    WriteFile(dir / "table.csv", "100,0\n200,6\n");
    const std::string damaged = "the zip container is damaged", badXml = "xl/worksheets/sheet1.xml: not well-formed";
    const struct {
        std::string path, reason;   // the text is "File "<path>" could not be opened.\n" and the reason
    } kCases[] = {
        {dir / "missing.xlsx", ""},
        {dir / "cut.xlsx", ""},
        {dir / "bomb.xlsx", damaged},
        // An xls on which libfreexl 1.0.6 reads outside a stack buffer (found
        // by fuzz_spreadsheet): the reader's process ends, not the caller's.
        {kData + "freexl_iconv_stack_underflow.xls", ""},
        // An xlsx whose sheet part ends inside a tag (found by fuzzing): the
        // XML parser once read on past the part's end, into whatever memory
        // followed, so the fault came and went with the heap (hence twice).
        {kData + "orcus_sax_read_past_end.xlsx", badXml + " (invalid token) in line 2"},
        {kData + "orcus_sax_read_past_end.xlsx", badXml + " (invalid token) in line 2"},
        // Zip directories whose entry counts disagree, or say none at all
        // (found by fuzzing): the zip reader went by the larger count, or by
        // the records it found, met one claiming gigabytes and allocated them.
        {kData + "zip_entry_counts_disagree.ods", damaged},
        {kData + "zip_directory_without_counts.ods", damaged},
        {kData + "zip_directory_size_zero.ods", damaged},
        // A character reference beyond Unicode, and column properties in a
        // style of another family, stopped the whole process on assertions
        // of liborcus (found by fuzzing).
        {kData + "charref_beyond_unicode.ods", "content.xml holds a character reference"},
        {kData + "charref_beyond_unicode.xlsx", "reference to invalid character number"},
        {kData + "ods_column_properties_in_paragraph_style.ods", "column properties in a style of another family"},
    };
    for (const auto& k : kCases) {
        SCOPED_TRACE(k.path);
        const std::string before = ReadFile(k.path);
        const CTSInterface::SMessage m = ImportSheet(k.path, out);
        EXPECT_EQ(m.uState, 32u);
        EXPECT_EQ(m.sText.str().rfind("File \"" + k.path + "\" could not be opened.\n", 0), 0u) << m.sText.c_str();
        EXPECT_NE(m.sText.str().find(k.reason), std::string::npos) << m.sText.c_str();
        EXPECT_FALSE(Exists(out));
        EXPECT_EQ(ReadFile(k.path), before);
    }
    // A text file has no reader: 3.
    const CTSInterface::SMessage m = ImportSheet(dir / "table.csv", out);
    EXPECT_EQ(m.uState, 32u);
    EXPECT_EQ(m.sText.str().rfind("Conversion failed.", 0), 0u) << m.sText.c_str();
    EXPECT_FALSE(Exists(out));
}

TEST_F(ExcelJobTest, OutputsThatMayNotBeWrittenStayAsTheyAre)
{
    // Overwriting forbidden: 8; a sheet without numbers: 3; the input named
    // as output: 111. Each leaves both files as they were.
    WriteFile(out, "old");
    const std::string before = ReadFile(in);
    const int no = 0;
    const struct {
        std::string in, out;
        const int* overwrite;
        const char* text;
    } kCases[] = {
        {in, out, &no, "Output file already exists"},
        {dir / "text.xlsx", out, nullptr, "Conversion failed."},
        {in, in, nullptr, "Path and name of input and output file are identical."},
    };
    for (const auto& k : kCases) {
        const CTSInterface::SMessage m = ImportSheet(k.in, k.out, dk__frf, k.overwrite);
        EXPECT_EQ(m.uState, 32u);
        EXPECT_EQ(m.sText.str().rfind(k.text, 0), 0u) << m.sText.c_str();
        EXPECT_EQ(ReadFile(out), "old");
        EXPECT_EQ(ReadFile(in), before);
    }
    // Overwriting by default (null): the old file is replaced.
    const CTSInterface::SMessage m = ImportSheet(in, out);
    EXPECT_EQ(m.uState, 31u) << m.sText.c_str();
    EXPECT_EQ(ReadTrx(out).channels.size(), 2u);
}

TEST(SpreadsheetCommandLineTest, ClipboardFromStandardInputHelpAndTheReadersPlugIn)
{
    const std::string tessel = std::string(TESSEL_BINARY_DIR) + "/tessel";
    CTempDir dir;
    WriteFile(dir / "table.txt", "100\t0\r\n200\t6\r\n300\t12\r\n");
    const std::string out = dir / "clip.trx";
    EXPECT_EQ(RunCommand(tessel + " import clipboard -q -o " + out + " < " + (dir / "table.txt")), 0);
    const STrxContent c = ReadTrx(out);
    EXPECT_EQ(c.kind, 4);
    EXPECT_EQ(c.abscissa.GetNbrOfScans(), 3);
    // Refused text: exit status 1 and nothing written; --no-overwrite keeps
    // an existing file.
    WriteFile(dir / "bad.txt", "300 0\n200 6\n150 12\n");
    EXPECT_EQ(RunCommand(tessel + " import clipboard -q -o " + (dir / "bad.trx") + " < " + (dir / "bad.txt") + " 2>&1"), 1);
    EXPECT_FALSE(Exists(dir / "bad.trx"));
    EXPECT_EQ(RunCommand(tessel + " import clipboard -q --no-overwrite -o " + out + " < " + (dir / "table.txt") + " 2>&1"), 1);

    for (const char* name : {"xlsx", "ods", "xls"})
        EXPECT_EQ(RunCommand(tessel + " import " + name + " --help"), 0) << name;

    // The readers' libraries are loaded by the first sheet that is read, not
    // with the module (which every conversion loads), and the resampler's by
    // the first resampling: the loader's account.
    std::string loaded;
    EXPECT_EQ(RunCommand("LD_DEBUG=files " + tessel + " import clipboard --help 2>&1", &loaded), 0);
    for (const char* lib : {"liborcus", "libexpat", "libsoxr"})
        EXPECT_EQ(loaded.find(lib), std::string::npos) << lib;
    EXPECT_EQ(RunCommand("LD_DEBUG=files " + tessel + " import xlsx " + kData + "orcus_sax_read_past_end.xlsx -o " +
                             (dir / "x.trx") + " 2>&1", &loaded), 1);
    EXPECT_NE(loaded.find("tessel_spreadsheet.so"), std::string::npos);
    EXPECT_NE(loaded.find("liborcus"), std::string::npos);
    EXPECT_NE(loaded.find("not well-formed"), std::string::npos) << loaded;
}

} // namespace
