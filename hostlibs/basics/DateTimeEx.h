#pragma once
// A point in time with sub-second resolution, as the data sets keep their
// date of recording. Stored as seconds since 1970-01-01 00:00:00 UTC; the
// calendar parts are read and set in local time (the TZ environment decides,
// as on the recording instruments) or in UTC on request.

#include "platform/CString.h"

#include <compare>

class CDateTimeEx {
public:
    struct SParts {
        int iYear = 1970;     // four digits, 1..9999
        int iMonth = 1;       // 1..12
        int iDay = 1;         // 1..31
        int iHour = 0;        // 0..23
        int iMinute = 0;      // 0..59
        double dSecond = 0;   // 0 <= s < 61 (a leap second is accepted and carries over)
    };

    // Not set: IsValid() is false until a time is given.
    CDateTimeEx() = default;
    // Seconds since 1970-01-01 00:00:00 UTC (may be negative or fractional).
    explicit CDateTimeEx(double dUnixSeconds);
    // Calendar parts in local time; an impossible date (month 13, 30 February,
    // hour 24, ...) leaves the object invalid.
    CDateTimeEx(int iYear, int iMonth, int iDay, int iHour = 0, int iMinute = 0, double dSecond = 0.0);

    static CDateTimeEx Now();

    bool IsValid() const { return m_bValid; }
    void SetInvalid() { m_bValid = false; m_dSeconds = 0.0; }

    // Returns false and leaves the object unchanged for impossible parts.
    bool SetDateTime(int iYear, int iMonth, int iDay, int iHour, int iMinute, double dSecond, bool bLocal = true);
    bool SetParts(const SParts& parts, bool bLocal = true);
    void SetUnixTime(double dUnixSeconds);

    // Seconds since 1970-01-01 00:00:00 UTC; 0 when invalid.
    double GetUnixTime() const { return m_dSeconds; }
    // Calendar parts (local time unless bLocal is false); the epoch when invalid.
    SParts GetParts(bool bLocal = true) const;
    int GetYear() const { return GetParts().iYear; }
    int GetMonth() const { return GetParts().iMonth; }
    int GetDay() const { return GetParts().iDay; }
    int GetHour() const { return GetParts().iHour; }
    int GetMinute() const { return GetParts().iMinute; }
    double GetSecond() const { return GetParts().dSecond; }
    // 0 Sunday .. 6 Saturday, local time.
    int GetDayOfWeek() const;

    // strftime format on the local (or UTC) calendar parts; "" when invalid.
    CString Format(const char* fmt, bool bLocal = true) const;
    // ISO 8601 in UTC with milliseconds, "2003-03-12T14:05:09.250Z"; "" when invalid.
    CString FormatISO() const;
    // Reads what FormatISO writes (fraction optional, "Z" or "+hh:mm"/"-hh:mm"
    // offset required); false for anything else, the object unchanged.
    bool ParseISO(const char* text);

    CDateTimeEx& operator+=(double dSeconds) { m_dSeconds += dSeconds; return *this; }
    friend CDateTimeEx operator+(CDateTimeEx t, double dSeconds) { t += dSeconds; return t; }
    // Seconds from b to a.
    friend double operator-(const CDateTimeEx& a, const CDateTimeEx& b) { return a.m_dSeconds - b.m_dSeconds; }
    friend bool operator==(const CDateTimeEx& a, const CDateTimeEx& b) {
        return a.m_bValid == b.m_bValid && (!a.m_bValid || a.m_dSeconds == b.m_dSeconds);
    }
    friend bool operator<(const CDateTimeEx& a, const CDateTimeEx& b) {
        return a.m_bValid != b.m_bValid ? !a.m_bValid : a.m_dSeconds < b.m_dSeconds;
    }

private:
    double m_dSeconds = 0.0;
    bool m_bValid = false;
};
