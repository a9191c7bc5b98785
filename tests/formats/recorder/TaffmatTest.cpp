// TAFFmat: the header reader on header texts written here, and the import
// of a ".DAT" with its ".hdr" through CTSInterface.

#include "formats/recorder/TaffHeader.h"

#include "RecorderTestUtil.h"

#include <tuple>

using namespace rectest;

namespace {

unsigned Read(const std::string& text, STaffHeader& h, std::string& detail)
{
    return ReadTaffHeader(text.data(), text.size(), h, detail);
}

class Taffmat : public RecorderTest {
protected:
    // "rec.DAT" with `scans` scans of `channels` and its header.
    fs::path Make(const TaffFields& t, int channels, int scans)
    {
        WriteFile(dir / "rec.DAT", Ramp(channels, scans));
        WriteFile(dir / "rec.hdr", TaffHeader(t));
        return dir / "rec.DAT";
    }
};

}  // namespace

TEST(TaffHeader, LinesListsAndFailures)
{
    // Blanks around list entries, an empty last one; keywords in any case
    // within the key part; the carriage return is the line's end; units in
    // upper case. (The other fields: the imports below.)
    TaffFields t;
    t.series = "CH01:Front_FL , CH02 Rear_RR,";
    std::string text = TaffHeader(t);
    text.replace(text.find("VERSION"), 7, "version");
    STaffHeader h;
    std::string detail;
    ASSERT_EQ(Read(text, h, detail), 0u) << detail;
    using List = std::vector<std::string>;
    EXPECT_EQ(std::tie(h.series, h.sHorzUnits, h.sTime, h.iVersion),
              std::make_tuple(List{"CH01:Front_FL", "CH02 Rear_RR"}, "SEC", "12:34:56.70", 1));
    // Fewer entries than series: the rest stay empty; surplus ones are dropped.
    EXPECT_EQ(SplitTaffList("a,,c,d", 4), (std::vector<std::string>{"a", "", "c", "d"}));
    EXPECT_EQ(SplitTaffList(" a ,b", 3), (std::vector<std::string>{"a", "b", ""}));
    EXPECT_EQ(SplitTaffList("a,b,c", 2), (std::vector<std::string>{"a", "b"}));

    // NUM_SERIES must be the tenth line.
    text = TaffHeader(TaffFields());
    text.insert(0, "REMARK inserted\r\n");
    EXPECT_EQ(Read(text, h, detail), 78u);
    EXPECT_EQ(detail, "NUM_SERIES");
    // A line without its keyword is named.
    text = TaffHeader(TaffFields());
    text.replace(text.find("SLOPE"), 5, "SLANT");
    EXPECT_EQ(Read(text, h, detail), 78u);
    EXPECT_EQ(detail, "SLOPE");
    // The file ends early; a line beyond the bound; absurd series counts.
    text = TaffHeader(TaffFields());
    EXPECT_EQ(Read(text.substr(0, text.find("Y_OFFSET")), h, detail), 77u);
    EXPECT_EQ(Read("DATASET x\n", h, detail), 77u);
    t = TaffFields();
    t.comment = std::string(STaffHeader::kMaxLine + 1, 'c');
    EXPECT_EQ(Read(TaffHeader(t), h, detail), 77u);
    t = TaffFields();
    t.numSeries = "2000000000";
    EXPECT_EQ(Read(TaffHeader(t), h, detail), 77u);
}

