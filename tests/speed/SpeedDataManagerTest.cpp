// CTSSpeedDataManager: reference data from a pulse train of a known speed
// profile, when it is recomputed, marked sections, and level crossings.

#include "speed/TSSpeedDataManager.h"

#include "SpeedTestUtil.h"

#include <cmath>
#include <sys/stat.h>

using namespace speedtest;

namespace {

// Ten seconds at 10 kHz of a shaft running up linearly from 600 to 1200 rpm,
// one pulse a revolution: the revolutions so far are 10 t + t^2 / 2, and the
// pulse bit is high in the first half of each revolution.
constexpr double kRate = 10000.0;
constexpr double kSeconds = 10.0;
double ProfileRpm(double t) { return 600.0 + 60.0 * t; }

class SpeedDataManager : public tessel::test::CConversionTest {
protected:
    SpeedDataManager() : CConversionTest("speed") {}
    void SetUp() override
    {
        CConversionTest::SetUp();
        source = dir / "run.trx";
        std::vector<double> v;
        const long n = long(kRate * kSeconds);
        for (long i = 0; i < n; ++i) {
            const double t = double(i) / kRate;
            const double revolutions = 10.0 * t + 0.5 * t * t;
            v.push_back(1000.0 * std::sin(2 * M_PI * 100.0 * t));
            v.push_back(revolutions - std::floor(revolutions) < 0.5 ? 1.0 : 0.0);
        }
        MakeTrx(source, {{"mic", it__int16}, {"Pulses", it__pulse, 1.0, "Pulse Channels"}}, kRate, v,
                {PulseSub(1, 1)});
        CDataset ds(source.c_str(), om__read, 32768, sh__deny_none);
        sub = ds.GetSubChannel(0);
    }

    fs::path source;
    CSubChannel sub;
};

ino_t Inode(const fs::path& p)
{
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_ino;
}

}  // namespace

TEST_F(SpeedDataManager, ReferenceFollowsTheSpeedProfileOfThePulses)
{
    CTSSpeedDataManager manager(source.c_str(), sub, -1);
    const std::string expectedName = (dir / ("run.rpm" + std::to_string(sub.GetID()))).string();
    EXPECT_EQ(manager.GetSCFilename().str(), expectedName);
    CString name;
    ASSERT_TRUE(manager.EvaluateRefFromPulses(name, false));
    EXPECT_EQ(name.str(), expectedName);
    unsigned long total = 0, done = 7;
    manager.GetProgress(total, done);
    EXPECT_EQ(total, 100000ul);
    EXPECT_EQ(done, total);

    CDataset ref(name, om__read_complete, 32768, sh__deny_none);
    EXPECT_EQ(ref.GetKind(), int(dk__rpm));
    const CAbscissa a = ref.GetAbscissa(0);
    ASSERT_TRUE(a.IsCalc());
    EXPECT_DOUBLE_EQ(a.GetDeltaValue(), 0.01);
    const std::vector<double> rpm = ReadDataset(name.str(), {0});
    ASSERT_GE(rpm.size(), 990u);
    // Within the run (away from its ends, where no pulse precedes or
    // follows) every value lies within what the sampling allows: an edge is
    // known to 0.1 ms, and at 1200 rpm a revolution takes 50 ms, so an
    // interval may be off by 0.2 %, 2.4 rpm.
    double worst = 0;
    for (std::size_t i = 50; i < 950; ++i)
        worst = std::max(worst, std::fabs(rpm[i] - ProfileRpm(a.GetValue(double(i)))));
    EXPECT_LT(worst, 2.4);
    std::printf("largest deviation from the profile: %.3f rpm\n", worst);
}

