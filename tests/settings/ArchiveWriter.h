#pragma once
// Builds settings archives byte by byte from the documented layout, written
// apart from the library's own archive code so that a mistake shared by both
// cannot hide.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class CTestArchive {
public:
    CTestArchive& I32(std::int32_t v) { return Le(std::uint32_t(v), 4); }
    CTestArchive& I16(std::int16_t v) { return Le(std::uint16_t(v), 2); }
    CTestArchive& F32(float f) {
        std::uint32_t u;
        std::memcpy(&u, &f, 4);
        return Le(u, 4);
    }
    CTestArchive& F64(double d) {
        std::uint64_t u;
        std::memcpy(&u, &d, 8);
        return Le(u, 8);
    }
    CTestArchive& Byte(unsigned b) {
        m_s += char(b);
        return *this;
    }
    CTestArchive& Str(const std::string& s) {
        // The longer forms (0xFFFF and 32 bits) are written by hand where a
        // test needs them.
        if (s.size() <= 254) {
            Byte(unsigned(s.size()));
        } else {
            Byte(0xFF);
            Le(s.size(), 2);
        }
        m_s += s;
        return *this;
    }
    CTestArchive& Arr(const std::vector<std::string>& a) {
        Le(a.size(), 2);
        for (const auto& s : a)
            Str(s);
        return *this;
    }
    CTestArchive& Raw(const std::string& s) {
        m_s += s;
        return *this;
    }
    const std::string& Bytes() const { return m_s; }

private:
    CTestArchive& Le(std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i)
            m_s += char((v >> (8 * i)) & 0xFF);
        return *this;
    }
    std::string m_s;
};
