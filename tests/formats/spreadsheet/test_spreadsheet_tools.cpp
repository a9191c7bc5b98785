// Sheets made by other programs from CSV tables: LibreOffice converts each
// table to xlsx, ods and xls, openpyxl writes it as xlsx, and every one of
// them must import to the values numpy computes from the CSV itself. In CI a
// missing tool is a failure, not a skip.

#include "SpreadsheetTestUtil.h"

#include "interface/TSInterface.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <vector>

using namespace sheet_test;

namespace {

struct STable {
    std::string name;
    int headerRows;     // text lines above the numbers
    int textColumns;    // text columns left of the numbers
    bool equidistant;   // else stored abscissa values
};

const STable kTables[] = {
    {"octaves", 2, 1, false},
    {"narrow", 1, 0, true},
    {"uneven", 0, 0, false},
};

std::string MakeCsv(const STable& t)
{
    std::string s;
    char buf[64];
    if (t.name == "octaves") {
        s += "Octave band levels\nBand,f,L1,L2\n";
        const double f[] = {31.5, 63, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};
        for (int i = 0; i < 10; ++i) {
            std::snprintf(buf, sizeof buf, "b%d,%g,%.2f,%.2f\n", i, f[i], 60.0 - 3.25 * i, -12.5 + 1.75 * i);
            s += buf;
        }
    } else if (t.name == "narrow") {
        s += "f,a,b,c,d\n";
        for (int i = 0; i < 2000; ++i) {
            s += std::to_string(0.5 * i).substr(0, std::to_string(0.5 * i).find('.') + 2);
            for (int c = 0; c < 4; ++c) {
                std::snprintf(buf, sizeof buf, ",%.4f", 40.0 * std::sin(0.01 * i * (c + 1)));
                s += buf;
            }
            s += "\n";
        }
    } else {
        const double f[] = {10, 20, 35, 60, 100, 170, 180};
        for (int i = 0; i < 7; ++i) {
            std::snprintf(buf, sizeof buf, "%g,%.6g,%g\n", f[i], 1.5e-3 * (i + 1), -100.0 + i);
            s += buf;
        }
    }
    return s;
}

// Numpy's reading of a CSV: the abscissa column and 10^(L/20) of the level
// columns as 32-bit floats, each written as raw little-endian floats.
const char* const kExpect = R"PY(
import csv, sys
import numpy as np
import openpyxl
path, header, textcols, xlsx = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
rows = list(csv.reader(open(path)))
block = np.array([[float(v) for v in r[textcols:]] for r in rows[header:]])
block[:, 0].astype(np.float32).tofile(path + ".absc")
(10.0 ** (block[:, 1:] / 20.0)).astype(np.float32).tofile(path + ".levels")
wb = openpyxl.Workbook()
ws = wb.active
for r in rows:
    out = []
    for v in r:
        try:
            out.append(float(v))
        except ValueError:
            out.append(v)
    ws.append(out)
wb.save(xlsx)
)PY";

