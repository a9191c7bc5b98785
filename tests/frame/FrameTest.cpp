// The job manager end to end: jobs started asynchronously are reported through
// the message loop to a fake host window; synchronous jobs fill the record.

#include "TestJob.h"

#include "interface/TSInterface.h"
#include "frame/Cancellation.h"
#include "frame/Module.h"
#include "frame/ThreadManager.h"
#include "platform/MessageLoop.h"

#include <gtest/gtest.h>

// The plans below name only what differs from a plain job.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <chrono>
#include <cmath>
#include <csignal>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

struct Report {
    CTSInterface::SMessage msg;
    std::vector<CString> produced;
};

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TesselModuleLoad();
        MessageLoop::Reset();
        MessageLoop::SetClock([this] { return now; });
        main = MessageLoop::SetMainWindow([this](unsigned m, WPARAM w, LPARAM l) { return OnHost(m, w, l); });
        runs0 = g_jobRuns;
        destroyed0 = g_jobsDestroyed;
    }
    void TearDown() override
    {
        for (auto& g : gates) g->Open();
        CThreadManager::DestroyAll();
        MessageLoop::Reset();
    }

    LRESULT OnHost(unsigned m, WPARAM w, LPARAM l)
    {
        if (m != CTSInterface::g_uMsgFromTessel) return 0;
        Report r;
        r.msg = *reinterpret_cast<CTSInterface::SMessage*>(w);
        for (auto& s : *reinterpret_cast<CStringArray*>(l)) r.produced.push_back(s);
        reports.push_back(r);
        if (onReport) onReport(r);
        return 0;
    }

    std::shared_ptr<Gate> NewGate()
    {
        gates.push_back(std::make_shared<Gate>());
        return gates.back();
    }

    // Starts a job as a conversion member does; returns the result and the job.
    unsigned Start(const char* input, long id, JobPlan plan, CTestJob** out = nullptr,
                   CTSInterface::SMessage* msg = nullptr, const char* output = "out.trx")
    {
        return CThreadManager::Dispatch(msg, output, [&] {
            auto* j = new CTestJob(input, id, id * 10, plan);
            if (out) *out = j;
            return j;
        });
    }

    static void WaitEnded(CTestJob* j) { ASSERT_TRUE(j->GetExitCodeThread(nullptr, 10000)); }

    // One timer period passes.
    int Tick()
    {
        now += 2000ms;
        return MessageLoop::FireDueTimers();
    }

    // Periods pass until every listed job has been reported.
    void TickUntilEmpty()
    {
        for (int i = 0; i < 100 && CThreadManager::ListedCount() > 0; ++i) {
            Tick();
            std::this_thread::sleep_for(1ms);
        }
    }

    // Starts an asynchronous job and waits until its run has ended.
    void StartEnded(const char* input, long id, const JobPlan& plan = JobPlan{})
    {
        CTestJob* j = nullptr;
        ASSERT_EQ(Start(input, id, plan, &j), 0u);
        WaitEnded(j);
    }

    std::chrono::milliseconds now{50000};
    HWND main = 0;
    std::vector<Report> reports;
    std::function<void(const Report&)> onReport;
    std::vector<std::shared_ptr<Gate>> gates;
    int runs0 = 0, destroyed0 = 0;
};