TEST_F(Taffmat, ValuesNamesDateAndComment)
{
    TaffFields t;
    t.series = "CH01:Front_FL,CH02 Rear_RR";
    t.vertUnits = "m/s^2, Pa";
    t.slopes = "0.001, 0.25";
    t.yOffsets = "0.5, -2";
    t.numSamps = "300";
    const CTSInterface::SMessage msg = ImportTeac(Make(t, 2, 300));
    ASSERT_EQ(msg.uState, 15u) << msg.sText.c_str();
    EXPECT_EQ(msg.sText, Text(2));

    CDataset ds((dir / "out.trx").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_EQ(ds.GetComment(), "Imported from TAFFmat (TEAC data Acquisition File Format).\r\nroad test");
    EXPECT_EQ(ds.GetAbscissa(0).GetDeltaValue(), 1.0 / 1000);
    EXPECT_EQ(ds.GetNbrOfScans(), 300);
    EXPECT_EQ(ds.GetScanMode(), sm__single_rate);
    ExpectDate(ds, {1999, 3, 12, 12, 34});
    EXPECT_EQ(ds.GetDateOfRecording().GetParts().dSecond, 57.0);   // 56.70 rounded up
    ExpectChannels(ds, {{"Front_FL", "FL", "m/s^2", 0, 0.001, 0.5}, {"Rear_RR", "RR", "Pa", 1, 0.25, -2.0}});
    EXPECT_EQ(ds.GetChannel(0).GetTitle(), "CH01");
    EXPECT_EQ(ds.GetChannel(1).GetTitle(), "CH02");
    ExpectValues(dir / "out.trx", samples, {0.001, 0.25}, {0.5, -2.0});
}

TEST_F(Taffmat, ChecksInTheirOrder)
{
    auto code = [&](TaffFields t) {
        const CTSInterface::SMessage m = ImportTeac(Make(t, 2, 4));
        return m.sText;
    };
    TaffFields t;
    t.storage = "BLOCK";
    EXPECT_EQ(code(t), Text(79));
    t.version = "2";
    EXPECT_EQ(code(t), Text(75));   // the version is checked first
    t = TaffFields();
    t.rate = "1";
    EXPECT_EQ(code(t), Text(80));
    t.numSeries = "0";
    EXPECT_EQ(code(t), Text(7));
    t = TaffFields();
    t.slopes = "0.5";   // the second series has no slope: no valid mapping
    EXPECT_EQ(code(t).Left(Text(15).GetLength()), Text(15));
    t = TaffFields();
    t.numSamps = "5";   // one scan more than the file holds
    EXPECT_EQ(code(t).Left(Text(12).GetLength()), Text(12));
    // An unknown unit: the virtual unit and a warning naming it.
    t = TaffFields();
    t.vertUnits = "V, furlong";
    t.time = "12:34";
    const CTSInterface::SMessage m = ImportTeac(Make(t, 2, 4));
    ASSERT_EQ(m.uState, 15u);
    EXPECT_EQ(m.sText, CString::Formatted(Text(35).c_str(), "furlong"));
    CDataset ds((dir / "out.trx").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_EQ(ds.GetChannel(1).GetUnit().GetText(), "vU");
    EXPECT_EQ(ds.GetDateOfRecording().GetParts().iHour, 0);   // a TIME of another length: midnight
}

TEST_F(Taffmat, MultiRatePatternAndUpperCaseHeader)
{
    // Series 0 at four times the base rate of series 1.
    TaffFields t;
    t.chSlot = "1,1";
    t.rateMulti = "4000,1000";
    t.numSamps = "20";
    const fs::path in = Make(t, 5, 20);   // five samples per 1 ms scan
    fs::rename(dir / "rec.hdr", dir / "rec.HDR");
    const CTSInterface::SMessage msg = ImportTeac(in);
    ASSERT_EQ(msg.uState, 15u) << msg.sText.c_str();
    CDataset ds((dir / "out.trx").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_EQ(ds.GetScanMode(), sm__pattern);
    EXPECT_EQ(ds.GetSamplingPattern(), (CChNbrList{0, 0, 0, 0, 1}));
    EXPECT_DOUBLE_EQ(ds.GetSamplingRate(0), 4000.0);
    EXPECT_DOUBLE_EQ(ds.GetSamplingRate(1), 1000.0);
    EXPECT_EQ(ds.GetNbrOfScans(), 20);
    ExpectSamplesAtDataOffset(dir / "out.trx", samples);

    // A pattern that names series the header does not have.
    t.chSlot = "2,1";
    fs::remove(dir / "out.trx");
    const CTSInterface::SMessage bad = ImportTeac(Make(t, 5, 20));
    EXPECT_EQ(bad.sText.Left(Text(77).GetLength()), Text(77)) << bad.sText.c_str();
}
