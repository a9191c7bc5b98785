// The network protocol: wiring, initialisation failures, ends and destruction.
#include "BlockTestUtil.h"

#include <gtest/gtest.h>

TEST(Network, PortsConnectOneToOneAndReconnectingMovesTheLink)
{
    CTestSource a(MakeFormat(100, 10, 1), nullptr), b(MakeFormat(100, 10, 1), nullptr);
    CCollectDrain d;
    EXPECT_EQ(a.Output(1), nullptr);
    EXPECT_EQ(d.Input(-1), nullptr);
    EXPECT_FALSE(a.Output(0)->ConnectInput(nullptr));
    ASSERT_TRUE(a.Output(0)->ConnectInput(d.Input(0)));
    ASSERT_TRUE(b.Output(0)->ConnectInput(d.Input(0)));
    EXPECT_EQ(a.Output(0)->GetConnectedInput(), nullptr);
    EXPECT_EQ(d.Input(0)->GetConnectedOutput(), b.Output(0));
}

// A run ends its upstream blocks whether it went to the end or a source
// failed, and then the failure's reason is the drain's.
TEST(Network, RunsToTheEndOrStopsWithAFailingSourcesReason)
{
    for (std::uint64_t failAt : {~std::uint64_t(0), std::uint64_t(5500)}) {
        const bool fails = failAt < 10000;
        auto* src = new CTestSource(MakeFormat(1000, 10000, 2), nullptr, nullptr, 1000);
        src->nFailAtScan = failAt;
        auto* drain = new CCollectDrain();
        src->Output(0)->ConnectInput(drain->Input(0));
        EXPECT_EQ(RunNetwork(drain), !fails);
        EXPECT_TRUE(src->bEnded);
        EXPECT_EQ(drain->bFinishedComplete, !fails);
        EXPECT_EQ(drain->HasFailed(), fails);
        EXPECT_EQ(drain->nScans, fails ? 5000u : 10000u);
        EXPECT_EQ(drain->GetLastError().find("read error") != std::string::npos, fails) << drain->GetLastError();
        // Destroying in either order leaves no dangling link behind.
        src->Destroy(true);
        EXPECT_FALSE(drain->Input(0)->IsConnected());
        drain->Destroy(true);
    }
}

TEST(Network, FailedInitialisationIsReportedAndTheRunStillEndsAndDestroys)
{
    CCollectDrain lonely;
    EXPECT_FALSE(lonely.Initialize());
    EXPECT_NE(lonely.GetLastError().find("not connected"), std::string::npos);

    int destroyed = 0;
    auto* src = new CTestSource(MakeFormat(1000, 100, 1), nullptr);
    src->bRefuseInit = true;
    src->pDestroyed = &destroyed;
    auto* res = CSPBResample::CreateObject();
    ASSERT_TRUE(res->SetParameters(false, 500, 20, 20));
    auto* drain = new CCollectDrain();
    drain->pDestroyed = &destroyed;
    src->Output(0)->ConnectInput(res->Input(0));
    res->Output(0)->ConnectInput(drain->Input(0));

    EXPECT_FALSE(drain->Initialize());
    EXPECT_NE(drain->GetLastError().find("test source refuses"), std::string::npos) << drain->GetLastError();
    EXPECT_TRUE(drain->IsFinished()); // a driver's loop ends at once
    EXPECT_FALSE(drain->Initialize()); // stays refused
    drain->EndRun();
    EXPECT_FALSE(drain->bFinishedComplete);
    drain->Destroy(true);
    res->Destroy(true);
    src->Destroy(true);
    EXPECT_EQ(destroyed, 2);
}

TEST(Network, MissingParametersRefuseInitialisation)
{
    CTestSource src(MakeFormat(1000, 100, 1), nullptr);
    std::unique_ptr<CSPBResample> res(CSPBResample::CreateObject());
    CCollectDrain d;
    src.Output(0)->ConnectInput(res->Input(0));
    res->Output(0)->ConnectInput(d.Input(0));
    EXPECT_FALSE(d.Initialize()); // no rate set
    EXPECT_FALSE(res->SetParameters(false, 0.0, 20, 20));
    EXPECT_FALSE(res->SetParameters(false, 1000.0, 1, 20));
    EXPECT_FALSE(res->SetParameters(false, 1000.0, 20, 40));
}
