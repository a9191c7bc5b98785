// Sheets made by other programs from CSV tables: LibreOffice converts each
// table to xlsx, ods and xls, openpyxl writes it as xlsx, and every one of
// them must import to the values numpy computes from the CSV itself. In CI a
// missing tool is a failure, not a skip.

#include "SpreadsheetTestUtil.h"

#include "interface/TSInterface.h"
#include "tests/common/PeerTools.h"
#include "tests/common/Python.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace sheet_test;

namespace {

struct STable {
    std::string name;
    bool equidistant;   // else stored abscissa values
};
const STable kTables[] = {{"octaves", false}, {"narrow", true}, {"uneven", false}};

// The tables as CSV, each with the values numpy reads from it: the abscissa
// column and 10^(L/20) of the level columns as raw 32-bit floats (".absc",
// ".levels"), and the table as openpyxl writes it (".openpyxl.xlsx"). Text
// rows above and text columns left of the numbers are the sheets' headers.
const char* const kTablesScript = R"PY(
import csv, math, sys
import numpy as np
import openpyxl
octaves = [31.5, 63, 125, 250, 500, 1000, 2000, 4000, 8000, 16000]
tables = {  # name: (lines, text rows, text columns)
    "octaves": (["Octave band levels", "Band,f,L1,L2"] +
                ["b%d,%g,%.2f,%.2f" % (i, f, 60.0 - 3.25 * i, -12.5 + 1.75 * i) for i, f in enumerate(octaves)], 2, 1),
    "narrow": (["f,a,b,c,d"] + ["%.1f" % (0.5 * i) + "".join(",%.4f" % (40.0 * math.sin(0.01 * i * (c + 1))) for c in range(4))
                              for i in range(2000)], 1, 0),
    "uneven": (["%g,%.6g,%g" % (f, 1.5e-3 * (i + 1), -100.0 + i) for i, f in enumerate([10, 20, 35, 60, 100, 170, 180])], 0, 0),
}
for name, (lines, header, textcols) in tables.items():
    path = sys.argv[1] + "/" + name + ".csv"
    open(path, "w").write("\n".join(lines) + "\n")
    rows = list(csv.reader(open(path)))
    block = np.array([[float(v) for v in r[textcols:]] for r in rows[header:]])
    block[:, 0].astype(np.float32).tofile(path + ".absc")
    (10.0 ** (block[:, 1:] / 20.0)).astype(np.float32).tofile(path + ".levels")
    wb = openpyxl.Workbook()
    for i, r in enumerate(rows):
        wb.active.append([float(v) if i >= header and k >= textcols else v for k, v in enumerate(r)])
    wb.save(sys.argv[1] + "/" + name + ".openpyxl.xlsx")
)PY";

std::vector<float> ReadFloats(const std::string& path)
{
    const std::string b = ReadFile(path);
    std::vector<float> v(b.size() / 4);
    std::memcpy(v.data(), b.data(), v.size() * 4);
    return v;
}

class SheetsFromToolsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new CTempDir;
        CTempDir& d = *s_dir;
        s_python = tessel::test::RunPythonText(kTablesScript, {d.Path()}) == 0;
        // LibreOffice starts slowly: the three conversions run at once, each
        // with a profile of its own, every table in one invocation.
        // On a loaded machine an instance now and then ends without writing
        // its files; that format is converted once more on its own.
        std::string csvs;
        for (const STable& t : kTables) csvs += " " + (d / (t.name + ".csv"));
        auto convert = [&](const char* fmt) {
            return "soffice -env:UserInstallation=file://" + (d / (std::string("profile_") + fmt)) +
                   " --headless --convert-to " + fmt + " --outdir " + (d / fmt) + csvs + " >/dev/null 2>&1";
        };
        auto complete = [&](const char* fmt) {
            for (const STable& t : kTables)
                if (!Exists(d / (std::string(fmt) + "/" + t.name + "." + fmt))) return false;
            return true;
        };
        std::string cmd = "which soffice >/dev/null 2>&1 && (";
        for (const char* fmt : {"xlsx", "ods", "xls"}) cmd += convert(fmt) + " & ";
        s_libreoffice = s_python && tessel::test::RunCommand(cmd + "wait) 2>&1") == 0;
        for (const char* fmt : {"xlsx", "ods", "xls"})
            if (s_libreoffice && !complete(fmt))
                s_libreoffice = tessel::test::RunCommand(convert(fmt)) == 0 && complete(fmt);
    }
    static void TearDownTestSuite()
    {
        delete s_dir;
        s_dir = nullptr;
    }

    void CheckImport(const std::string& sheet, const STable& t)
    {
        SCOPED_TRACE(sheet);
        const std::string out = *s_dir / "out.trx";
        const CTSInterface::SMessage msg = ImportSheet(sheet, out);
        ASSERT_EQ(msg.uState, 31u) << msg.sText.c_str();
        const STrxContent c = ReadTrx(out);
        const std::string csv = *s_dir / (t.name + ".csv");
        const std::vector<float> absc = ReadFloats(csv + ".absc");
        const std::vector<float> levels = ReadFloats(csv + ".levels");
        ASSERT_FALSE(absc.empty());
        const std::size_t scans = absc.size();
        const std::size_t channels = levels.size() / scans;
        ASSERT_EQ(c.channels.size(), channels);
        ASSERT_EQ(std::size_t(c.abscissa.GetNbrOfScans()), scans);
        EXPECT_EQ(c.abscissa.IsCalc(), t.equidistant);
        const std::size_t lead = t.equidistant ? 0 : std::size_t(c.abscissa.GetValuesPerScan());
        ASSERT_EQ(c.scans.size(), scans * (lead + channels));
        if (t.equidistant) {
            EXPECT_FLOAT_EQ(float(c.abscissa.GetFirstValue()), absc[0]);
            EXPECT_FLOAT_EQ(float(c.abscissa.GetDeltaValue()), absc[1] - absc[0]);
        }
        for (std::size_t s = 0; s < scans; ++s) {
            const float* scan = c.scans.data() + s * (lead + channels);
            // The centre (band) or the value itself, as the table has it.
            if (lead) { ASSERT_EQ(scan[lead == 3 ? 1 : 0], absc[s]) << "scan " << s; }
            for (std::size_t ch = 0; ch < channels; ++ch) {
                const float want = levels[s * channels + ch];
                ASSERT_NEAR(scan[lead + ch], want, 2e-7f * std::fabs(want)) << "scan " << s << " channel " << ch;
            }
        }
    }

    static CTempDir* s_dir;
    static bool s_python, s_libreoffice;
};
CTempDir* SheetsFromToolsTest::s_dir = nullptr;
bool SheetsFromToolsTest::s_python = false;
bool SheetsFromToolsTest::s_libreoffice = false;

