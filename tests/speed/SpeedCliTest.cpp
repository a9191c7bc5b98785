// The tessel commands of the speed data and the mixed-rate export, run as a
// user runs them.

#include "SpeedTestUtil.h"

#include <cmath>
#include <cstdio>

using namespace speedtest;

namespace {

struct SRun {
    int status;
    std::string out;
};

SRun Tessel(const std::string& args)
{
    SRun r{-1, {}};
    r.status = tessel::test::RunCommand(std::string(TESSEL_BINARY_DIR) + "/tessel " + args + " 2>&1", &r.out);
    return r;
}

class SpeedCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = MakeScratch("speedcli");
        // Two seconds at 1 kHz, a constant 600 rpm: one pulse every 100 scans.
        std::vector<double> v;
        for (int i = 0; i < 2000; ++i) {
            v.push_back(std::round(1000 * std::sin(2 * M_PI * 10 * i / 1000.0)));
            v.push_back(i % 100 < 50 ? 1.0 : 0.0);
        }
        in = dir / "run.trx";
        MakeTrx(in, {{"mic", it__int16}, {"Pulses", it__pulse, 1.0, "Pulse Channels"}}, 1000.0, v,
                {PulseSub(1, 1)});
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir, in;
};

}  // namespace

TEST_F(SpeedCli, EveryCommandHasHelp)
{
    for (const char* c : {"speed", "speed-mark", "speed-cut", "export trx-mixed"}) {
        SRun r = Tessel(std::string(c) + " --help");
        EXPECT_EQ(r.status, 0) << c;
        EXPECT_NE(r.out.find("Usage:"), std::string::npos) << c;
    }
}

TEST_F(SpeedCli, ReferenceSectionAndCut)
{
    SRun r = Tessel("speed " + in.string() + " --subchannel 0 -o " + (dir / "ref.trx").string());
    ASSERT_EQ(r.status, 0) << r.out;
    const std::vector<double> rpm = ReadDataset(dir / "ref.trx", {0});
    ASSERT_EQ(rpm.size(), 200u);
    EXPECT_NEAR(rpm[100], 600.0, 0.01);

    r = Tessel("speed-mark " + in.string() + " --from 0.5 --to 1.5 -o " + (dir / "mark.trx").string());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(ReadDataset(dir / "mark.trx", {0}).size(), 101u);

    // A ramp 0, 100, 200, ... at 10 values a second passes 250 at 0.25 s.
    MakeTrx(dir / "ramp.trx", {{"n", it__float}}, 10.0, {0, 100, 200, 300, 400});
    r = Tessel("speed-cut " + (dir / "ramp.trx").string() + " --level 250");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "0.25\n");
    r = Tessel("speed-cut " + (dir / "ramp.trx").string() + " --level 5000");
    EXPECT_EQ(r.status, 1);

    r = Tessel("speed " + in.string() + " --subchannel 3");
    EXPECT_EQ(r.status, 1);
}

TEST_F(SpeedCli, MixedRateExport)
{
    const fs::path out = dir / "mixed.trx";
    SRun r = Tessel("export trx-mixed " + in.string() + " -o " + out.string() + " --first-channel 0 --divisor 4 -q");
    ASSERT_EQ(r.status, 0) << r.out;
    CDataset ds(out.c_str(), om__read_complete, 32768, sh__deny_none);
    EXPECT_EQ(ds.GetNbrOfScans(), 500);
    // Refused before any job: the divisor, and the output that exists.
    r = Tessel("export trx-mixed " + in.string() + " -o " + out.string() + " --first-channel 0 --divisor 3");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Invalid divisor"), std::string::npos) << r.out;
    r = Tessel("export trx-mixed " + in.string() + " -o " + out.string() + " --first-channel 0 --divisor 2");
    EXPECT_EQ(r.status, 1);
    r = Tessel("export trx-mixed " + in.string() + " --first-channel 0 --divisor 2 --overwrite -q");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(fs::exists(dir / "run_mixed.trx"));
}