bool RunShell(const std::string& cmd)
{
    const int rc = std::system(cmd.c_str());
    return rc != -1 && WIFEXITED(rc) && WEXITSTATUS(rc) == 0;
}

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
        s_dir = new CScratchDir;
        CScratchDir& d = *s_dir;
        std::string csvs;
        for (const STable& t : kTables) {
            WriteFile(d / (t.name + ".csv"), MakeCsv(t));
            csvs += " " + (d / (t.name + ".csv"));
        }
        WriteFile(d / "expect.py", kExpect);
        s_python = true;
        for (const STable& t : kTables)
            s_python = s_python && RunShell("/usr/bin/python3 " + (d / "expect.py") + " " + (d / (t.name + ".csv")) + " " +
                                       std::to_string(t.headerRows) + " " + std::to_string(t.textColumns) + " " +
                                       (d / (t.name + ".openpyxl.xlsx")) + " >/dev/null 2>&1");
        // LibreOffice starts slowly: the three conversions run at once, each
        // with a profile of its own, every table in one invocation.
        std::string cmd = "which soffice >/dev/null 2>&1 && (";
        for (const char* fmt : {"xlsx", "ods", "xls"})
            cmd += "soffice -env:UserInstallation=file://" + (d / (std::string("profile_") + fmt)) +
                   " --headless --convert-to " + fmt + " --outdir " + (d / fmt) + csvs + " >/dev/null 2>&1 & ";
        cmd += "wait)";
        s_libreoffice = RunShell(cmd);
        for (const STable& t : kTables)
            for (const char* fmt : {"xlsx", "ods", "xls"})
                s_libreoffice = s_libreoffice && Exists(d / (std::string(fmt) + "/" + t.name + "." + fmt));
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
        CTSInterface::SMessage msg;
        ASSERT_EQ(CTSInterface().ImportExcel(sheet.c_str(), 1, 2, out.c_str(), nullptr, dk__spectrum, &msg), 0u);
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
        int bad = 0;
        for (std::size_t s = 0; s < scans && bad < 5; ++s) {
            const float* scan = c.scans.data() + s * (lead + channels);
            if (lead) {
                // The centre (band) or the value itself, as the table has it.
                const float centre = scan[lead == 3 ? 1 : 0];
                if (centre != absc[s]) ++bad;
                EXPECT_EQ(centre, absc[s]) << "scan " << s;
            }
            for (std::size_t ch = 0; ch < channels; ++ch) {
                const float want = levels[s * channels + ch];
                if (std::fabs(scan[lead + ch] - want) > 2e-7f * std::fabs(want)) ++bad;
                EXPECT_NEAR(scan[lead + ch], want, 2e-7f * std::fabs(want)) << "scan " << s << " channel " << ch;
            }
        }
    }

    void RequireTools(bool have, const char* what)
    {
        if (have) return;
        if (std::getenv("CI")) FAIL() << what << " is needed to make the test sheets";
        GTEST_SKIP() << what << " is missing";
    }

    static CScratchDir* s_dir;
    static bool s_python, s_libreoffice;
};
CScratchDir* SheetsFromToolsTest::s_dir = nullptr;
bool SheetsFromToolsTest::s_python = false;
bool SheetsFromToolsTest::s_libreoffice = false;

TEST_F(SheetsFromToolsTest, LibreOfficeSheetsImportToTheCsvValues)
{
    RequireTools(s_python, "python3 with numpy and openpyxl");
    RequireTools(s_libreoffice, "LibreOffice (soffice)");
    for (const STable& t : kTables)
        for (const char* fmt : {"xlsx", "ods", "xls"})
            CheckImport(*s_dir / (std::string(fmt) + "/" + t.name + "." + fmt), t);
}

TEST_F(SheetsFromToolsTest, OpenpyxlSheetsImportToTheCsvValues)
{
    RequireTools(s_python, "python3 with numpy and openpyxl");
    for (const STable& t : kTables) CheckImport(*s_dir / (t.name + ".openpyxl.xlsx"), t);
}

// A number shown as a date or a time reaches the writer as a date, not as a
// number; number formats that merely contain such letters in quoted text or
// colours stay numbers. openpyxl says which cells are dates.
TEST_F(SheetsFromToolsTest, XlsxDateCellsAreNotNumbers)
{
    RequireTools(s_python, "python3 with numpy and openpyxl");
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
    WriteFile(*s_dir / "dates.py", script);
    // The date format of openpyxl, built-in ones (14, 18, 46) and one of the
    // workbook's own.
    for (const char* fmt : {"yyyy-mm-dd h:mm:ss", "mm-dd-yy", "h:mm AM/PM", "[h]:mm:ss", "dd.mm.yyyy"}) {
        SCOPED_TRACE(fmt);
        const std::string sheet = *s_dir / "dates.xlsx", out = *s_dir / "dates.trx";
        ASSERT_TRUE(RunShell("/usr/bin/python3 " + (*s_dir / "dates.py") + " " + sheet + " '" + fmt + "'"));
        // With the date counted as a number the block would start at row 1
        // and its first column (a date, then 100) would not increase.
        CTSInterface::SMessage msg;
        ASSERT_EQ(CTSInterface().ImportExcel(sheet.c_str(), 1, 2, out.c_str(), nullptr, dk__spectrum, &msg), 0u);
        ASSERT_EQ(msg.uState, 31u) << msg.sText.c_str();
        const STrxContent c = ReadTrx(out);
        ASSERT_EQ(c.abscissa.GetNbrOfScans(), 3);
        EXPECT_TRUE(c.abscissa.IsCalc());
        EXPECT_DOUBLE_EQ(c.abscissa.GetFirstValue(), 100.0);
        ASSERT_EQ(c.scans.size(), 3u);
        EXPECT_FLOAT_EQ(c.scans[2], 3.9810717f);  // 10^(12/20)
    }
}

