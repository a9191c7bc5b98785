#include "hostlibs/dataset/Tags.h"

#include <cstdlib>

bool CTagValue::GetBool() const
{
    switch (GetType()) {
    case Bool: return std::get<bool>(m_v);
    case Int: return std::get<std::int64_t>(m_v) != 0;
    case Double: return std::get<double>(m_v) != 0.0;
    case Text: {
        const CString& s = std::get<CString>(m_v);
        return s.CompareNoCase("true") == 0 || s == "1";
    }
    }
    return false;
}

std::int64_t CTagValue::GetInt() const
{
    switch (GetType()) {
    case Bool: return std::get<bool>(m_v) ? 1 : 0;
    case Int: return std::get<std::int64_t>(m_v);
    case Double: return std::int64_t(std::get<double>(m_v));
    case Text: return std::strtoll(std::get<CString>(m_v).c_str(), nullptr, 10);
    }
    return 0;
}

double CTagValue::GetDouble() const
{
    switch (GetType()) {
    case Bool: return std::get<bool>(m_v) ? 1.0 : 0.0;
    case Int: return double(std::get<std::int64_t>(m_v));
    case Double: return std::get<double>(m_v);
    case Text: return std::strtod(std::get<CString>(m_v).c_str(), nullptr);
    }
    return 0.0;
}

CString CTagValue::GetText() const
{
    switch (GetType()) {
    case Bool: return std::get<bool>(m_v) ? "true" : "false";
    case Int: return CString::Formatted("%lld", (long long)std::get<std::int64_t>(m_v));
    case Double: return CString::Formatted("%.17g", std::get<double>(m_v));
    case Text: return std::get<CString>(m_v);
    }
    return "";
}

bool CTags::GetValue(const char* name, CTagValue& v) const
{
    auto it = m_values.find(name ? name : "");
    if (it == m_values.end()) return false;
    v = it->second;
    return true;
}
