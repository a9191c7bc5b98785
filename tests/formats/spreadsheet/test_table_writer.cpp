// The table writer's cases, fed through CTSInterface::ClipboardImport (text as
// the host hands it over) and, for tables a text cannot make, through a table
// built here. Expected values are literals: 10^(dB/20) and octave band edges
// worked out by hand.

#include "SpreadsheetTestUtil.h"

#include "formats/spreadsheet/ClipboardText.h"
#include "formats/spreadsheet/TableWriter.h"
#include "interface/TSInterface.h"

#include <cstring>
#include <string>

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

class TableWriterTest : public ::testing::Test {
protected:
    CScratchDir dir;
    std::string out = dir / "t.trx";
};

TEST_F(TableWriterTest, EquidistantColumnGivesCalculatedAbscissaAndLevelsAsAmplitudes)
{
    ASSERT_TRUE(Clip("100 0\n200 6\n300 12\n", out));
    const STrxContent c = ReadTrx(out);
    EXPECT_EQ(c.kind, 4);
    EXPECT_EQ(c.organisation, 1);
    ASSERT_TRUE(c.abscissa.IsCalc());
    EXPECT_EQ(c.abscissa.GetName(), "Frequency");
    EXPECT_EQ(c.abscissa.GetAbbreviation(), "f");
    EXPECT_EQ(c.abscissa.GetUnit().GetText(), "Hz");
    EXPECT_EQ(c.abscissa.GetQuantity().GetName(), "frequency");
    EXPECT_DOUBLE_EQ(c.abscissa.GetFirstValue(), 100.0);
    EXPECT_DOUBLE_EQ(c.abscissa.GetDeltaValue(), 100.0);
    EXPECT_EQ(c.abscissa.GetNbrOfScans(), 3);
    ASSERT_EQ(c.channels.size(), 1u);
    EXPECT_EQ(c.channels[0].GetName(), "Ch 1");
    EXPECT_EQ(c.channels[0].GetAbbreviation(), "");
    EXPECT_EQ(c.channels[0].GetImplType(), 10);
    EXPECT_EQ(c.channels[0].GetPhysChannel(), 0);
    ASSERT_EQ(c.scans.size(), 3u);
    EXPECT_FLOAT_EQ(c.scans[0], k0dB);
    EXPECT_FLOAT_EQ(c.scans[1], k6dB);
    EXPECT_FLOAT_EQ(c.scans[2], k12dB);

    // Falling by equal steps is equidistant too, with a negative step.
    ASSERT_TRUE(Clip("300 0\n200 0\n100 0\n", out));
    const STrxContent d = ReadTrx(out);
    EXPECT_DOUBLE_EQ(d.abscissa.GetFirstValue(), 300.0);
    EXPECT_DOUBLE_EQ(d.abscissa.GetDeltaValue(), -100.0);
}

TEST_F(TableWriterTest, LogarithmicColumnGivesBandsWithRegularEdges)
{
    // One band per octave: ratio 2, edges at 100/√2 and so on.
    ASSERT_TRUE(Clip("100 0 6\n200 6 0\n400 12 0\n", out));
    const STrxContent c = ReadTrx(out);
    EXPECT_EQ(c.organisation, 4);
    ASSERT_FALSE(c.abscissa.IsCalc());
    EXPECT_EQ(c.abscissa.GetCoordinate(), 2);
    EXPECT_EQ(c.abscissa.GetImplType(), 10);
    ASSERT_EQ(c.channels.size(), 2u);
    EXPECT_EQ(c.channels[1].GetName(), "Ch 2");
    EXPECT_EQ(c.channels[1].GetPhysChannel(), 1);
    ASSERT_EQ(c.perScan, 5);
    const float expected[] = {70.710678f, 100.0f, 141.42136f, k0dB,  k6dB,
                              141.42136f, 200.0f, 282.84271f, k6dB,  k0dB,
                              282.84271f, 400.0f, 565.68542f, k12dB, k0dB};
    ASSERT_EQ(c.scans.size(), 15u);
    for (int i = 0; i < 15; ++i) EXPECT_FLOAT_EQ(c.scans[i], expected[i]) << i;

    // Third octaves: a first ratio of 1.26 snaps to 2^(1/3); the centres stay
    // as the table has them.
    ASSERT_TRUE(Clip("100 0\n126 0\n158 0\n200 0\n", out));
    const STrxContent t = ReadTrx(out);
    ASSERT_EQ(t.perScan, 4);
    const float edges[] = {89.089872f, 112.24620f, 141.42136f, 178.17974f, 224.49242f};
    for (int s = 0; s < 4; ++s) {
        EXPECT_FLOAT_EQ(t.scans[s * 4 + 0], edges[s]) << s;
        EXPECT_FLOAT_EQ(t.scans[s * 4 + 2], edges[s + 1]) << s;
    }
    EXPECT_FLOAT_EQ(t.scans[1 * 4 + 1], 126.0f);
}

