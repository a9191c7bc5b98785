#pragma once
// A collection of named values attached to a channel ("Channel%d") of a
// data set: the stand-in for the host's tag interface. Values are booleans,
// integers, numbers or texts; names are compared exactly.

#include "platform/CString.h"

#include <cstdint>
#include <map>
#include <string>
#include <variant>

class CTagValue {
public:
    enum EType { Bool, Int, Double, Text };
    CTagValue() : m_v(false) {}
    CTagValue(bool b) : m_v(b) {}
    CTagValue(int i) : m_v(std::int64_t(i)) {}
    CTagValue(long i) : m_v(std::int64_t(i)) {}
    CTagValue(long long i) : m_v(std::int64_t(i)) {}
    CTagValue(double d) : m_v(d) {}
    CTagValue(const char* s) : m_v(CString(s)) {}
    CTagValue(const CString& s) : m_v(s) {}

    EType GetType() const { return EType(m_v.index()); }
    bool GetBool() const;              // non-zero numbers and "true"/"1" texts are true
    std::int64_t GetInt() const;
    double GetDouble() const;
    CString GetText() const;           // every type as text
    friend bool operator==(const CTagValue& a, const CTagValue& b) { return a.m_v == b.m_v; }

private:
    std::variant<bool, std::int64_t, double, CString> m_v;
};

class CTags {
public:
    void SetValue(const char* name, const CTagValue& v) { m_values[name ? name : ""] = v; }
    bool Has(const char* name) const { return m_values.count(name ? name : "") != 0; }
    // false when absent; v unchanged then.
    bool GetValue(const char* name, CTagValue& v) const;
    bool Remove(const char* name) { return m_values.erase(name ? name : "") != 0; }
    int GetCount() const { return int(m_values.size()); }
    bool IsEmpty() const { return m_values.empty(); }
    void RemoveAll() { m_values.clear(); }
    const std::map<std::string, CTagValue>& GetAll() const { return m_values; }
    friend bool operator==(const CTags& a, const CTags& b) { return a.m_values == b.m_values; }

private:
    std::map<std::string, CTagValue> m_values;
};