TEST_F(FrameTest, AsynchronousJobIsReportedByTheTimerToTheHostWindow)
{
    JobPlan p;
    p.gate = NewGate();
    p.produced = {"/d/a.trx", "/d/b.trx"};
    CTestJob* job = nullptr;
    ASSERT_EQ(Start("/d/a.wav", 5, p, &job, nullptr, nullptr), 0u) << "async derives its output";

    // The hidden message window and its timer.
    const HWND wnd = CThreadManager::MessageWindow();
    ASSERT_TRUE(MessageLoop::IsWindow(wnd));
    EXPECT_EQ(MessageLoop::GetParent(wnd), main);
    EXPECT_EQ(MessageLoop::GetChildId(wnd), 7u);
    EXPECT_TRUE(MessageLoop::HasTimer(wnd, 1));

    // Nothing is reported while the job runs.
    EXPECT_EQ(Tick(), 1);
    EXPECT_TRUE(reports.empty());

    p.gate->Open();
    WaitEnded(job);
    now += 1999ms;
    MessageLoop::FireDueTimers();
    EXPECT_TRUE(reports.empty()) << "reported before the period elapsed";
    now += 1ms;
    EXPECT_EQ(MessageLoop::RunOnce(0), 1);
    ASSERT_EQ(reports.size(), 1u);
    const auto& m = reports[0].msg;
    EXPECT_EQ(m.uState, 21u);
    EXPECT_EQ(m.sText, "Conversion successfully completed.");
    EXPECT_EQ(m.lID, 5);
    EXPECT_EQ(m.lUser, 50);
    EXPECT_EQ(m.sSource, "/d/a.wav");
    EXPECT_EQ(RegisterWindowMessage("MsgFromTessel"), CTSInterface::g_uMsgFromTessel) << "the host finds it by name";
    EXPECT_EQ(reports[0].produced, (std::vector<CString>{"/d/a.trx", "/d/b.trx"}));
    EXPECT_EQ(g_jobsDestroyed - destroyed0, 1);

    // No timer after the last report; the window stays for the next start.
    EXPECT_EQ(CThreadManager::ListedCount(), 0);
    EXPECT_EQ(MessageLoop::TimerCount(), 0);
    EXPECT_TRUE(MessageLoop::IsWindow(wnd));

    ASSERT_EQ(Start("/d/c.wav", 6, JobPlan{}), 0u);
    EXPECT_EQ(CThreadManager::MessageWindow(), wnd);
    EXPECT_TRUE(MessageLoop::HasTimer(wnd, 1)) << "the next start runs the timer again";
}

TEST_F(FrameTest, SynchronousJobFillsTheRecordAndIsNeverListed)
{
    JobPlan async;
    async.gate = NewGate();
    ASSERT_EQ(Start("/d/other.wav", 1, async), 0u);

    int listedDuringRun = -1;
    float progressDuringRun = 0.0f;
    JobPlan p;
    p.kind = TS_STATE_UFF_IMPORT;
    p.produced = {"/d/x.trx"};
    p.during = [&](CTestJob& j) {
        // The host thread is blocked in the call, so the list is stable here.
        listedDuringRun = CThreadManager::ListedCount();
        progressDuringRun = CThreadManager::GetProgress(j.m_lID);
    };
    CTSInterface::SMessage msg;
    msg.uState = 999;
    ASSERT_EQ(Start("/d/x.uff", 9, p, nullptr, &msg, "/d/x.trx"), 0u);
    EXPECT_EQ(msg.uState, 17u);
    EXPECT_EQ(msg.sText, "Conversion successfully completed.");
    EXPECT_EQ(msg.lID, 9);
    EXPECT_EQ(msg.lUser, 90);
    EXPECT_EQ(msg.sSource, "/d/x.uff");
    EXPECT_EQ(listedDuringRun, 1) << "only the asynchronous job";
    EXPECT_EQ(progressDuringRun, -1.0f) << "a synchronous job has no progress to query";
    EXPECT_EQ(g_jobsDestroyed - destroyed0, 1) << "destroyed within the call";
    EXPECT_TRUE(reports.empty()) << "the synchronous path sends nothing";

    // A synchronous job is never compared with the list either.
    CTSInterface::SMessage again;
    EXPECT_EQ(Start("/d/other.wav", 2, JobPlan{}, nullptr, &again, "/d/o.trx"), 0u);
    EXPECT_EQ(again.uState, 21u);

    // Without an output the call returns 110 before any job exists.
    int built = 0;
    const unsigned rc = CThreadManager::Dispatch(&again, nullptr, [&]() -> CThreadConversion* {
        ++built;
        return new CTestJob("/d/a.wav", 1, 1, JobPlan{});
    });
    EXPECT_EQ(rc, 110u);
    EXPECT_EQ(built, 0);
    EXPECT_EQ(again.uState, 21u) << "the record is left alone";
}

