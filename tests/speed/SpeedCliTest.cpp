// The tessel commands of the speed data and the mixed-rate export, run as a
// user runs them.

#include "SpeedTestUtil.h"
#include "tests/cli/CommandTest.h"

#include <cmath>

using namespace speedtest;

namespace {

class SpeedCli : public CCommandTest {
protected:
    void SetUp() override
    {
        CCommandTest::SetUp();
        // Two seconds at 1 kHz, a constant 600 rpm: one pulse every 100 scans.
        std::vector<double> v;
        for (int i = 0; i < 2000; ++i) {
            v.push_back(std::round(1000 * std::sin(2 * M_PI * 10 * i / 1000.0)));
            v.push_back(i % 100 < 50 ? 1.0 : 0.0);
        }
        MakeTrx(dir / "run.trx", {{"mic", it__int16}, {"Pulses", it__pulse, 1.0, "Pulse Channels"}}, 1000.0, v,
                {PulseSub(1, 1)});
    }
};

}  // namespace

TEST_F(SpeedCli, ReferenceSectionAndCut)
{
    SResult r = Tessel("speed run.trx --subchannel 0 -o ref.trx");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<double> rpm = ReadDataset(dir / "ref.trx", {0});
    ASSERT_EQ(rpm.size(), 200u);
    EXPECT_NEAR(rpm[100], 600.0, 0.01);

    r = Tessel("speed-mark run.trx --from 0.5 --to 1.5 -o mark.trx");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadDataset(dir / "mark.trx", {0}).size(), 101u);

    // A ramp 0, 100, 200, ... at 10 values a second passes 250 at 0.25 s.
    MakeTrx(dir / "ramp.trx", {{"n", it__float}}, 10.0, {0, 100, 200, 300, 400});
    r = Tessel("speed-cut ramp.trx --level 250");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0.25\n");
    EXPECT_EQ(Tessel("speed-cut ramp.trx --level 5000").status, 1);
    EXPECT_EQ(Tessel("speed run.trx --subchannel 3").status, 1);
}

TEST_F(SpeedCli, MixedRateExport)
{
    SResult r = Tessel("export trx-mixed run.trx -o mixed.trx --first-channel 0 --divisor 4 -q");
    ASSERT_EQ(r.status, 0) << r.err;
    CDataset ds((dir / "mixed.trx").c_str(), om__read_complete, 32768, sh__deny_none);
    EXPECT_EQ(ds.GetNbrOfScans(), 500);
    // Refused before any job: the divisor, and the output that exists.
    r = Tessel("export trx-mixed run.trx -o mixed.trx --first-channel 0 --divisor 3");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Invalid divisor"), std::string::npos) << r.err;
    EXPECT_EQ(Tessel("export trx-mixed run.trx -o mixed.trx --first-channel 0 --divisor 2").status, 1);
    r = Tessel("export trx-mixed run.trx --first-channel 0 --divisor 2 --overwrite -q");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "run_mixed.trx"));
}
