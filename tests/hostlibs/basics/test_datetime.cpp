// Date of recording: calendar parts in local time and UTC, validation, ISO texts.

#include "hostlibs/basics/DateTimeEx.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

namespace {

// Central European time with its daylight-saving rule, independent of tzdata;
// the members go in reverse order, so the zone is read again after TZ is back.
struct SZoneReset {
    ~SZoneReset() { tzset(); }
};

class DateTimeInZone : public ::testing::Test {
protected:
    void SetUp() override { tzset(); }
    SZoneReset m_reset;
    ScopedEnv m_tz{"TZ", "CET-1CEST,M3.5.0,M10.5.0/3"};
};

TEST(DateTime, UtcCalendarAgreesWithKnownInstants)
{
    struct Row {
        double seconds;
        int y, mo, d, h, mi, s;
    };
    const Row rows[] = {
        {1047477909, 2003, 3, 12, 14, 5, 9},
        {951782400, 2000, 2, 29, 0, 0, 0},
        {-1, 1969, 12, 31, 23, 59, 59},
        {-2208988800.0, 1900, 1, 1, 0, 0, 0},
        {253402300799.0, 9999, 12, 31, 23, 59, 59},
        {4107542400.0, 2100, 3, 1, 0, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.seconds);
        CDateTimeEx::SParts p = CDateTimeEx(r.seconds).GetParts(false);
        EXPECT_EQ(std::tie(p.iYear, p.iMonth, p.iDay, p.iHour, p.iMinute), std::tie(r.y, r.mo, r.d, r.h, r.mi));
        EXPECT_DOUBLE_EQ(p.dSecond, r.s);
        CDateTimeEx back;
        ASSERT_TRUE(back.SetDateTime(r.y, r.mo, r.d, r.h, r.mi, r.s, false));
        EXPECT_EQ(back.GetUnixTime(), r.seconds);
    }
}

TEST(DateTime, ImpossiblePartsAreRefused)
{
    CDateTimeEx t;
    EXPECT_FALSE(t.SetDateTime(2003, 13, 1, 0, 0, 0));
    EXPECT_FALSE(t.SetDateTime(2003, 0, 1, 0, 0, 0));
    EXPECT_FALSE(t.SetDateTime(2003, 2, 29, 0, 0, 0));
    EXPECT_FALSE(t.SetDateTime(1900, 2, 29, 0, 0, 0, false));
    EXPECT_FALSE(t.SetDateTime(2003, 4, 31, 0, 0, 0));
    EXPECT_FALSE(t.SetDateTime(2003, 1, 1, 24, 0, 0));
    EXPECT_FALSE(t.SetDateTime(2003, 1, 1, 0, 60, 0));
    EXPECT_FALSE(t.SetDateTime(2003, 1, 1, 0, 0, -0.5));
    EXPECT_FALSE(t.SetDateTime(0, 1, 1, 0, 0, 0));
    EXPECT_FALSE(t.IsValid());
    EXPECT_TRUE(t.SetDateTime(2004, 2, 29, 0, 0, 0));
    EXPECT_FALSE(CDateTimeEx(std::nan("")).IsValid());
    // A date never set is no instant: it sorts first and differs from the epoch.
    EXPECT_TRUE(CDateTimeEx() < CDateTimeEx(-1e9));
    EXPECT_FALSE(CDateTimeEx() == CDateTimeEx(0.0));
    // Unchanged after a refused set.
    CDateTimeEx u(1000.0);
    EXPECT_FALSE(u.SetDateTime(2003, 2, 30, 0, 0, 0));
    EXPECT_EQ(u.GetUnixTime(), 1000.0);
}

TEST_F(DateTimeInZone, LocalPartsFollowTheZone)
{
    // Winter: one hour east of UTC.
    CDateTimeEx w(2003, 3, 12, 14, 5, 9.25);
    ASSERT_TRUE(w.IsValid());
    EXPECT_DOUBLE_EQ(w.GetUnixTime(), 1047477909.25 - 3600);
    EXPECT_EQ(w.GetHour(), 14);
    EXPECT_DOUBLE_EQ(w.GetSecond(), 9.25);
    EXPECT_EQ(w.GetParts(false).iHour, 13);
    // Summer: two hours.
    CDateTimeEx s(2003, 7, 1, 12, 0, 0);
    EXPECT_DOUBLE_EQ(s.GetUnixTime(), 1057053600.0);
    EXPECT_EQ(s.GetDayOfWeek(), 2);   // a Tuesday
}

TEST_F(DateTimeInZone, FormatsAndIsoTexts)
{
    CDateTimeEx t(2003, 3, 12, 14, 5, 9.25);
    EXPECT_EQ(t.Format("%d-%b-%y %H:%M:%S"), CString("12-Mar-03 14:05:09"));
    EXPECT_EQ(t.Format("%a %Y%m%d", false), CString("Wed 20030312"));
    EXPECT_EQ(t.FormatISO(), CString("2003-03-12T13:05:09.250Z"));
    EXPECT_EQ(CDateTimeEx().FormatISO(), CString(""));
    EXPECT_EQ(CDateTimeEx().Format("%Y"), CString(""));

    CDateTimeEx r;
    for (const char* same : {"2003-03-12T13:05:09.250Z", "2003-03-12T14:05:09.25+01:00", "2003-03-12T08:35:09.25-04:30"}) {
        ASSERT_TRUE(r.ParseISO(same)) << same;
        EXPECT_EQ(r, t) << same;
    }
    ASSERT_TRUE(r.ParseISO("1969-12-31T23:59:59Z"));
    EXPECT_EQ(r.GetUnixTime(), -1.0);
    // Carrying: 59.9996 s rounds into the next minute, not to "60".
    EXPECT_EQ(CDateTimeEx(59.9996).FormatISO(), CString("1970-01-01T00:01:00.000Z"));

    CDateTimeEx keep(5.0);
    for (const char* bad : {"", "2003-03-12", "2003-03-12T13:05:09", "2003-13-12T13:05:09Z",
                            "2003-02-29T13:05:09Z", "2003-03-12T13:05:09.Z", "2003-03-12T13:05:09Zx",
                            "2003-03-12 13:05:09Z", "2003-03-12T13:05:09+1:00", "20030312T130509Z"}) {
        EXPECT_FALSE(keep.ParseISO(bad)) << bad;
        EXPECT_EQ(keep.GetUnixTime(), 5.0);
    }
    EXPECT_FALSE(keep.ParseISO(nullptr));
}

}  // namespace