TEST_F(FrameTest, DuplicateCheckRefusesOnlyTheSameKindOnTheSameFile)
{
    JobPlan running;
    running.gate = NewGate();
    ASSERT_EQ(Start("/d/a.wav", 1, running), 0u);
    // The first job's thread may not have begun its run yet; count from there.
    for (int i = 0; i < 5000 && g_jobRuns == runs0; ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(g_jobRuns, runs0 + 1);

    // Same member, same file, still running: refused, and the job never runs.
    const int destroyedBefore = g_jobsDestroyed;
    EXPECT_EQ(Start("/d/a.wav", 2, JobPlan{}), 113u);
    EXPECT_EQ(g_jobsDestroyed - destroyedBefore, 1) << "the refused job is released";
    EXPECT_EQ(g_jobRuns, runs0 + 1) << "the refused job ran";

    // Another kind on the same file, and the same kind on a file whose name
    // differs only in case, are accepted.
    JobPlan other;
    other.kind = TS_STATE_WAV_EXPORT;
    EXPECT_EQ(Start("/d/a.wav", 3, other), 0u);
    EXPECT_EQ(Start("/d/A.wav", 4, JobPlan{}), 0u);
    EXPECT_EQ(CThreadManager::ListedCount(), 3);
}

TEST_F(FrameTest, FinishedUnreportedJobBlocksARestartOnlyWhenItSucceeded)
{
    JobPlan failing;
    failing.fail = true;
    failing.stringId = 3;
    StartEnded("/d/ok.wav", 1);
    StartEnded("/d/bad.wav", 2, failing);
    ASSERT_TRUE(reports.empty());

    EXPECT_EQ(Start("/d/ok.wav", 3, JobPlan{}), 113u) << "succeeded, not yet reported";
    EXPECT_EQ(Start("/d/bad.wav", 4, JobPlan{}), 0u) << "failed: its state is the even code";

    // Jobs that have not set a state (0) never count as duplicates.
    JobPlan stateless;
    stateless.kind = 0;
    EXPECT_EQ(Start("/d/z.wav", 5, stateless), 0u);
    EXPECT_EQ(Start("/d/z.wav", 6, stateless), 0u);
}

TEST_F(FrameTest, ProgressOfListedJobsOnly)
{
    JobPlan moving;
    moving.gate = NewGate();
    moving.during = [](CTestJob& j) { j.SetProgress(0.25f); };
    CTestJob* mj = nullptr;
    ASSERT_EQ(Start("/d/b.wav", 2, moving, &mj), 0u);

    // The moving job sets its value on its own thread; wait for it briefly.
    for (int i = 0; i < 1000 && CThreadManager::GetProgress(2) != 0.25f; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(CThreadManager::GetProgress(2), 0.25f);
    EXPECT_EQ(CThreadManager::GetProgress(3), -1.0f) << "unknown id";

    moving.gate->Open();
    WaitEnded(mj);
    TickUntilEmpty();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(CThreadManager::GetProgress(2), -1.0f) << "reported jobs are gone";
}

TEST(JobBase, ProgressStaysWithinZeroToOneAndFailingGivesTheEvenCodeOnce)
{
    CTestJob j("/d/a.wav", 1, 1, JobPlan{}); // never resumed
    EXPECT_TRUE(j.SetProgress(1.0f));
    EXPECT_FALSE(j.SetProgress(1.0001f));
    EXPECT_FALSE(j.SetProgress(-0.01f));
    EXPECT_FALSE(j.SetProgress(std::nanf("")));
    EXPECT_FALSE(j.AddProgress(0.1f)) << "sum above 1";
    EXPECT_TRUE(j.AddProgress(-0.75f));
    EXPECT_FALSE(j.AddProgress(-0.5f)) << "sum below 0";
    EXPECT_EQ(j.GetProgress(), 0.25f) << "refused values leave it unchanged";
    EXPECT_TRUE(j.AddProgress(-0.25f));

    // Pairs: odd succeeded, the next even value failed.
    j.m_uState = TS_STATE_EXCEL_IMPORT;
    j.SetFailed(15);
    EXPECT_EQ(j.m_uState, 32u);
    EXPECT_EQ(j.m_uStringID, 15u);
    j.SetFailed(TS_NO_TEXT);
    EXPECT_EQ(j.m_uState, 32u) << "failing twice keeps the failed code";
    EXPECT_EQ(j.m_uStringID, 15u);
}

TEST_F(FrameTest, JobsEndingWithinOneTickAreReportedInListOrder)
{
    JobPlan a;
    a.gate = NewGate();
    CTestJob* ja = nullptr;
    ASSERT_EQ(Start("/d/a.wav", 1, a, &ja), 0u);
    StartEnded("/d/b.wav", 2); // the later job ends first
    a.gate->Open();
    WaitEnded(ja);
    EXPECT_EQ(Tick(), 1) << "one timer message";
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].msg.lID, 1);
    EXPECT_EQ(reports[1].msg.lID, 2);
}

