#pragma once
// Helpers of the SDF job tests: the module's texts, a scratch directory per
// test, the values of the data sets the jobs write, and the host's view of a
// job (its report through the main window, its progress).

#include "frame/ThreadManager.h"
#include "hostlibs/dataset/Dataset.h"
#include "interface/TSInterface.h"
#include "platform/MessageLoop.h"
#include "settings/TSSettings.h"
#include "tests/common/DatasetMaker.h"
#include "tests/common/ModuleEnvironment.h"
#include "tests/common/TempDir.h"
#include "tests/formats/sdf/SdfFileBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace sdftest {

namespace fs = std::filesystem;

// Default settings and an empty scratch directory for every test.
class CSdfJobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CTSSettings::ResetToDefaults();
        dir = tessel::test::MakeScratch("sdf");
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

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
inline std::vector<double> Values(const fs::path& path, int ch) { return tessel::test::ReadDataset(path, CChNbrList{ch}); }

// Files in a directory, sorted by name.
inline std::vector<std::string> Listing(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A job started through CTSInterface without a message: the report that
// reaches the main window, and the files it names.
struct SAsyncReport {
    CTSInterface::SMessage msg;
    std::vector<std::string> produced;
};
inline SAsyncReport RunAsync(long id, const std::function<unsigned()>& start)
{
    SAsyncReport out;
    bool arrived = false;
    MessageLoop::Reset();
    MessageLoop::SetMainWindow([&](unsigned m, WPARAM w, LPARAM l) -> LRESULT {
        auto* report = reinterpret_cast<CTSInterface::SMessage*>(w);
        if (m == CTSInterface::g_uMsgFromTessel && report->lID == id) {
            out.msg = *report;
            for (const CString& s : *reinterpret_cast<CStringArray*>(l)) out.produced.push_back(s.str());
            arrived = true;
        }
        return 0;
    });
    EXPECT_EQ(0u, start());
    EXPECT_TRUE(MessageLoop::RunUntil([&] {
        MessageLoop::FireAllTimers();
        return arrived;
    }, 20000));
    CThreadManager::DestroyAll();
    MessageLoop::Reset();
    return out;
}

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
