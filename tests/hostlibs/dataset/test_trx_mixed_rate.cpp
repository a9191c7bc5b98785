// Channels at different rates: the sampling pattern, each channel's rate,
// and accesses that read each channel's own samples.

#include "TrxTestSupport.h"

using namespace trxtest;

namespace {

CChannelList Int16Channels(int n)
{
    CChannelList cl;
    for (int i = 0; i < n; ++i) cl.push_back(Channel(("c" + std::to_string(i)).c_str(), it__int16));
    return cl;
}

} // namespace

// A recorder file copied in as it comes (channels 0 and 1 at twice the rate
// of channel 2), the pattern given afterwards.
TEST(TrxMixedRate, RawRecorderDataReadPerChannelAfterThePatternIsGiven)
{
    ScratchDir dir;
    std::string path = dir / "teac.trx";
    const int cycles = 6;
    {
        CDataset ds(path.c_str(), Abscissas(TimeAbscissa(cycles, 0.001)), Int16Channels(3), dk__time, 1, 0, 65536, 0);
        CDataStream* s = ds.GetPtrToFile();
        for (int k = 0; k < cycles; ++k) {
            short cycle[5] = {short(100 + 2 * k), short(200 + 2 * k), short(101 + 2 * k), short(201 + 2 * k), short(300 + k)};
            ASSERT_EQ(sizeof cycle, s->Write(cycle, sizeof cycle));
        }
        ASSERT_TRUE(ds.SpecifySamplingParameter(sm__pattern, CChNbrList{0, 1, 0, 1, 2}));
        EXPECT_EQ(10, ds.GetScanSize());
        CAbscissa a = ds.GetAbscissa(0);
        a.SetNbrOfScans(cycles);
        ASSERT_TRUE(ds.SetAbscissa(0, a));
        ds.Close();
    }
    CDataset ds(path.c_str(), om__read_complete, 32768, 0);
    EXPECT_EQ(sm__pattern, ds.GetScanMode());
    EXPECT_DOUBLE_EQ(1000.0, ds.GetSamplingRate(2));

    CAccess* fast = ds.CreateAccess(am__read, CChNbrList{0});
    ASSERT_TRUE(fast);
    EXPECT_EQ(2 * cycles, fast->GetNbrOfScans());
    std::vector<short> v(2 * cycles);
    ASSERT_EQ(2 * cycles, fast->GetData(100, v.data(), 1, it__int16));
    for (int i = 0; i < 2 * cycles; ++i) EXPECT_EQ(100 + i, v[std::size_t(i)]);

    CAccess* pair = ds.CreateAccess(am__read, CChNbrList{1, 0}, 0, 3L, 4L);
    std::vector<double> p(8);
    ASSERT_EQ(4, pair->GetData(4, p.data(), 1, it__double));
    EXPECT_EQ((std::vector<double>{203, 103, 204, 104, 205, 105, 206, 106}), p);

    CAccess* slow = ds.CreateAccess(am__read, CChNbrList{2});
    std::vector<double> t(2 * cycles);
    ASSERT_EQ(cycles, slow->GetData(cycles, t.data(), 4, it__double));
    EXPECT_EQ(0.0, t[0]);
    EXPECT_EQ(300.0, t[1]);
    EXPECT_DOUBLE_EQ(0.005, t[10]);
    EXPECT_EQ(305.0, t[11]);

    EXPECT_EQ(nullptr, ds.CreateAccess(am__read, CChNbrList{0, 2})) << "one access reads one rate";
    EXPECT_NE(std::string::npos, ds.GetLastError().str().find("different rates"));

    // Ranges by value follow the channel's own sample times.
    CAccess* r = ds.CreateAccess(am__read, CChNbrList{0}, 0, 0.001, 0.002, 0.0);
    ASSERT_TRUE(r);
    EXPECT_EQ(2, r->GetStartIndex());
    EXPECT_EQ(4, r->GetEndIndex());
    std::vector<double> tv(6);
    ASSERT_EQ(3, r->GetData(3, tv.data(), 4, it__double));
    EXPECT_DOUBLE_EQ(0.0015, tv[2]);
    EXPECT_EQ(103.0, tv[3]);
}

