#pragma once
// Helpers of the SDF job tests: the module's texts, a scratch directory per
// test, the values of the data sets the jobs write, and a job's progress as
// the host sees it.

#include "frame/ThreadManager.h"
#include "hostlibs/dataset/Dataset.h"
#include "interface/TSInterface.h"
#include "settings/TSSettings.h"
#include "tests/common/AsyncRun.h"
#include "tests/common/DatasetMaker.h"
#include "tests/common/ModuleEnvironment.h"
#include "tests/common/TempDir.h"
#include "tests/formats/sdf/SdfFileBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace sdftest {

namespace fs = std::filesystem;

inline void WriteBytes(const fs::path& p, const Bytes& b) { tessel::test::WriteFile(p, std::string(b.begin(), b.end())); }

inline Bytes ReadBytes(const fs::path& p)
{
    const std::string s = tessel::test::ReadFile(p);
    return Bytes(s.begin(), s.end());
}

// Physical values of one channel.
inline std::vector<double> Values(const fs::path& path, int ch) { return tessel::test::ReadDataset(path, CChNbrList{ch}); }

// Files in a directory, sorted by name.
inline std::vector<std::string> Listing(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The report of a job, as an assertion: its state and, when that is not the
// one expected, its text.
inline ::testing::AssertionResult Succeeded(const CTSInterface::SMessage& m, unsigned state)
{
    if (m.uState == state) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "state " << m.uState << ": " << m.sText.c_str();
}

inline CTSInterface::SMessage ImportSdf(const fs::path& in, const fs::path& out, int overwrite = 1)
{
    CTSInterface::SMessage msg;
    EXPECT_EQ(0u, CTSInterface().ImportSDF(in.c_str(), 5, 6, out.c_str(), &overwrite, &msg));
    return msg;
}

// Default settings and an empty scratch directory for every test.
class CSdfJobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CTSSettings::ResetToDefaults();
        dir = tessel::test::MakeScratch("sdf");
    }
    void TearDown() override { fs::remove_all(dir); }
    // b written as <name>.sdf and imported into <name>.dat.
    CTSInterface::SMessage ImportBytes(const Bytes& b, const std::string& name, int overwrite = 1)
    {
        WriteBytes(dir / (name + ".sdf"), b);
        return ImportSdf(dir / (name + ".sdf"), dir / (name + ".dat"), overwrite);
    }
    ::testing::AssertionResult Imported(const Bytes& b, const std::string& name) { return Succeeded(ImportBytes(b, name), 9); }
    fs::path dir;
};

// Every fraction a job reports, read back through the job base as a host's
// progress query reads it.
template <class TJob>
class CWatched : public TJob {
public:
    using TJob::TJob;
    std::vector<float> seen;

protected:
    void ReportProgress(float f) override
    {
        TJob::ReportProgress(f);
        seen.push_back(this->GetProgress());
    }
};

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
