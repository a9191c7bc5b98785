#include "platform/CString.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>

void CString::FormatV(const char* fmt, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) {
        m_s.clear();
        return;
    }
    if (std::size_t(n) < sizeof small) {
        m_s.assign(small, std::size_t(n));
        return;
    }
    std::string out(std::size_t(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), fmt, args);
    out.resize(std::size_t(n));
    m_s = std::move(out);
}

void CString::Format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    FormatV(fmt, args);
    va_end(args);
}

CString CString::Formatted(const char* fmt, ...)
{
    CString s;
    va_list args;
    va_start(args, fmt);
    s.FormatV(fmt, args);
    va_end(args);
    return s;
}

int CString::Find(char c, int start) const
{
    if (start < 0 || std::size_t(start) > m_s.size()) return -1;
    auto p = m_s.find(c, std::size_t(start));
    return p == std::string::npos ? -1 : int(p);
}

int CString::Find(const char* sub, int start) const
{
    if (!sub || start < 0 || std::size_t(start) > m_s.size()) return -1;
    auto p = m_s.find(sub, std::size_t(start));
    return p == std::string::npos ? -1 : int(p);
}

int CString::ReverseFind(char c) const
{
    auto p = m_s.rfind(c);
    return p == std::string::npos ? -1 : int(p);
}

CString CString::Left(int n) const
{
    n = std::clamp(n, 0, GetLength());
    return CString(m_s.substr(0, std::size_t(n)));
}

CString CString::Right(int n) const
{
    n = std::clamp(n, 0, GetLength());
    return CString(m_s.substr(m_s.size() - std::size_t(n)));
}

CString CString::Mid(int first) const
{
    first = std::clamp(first, 0, GetLength());
    return CString(m_s.substr(std::size_t(first)));
}

CString CString::Mid(int first, int n) const
{
    first = std::clamp(first, 0, GetLength());
    n = std::clamp(n, 0, GetLength() - first);
    return CString(m_s.substr(std::size_t(first), std::size_t(n)));
}

int CString::Replace(const char* from, const char* to)
{
    if (!from || !*from) return 0;
    const std::size_t flen = std::strlen(from);
    const std::string rep = to ? to : "";
    int count = 0;
    std::size_t pos = 0;
    while ((pos = m_s.find(from, pos)) != std::string::npos) {
        m_s.replace(pos, flen, rep);
        pos += rep.size();
        ++count;
    }
    return count;
}

int CString::Replace(char from, char to)
{
    int count = 0;
    for (char& c : m_s)
        if (c == from) { c = to; ++count; }
    return count;
}

void CString::TrimLeft()
{
    std::size_t i = 0;
    while (i < m_s.size() && std::isspace(static_cast<unsigned char>(m_s[i]))) ++i;
    m_s.erase(0, i);
}

void CString::TrimRight()
{
    while (!m_s.empty() && std::isspace(static_cast<unsigned char>(m_s.back()))) m_s.pop_back();
}

void CString::MakeUpper()
{
    for (char& c : m_s) c = char(std::toupper(static_cast<unsigned char>(c)));
}

void CString::MakeLower()
{
    for (char& c : m_s) c = char(std::tolower(static_cast<unsigned char>(c)));
}

int CString::CompareNoCase(const char* other) const
{
    return strcasecmp(m_s.c_str(), other ? other : "");
}
