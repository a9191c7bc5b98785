// Conversions through CTSInterface as a host runs them: the ASCII and UFF
// members synchronously and asynchronously, and the limit of three
// conversions moving data at once for every kind that takes a unit.

#include "interface/TSInterface.h"
#include "frame/Module.h"
#include "frame/ThreadManager.h"
#include "hostlibs/dataset/Dataset.h"
#include "platform/MessageLoop.h"
#include "platform/Semaphore.h"
#include "settings/TSSettings.h"
#include "tests/cli/WaveFile.h"
#include "tests/common/DatasetMaker.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

class Conversions : public ::testing::Test {
protected:
    void SetUp() override
    {
        TesselModuleLoad();
        CTSSettings::ResetToDefaults();
        MessageLoop::Reset();
        MessageLoop::SetMainWindow([this](unsigned m, WPARAM w, LPARAM) -> LRESULT {
            if (m == CTSInterface::g_uMsgFromTessel) {
                auto* msg = reinterpret_cast<CTSInterface::SMessage*>(w);
                reports[msg->lID] = *msg;
            }
            return 0;
        });
        d = dir.Path();
    }
    void TearDown() override
    {
        CThreadManager::DestroyAll();
        MessageLoop::Reset();
        CTSSettings::ResetToDefaults();
    }

    // Runs the loop until job `id` is reported (timers fired at once).
    bool WaitReport(long id, unsigned ms = 20000)
    {
        return MessageLoop::RunUntil([&] {
            MessageLoop::FireAllTimers();
            return reports.count(id) > 0;
        }, ms);
    }

    void MakeTable(const std::string& p, int lines)
    {
        std::ofstream f(p);
        for (int i = 0; i < lines; ++i) f << i * 0.01 << ' ' << std::sin(i * 0.1) << '\n';
    }

    static void MakeTrx(const std::string& p)
    {
        tessel::test::MakeTrx(p, {{"a", it__float}}, 1000.0, {0.5, -0.25, 1.0, 0.0, -1.0, 0.125});
    }

    CTempDir dir;
    std::string d;
    std::map<long, CTSInterface::SMessage> reports;
    CTSInterface ts;
};

TEST_F(Conversions, AsciiMembersSynchronousAndAsynchronous)
{
    MakeTable(d + "/t.txt", 50);
    CTSInterface::SMessage msg;
    ASSERT_EQ(ts.ImportASC((d + "/t.txt").c_str(), 1, 11, (d + "/sync.trx").c_str(), nullptr, &msg), 0u);
    EXPECT_EQ(msg.uState, 1u) << msg.sText.c_str();
    EXPECT_EQ(tessel::test::ReadDataset(d + "/sync.trx").size(), 50u);

    ASSERT_EQ(ts.ImportASC((d + "/t.txt").c_str(), 3, 0, nullptr, nullptr, nullptr), 0u);
    ASSERT_TRUE(WaitReport(3));
    EXPECT_EQ(reports[3].uState, 1u) << reports[3].sText.c_str();
    EXPECT_TRUE(fs::exists(d + "/t.trx")) << "derived output";
    EXPECT_EQ(ts.GetProgress(3), -1.0f) << "a reported job has no progress";

    MakeTrx(d + "/x.trx");
    const short digits = 3;
    const int tab = 1;
    ASSERT_EQ(ts.ExportASC((d + "/x.trx").c_str(), 4, 0, (d + "/x.asc").c_str(), nullptr, nullptr, &digits, &tab,
                           nullptr, nullptr, nullptr, "Run 4"),
              0u);
    ASSERT_TRUE(WaitReport(4));
    EXPECT_EQ(reports[4].uState, 3u) << reports[4].sText.c_str();
    EXPECT_EQ(tessel::test::ReadFile(d + "/x.asc").substr(0, 7), "Run 4\r\n") << "the title, lines end with CR LF";
}