TEST_F(SheetsFromToolsTest, LibreOfficeSheetsImportToTheCsvValues)
{
    if (!s_python || !s_libreoffice) TESSEL_SKIP_OR_FAIL("python3 with numpy and openpyxl, and LibreOffice");
    for (const STable& t : kTables)
        for (const char* fmt : {"xlsx", "ods", "xls"})
            CheckImport(*s_dir / (std::string(fmt) + "/" + t.name + "." + fmt), t);
}

TEST_F(SheetsFromToolsTest, OpenpyxlSheetsImportToTheCsvValues)
{
    if (!s_python) TESSEL_SKIP_OR_FAIL("python3 with numpy and openpyxl");
    for (const STable& t : kTables) CheckImport(*s_dir / (t.name + ".openpyxl.xlsx"), t);
}

// A number shown as a date or a time reaches the writer as a date, not as a
// number; number formats that merely contain such letters in quoted text or
// colours stay numbers. openpyxl says which cells are dates.
TEST_F(SheetsFromToolsTest, XlsxDateCellsAreNotNumbers)
{
    if (!s_python) TESSEL_SKIP_OR_FAIL("python3 with numpy and openpyxl");
    const char* const script = R"PY(
import sys, datetime, openpyxl
path, fmt = sys.argv[1], sys.argv[2]
wb = openpyxl.Workbook()
ws = wb.active
ws.append([datetime.datetime(2024, 3, 1, 12, 30), 42.0])
for row in ([100.0, 0.0], [200.0, 6.0], [300.0, 12.0]):
    ws.append(row)
ws["A1"].number_format = fmt
for r in (2, 3, 4):
    ws.cell(r, 1).number_format = '[Red]0.0'
    ws.cell(r, 2).number_format = '0.00 "dB"'
wb.save(path)
ws = openpyxl.load_workbook(path).active
assert ws["A1"].is_date, fmt
assert not any(ws.cell(r, c).is_date for r in (2, 3, 4) for c in (1, 2))
)PY";
    // The date format of openpyxl, built-in ones (14, 18, 46) and one of the
    // workbook's own.
    for (const char* fmt : {"yyyy-mm-dd h:mm:ss", "mm-dd-yy", "h:mm AM/PM", "[h]:mm:ss", "dd.mm.yyyy"}) {
        SCOPED_TRACE(fmt);
        const std::string sheet = *s_dir / "dates.xlsx", out = *s_dir / "dates.trx";
        ASSERT_EQ(tessel::test::RunPythonText(script, {sheet, fmt}), 0);
        // With the date counted as a number the block would start at row 1
        // and its first column (a date, then 100) would not increase.
        const CTSInterface::SMessage msg = ImportSheet(sheet, out);
        ASSERT_EQ(msg.uState, 31u) << msg.sText.c_str();
        const STrxContent c = ReadTrx(out);
        ASSERT_EQ(c.abscissa.GetNbrOfScans(), 3);
        EXPECT_TRUE(c.abscissa.IsCalc());
        EXPECT_DOUBLE_EQ(c.abscissa.GetFirstValue(), 100.0);
        ASSERT_EQ(c.scans.size(), 3u);
        EXPECT_FLOAT_EQ(c.scans[2], 3.9810717f);  // 10^(12/20)
    }
}

} // namespace
