// The LOG reader of SONY MK II/III recordings, on LOG texts written here.

#include "formats/recorder/SonyLog.h"

#include "RecorderTestUtil.h"

#include <tuple>

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
    EXPECT_EQ(std::tie(log.sVersion, log.sDataFile, log.sFileMemo, log.sMemo),
              std::make_tuple("1.02", "REC001.BIN", "bench run 4", "free text"));
    EXPECT_DOUBLE_EQ(log.dInterval, 2.0833333e-05);
    // The counter address "+12345" is in milliseconds.
    EXPECT_EQ((std::vector<long>{log.iFormat, log.lSamplesPerChannel, log.iTapeMode, log.lTapeSampleRate, log.nDecimation,
                                 log.iTapeSpeed, log.iID, log.lDate, log.lTime, log.lCounterAddress, log.iTrigMode, log.uMissing}),
              (std::vector<long>{0, 1000, 1, 48000, 4, 2, 42, 990312, 101500, 12, 0, 0}));
    ASSERT_EQ(log.channels.size(), 2u);
    const SSonyChannel& c = log.channels[0];
    EXPECT_EQ(std::tie(c.iNumber, c.sName, c.sUnit, c.sMapping), std::make_tuple(0, "ACC1", "m/s^2", "0.00153*(X)+0.0"));
    EXPECT_EQ(log.channels[1].iNumber, 1);
    // Ranges in tenths of a volt, by channel number; the others unknown.
    EXPECT_EQ((std::vector<int>{log.inputRange[0], log.inputRange[1], log.inputRange[2]}), (std::vector<int>{200, 5, 9999}));
}

TEST(SonyLog, IncompleteOrUnreadableLogsFail)
{
    const std::string noChannels = "No channels were read!\nLog file may be corrupted";
    std::vector<SonyChannelLine> many;
    for (int i = 1; i <= 129; ++i)
        many.push_back({i, "C", "V", "1.0*(X)+0.0", ""});
    const struct {
        std::string text, why;   // why: a part of the reason
    } kCases[] = {
        // Every other line present, channels complete: still not read.
        {SonyLog(kTwo, 10, "1e-3", {"TRIG_MODE"}), "TRIG_MODE"},
        {SonyLog(kTwo, 10, "1e-3", {"VERSION"}), "VERSION"},
        // Only format 0 is read, and a later FORMAT line decides (found by
        // fuzzing: "FORMAT 0" then "FORMAT 1").
        {SonyLog(kTwo, 10, "1e-3", {}, "1"), "FORMAT"},
        {SonyLog(kTwo, 10, "1e-3") + "FORMAT 1\r\n", "FORMAT"},
        // No channel: the reader's own message.
        {SonyLog({}, 10, "1e-3"), noChannels},
        {"", noChannels},
        // A CHANNEL line without its parts is not taken for a channel.
        {SonyLog(kTwo, 10, "1e-3") + "CHANNEL  3, \"BROKEN\r\n", "CHANNEL"},
        // At most 128 channels.
        {SonyLog(many, 10, "1e-3"), "128"},
    };
    SSonyLog log;
    std::string why;
    for (const auto& k : kCases) {
        EXPECT_FALSE(Read(k.text, log, why)) << k.why;
        EXPECT_NE(why.find(k.why), std::string::npos) << why;
    }
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
    EXPECT_EQ((std::vector<long>{log.lDate, log.lTime, log.lCounterAddress}), (std::vector<long>{19990312, 101500, -2}));
    EXPECT_EQ(std::tie(log.sFileMemo, log.sMemo), std::make_tuple("second memo", ""));
    // Names and units are cut at 10 and 8 characters, mapping texts at 25.
    ASSERT_TRUE(Read(SonyLog({{5, "ABCDEFGHIJKLM", "m/(s^2)/N", "0.000030517578125*(X)+0.12345", "9.9"}}, 1, "1"),
                     log, why))
        << why;
    const SSonyChannel& c = log.channels[0];
    EXPECT_EQ(std::tie(c.iNumber, c.sName, c.sUnit, c.sMapping), std::make_tuple(4, "ABCDEFGHIJ", "m/(s^2)/", "0.000030517578125*(X)+0.1"));
    EXPECT_EQ(log.inputRange[4], 9999);   // "9.9" is no range of the list
}

TEST(SonyLog, MappingTexts)
{
    // A negative offset, and an exponent whose sign is no offset.
    using Case = std::tuple<const char*, double, double>;
    for (const auto& [text, factor, offset] : {Case{"0.00153*(X)+0.0", 0.00153, 0.0}, Case{"0.5*(X)+10.25", 0.5, 10.25},
                                               Case{"2.5E+02*(X)-1.5", 250.0, -1.5}, Case{"3", 3.0, 0.0}}) {
        double f = 0, o = 0;
        ParseSonyMapping(text, f, o);
        EXPECT_EQ(std::make_pair(f, o), std::make_pair(factor, offset)) << text;
    }
}