TEST_F(Conversions, UffMembersAndTheModalList)
{
    fs::copy_file(fs::path(TESSEL_SOURCE_DIR) / "fuzz/corpus/uff/ascii58.unv", d + "/m.unv");
    CTSInterface::SMessage msg;
    ASSERT_EQ(ts.ImportUFF((d + "/m.unv").c_str(), 1, 0, (d + "/m.trx").c_str(), nullptr, &msg), 0u);
    ASSERT_EQ(msg.uState, 17u) << msg.sText.c_str();

    const int binary = 1;
    ASSERT_EQ(ts.ExportUFF((d + "/m.trx").c_str(), 3, 0, (d + "/one.uff").c_str(), nullptr, &binary), 0u);
    CList<CString, CString&> list;
    CString a(d + "/m.trx");
    list.AddTail(a);
    list.AddTail(a);
    // One kind, one input: refused while the first export is listed.
    EXPECT_EQ(ts.ExportUFFModal(list, 4, 0, (d + "/two.uff").c_str(), nullptr, nullptr), 113u);
    ASSERT_TRUE(WaitReport(3));
    ASSERT_EQ(ts.ExportUFFModal(list, 4, 0, (d + "/two.uff").c_str(), nullptr, nullptr), 0u);
    ASSERT_TRUE(WaitReport(4));
    EXPECT_EQ(reports[3].uState, 19u) << reports[3].sText.c_str();
    EXPECT_EQ(reports[4].uState, 19u) << reports[4].sText.c_str();
    EXPECT_EQ(reports[4].sSource, a) << "the first path of the list";
    // Read back: one data set in the first file, two in the second.
    for (const auto& [file, sets] : {std::pair{"/one.uff", 1}, std::pair{"/two.uff", 2}}) {
        CTSInterface::SMessage back;
        ASSERT_EQ(ts.ImportUFF((d + file).c_str(), 9, 0, (d + file + ".trx").c_str(), nullptr, &back), 0u);
        ASSERT_EQ(back.uState, 17u) << file << back.sText.c_str();
        CDataset ds((d + file + ".trx").c_str(), om__read, 65536, sh__deny_write);
        EXPECT_EQ(ds.GetNbrOfChannels(), sets) << file;
    }
}

// With every unit of "ThreadTSAccess" taken elsewhere, a conversion that
// moves data waits for one; the ASCII export takes none and runs.
TEST_F(Conversions, EveryKindWaitsForAUnitExceptTheAsciiExport)
{
    MakeTable(d + "/t.txt", 20);
    fs::copy_file(fs::path(TESSEL_SOURCE_DIR) / "fuzz/corpus/uff/ascii58.unv", d + "/m.unv");
    MakeTrx(d + "/x.trx");
    tessel::test::MakeWave(d + "/w.wav", 1, 100, [](int f, int) { return f * 100; });
    const int yes = 1;
    const std::string x = d + "/x.trx";
    struct Kind {
        const char* what;
        std::function<unsigned(long)> start;
        bool takesUnit;
    };
    const std::vector<Kind> kinds = {
        {"ASCII import", [&](long id) { return ts.ImportASC((d + "/t.txt").c_str(), id, 0, (d + "/a.trx").c_str(), &yes, nullptr); }, true},
        {"UFF import", [&](long id) { return ts.ImportUFF((d + "/m.unv").c_str(), id, 0, (d + "/u.trx").c_str(), &yes, nullptr); }, true},
        {"UFF export", [&](long id) { return ts.ExportUFF(x.c_str(), id, 0, (d + "/x.uff").c_str(), &yes, nullptr); }, true},
        {"WAVE import", [&](long id) { return ts.ImportWAV((d + "/w.wav").c_str(), id, 0, (d + "/w.dat").c_str(), &yes, nullptr); }, true},
        {"WAVE export", [&](long id) {
             return ts.ExportWAV(x.c_str(), id, 0, (d + "/x.wav").c_str(), &yes, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr);
         }, true},
        {"ASCII export", [&](long id) {
             return ts.ExportASC(x.c_str(), id, 0, (d + "/x.asc").c_str(), &yes, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, nullptr);
         }, false},
    };
    long id = 100;
    for (const Kind& k : kinds) {
        CSemaphore others(3, 3, "ThreadTSAccess");
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(others.Lock(0)) << k.what;
        ASSERT_EQ(k.start(id), 0u) << k.what;
        if (k.takesUnit) {
            EXPECT_FALSE(WaitReport(id, 300)) << k.what << " ran without a unit";
            others.Unlock();
        }
        ASSERT_TRUE(WaitReport(id)) << k.what;
        EXPECT_TRUE(reports[id].uState & 1u) << k.what << ": " << reports[id].sText.c_str();
        ++id;
    }
}

} // namespace
