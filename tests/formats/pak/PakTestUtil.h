#pragma once
// Helpers of the PAK tests: throughput files ("TDATA") written field by field
// from the layout tables, in either byte order; a scratch measurement
// directory per test; reading a data set back; one asynchronous run.

#include "settings/TSSettings.h"
#include "tests/common/ConversionTest.h"
#include "tests/common/AsyncRun.h"
#include "tests/common/DatasetMaker.h"
#include "tests/common/ModuleEnvironment.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <strings.h>
#include <vector>

namespace paktest {

namespace fs = std::filesystem;
using Bytes = std::string;
using tessel::test::ReadFile;
using tessel::test::RunAsync;
using tessel::test::WriteFile;

// The PAK files of a test lie in "Run3" below its scratch folder `root`.
class PakTest : public tessel::test::CConversionTest {
protected:
    PakTest() : CConversionTest("pak") {}
    void SetUp() override
    {
        CConversionTest::SetUp();
        root = dir;
        dir = root / "Run3";
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        dir = root;
        CConversionTest::TearDown();
    }
    fs::path root;
};

// Little- or big-endian stores of a value at a byte offset.
class CWriter {
public:
    CWriter(Bytes& b, bool big) : m_b(b), m_big(big) {}
    template <class T>
    void Put(std::size_t at, T v)
    {
        char* p = &m_b.at(at + sizeof(T) - 1) - (sizeof(T) - 1);
        std::memcpy(p, &v, sizeof(T));
        if (m_big)
            std::reverse(p, p + sizeof(T));
    }
    template <class T>
    T Get(std::size_t at) const
    {
        std::string x = m_b.substr(at, sizeof(T));
        if (m_big)
            std::reverse(x.begin(), x.end());
        T v;
        std::memcpy(&v, x.data(), sizeof(T));
        return v;
    }

private:
    Bytes& m_b;
    bool m_big;
};

// One channel of a throughput file.
struct TChannel {
    short kind = 1;          // 1 analog, >1 pulse, 0 unused
    short quantity = 1;      // PAK quantity code
    double factor = 1.0;     // record offset 40
    double offset = 0.0;     // record offset 48
    double scale = 1.0;      // header offset 16 + 8 i
    std::int32_t values = 0; // header offset 2072 + 4 i (non-analog)
};

// A throughput file: header (8008 bytes), setup (67568 bytes), blocks. The
// samples of analog channel c in block b, sample s, are sample(c, b, s); the
// values of a non-analog channel value(c, b, v).
struct TData {
    std::string byteOrder = "LSB";
    std::int32_t revision = 1;
    short setupRevision = 2;
    std::int32_t samplesPerBlock = 8;
    short bits = 16;
    std::int32_t blocks = 3;
    short channelCount = -1;   // -1: channels.size()
    float rate = 1000.0f;
    double start = 1.0e9;      // 2001-09-09 01:46:40 UTC
    short timeZone = 2;
    std::vector<TChannel> channels;
    std::vector<std::size_t> extraKinds;   // records beyond the channels set to kind 1

    bool Big() const { return ::strcasecmp(byteOrder.c_str(), "MSB") == 0; }
    static double Sample(std::size_t c, long b, long s) { return double((c * 7919 + std::size_t(b) * 131 + std::size_t(s) * 17) % 60000) - 30000.0; }
    static float Value(std::size_t c, long b, long v) { return float(1000.0 + 10.0 * double(b) + double(v) + double(c)); }

    Bytes Make() const
    {
        Bytes f(8008 + 67568, '\0');
        const bool big = Big();
        CWriter w(f, big);
        std::memcpy(f.data(), byteOrder.data(), std::min<std::size_t>(byteOrder.size(), 7));
        w.Put<std::int32_t>(8, revision);
        w.Put<std::int32_t>(2064, samplesPerBlock);
        w.Put<std::int16_t>(2068, bits);
        w.Put<double>(3096, start);
        w.Put<std::int16_t>(3112, timeZone);
        const std::size_t s = 8008;
        w.Put<std::int16_t>(s + 0, setupRevision);
        w.Put<std::int32_t>(s + 24, blocks);
        w.Put<std::int16_t>(s + 28, channelCount < 0 ? short(channels.size()) : channelCount);
        w.Put<float>(s + 32, rate);
        for (std::size_t i = 0; i < channels.size(); ++i) {
            const TChannel& c = channels[i];
            const std::size_t r = s + 36848 + 120 * i;
            w.Put<std::int16_t>(r + 4, c.kind);
            w.Put<std::int16_t>(r + 32, c.quantity);
            w.Put<double>(r + 40, c.factor);
            w.Put<double>(r + 48, c.offset);
            w.Put<double>(16 + 8 * i, c.scale);
            w.Put<std::int32_t>(2072 + 4 * i, c.values);
        }
        for (std::size_t i : extraKinds)
            w.Put<std::int16_t>(s + 36848 + 120 * i + 4, 1);
        auto append = [&](auto v) {
            f.resize(f.size() + sizeof(v));
            CWriter(f, big).Put(f.size() - sizeof(v), v);
        };
        for (long b = 0; b < blocks; ++b)
            for (std::size_t c = 0; c < channels.size(); ++c) {
                for (long i = 0; channels[c].kind == 1 && i < samplesPerBlock; ++i) {
                    if (bits == 16)
                        append(std::int16_t(Sample(c, b, i)));
                    else
                        append(float(Sample(c, b, i) / 1000.0));
                }
                for (long v = 0; channels[c].kind != 0 && channels[c].kind != 1 && v < channels[c].values; ++v)
                    append(Value(c, b, v));
            }
        return f;
    }
};

// Every value of a data set, scan by scan (stored values with raw = true),
// of its first `channelCount` channels (all when negative).
inline std::vector<double> ReadValues(const fs::path& path, bool raw = false, int channelCount = -1)
{
    CChNbrList first;
    if (channelCount > 0)
        first.AddGroup(0, channelCount - 1);
    return tessel::test::ReadDataset(path, first, raw);
}

// The files below a directory, relative, sorted.
inline std::vector<std::string> Listing(const fs::path& d)
{
    std::vector<std::string> v;
    for (const auto& e : fs::recursive_directory_iterator(d))
        v.push_back(fs::relative(e.path(), d).string());
    std::sort(v.begin(), v.end());
    return v;
}

}  // namespace paktest
