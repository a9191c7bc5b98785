#pragma once
// Helpers of the data-set tests: a scratch directory per test and an
// independent reader of the file's lead-in and description (nlohmann-json
// and plain byte arithmetic, not the library's own parser).

#include "hostlibs/dataset/Dataset.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <unistd.h>
#include <vector>

namespace trxtest {

// A folder named after the test, removed with the object.
class ScratchDir {
public:
    ScratchDir() : m_path(tessel::test::MakeScratch("trx")) {}
    ~ScratchDir() { std::filesystem::remove_all(m_path); }
    std::string operator/(const std::string& file) const { return (m_path / file).string(); }
    const std::filesystem::path& Path() const { return m_path; }
    std::vector<std::string> Files() const
    {
        std::vector<std::string> out;
        for (auto& e : std::filesystem::directory_iterator(m_path)) out.push_back(e.path().filename().string());
        return out;
    }

private:
    std::filesystem::path m_path;
};

// Whole files as bytes, through the shared helpers.
inline std::vector<unsigned char> ReadFile(const std::string& path)
{
    const std::string bytes = tessel::test::ReadFile(path);
    return {bytes.begin(), bytes.end()};
}

inline void WriteFile(const std::string& path, const std::vector<unsigned char>& bytes)
{
    tessel::test::WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

template <class T>
T LoadLE(const unsigned char* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

struct RawFile {
    std::vector<unsigned char> bytes;
    std::uint32_t headerLength = 0;
    std::uint64_t dataOffset = 0;
    nlohmann::json header;
    const unsigned char* Data() const { return bytes.data() + dataOffset; }
    std::size_t DataBytes() const { return bytes.size() - std::size_t(dataOffset); }
};

// Reads the lead-in as documented: magic, version, H at 12, D at 16, JSON at 24.
inline RawFile ParseRaw(const std::string& path)
{
    RawFile r;
    r.bytes = ReadFile(path);
    EXPECT_GE(r.bytes.size(), 24u);
    if (r.bytes.size() < 24) return r;
    const unsigned char magic[8] = {0x89, 'T', 'R', 'X', '\r', '\n', 0x1A, '\n'};
    EXPECT_EQ(0, std::memcmp(r.bytes.data(), magic, 8));
    EXPECT_EQ(1, r.bytes[8]);
    r.headerLength = LoadLE<std::uint32_t>(r.bytes.data() + 12);
    r.dataOffset = LoadLE<std::uint64_t>(r.bytes.data() + 16);
    EXPECT_LE(24 + std::uint64_t(r.headerLength), r.dataOffset);
    EXPECT_LE(r.dataOffset, r.bytes.size());
    r.header = nlohmann::json::parse(r.bytes.begin() + 24, r.bytes.begin() + 24 + r.headerLength);
    return r;
}

inline CAbscissa TimeAbscissa(long scans, double delta = 0.001)
{
    return CAbscissa("Time", "t", CQuantity("time"), CUnit("s", 1), 0.0, delta, scans, df__linear);
}

inline CChannel Channel(const char* name, int type, double factor = 1.0, double offset = 0.0)
{
    map__dct m{1, 1, offset, factor};
    return CChannel(name, name, CQuantity("pressure"), CUnit("Pa", 1), type, 0, 1.0, 1.0,
                    (factor == 1.0 && offset == 0.0) ? nullptr : &m);
}

// A channel list in one expression.
inline CChannelList Channels(std::initializer_list<CChannel> channels)
{
    CChannelList l;
    for (const CChannel& c : channels) l.push_back(c);
    return l;
}

inline CAbscissaList Abscissas(const CAbscissa& a)
{
    CAbscissaList l;
    l.push_back(a);
    return l;
}

// A new data set over a time abscissa (organisation 1, no sharing), the
// shape most tests start from.
struct TimeData : CDataset {
    TimeData(const std::string& path, const CChannelList& channels, long scans = 0, double delta = 0.001,
             int kind = dk__time, long buffer = 0)
        : CDataset(path.c_str(), Abscissas(TimeAbscissa(scans, delta)), channels, kind, 1, 0, buffer, 0) {}
};

inline CChNbrList All(int n)
{
    CChNbrList l;
    l.AddGroup(0, n - 1);
    return l;
}

} // namespace trxtest
