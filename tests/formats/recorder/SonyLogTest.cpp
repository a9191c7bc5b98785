// The LOG reader of SONY MK II/III recordings, on LOG texts written here.

#include "formats/recorder/SonyLog.h"

#include "RecorderTestUtil.h"

using namespace rectest;

namespace {

const std::vector<SonyChannelLine> kTwo = {{1, "ACC1", "m/s^2", "0.00153*(X)+0.0", "20."},
                                           {2, "PRESS", "Pa", "0.5*(X)+10.0", "0.5"}};

bool Read(const std::string& text, SSonyLog& log, std::string& why)
{
    return ReadSonyLog(text.data(), text.size(), log, why);
}

}  // namespace

TEST(SonyLog, ReadsEveryFieldOfACompleteLog)
{
    SSonyLog log;
    std::string why;
    ASSERT_TRUE(Read(SonyLog(kTwo, 1000, "2.0833333e-05"), log, why)) << why;
    EXPECT_EQ(log.sVersion, "1.02");
    EXPECT_EQ(log.sDataFile, "REC001.BIN");
    EXPECT_EQ(log.iFormat, 0);
    EXPECT_EQ(log.lSamplesPerChannel, 1000);
    EXPECT_DOUBLE_EQ(log.dInterval, 2.0833333e-05);
    EXPECT_EQ(log.sFileMemo, "bench run 4");
    EXPECT_EQ(log.iTapeMode, 1);
    EXPECT_EQ(log.lTapeSampleRate, 48000);
    EXPECT_EQ(log.nDecimation, 4);
    EXPECT_EQ(log.iTapeSpeed, 2);
    EXPECT_EQ(log.iID, 42);
    EXPECT_EQ(log.lDate, 990312);
    EXPECT_EQ(log.lTime, 101500);
    EXPECT_EQ(log.lCounterAddress, 12);   // "+12345" milliseconds
    EXPECT_EQ(log.sMemo, "free text");
    EXPECT_EQ(log.iTrigMode, 0);
    EXPECT_EQ(log.uMissing, 0);
    ASSERT_EQ(log.channels.size(), 2u);
    EXPECT_EQ(log.channels[0].iNumber, 0);
    EXPECT_EQ(log.channels[0].sName, "ACC1");
    EXPECT_EQ(log.channels[0].sUnit, "m/s^2");
    EXPECT_EQ(log.channels[0].sMapping, "0.00153*(X)+0.0");
    EXPECT_EQ(log.channels[1].iNumber, 1);
    // Ranges in tenths of a volt, by channel number; the others unknown.
    EXPECT_EQ(log.inputRange[0], 200);
    EXPECT_EQ(log.inputRange[1], 5);
    EXPECT_EQ(log.inputRange[2], 9999);
}

TEST(SonyLog, IncompleteOrUnreadableLogsFail)
{
    SSonyLog log;
    std::string why;
    // Every other line present, channels complete: still not read.
    EXPECT_FALSE(Read(SonyLog(kTwo, 10, "1e-3", {"TRIG_MODE"}), log, why));
    EXPECT_NE(why.find("TRIG_MODE"), std::string::npos) << why;
    EXPECT_FALSE(Read(SonyLog(kTwo, 10, "1e-3", {"VERSION"}), log, why));
    EXPECT_NE(why.find("VERSION"), std::string::npos) << why;
    // Only format 0 is read.
    EXPECT_FALSE(Read(SonyLog(kTwo, 10, "1e-3", {}, "1"), log, why));
    EXPECT_NE(why.find("FORMAT"), std::string::npos) << why;
    // A later FORMAT line decides (found by fuzzing: "FORMAT 0" then "FORMAT 1").
    EXPECT_FALSE(Read(SonyLog(kTwo, 10, "1e-3") + "FORMAT 1\r\n", log, why));
    EXPECT_NE(why.find("FORMAT"), std::string::npos) << why;
    // No channel: the reader's own message.
    EXPECT_FALSE(Read(SonyLog({}, 10, "1e-3"), log, why));
    EXPECT_EQ(why, "No channels were read!\nLog file may be corrupted");
    EXPECT_FALSE(Read("", log, why));
    EXPECT_EQ(why, "No channels were read!\nLog file may be corrupted");
    // A CHANNEL line without its parts is not taken for a channel.
    EXPECT_FALSE(Read(SonyLog(kTwo, 10, "1e-3") + "CHANNEL  3, \"BROKEN\r\n", log, why));
    EXPECT_NE(why.find("CHANNEL"), std::string::npos) << why;
    // At most 128 channels.
    std::vector<SonyChannelLine> many;
    for (int i = 1; i <= 129; ++i)
        many.push_back({i, "C", "V", "1.0*(X)+0.0", ""});
    EXPECT_FALSE(Read(SonyLog(many, 10, "1e-3"), log, why));
    EXPECT_NE(why.find("128"), std::string::npos) << why;
    many.pop_back();
    EXPECT_TRUE(Read(SonyLog(many, 10, "1e-3"), log, why)) << why;
}

TEST(SonyLog, LineFormsAndValueForms)
{
    SSonyLog log;
    std::string why;
    // Eight-digit dates; tabs as separators; LF-only lines with trailing
    // blanks; REMARKS after FILE_MEMO wins; a value-less keyword line.
    std::string text = SonyLog(kTwo, 10, "1e-3", {"DATE_TIME", "CNT_ADDRESS"});
    text += "DATE_TIME\t19990312 101500   \n";
    text += "CNT_ADDRESS -2500\n";
    text += "REMARKS second memo\t \n";
    text += "MEMO\n";
    ASSERT_TRUE(Read(text, log, why)) << why;
    EXPECT_EQ(log.lDate, 19990312);
    EXPECT_EQ(log.lTime, 101500);
    EXPECT_EQ(log.lCounterAddress, -2);
    EXPECT_EQ(log.sFileMemo, "second memo");
    EXPECT_EQ(log.sMemo, "");
    // Names and units are cut at 10 and 8 characters, mapping texts at 25.
    ASSERT_TRUE(Read(SonyLog({{5, "ABCDEFGHIJKLM", "m/(s^2)/N", "0.000030517578125*(X)+0.12345", "9.9"}}, 1, "1"),
                     log, why))
        << why;
    EXPECT_EQ(log.channels[0].iNumber, 4);
    EXPECT_EQ(log.channels[0].sName, "ABCDEFGHIJ");
    EXPECT_EQ(log.channels[0].sUnit, "m/(s^2)/");
    EXPECT_EQ(log.channels[0].sMapping, "0.000030517578125*(X)+0.1");
    EXPECT_EQ(log.inputRange[4], 9999);   // "9.9" is no range of the list
}

TEST(SonyLog, MappingTexts)
{
    double f = 0, o = 0;
    ParseSonyMapping("0.00153*(X)+0.0", f, o);
    EXPECT_EQ(f, 0.00153);
    EXPECT_EQ(o, 0.0);
    ParseSonyMapping("0.5*(X)+10.25", f, o);
    EXPECT_EQ(f, 0.5);
    EXPECT_EQ(o, 10.25);
    // A negative offset, and an exponent whose sign is no offset.
    ParseSonyMapping("2.5E+02*(X)-1.5", f, o);
    EXPECT_EQ(f, 250.0);
    EXPECT_EQ(o, -1.5);
    ParseSonyMapping("3", f, o);
    EXPECT_EQ(f, 3.0);
    EXPECT_EQ(o, 0.0);
}
