// The table writer's cases, fed through CTSInterface::ClipboardImport (text as
// the host hands it over) and, for tables a text cannot make, through a table
// built here. Expected values are literals: 10^(dB/20) and octave band edges
// worked out by hand.

#include "SpreadsheetTestUtil.h"

#include "formats/spreadsheet/ClipboardText.h"
#include "formats/spreadsheet/TableWriter.h"
#include "interface/TSInterface.h"

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

using namespace sheet_test;

namespace {

constexpr float k0dB = 1.0f;
constexpr float k6dB = 1.9952623f;
constexpr float k12dB = 3.9810717f;

bool Clip(const std::string& text, const std::string& out)
{
    CTSInterface ts;
    std::string copy = text;
    return ts.ClipboardImport(copy.data(), out.c_str());
}

// The data set a text that must be accepted makes.
STrxContent Clipped(const std::string& text, const std::string& out)
{
    EXPECT_TRUE(Clip(text, out)) << text;
    return ReadTrx(out);
}

void ExpectFloats(const std::vector<float>& got, const std::vector<float>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_FLOAT_EQ(got[i], want[i]) << i;
}

class TableWriterTest : public ::testing::Test {
protected:
    CTempDir dir;
    std::string out = dir / "t.trx";
};

TEST_F(TableWriterTest, EquidistantColumnGivesCalculatedAbscissaAndLevelsAsAmplitudes)
{
    // Falling by equal steps is equidistant too, with a negative step.
    for (const char* text : {"100 0\n200 6\n300 12\n", "300 0\n200 6\n100 12\n"}) {
        const STrxContent c = Clipped(text, out);
        EXPECT_EQ(c.kind, 4);
        EXPECT_EQ(c.organisation, 1);
        ASSERT_TRUE(c.abscissa.IsCalc());
        EXPECT_EQ(c.abscissa.GetName(), "Frequency");
        EXPECT_EQ(c.abscissa.GetUnit().GetText(), "Hz");
        EXPECT_DOUBLE_EQ(c.abscissa.GetFirstValue(), text[0] == '1' ? 100.0 : 300.0);
        EXPECT_DOUBLE_EQ(c.abscissa.GetDeltaValue(), text[0] == '1' ? 100.0 : -100.0);
        EXPECT_EQ(c.abscissa.GetNbrOfScans(), 3);
        ASSERT_EQ(c.channels.size(), 1u);
        EXPECT_EQ(c.channels[0].GetName(), "Ch 1");
        ExpectFloats(c.scans, {k0dB, k6dB, k12dB});
    }
}

TEST_F(TableWriterTest, LogarithmicColumnGivesBandsWithRegularEdges)
{
    // One band per octave: ratio 2, edges at 100/√2 and so on.
    const STrxContent c = Clipped("100 0 6\n200 6 0\n400 12 0\n", out);
    EXPECT_EQ(c.organisation, 4);
    ASSERT_FALSE(c.abscissa.IsCalc());
    EXPECT_EQ(c.abscissa.GetCoordinate(), 2);
    ASSERT_EQ(c.channels.size(), 2u);
    EXPECT_EQ(c.channels[1].GetName(), "Ch 2");
    ExpectFloats(c.scans, {70.710678f, 100.0f, 141.42136f, k0dB,  k6dB,
                              141.42136f, 200.0f, 282.84271f, k6dB,  k0dB,
                              282.84271f, 400.0f, 565.68542f, k12dB, k0dB});

    // Third octaves: a first ratio of 1.26 snaps to 2^(1/3); the centres stay
    // as the table has them.
    ExpectFloats(Clipped("100 0\n126 0\n158 0\n200 0\n", out).scans, {89.089872f, 100.0f, 112.24620f, k0dB, 112.24620f, 126.0f, 141.42136f, k0dB,
                           141.42136f, 158.0f, 178.17974f, k0dB, 178.17974f, 200.0f, 224.49242f, k0dB});

    // 100, 100, 105: not equidistant (steps 0 and 5), every ratio near 1:
    // logarithmic with a ratio of exactly 1, so the edges sit on the first value.
    const STrxContent e = Clipped("100 0\n100 0\n105 0\n", out);
    EXPECT_EQ(e.abscissa.GetCoordinate(), 2);
    ExpectFloats(e.scans, {100.0f, 100.0f, 100.0f, k0dB, 100.0f, 100.0f, 100.0f, k0dB, 100.0f, 105.0f, 100.0f, k0dB});

    // Increasing by neither equal steps nor equal ratios: the values as they stand.
    const STrxContent i = Clipped("100 0\n200 6\n350 12\n", out);
    EXPECT_EQ(i.abscissa.GetCoordinate(), 1);
    ExpectFloats(i.scans, {100.0f, k0dB, 200.0f, k6dB, 350.0f, k12dB});
}

TEST_F(TableWriterTest, ColumnsThatFitNoCaseAndTooSmallTablesWriteNothing)
{
    // Falling and uneven; one row; one column; nothing; a first line without
    // numbers (it decides).
    for (const char* text : {"300 0\n200 6\n150 12\n", "100 0 6\n", "100\n200\n300\n", "",
                             "Frequency Level\n100 0\n200 6\n"}) {
        EXPECT_FALSE(Clip(text, out)) << text;
        EXPECT_FALSE(Exists(out));
    }
    CTSInterface ts;
    EXPECT_FALSE(ts.ClipboardImport(nullptr, out.c_str()));
    std::string text = "100 0\n200 6\n";
    EXPECT_FALSE(ts.ClipboardImport(text.data(), nullptr));
    // A refused table leaves a file that was there alone.
    WriteFile(out, "keep");
    EXPECT_FALSE(Clip("300 0\n200 6\n150 12\n", out));
    EXPECT_EQ(ReadFile(out), "keep");
}

TEST_F(TableWriterTest, DecimalCommaShortLongLinesAndLineEnds)
{
    // "1,5" is 1.5 dB; a missing number is 0 dB; further numbers are ignored.
    const STrxContent c = Clipped("100\t1,5\t6\n200\t6\n300\t-3\t0\t99\n", out);
    ASSERT_EQ(c.channels.size(), 2u);
    ExpectFloats(c.scans, {1.1885022f, k6dB, k6dB, k0dB, 0.70794576f, k0dB});

    // From the first unreadable number on, a row is 0 dB.
    ExpectFloats(Clipped("100 6 6\n200 x 6\n", out).scans, {k6dB, k6dB, k0dB, k0dB});

    // CR LF lines: the rows end at the first empty line, "\r\n" included.
    EXPECT_EQ(Clipped("100\t0\r\n200\t6\r\n\r\n300\t12\r\n", out).abscissa.GetNbrOfScans(), 2);

    // 150 channels of "-12.3456789" make lines far beyond 1000 characters.
    std::string text;
    for (int r = 0; r < 3; ++r) {
        text += std::to_string(100 * (r + 1));
        for (int c = 0; c < 150; ++c) text += "\t-12.3456789";
        text += "\n";
    }
    const STrxContent w = Clipped(text, out);
    ASSERT_EQ(w.channels.size(), 150u);
    EXPECT_EQ(w.channels[149].GetName(), "Ch150");
    EXPECT_EQ(w.abscissa.GetNbrOfScans(), 3);
    EXPECT_FLOAT_EQ(w.scans.back(), 0.24138822f);   // 10^(-12.3456789/20)
}

// A spreadsheet table, rows of blank-separated cells: "-" is a cell without
// a number (text, or empty), as the readers leave it out.
CNumberTable Grid(const std::vector<std::string>& rows)
{
    CNumberTable t;
    for (std::uint32_t r = 0; r < rows.size(); ++r) {
        std::istringstream cells(rows[r]);
        std::string cell;
        for (std::uint32_t c = 0; cells >> cell; ++c)
            if (cell != "-") t.Set(r, c, std::stod(cell));
    }
    t.Finish();
    return t;
}

TEST_F(TableWriterTest, BlockSearchLeavesTextAroundTheNumbersOut)
{
    // A title and a header row (text); rows 2-4: a text column, then frequency
    // and two levels; then a lone number in column 0, which is not looked at
    // when the block's last row is searched.
    const CNumberTable t = Grid({"-", "- - - -", "- 100 0 0", "- 200 6 0", "- 300 12 0", "-", "-", "5"});
    CString reason;
    ASSERT_TRUE(WriteTableToTRX(t, out.c_str(), 3, &reason)) << reason.c_str();
    const STrxContent c = ReadTrx(out);
    EXPECT_EQ(c.kind, 3);
    ASSERT_EQ(c.channels.size(), 2u);
    EXPECT_DOUBLE_EQ(c.abscissa.GetFirstValue(), 100.0);
    EXPECT_EQ(c.abscissa.GetNbrOfScans(), 3);
    ExpectFloats(c.scans, {k0dB, k0dB, k6dB, k0dB, k12dB, k0dB});

    // A lone number below the block ends the search there: one row, no block.
    EXPECT_FALSE(WriteTableToTRX(Grid({"100 0", "200 0", "300 0", "-", "-", "-", "-", "-", "-", "- - - - 1"}),
                                 out.c_str(), 4, &reason));
    EXPECT_NE(std::strstr(reason.c_str(), "no block"), nullptr);

    // A gap in a row ends the block above it.
    ASSERT_TRUE(WriteTableToTRX(Grid({"100 0 0", "200 - 0", "300 0 0", "400 0 0"}), out.c_str(), 4, &reason));
    const STrxContent g = ReadTrx(out);
    EXPECT_EQ(g.abscissa.GetNbrOfScans(), 2);
    EXPECT_DOUBLE_EQ(g.abscissa.GetFirstValue(), 300.0);
}

TEST(NumberTableTest, CellsOutOfOrderAndRepeatedKeepTheLastValue)
{
    CNumberTable t(4);
    EXPECT_TRUE(t.Set(1, 1, 1.0));
    EXPECT_TRUE(t.Set(0, 0, 2.0));
    EXPECT_TRUE(t.Set(1, 1, 3.0));
    EXPECT_TRUE(t.Set(1, 0, 4.0));
    EXPECT_FALSE(t.Set(2, 0, 5.0));
    EXPECT_TRUE(t.Full());
    t.Finish();
    ASSERT_EQ(t.RowCount(), 2u);
    EXPECT_EQ(t.CellCount(), 3u);
    ASSERT_NE(t.Find(1, 1), nullptr);
    EXPECT_EQ(t.Find(1, 1)->dValue, 3.0);
    EXPECT_EQ(t.Find(0, 1), nullptr);
}

TEST(ClassifyAbscissaTest, TenPercentToleranceAndOrder)
{
    const struct {
        std::vector<double> column;
        EAbscissaCase want;
    } kCases[] = {
        {{100, 200, 305, 395}, EAbscissaCase::Equidistant},   // steps within 10 % of 100
        {{100, 200, 315}, EAbscissaCase::Increasing},
        {{0, 0, 0}, EAbscissaCase::Equidistant},
        {{5, 1}, EAbscissaCase::Equidistant},
    };
    for (const auto& k : kCases)
        EXPECT_EQ(ClassifyAbscissa(k.column.data(), k.column.size()), k.want) << k.column[2 % k.column.size()];
}

} // namespace
