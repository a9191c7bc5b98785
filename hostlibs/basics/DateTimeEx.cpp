#include "hostlibs/basics/DateTimeEx.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

bool IsLeap(long y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
long long DaysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + (long long)doe - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(yoe + era * 400 + (m <= 2));
}

bool ValidParts(int y, int mo, int d, int h, int mi, double s)
{
    return y >= 1 && y <= 9999 && mo >= 1 && mo <= 12 && d >= 1 && d <= DaysInMonth(y, mo) && h >= 0 &&
           h <= 23 && mi >= 0 && mi <= 59 && s >= 0.0 && s < 61.0;
}

bool ToLocalTm(std::time_t t, std::tm& out)
{
#ifdef _WIN32
    return localtime_s(&out, &t) == 0;
#else
    return localtime_r(&t, &out) != nullptr;
#endif
}

// Calendar parts of a UTC time in seconds.
CDateTimeEx::SParts UtcParts(double seconds)
{
    CDateTimeEx::SParts p;
    double whole = std::floor(seconds);
    long long t = (long long)whole;
    long long days = t >= 0 ? t / 86400 : -((-t + 86399) / 86400);
    long long rest = t - days * 86400;
    CivilFromDays(days, p.iYear, p.iMonth, p.iDay);
    p.iHour = int(rest / 3600);
    p.iMinute = int(rest / 60 % 60);
    p.dSecond = double(rest % 60) + (seconds - whole);
    return p;
}

bool ReadDigits(const char*& p, int count, int& value)
{
    value = 0;
    for (int i = 0; i < count; ++i, ++p) {
        if (*p < '0' || *p > '9')
            return false;
        value = value * 10 + (*p - '0');
    }
    return true;
}

}  // namespace

CDateTimeEx::CDateTimeEx(double dUnixSeconds)
{
    SetUnixTime(dUnixSeconds);
}

CDateTimeEx::CDateTimeEx(int iYear, int iMonth, int iDay, int iHour, int iMinute, double dSecond)
{
    SetDateTime(iYear, iMonth, iDay, iHour, iMinute, dSecond, true);
}

CDateTimeEx CDateTimeEx::Now()
{
    std::timespec ts{};
    std::timespec_get(&ts, TIME_UTC);
    return CDateTimeEx(double(ts.tv_sec) + ts.tv_nsec * 1e-9);
}

void CDateTimeEx::SetUnixTime(double dUnixSeconds)
{
    if (!std::isfinite(dUnixSeconds)) {
        SetInvalid();
        return;
    }
    m_dSeconds = dUnixSeconds;
    m_bValid = true;
}

bool CDateTimeEx::SetDateTime(int y, int mo, int d, int h, int mi, double s, bool bLocal)
{
    if (!ValidParts(y, mo, d, h, mi, s))
        return false;
    double whole = std::floor(s);
    double frac = s - whole;
    double t;
    if (bLocal) {
        std::tm tm{};
        tm.tm_year = y - 1900;
        tm.tm_mon = mo - 1;
        tm.tm_mday = d;
        tm.tm_hour = h;
        tm.tm_min = mi;
        tm.tm_sec = int(whole);
        tm.tm_isdst = -1;   // the rules of the zone decide
        std::time_t tt = std::mktime(&tm);
        if (tt == std::time_t(-1) && !(tm.tm_year == 69 && tm.tm_mon == 11 && tm.tm_mday == 31))
            return false;
        t = double(tt);
    } else {
        t = double(DaysFromCivil(y, unsigned(mo), unsigned(d)) * 86400 + h * 3600 + mi * 60) + whole;
    }
    m_dSeconds = t + frac;
    m_bValid = true;
    return true;
}

bool CDateTimeEx::SetParts(const SParts& p, bool bLocal)
{
    return SetDateTime(p.iYear, p.iMonth, p.iDay, p.iHour, p.iMinute, p.dSecond, bLocal);
}