TEST_F(SpeedDataManager, RecomputesOnlyForAnotherNameOrWhenForced)
{
    CTSSpeedDataManager manager(source.c_str(), sub, -1);
    CString name;
    ASSERT_TRUE(manager.EvaluateRefFromPulses(name, false));
    const fs::path ref = name.str();
    const ino_t first = Inode(ref);

    // The stored name again: the file is current and stays as it is.
    CString same = manager.GetSCFilename();
    ASSERT_TRUE(manager.EvaluateRefFromPulses(same, false));
    EXPECT_EQ(Inode(ref), first);

    // Forced: a new file takes its place.
    ASSERT_TRUE(manager.EvaluateRefFromPulses(same, true));
    EXPECT_NE(Inode(ref), first);
    const ino_t second = Inode(ref);

    // Another name: that file is made, even though an older one exists there
    // that is newer than the source.
    const fs::path other = dir / "other.rpm";
    std::ofstream(other) << "not a data set";
    CString otherName(other.c_str());
    ASSERT_TRUE(manager.EvaluateRefFromPulses(otherName, false));
    EXPECT_EQ(otherName.str(), other.string());
    EXPECT_NO_THROW(CDataset(other.c_str(), om__read_complete, 32768, sh__deny_none));
    EXPECT_EQ(Inode(ref), second);
}

TEST_F(SpeedDataManager, MarkedSectionIsTaggedAndHoldsTheRange)
{
    CTSSpeedDataManager manager(source.c_str(), sub, -1);
    const fs::path target = dir / "mark.trx";
    ASSERT_TRUE(manager.EvaluateMarkRefFromPulses(target.c_str(), 2.0, 4.0));
    CDataset ds(target.c_str(), om__read_complete, 32768, sh__deny_none);
    ASSERT_EQ(ds.GetNbrOfChannels(), 1);
    EXPECT_EQ(ds.GetChannel(0).GetImplType(), int(it__float));
    EXPECT_NEAR(ds.GetAbscissa(0).GetFirstValue(), 2.0, 1e-9);
    auto tags = ds.GetTags("Channel0");
    ASSERT_TRUE(tags);
    CTagValue v;
    ASSERT_TRUE(tags->GetValue("ControlValue", v));
    EXPECT_EQ(v.GetType(), CTagValue::Bool);
    EXPECT_TRUE(v.GetBool());
    // 2.00 s to 4.00 s at 0.01 s, both ends included.
    const std::vector<double> rpm = ReadDataset(target, {0});
    ASSERT_EQ(rpm.size(), 201u);
    EXPECT_NEAR(rpm.front(), 720.0, 1.0);
    EXPECT_NEAR(rpm.back(), 840.0, 1.0);
}

TEST_F(SpeedDataManager, FailuresLeaveNothingBehind)
{
    // A target that cannot be written.
    CTSSpeedDataManager manager(source.c_str(), sub, -1);
    EXPECT_FALSE(manager.EvaluateMarkRefFromPulses((dir / "missing" / "mark.trx").c_str(), 2.0, 4.0));
    EXPECT_FALSE(fs::exists(dir / "missing"));

    // A source without that sub-channel, and one that is no data set.
    CTSSpeedDataManager wrongIndex(source.c_str(), sub, 5);
    CString name;
    EXPECT_FALSE(wrongIndex.EvaluateRefFromPulses(name, false));
    std::ofstream(dir / "junk.trx") << "junk";
    CTSSpeedDataManager junk((dir / "junk.trx").c_str(), sub, -1);
    name.Empty();
    EXPECT_FALSE(junk.EvaluateRefFromPulses(name, false));
    EXPECT_FALSE(junk.EvaluateMarkRefFromPulses((dir / "m2.trx").c_str(), 0.0, 1.0));
    // The reference data beside the source is made on the way and stays:
    // it is current and saves the next call the work.
    const std::string ref = "run.rpm" + std::to_string(sub.GetID());
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string f = e.path().filename().string();
        EXPECT_TRUE(f == "run.trx" || f == "junk.trx" || f == ref) << f;
    }
}

// --- FindCutDueToRef ------------------------------------------------------

class FindCut : public tessel::test::CConversionTest {
protected:
    FindCut() : CConversionTest("findcut") {}