// The mixed-rate export's way: groups with divisors 1 and 4, each written
// through its own access; the bytes land where the pattern puts them.
TEST(TrxMixedRate, GroupsWrittenThroughAccessesFollowThePattern)
{
    ScratchDir dir;
    std::string path = dir / "mix.trx";
    const int n = 5;   // scans of the slow group
    {
        CDataset ds(path.c_str(), Abscissas(TimeAbscissa(0, 4.0 / 48000)), Int16Channels(3), dk__time, 1, 0, 65536, 0);
        CChNbrList pattern;
        for (int s = 0; s < 4; ++s) {
            pattern.Add(0);
            pattern.Add(1);
            if (s % 4 == 0) pattern.Add(2);
        }
        ASSERT_TRUE(ds.SpecifySamplingParameter(sm__pattern, pattern));
        CAbscissa a = ds.GetAbscissa(0);
        a.SetNbrOfScans(n);
        ASSERT_TRUE(ds.SetAbscissa(0, a));
        CAccess* g0 = ds.CreateAccess(am__readwrite, CChNbrList{0, 1}, 0, 0L, -1L, mk__raw);
        ASSERT_TRUE(g0);
        EXPECT_EQ(4 * n, g0->GetNbrOfScans());
        std::vector<short> fast(2 * 4 * n);
        for (int i = 0; i < 4 * n; ++i) {
            fast[std::size_t(2 * i)] = short(i);
            fast[std::size_t(2 * i + 1)] = short(-i);
        }
        int written = 0;
        while (!g0->Finished()) written += int(g0->SetData(7, fast.data() + 2 * written, 1, it__int16));
        EXPECT_EQ(4 * n, written);
        CAccess* g1 = ds.CreateAccess(am__readwrite, CChNbrList{2}, 0, 0L, -1L, mk__raw);
        std::vector<short> slow(n);
        for (int i = 0; i < n; ++i) slow[std::size_t(i)] = short(1000 + i);
        ASSERT_EQ(n, g1->SetData(n, slow.data(), 1, it__int16));
        EXPECT_TRUE(g1->Finished());
    }
    RawFile raw = ParseRaw(path);
    ASSERT_EQ(std::size_t(n) * 18, raw.DataBytes());
    for (int k = 0; k < n; ++k) {
        const unsigned char* c = raw.Data() + k * 18;
        EXPECT_EQ(4 * k, LoadLE<std::int16_t>(c));
        EXPECT_EQ(-4 * k, LoadLE<std::int16_t>(c + 2));
        EXPECT_EQ(1000 + k, LoadLE<std::int16_t>(c + 4));
        EXPECT_EQ(4 * k + 1, LoadLE<std::int16_t>(c + 6));
        EXPECT_EQ(4 * k + 3, LoadLE<std::int16_t>(c + 14));
    }
    const auto& fields = raw.header["layout"]["fields"];
    ASSERT_EQ(9u, fields.size());
    EXPECT_EQ(2, fields[2]["channel"].get<int>());
    EXPECT_EQ(3, fields[7]["occurrence"].get<int>());
    EXPECT_EQ(14, fields[7]["offset"].get<int>());
    CDataset ds(path.c_str(), om__read, 0, 0);
    EXPECT_DOUBLE_EQ(48000.0, ds.GetSamplingRate(0));
    EXPECT_DOUBLE_EQ(12000.0, ds.GetSamplingRate(2));
}

TEST(TrxMixedRate, PatternsAreChecked)
{
    ScratchDir dir;
    std::string path = dir / "p.trx";
    {
        CDataset ds(path.c_str(), Abscissas(TimeAbscissa(2)), Int16Channels(3), dk__time, 1, 0, 0, 0);
        EXPECT_FALSE(ds.SpecifySamplingParameter(sm__pattern, CChNbrList{0, 3}));
        EXPECT_FALSE(ds.SpecifySamplingParameter(sm__pattern, CChNbrList{}));
        EXPECT_FALSE(ds.SpecifySamplingParameter(2, CChNbrList{0}));
        EXPECT_EQ(sm__single_rate, ds.GetScanMode()) << "a refused pattern changes nothing";
        // A channel left out of the pattern has no samples and no access.
        ASSERT_TRUE(ds.SpecifySamplingParameter(sm__pattern, CChNbrList{0, 1, 0, 1}));
        EXPECT_EQ(0.0, ds.GetSamplingRate(2));
        EXPECT_EQ(nullptr, ds.CreateAccess(am__read, CChNbrList{2}));
        // Back to one rate.
        ASSERT_TRUE(ds.SpecifySamplingParameter(sm__single_rate, CChNbrList{}));
        EXPECT_EQ(6, ds.GetScanSize());
    }
    CDataset ro(path.c_str(), om__read, 0, 0);
    EXPECT_FALSE(ro.SpecifySamplingParameter(sm__pattern, CChNbrList{0, 1, 2}));
}