TEST_F(FrameTest, MessageTextsFromTheTable)
{
    const struct {
        const char* what;
        JobPlan plan;
        const char* asyncText;
        const char* syncText;
    } cases[] = {
        {"placeholder filled", {.fail = true, .stringId = 10, .arg = "/d/in.wav"},
         "File \"/d/in.wav\" could not be opened.", "File \"/d/in.wav\" could not be opened."},
        {"blank before the appended text only when asynchronous", {.fail = true, .stringId = 3, .append = "Extra."},
         "Conversion failed. Extra.", "Conversion failed.Extra."},
        {"argument and append", {.fail = true, .stringId = 14, .arg = "/d/x", .append = "(3)"},
         "Reading data from input file /d/x failed. (3)", "Reading data from input file /d/x failed.(3)"},
        {"finished text wins", {.fail = true, .stringId = 3, .text = "Own words.", .arg = "a", .append = "b"},
         "Own words.", "Own words."},
        {"no text", {.stringId = TS_NO_TEXT, .arg = "a", .append = "b"}, "", ""},
        {"unknown id: append to the empty text", {.stringId = 18, .append = "tail"}, " tail", "tail"},
    };
    long id = 100;
    for (const auto& c : cases) {
        CTSInterface::SMessage sync;
        ASSERT_EQ(Start("/d/s.wav", id++, c.plan, nullptr, &sync, "/d/o.trx"), 0u);
        EXPECT_EQ(sync.sText, c.syncText) << c.what;
        reports.clear();
        StartEnded("/d/a.wav", id++, c.plan);
        Tick();
        ASSERT_EQ(reports.size(), 1u) << c.what;
        EXPECT_EQ(reports[0].msg.sText, c.asyncText) << c.what;
        EXPECT_EQ(reports[0].msg.uState, c.plan.fail ? 22u : 21u) << c.what;
    }
}

TEST_F(FrameTest, WithoutAHostWindowTheStartReturns4AndTheJobStaysListed)
{
    MessageLoop::ClearMainWindow();
    CTestJob* j = nullptr;
    EXPECT_EQ(Start("/d/a.wav", 1, JobPlan{}, &j), 4u);
    WaitEnded(j); // the job still runs
    EXPECT_EQ(CThreadManager::ListedCount(), 1);
    EXPECT_EQ(MessageLoop::TimerCount(), 0) << "no window, no timer, no message";

    // The host comes back and already has a child with id 7 (and 8).
    main = MessageLoop::SetMainWindow([this](unsigned m, WPARAM w, LPARAM l) { return OnHost(m, w, l); });
    ASSERT_TRUE(MessageLoop::CreateChild(main, 7, "host's", WS_CHILD, RECT{0, 0, 9, 9}, nullptr));
    ASSERT_TRUE(MessageLoop::CreateChild(main, 8, "host's", WS_CHILD, RECT{0, 0, 9, 9}, nullptr));
    EXPECT_EQ(Start("/d/b.wav", 2, JobPlan{}), 0u);
    EXPECT_EQ(MessageLoop::GetChildId(CThreadManager::MessageWindow()), 9u);
    TickUntilEmpty();
    ASSERT_EQ(reports.size(), 2u) << "the earlier job is reported with the next one";
    EXPECT_EQ(reports[0].msg.lID, 1);
}

TEST_F(FrameTest, NestedLoopInTheHandlerNeitherFreesNorSkipsWhatTheOuterTickHolds)
{
    // A host whose handler starts a job (on the input just reported, which is
    // no duplicate any more) and then runs a modal loop for a while: the loop's
    // own tick must leave the job that the outer tick reports next.
    StartEnded("/d/a.wav", 1);
    StartEnded("/d/b.wav", 2);
    std::vector<long> seenInNestedLoop;
    bool nested = false;
    onReport = [&](const Report& r) {
        if (nested || r.msg.lID != 1) return;
        nested = true;
        StartEnded("/d/a.wav", 3);
        for (int i = 0; i < 3; ++i) Tick(); // the modal loop's ticks
        for (const Report& seen : reports) seenInNestedLoop.push_back(seen.msg.lID);
        nested = false;
    };
    Tick();
    EXPECT_EQ(seenInNestedLoop, (std::vector<long>{1, 3})) << "b belongs to the outer tick";
    std::vector<long> order;
    for (const Report& r : reports) order.push_back(r.msg.lID);
    EXPECT_EQ(order, (std::vector<long>{1, 3, 2}));
    EXPECT_EQ(CThreadManager::ListedCount(), 0);
    EXPECT_EQ(g_jobsDestroyed - destroyed0, 3);
}