// A character reference beyond Unicode, and column properties in a style of
// another family, stopped the whole process on assertions of liborcus (found
// by the fuzz target): now the readers refuse the file with 10 and the
// reason, and the caller lives on.
TEST_F(SheetsFromToolsTest, CharacterReferenceBeyondUnicodeIsRefused)
{
    RequireTools(s_python, "python3");
    const char* const script = R"PY(
import sys, zipfile
ods, xlsx, styled = sys.argv[1], sys.argv[2], sys.argv[3]
office = 'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"'
with zipfile.ZipFile(ods, "w") as z:
    z.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.spreadsheet")
    z.writestr("content.xml", '<?xml version="1.0"?><office:document-content ' + office +
               '><office:body><office:spreadsheet><table:table table:name="S"><table:table-row>'
               '<table:table-cell><text:p>&#x110000;</text:p></table:table-cell>'
               '</table:table-row></table:table></office:spreadsheet></office:body></office:document-content>')
with zipfile.ZipFile(styled, "w") as z:
    z.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.spreadsheet")
    z.writestr("content.xml", '<?xml version="1.0"?><office:document-content ' + office +
               ' xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"><office:automatic-styles>'
               '<style:style style:name="co1" style:family="paragraph"><style:table-column-properties/></style:style>'
               '</office:automatic-styles><office:body><office:spreadsheet/></office:body></office:document-content>')
main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
with zipfile.ZipFile(xlsx, "w") as z:
    z.writestr("[Content_Types].xml", '<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
               '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/></Types>')
    z.writestr("_rels/.rels", '<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
               '<Relationship Id="r1" Type="' + rel + '/officeDocument" Target="xl/workbook.xml"/></Relationships>')
    z.writestr("xl/workbook.xml", '<?xml version="1.0"?><workbook xmlns="' + main + '" xmlns:r="' + rel + '"><sheets>'
               '<sheet name="S" sheetId="1" r:id="r1"/></sheets></workbook>')
    z.writestr("xl/_rels/workbook.xml.rels", '<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
               '<Relationship Id="r1" Type="' + rel + '/worksheet" Target="worksheets/sheet1.xml"/></Relationships>')
    z.writestr("xl/worksheets/sheet1.xml", '<?xml version="1.0"?><worksheet xmlns="' + main + '"><sheetData>'
               '<row r="1"><c r="A1" t="inlineStr"><is><t>&#1114112;</t></is></c></row></sheetData></worksheet>')
)PY";
    WriteFile(*s_dir / "charref.py", script);
    const std::string ods = *s_dir / "charref.ods", xlsx = *s_dir / "charref.xlsx", styled = *s_dir / "styled.ods";
    ASSERT_TRUE(RunShell("/usr/bin/python3 " + (*s_dir / "charref.py") + " " + ods + " " + xlsx + " " + styled));
    for (const std::string& sheet : {ods, xlsx, styled}) {
        SCOPED_TRACE(sheet);
        const std::string out = *s_dir / "charref.trx";
        CTSInterface::SMessage msg;
        ASSERT_EQ(CTSInterface().ImportExcel(sheet.c_str(), 1, 2, out.c_str(), nullptr, dk__spectrum, &msg), 0u);
        EXPECT_EQ(msg.uState, 32u);
        EXPECT_EQ(msg.sText.str().rfind("File \"" + sheet + "\" could not be opened.\n", 0), 0u) << msg.sText.c_str();
        const char* const why = sheet == styled ? "column properties in a style of another family"
                                : sheet == ods ? "content.xml holds a character reference"
                                               : "reference to invalid character number";
        EXPECT_NE(msg.sText.str().find(why), std::string::npos) << msg.sText.c_str();
        EXPECT_FALSE(Exists(out));
    }
}

} // namespace
