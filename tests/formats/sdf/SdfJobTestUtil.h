#pragma once
// Helpers of the SDF job tests: the module's texts, scratch directories and
// the values of the data sets the jobs write.

#include "frame/Module.h"
#include "frame/ThreadManager.h"
#include "hostlibs/dataset/Dataset.h"
#include "interface/TSInterface.h"
#include "settings/TSSettings.h"
#include "tests/formats/sdf/SdfFileBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace sdftest {

namespace fs = std::filesystem;

class CModuleEnvironment : public ::testing::Environment {
public:
    void SetUp() override { TesselModuleLoad(); }
    void TearDown() override { TesselModuleUnload(); }
};
inline ::testing::Environment* const g_moduleEnvironment =
    ::testing::AddGlobalTestEnvironment(new CModuleEnvironment);

inline fs::path MakeScratch()
{
    const char* tmp = std::getenv("TMPDIR");
    fs::path base = (tmp && *tmp) ? tmp : "/tmp";
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "x";
    for (char& c : name)
        if (c == '/') c = '_';
    fs::path dir = base / ("tessel_sdf_" + std::to_string(::getpid()) + "_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

inline void WriteBytes(const fs::path& p, const Bytes& b)
{
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

inline Bytes ReadBytes(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

// Physical values of one channel.
inline std::vector<double> Values(const fs::path& path, int ch)
{
    CDataset ds(path.c_str(), om__read, 32768, sh__deny_write);
    CAccess* a = ds.CreateAccess(am__read, ch, 0, 0, -1, mk__physical);
    std::vector<double> out;
    if (!a) return out;
    std::vector<double> buf(1000);
    while (!a->Finished()) {
        long n = a->GetData(1000, buf.data(), ds__dorg_interleaved, it__double);
        if (n <= 0) break;
        out.insert(out.end(), buf.begin(), buf.begin() + n);
    }
    return out;
}

// Files in a directory, sorted by name.
inline std::vector<std::string> Listing(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The fractions a job reported, as the host would read them back: they start
// at 0, never fall, end at 1, and the blocks of a large file show in between;
// one report per value would be hundreds of thousands of them.
inline void ExpectRisingToTheEnd(const std::vector<float>& seen)
{
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(0.0f, seen.front());
    EXPECT_EQ(1.0f, seen.back());
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_LE(seen[i - 1], seen[i]) << "report " << i << " fell back";
    std::vector<float> inner;
    for (float f : seen)
        if (f > 0.0f && f < 1.0f && (inner.empty() || inner.back() != f)) inner.push_back(f);
    EXPECT_GE(inner.size(), 3u) << "too few steps between start and end";
    EXPECT_LT(seen.size(), 200u) << "reported far more often than once per block";
}

}  // namespace sdftest