CDateTimeEx::SParts CDateTimeEx::GetParts(bool bLocal) const
{
    if (!m_bValid)
        return SParts{};
    if (!bLocal)
        return UtcParts(m_dSeconds);
    double whole = std::floor(m_dSeconds);
    std::tm tm{};
    if (!ToLocalTm(std::time_t(whole), tm))
        return UtcParts(m_dSeconds);
    SParts p;
    p.iYear = tm.tm_year + 1900;
    p.iMonth = tm.tm_mon + 1;
    p.iDay = tm.tm_mday;
    p.iHour = tm.tm_hour;
    p.iMinute = tm.tm_min;
    p.dSecond = tm.tm_sec + (m_dSeconds - whole);
    return p;
}

int CDateTimeEx::GetDayOfWeek() const
{
    SParts p = GetParts();
    long long days = DaysFromCivil(p.iYear, unsigned(p.iMonth), unsigned(p.iDay));
    long long w = (days + 4) % 7;   // 1970-01-01 was a Thursday
    return int(w < 0 ? w + 7 : w);
}

CString CDateTimeEx::Format(const char* fmt, bool bLocal) const
{
    if (!m_bValid || !fmt)
        return CString();
    SParts p = GetParts(bLocal);
    std::tm tm{};
    tm.tm_year = p.iYear - 1900;
    tm.tm_mon = p.iMonth - 1;
    tm.tm_mday = p.iDay;
    tm.tm_hour = p.iHour;
    tm.tm_min = p.iMinute;
    tm.tm_sec = int(p.dSecond);
    tm.tm_wday = int((DaysFromCivil(p.iYear, unsigned(p.iMonth), unsigned(p.iDay)) % 7 + 11) % 7);
    tm.tm_yday = int(DaysFromCivil(p.iYear, unsigned(p.iMonth), unsigned(p.iDay)) - DaysFromCivil(p.iYear, 1, 1));
    tm.tm_isdst = -1;
    char buf[512];
    std::size_t n = std::strftime(buf, sizeof buf, fmt, &tm);
    return CString(buf, n);
}

CString CDateTimeEx::FormatISO() const
{
    if (!m_bValid)
        return CString();
    // Round to whole milliseconds first so that 59.9996 s carries into the minute.
    double ms = std::floor(m_dSeconds * 1000.0 + 0.5);
    double secs = std::floor(ms / 1000.0);
    int milli = int(ms - secs * 1000.0);
    SParts p = UtcParts(secs);
    return CString::Formatted("%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", p.iYear, p.iMonth, p.iDay, p.iHour, p.iMinute,
                              int(p.dSecond), milli);
}

bool CDateTimeEx::ParseISO(const char* text)
{
    if (!text)
        return false;
    const char* p = text;
    int y, mo, d, h, mi, s;
    if (!ReadDigits(p, 4, y) || *p++ != '-' || !ReadDigits(p, 2, mo) || *p++ != '-' || !ReadDigits(p, 2, d) ||
        *p++ != 'T' || !ReadDigits(p, 2, h) || *p++ != ':' || !ReadDigits(p, 2, mi) || *p++ != ':' ||
        !ReadDigits(p, 2, s))
        return false;
    double frac = 0.0;
    if (*p == '.') {
        ++p;
        double scale = 0.1;
        if (*p < '0' || *p > '9')
            return false;
        for (int n = 0; *p >= '0' && *p <= '9'; ++p, ++n) {
            if (n < 15) {
                frac += (*p - '0') * scale;
                scale /= 10.0;
            }
        }
    }
    int offset = 0;
    if (*p == 'Z') {
        ++p;
    } else if (*p == '+' || *p == '-') {
        int sign = *p++ == '-' ? -1 : 1;
        int oh, om;
        if (!ReadDigits(p, 2, oh) || *p++ != ':' || !ReadDigits(p, 2, om) || oh > 23 || om > 59)
            return false;
        offset = sign * (oh * 3600 + om * 60);
    } else {
        return false;
    }
    if (*p != '\0' || !ValidParts(y, mo, d, h, mi, s + frac))
        return false;
    CDateTimeEx t;
    t.SetDateTime(y, mo, d, h, mi, s, false);
    m_dSeconds = t.m_dSeconds + frac - offset;
    m_bValid = true;
    return true;
}
