// TAFFmat: the header reader on header texts written here, and the import
// of a ".DAT" with its ".hdr" through CTSInterface.

#include "formats/recorder/TaffHeader.h"

#include "RecorderTestUtil.h"

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
        samples = Interleaved(channels, scans);
        WriteFile(dir / "rec.DAT", Samples(samples));
        WriteFile(dir / "rec.hdr", TaffHeader(t));
        return dir / "rec.DAT";
    }
    CTSInterface::SMessage Import(const fs::path& in)
    {
        CTSInterface::SMessage msg;
        EXPECT_EQ(CTSInterface().ImportTEAC(in.c_str(), 5, 6, (dir / "out.trx").c_str(), nullptr, &msg), 0u);
        EXPECT_EQ(fs::exists(dir / "out.trx"), IsSucceededState(msg.uState)) << msg.sText.c_str();
        return msg;
    }
    std::vector<std::int16_t> samples;
};

}  // namespace

TEST(TaffHeader, ReadsTheLinesInTheirOrder)
{
    TaffFields t;
    t.series = "CH01:Front_FL , CH02 Rear_RR,";
    t.chSlot = "1,1";
    t.rateMulti = "4000, 1000";
    STaffHeader h;
    std::string detail;
    ASSERT_EQ(Read(TaffHeader(t), h, detail), 0u) << detail;
    EXPECT_EQ(h.iVersion, 1);
    EXPECT_EQ(h.series, (std::vector<std::string>{"CH01:Front_FL", "CH02 Rear_RR"}));
    EXPECT_EQ(h.sDate, "03-12-1999");
    EXPECT_EQ(h.sTime, "12:34:56.70");   // the carriage return is the line's end
    EXPECT_EQ(h.lRate, 1000);
    EXPECT_EQ(h.sHorzUnits, "SEC");
    EXPECT_EQ(h.sComment, "road test");
    EXPECT_EQ(h.iNumSeries, 2);
    EXPECT_EQ(h.sStorageMode, "INTERLACED");
    EXPECT_EQ(h.slopes, (std::vector<std::string>{"0.5", "0.25"}));
    EXPECT_EQ(h.yOffsets, (std::vector<std::string>{"0", "1"}));
    EXPECT_EQ(h.lNumSamps, 4);
    EXPECT_EQ(h.chSlots, (std::vector<std::string>{"1", "1"}));
    EXPECT_EQ(h.rateMulti, (std::vector<std::string>{"4000", "1000"}));

    // Keywords in any case within the key part; no optional lines.
    std::string text = TaffHeader(TaffFields());
    text.replace(text.find("VERSION"), 7, "version");
    ASSERT_EQ(Read(text, h, detail), 0u) << detail;
    EXPECT_EQ(h.iVersion, 1);
    EXPECT_TRUE(h.chSlots.empty());
    EXPECT_TRUE(h.rateMulti.empty());
}

TEST(TaffHeader, ListsAndFailures)
{
    // Fewer entries than series: the rest stay empty; surplus ones are dropped.
    EXPECT_EQ(SplitTaffList(" a ,b", 4), (std::vector<std::string>{"a", "b", "", ""}));
    EXPECT_EQ(SplitTaffList("a,b,c", 2), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitTaffList("a,,c", 3), (std::vector<std::string>{"a", "", "c"}));
    EXPECT_TRUE(SplitTaffList("a", 0).empty());

    STaffHeader h;
    std::string detail;
    // NUM_SERIES must be the tenth line.
    std::string text = TaffHeader(TaffFields());
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
    TaffFields t;
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
    const CTSInterface::SMessage msg = Import(Make(t, 2, 300));
    ASSERT_EQ(msg.uState, 15u) << msg.sText.c_str();
    EXPECT_EQ(msg.sText, Text(2));

    CDataset ds((dir / "out.trx").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_EQ(ds.GetComment(), "Imported from TAFFmat (TEAC data Acquisition File Format).\r\nroad test");
    EXPECT_EQ(ds.GetAbscissa(0).GetDeltaValue(), 1.0 / 1000);
    EXPECT_EQ(ds.GetNbrOfScans(), 300);
    EXPECT_EQ(ds.GetScanMode(), sm__single_rate);
    const CDateTimeEx::SParts d = ds.GetDateOfRecording().GetParts();
    EXPECT_EQ(d.iYear, 1999);
    EXPECT_EQ(d.iMonth, 3);
    EXPECT_EQ(d.iDay, 12);
    EXPECT_EQ(d.iHour, 12);
    EXPECT_EQ(d.iMinute, 34);
    EXPECT_EQ(d.dSecond, 57.0);   // 56.70 rounded up
    ASSERT_EQ(ds.GetNbrOfChannels(), 2);
    EXPECT_EQ(ds.GetChannel(0).GetName(), "Front_FL");
    EXPECT_EQ(ds.GetChannel(0).GetTitle(), "CH01");
    EXPECT_EQ(ds.GetChannel(0).GetAbbreviation(), "FL");
    EXPECT_EQ(ds.GetChannel(0).GetUnit().GetText(), "m/s^2");
    EXPECT_EQ(ds.GetChannel(0).GetPhysChannel(), 0);
    EXPECT_EQ(ds.GetChannel(1).GetName(), "Rear_RR");
    EXPECT_EQ(ds.GetChannel(1).GetTitle(), "CH02");
    EXPECT_EQ(ds.GetChannel(1).GetAbbreviation(), "RR");
    EXPECT_EQ(ds.GetChannel(1).GetPhysChannel(), 1);

    const double factor[] = {0.001, 0.25}, offset[] = {0.5, -2.0};
    const std::vector<double> values = ReadValues(dir / "out.trx");
    ASSERT_EQ(values.size(), samples.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        ASSERT_DOUBLE_EQ(values[i], samples[i] * factor[i % 2] + offset[i % 2]) << "value " << i;
}

TEST_F(Taffmat, ChecksInTheirOrder)
{
    auto code = [&](TaffFields t) {
        const CTSInterface::SMessage m = Import(Make(t, 2, 4));
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
    const CTSInterface::SMessage m = Import(Make(t, 2, 4));
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
    const CTSInterface::SMessage msg = Import(in);
    ASSERT_EQ(msg.uState, 15u) << msg.sText.c_str();
    CDataset ds((dir / "out.trx").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_EQ(ds.GetScanMode(), sm__pattern);
    EXPECT_EQ(ds.GetSamplingPattern(), (CChNbrList{0, 0, 0, 0, 1}));
    EXPECT_DOUBLE_EQ(ds.GetSamplingRate(0), 4000.0);
    EXPECT_DOUBLE_EQ(ds.GetSamplingRate(1), 1000.0);
    EXPECT_EQ(ds.GetNbrOfScans(), 20);
    const Bytes file = ReadFile(dir / "out.trx"), raw = Samples(samples);
    ASSERT_GE(file.size(), std::size_t(ds.GetStartOfDataInFile()) + raw.size());
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), file.begin() + ds.GetStartOfDataInFile()));

    // A pattern that names series the header does not have.
    t.chSlot = "2,1";
    fs::remove(dir / "out.trx");
    const CTSInterface::SMessage bad = Import(Make(t, 5, 20));
    EXPECT_EQ(bad.sText.Left(Text(77).GetLength()), Text(77)) << bad.sText.c_str();
}