    // A float reference curve starting at 5.0 s with steps of 0.5 s.
    fs::path Curve(const std::vector<double>& values, int channels = 1)
    {
        const fs::path p = dir / "curve.trx";
        const std::vector<SChan> specs(std::size_t(channels), SChan{"n", it__float, 1.0, "", 0.0, "RPM", "rpm"});
        EXPECT_EQ(MakeDataset(p.string(), specs, 0.5, values, dk__rpm, nullptr, {}, 5.0), long(values.size()) / channels);
        return p;
    }
    bool Find(const fs::path& p, float level, double& cut)
    {
        CDataset ds(p.c_str(), om__read, 32768, sh__deny_none);
        return CTSSpeedDataManager::FindCutDueToRef(level, &ds, cut);
    }
};

TEST_F(FindCut, FirstCrossingInterpolatedBetweenSamples)
{
    // The curves start at 5.0 s in steps of 0.5 s.
    const struct {
        std::vector<double> curve;
        float level;
        double cut;  // NAN: never reached, the cut stays as it was
    } cases[] = {
        {{100, 200, 300}, 100.0f, 5.0},                 // the first value at the level
        {{100, 200, 300, 400, 300, 200}, 300.0f, 6.0},  // an exact hit, sample 2
        {{100, 200, 300, 400, 300, 200}, 250.0f, 5.75}, // halfway between 200 at 5.5 s and 300 at 6.0 s
        {{100, 200, 300, 400, 300, 200}, 125.0f, 5.125},
        {{400, 300, 100}, 150.0f, 5.875},               // falling: three quarters of the step after 300
        {{100, 200, 300}, 500.0f, NAN},
        {{100}, 50.0f, NAN},
        // Read in blocks of 16384 values after the first: value 16384 is the
        // last of the first block, value 16385 the first of the second.
        {[] {
             std::vector<double> v(40000, 0.0);
             std::fill(v.begin() + 16385, v.end(), 1000.0);
             return v;
         }(),
         250.0f, 5.0 + 16384 * 0.5 + 0.125},
    };
    for (const auto& c : cases) {
        double cut = 42.0;
        EXPECT_EQ(Find(Curve(c.curve), c.level, cut), !std::isnan(c.cut)) << c.level;
        EXPECT_DOUBLE_EQ(cut, std::isnan(c.cut) ? 42.0 : c.cut) << c.level;
    }
}

TEST_F(FindCut, StoredAbscissaIsRefused)
{
    const fs::path p = dir / "stored.trx";
    {
        CAbscissaList abscissas;
        abscissas.Add(CAbscissa("Time", "t", CQuantity("time"), CUnit("s", 1), it__double, 0, ac__world));
        CChannelList list;
        list.Add(CChannel("n", "n", CQuantity("RPM"), CUnit("rpm", 1), it__float, 0));
        CDataset ds(p.c_str(), abscissas, list, dk__rpm, ds__dorg_with_abscissa, 0, 65536, sh__deny_write);
        const double pairs[] = {0.0, 100.0, 1.0, 200.0};
        ds.SetData(2, pairs, ds__dorg_with_abscissa, it__double);
        ds.Close();
    }
    double cut = 3.0;
    EXPECT_FALSE(Find(p, 150.0f, cut));
    EXPECT_EQ(cut, 3.0);
}

TEST_F(FindCut, ActiveAccessOverSeveralChannelsReadsTheFirst)
{
    // Channel 1 crosses 150 long before channel 0 does.
    const fs::path p = Curve({100, 900, 120, 900, 140, 900, 160, 900}, 2);
    CDataset ds(p.c_str(), om__read, 32768, sh__deny_none);
    CAccess* a = ds.CreateAccess(am__read, CChNbrList{0, 1}, 0, 0L, -1L);
    ASSERT_NE(a, nullptr);
    double skip[2];
    ASSERT_EQ(a->GetData(1, skip, ds__dorg_interleaved, it__double), 1);  // an earlier reader moved on
    double cut = -1;
    ASSERT_TRUE(CTSSpeedDataManager::FindCutDueToRef(150.0f, &ds, cut));
    EXPECT_DOUBLE_EQ(cut, 6.25);  // 140 at 6.0 s, 160 at 6.5 s
    EXPECT_EQ(ds.GetActiveAccess(), a);
}