TEST_F(TableWriterTest, IncreasingColumnIsStoredAsItStands)
{
    ASSERT_TRUE(Clip("100 0\n200 6\n350 12\n", out));
    const STrxContent c = ReadTrx(out);
    EXPECT_EQ(c.organisation, 4);
    ASSERT_FALSE(c.abscissa.IsCalc());
    EXPECT_EQ(c.abscissa.GetCoordinate(), 1);
    const float expected[] = {100.0f, k0dB, 200.0f, k6dB, 350.0f, k12dB};
    ASSERT_EQ(c.scans.size(), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_FLOAT_EQ(c.scans[i], expected[i]) << i;
}

TEST_F(TableWriterTest, ColumnsThatFitNoCaseAndTooSmallTablesWriteNothing)
{
    EXPECT_FALSE(Clip("300 0\n200 6\n150 12\n", out));   // falling, uneven
    EXPECT_FALSE(Exists(out));
    EXPECT_FALSE(Clip("100 0 6\n", out));                 // one row
    EXPECT_FALSE(Exists(out));
    EXPECT_FALSE(Clip("100\n200\n300\n", out));           // one column
    EXPECT_FALSE(Exists(out));
    EXPECT_FALSE(Clip("", out));
    EXPECT_FALSE(Clip("Frequency Level\n100 0\n200 6\n", out));   // the first line decides: no numbers
    EXPECT_FALSE(Exists(out));
    CTSInterface ts;
    EXPECT_FALSE(ts.ClipboardImport(nullptr, out.c_str()));
    std::string text = "100 0\n200 6\n";
    EXPECT_FALSE(ts.ClipboardImport(text.data(), nullptr));

    // A refused table leaves a file that was there alone.
    WriteFile(out, "keep");
    EXPECT_FALSE(Clip("300 0\n200 6\n150 12\n", out));
    EXPECT_EQ(ReadFile(out), "keep");
}

TEST_F(TableWriterTest, DecimalCommaShortLinesAndLineEnds)
{
    // "1,5" is 1.5 dB; a missing number is 0 dB; further numbers are ignored.
    ASSERT_TRUE(Clip("100\t1,5\t6\n200\t6\n300\t-3\t0\t99\n", out));
    const STrxContent c = ReadTrx(out);
    ASSERT_EQ(c.channels.size(), 2u);
    const float expected[] = {1.1885022f, k6dB, k6dB, k0dB, 0.70794576f, k0dB};
    ASSERT_EQ(c.scans.size(), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_FLOAT_EQ(c.scans[i], expected[i]) << i;

    // From the first unreadable number on, a row is 0 dB.
    ASSERT_TRUE(Clip("100 6 6\n200 x 6\n", out));
    const STrxContent u = ReadTrx(out);
    ASSERT_EQ(u.scans.size(), 4u);
    EXPECT_FLOAT_EQ(u.scans[2], k0dB);
    EXPECT_FLOAT_EQ(u.scans[3], k0dB);

    // CR LF lines: the rows end at the first empty line, "\r\n" included.
    ASSERT_TRUE(Clip("100\t0\r\n200\t6\r\n\r\n300\t12\r\n", out));
    EXPECT_EQ(ReadTrx(out).abscissa.GetNbrOfScans(), 2);
}

TEST_F(TableWriterTest, LongLinesKeepEveryColumn)
{
    // 150 channels of "-12.3456789" make lines far beyond 1000 characters.
    std::string text;
    for (int r = 0; r < 3; ++r) {
        text += std::to_string(100 * (r + 1));
        for (int c = 0; c < 150; ++c) text += "\t-12.3456789";
        text += "\n";
    }
    ASSERT_TRUE(Clip(text, out));
    const STrxContent c = ReadTrx(out);
    ASSERT_EQ(c.channels.size(), 150u);
    EXPECT_EQ(c.channels[149].GetName(), "Ch150");
    EXPECT_EQ(c.abscissa.GetNbrOfScans(), 3);
    EXPECT_FLOAT_EQ(c.scans.back(), 0.24138822f);   // 10^(-12.3456789/20)
}

TEST_F(TableWriterTest, EqualNeighboursInALogarithmicColumnDoNotBreakTheBands)
{
    // 100, 100, 105: not equidistant (steps 0 and 5), every ratio near 1:
    // logarithmic with a ratio of exactly 1, so the edges sit on the first value.
    ASSERT_TRUE(Clip("100 0\n100 0\n105 0\n", out));
    const STrxContent c = ReadTrx(out);
    ASSERT_EQ(c.perScan, 4);
    EXPECT_EQ(c.abscissa.GetCoordinate(), 2);
    EXPECT_FLOAT_EQ(c.scans[0], 100.0f);
    EXPECT_FLOAT_EQ(c.scans[2], 100.0f);
    EXPECT_FLOAT_EQ(c.scans[8 + 2], 100.0f);
}

// Spreadsheet tables: only number cells are set, text is simply absent.
TEST_F(TableWriterTest, BlockSearchLeavesTextAroundTheNumbersOut)
{
    CNumberTable t;
    // Row 0: a title (text); row 1: a header (text); rows 2-4: a text column A,
    // then frequency in B and levels in C, D; row 5: a note in A and a number
    // far right in a row of its own above which nothing lines up.
    for (std::uint32_t r = 2; r <= 4; ++r) {
        t.Set(r, 1, 100.0 * (r - 1));
        t.Set(r, 2, 6.0 * (r - 2));
        t.Set(r, 3, 0.0);
    }
    t.Set(7, 0, 5.0);   // only column 0: not looked at when the block's last row is searched
    t.Finish();
    CString reason;
    ASSERT_TRUE(WriteTableToTRX(t, out.c_str(), 3, &reason)) << reason.c_str();
    const STrxContent c = ReadTrx(out);
    EXPECT_EQ(c.kind, 3);
    ASSERT_EQ(c.channels.size(), 2u);
    EXPECT_DOUBLE_EQ(c.abscissa.GetFirstValue(), 100.0);
    EXPECT_EQ(c.abscissa.GetNbrOfScans(), 3);
    const float expected[] = {k0dB, k0dB, k6dB, k0dB, k12dB, k0dB};
    ASSERT_EQ(c.scans.size(), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_FLOAT_EQ(c.scans[i], expected[i]) << i;

    // A lone number below the block ends the search there: one row, no block.
    CNumberTable lone;
    for (std::uint32_t r = 0; r < 3; ++r) {
        lone.Set(r, 0, 100.0 * (r + 1));
        lone.Set(r, 1, 0.0);
    }
    lone.Set(9, 4, 1.0);
    lone.Finish();
    EXPECT_FALSE(WriteTableToTRX(lone, out.c_str(), 4, &reason));
    EXPECT_NE(std::strstr(reason.c_str(), "no block"), nullptr);

    // A gap in a row ends the block above it.
    CNumberTable gap;
    for (std::uint32_t r = 0; r < 4; ++r) {
        gap.Set(r, 0, 100.0 * (r + 1));
        if (r != 1) gap.Set(r, 1, 0.0);
        gap.Set(r, 2, 0.0);
    }
    gap.Finish();
    ASSERT_TRUE(WriteTableToTRX(gap, out.c_str(), 4, &reason));
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
    const double nearlyEven[] = {100, 200, 305, 395};   // steps within 10 % of 100
    EXPECT_EQ(ClassifyAbscissa(nearlyEven, 4), EAbscissaCase::Equidistant);
    const double uneven[] = {100, 200, 315};
    EXPECT_EQ(ClassifyAbscissa(uneven, 3), EAbscissaCase::Increasing);
    const double octaves[] = {31.5, 63, 125, 250, 500};
    EXPECT_EQ(ClassifyAbscissa(octaves, 5), EAbscissaCase::Logarithmic);
    const double zeros[] = {0, 0, 0};
    EXPECT_EQ(ClassifyAbscissa(zeros, 3), EAbscissaCase::Equidistant);
    const double falling[] = {300, 200, 150};
    EXPECT_EQ(ClassifyAbscissa(falling, 3), EAbscissaCase::None);
    const double two[] = {5, 1};
    EXPECT_EQ(ClassifyAbscissa(two, 2), EAbscissaCase::Equidistant);
}

} // namespace