TEST_F(FrameTest, ExceptionLeavingTheRunIsAFailure)
{
    const struct {
        std::function<void(CTestJob&)> during;
        const char* text;
    } cases[] = {
        {[](CTestJob&) { throw std::runtime_error("TRX data set x.trx: header damaged"); },
         "Conversion failed. TRX data set x.trx: header damaged"},
        {[](CTestJob&) { throw 42; }, "Conversion failed."},
        {[](CTestJob&) { throw std::bad_alloc(); }, "Allocation of memory failed. No data buffering possible."},
    };
    long id = 1;
    for (const auto& c : cases) {
        JobPlan throwing;
        throwing.during = c.during;
        CTSInterface::SMessage sync;
        ASSERT_EQ(Start("/d/t.wav", id++, throwing, nullptr, &sync, "/d/o.trx"), 0u);
        EXPECT_EQ(sync.uState, 22u) << c.text;
        EXPECT_EQ(sync.sText, c.text);
    }
    // Asynchronously the host is told the same.
    JobPlan throwing;
    throwing.during = cases[0].during;
    StartEnded("/d/t.wav", id, throwing);
    Tick();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].msg.uState, 22u);
    EXPECT_EQ(reports[0].msg.sText, cases[0].text);
}

TEST_F(FrameTest, AnInterruptedJobFailsAndSaysSo)
{
    // A job that sees the request and fails with its own text, and one that
    // waits for a unit held elsewhere and would run on once it got one.
    CSemaphore others(3, 3, "ThreadTSAccess");
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(others.Lock(0));
    JobPlan polling, waiting;
    polling.fail = true;
    polling.stringId = 14;
    bool before = true, after = false, gotUnit = true;
    polling.during = [&](CTestJob& j) {
        before = j.Interrupted();
        JobCancellation::Request(SIGINT);
        after = j.Interrupted();
    };
    waiting.during = [&](CTestJob& j) {
        CSemaphoreHolder unit(j.m_semAccess);
        gotUnit = unit.IsLocked();
    };
    long id = 1;
    for (const JobPlan* plan : {&polling, &waiting}) {
        std::thread interrupt; // the request comes while the job waits
        if (plan == &waiting)
            interrupt = std::thread([] {
                std::this_thread::sleep_for(50ms);
                JobCancellation::Request(SIGTERM);
            });
        CTSInterface::SMessage msg;
        EXPECT_EQ(Start("/d/i.wav", id++, *plan, nullptr, &msg, "/d/o.trx"), 0u);
        if (interrupt.joinable()) interrupt.join();
        JobCancellation::Clear();
        EXPECT_EQ(msg.uState, 22u);
        EXPECT_EQ(msg.sText, "Conversion failed. Interrupted before it was complete.");
    }
    EXPECT_FALSE(before);
    EXPECT_TRUE(after);
    EXPECT_TRUE(gotUnit) << "the holder is never left without a unit";
}

TEST_F(FrameTest, UnloadDestroysListedJobs)
{
    JobPlan running;
    running.gate = NewGate();
    ASSERT_EQ(Start("/d/a.wav", 1, running), 0u);
    StartEnded("/d/b.wav", 2);
    const int before = g_jobsDestroyed;
    std::thread opener([g = running.gate] {
        std::this_thread::sleep_for(20ms);
        g->Open(); // unload waits for a job that still runs
    });
    TesselModuleUnload();
    opener.join();
    EXPECT_EQ(g_jobsDestroyed - before, 2);
    EXPECT_EQ(CThreadManager::ListedCount(), 0);
    EXPECT_EQ(MessageLoop::TimerCount(), 0);
    EXPECT_TRUE(reports.empty()) << "unload reports nothing";
    EXPECT_FALSE(TesselModuleIsLoaded());
    TesselModuleLoad();
}

} // namespace
