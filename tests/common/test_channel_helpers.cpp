// Channel selection, value ranges, numbered names, byte order, sample sizes
// and quantity units.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "common/ChannelHelpers.h"
#include "tests/common/DatasetMaker.h"
#include "tests/common/TempDir.h"

namespace {

using namespace ChannelHelpers;

TEST(ChannelHelpersPure, NumberFileName) {
    struct Case {
        const char* in;
        short n;
        const char* out;
    } cases[] = {
        {"/d/name.dat", 3, "/d/name3.dat"},
        {"/d.x/name", 12, "/d.x/name12"},
        {"name.a.b", -2, "name.a-2.b"},
        {"/d/name.DAT", 32767, "/d/name32767.DAT"},
    };
    for (const Case& c : cases) {
        CString p(c.in);
        NumberFileName(p, c.n);
        EXPECT_EQ(p, c.out) << c.in;
    }
}

TEST(ChannelHelpersPure, ReverseByteOrder) {
    unsigned char b[16];
    for (int i = 0; i < 16; ++i)
        b[i] = (unsigned char)i;
    ReverseByteOrder(b, 2, 2);
    EXPECT_EQ(std::memcmp(b, "\1\0\3\2\4", 5), 0) << "only the counted elements";
    ReverseByteOrder(b + 8, 8, 1);
    EXPECT_EQ(std::memcmp(b + 8, "\17\16\15\14\13\12\11\10", 8), 0);
    float f = 1.5f;
    std::uint32_t u;
    ReverseByteOrder(&f, 4, 1);
    std::memcpy(&u, &f, 4);
    EXPECT_EQ(u, 0x0000C03Fu);
    unsigned char c[6] = {1, 2, 3, 4, 5, 6};
    ReverseByteOrder(c, 3, 2);
    ReverseByteOrder(c, 16, 0);
    EXPECT_EQ(std::memcmp(c, "\1\2\3\4\5\6", 6), 0) << "size 3 is left unchanged";
}

TEST(ChannelHelpersPure, SampleSizesAgreeWithTheDataSetLibrary) {
    // The sizes themselves are checked against their table in the data-set tests.
    for (int t = -1; t <= 21; ++t)
        EXPECT_EQ(GetSampleSize(t), CImplType::GetSize(t)) << t;
}

TEST(ChannelHelpersPure, UnitForQuantity) {
    // Names are matched exactly, case included; what is not listed has "vU".
    EXPECT_EQ(GetUnitForQuantity("RPM"), "rpm");
    EXPECT_EQ(GetUnitForQuantity("rpm"), "vU");
    EXPECT_EQ(GetUnitForQuantity(nullptr), "");
    EXPECT_EQ(GetUnitForQuantity("temperature"), "\xB0" "C");
    EXPECT_EQ(GetUnitForQuantity("articulation index"), "%");
}

class ChannelHelpersData : public ::testing::Test {
protected:
    CTempDir m_dir;
};

TEST_F(ChannelHelpersData, PulseChannelsAreRemovedInOrder) {
    std::vector<SChannelSpec> specs(5);
    specs[0].title = "Pulse Channels";
    specs[0].implType = it__int32;
    specs[1].title = "pulse channels";
    specs[1].implType = it__int32;
    specs[2].implType = it__pulse;
    specs[2].title = "Tacho";
    specs[3].implType = it__int16;
    specs[4].implType = it__pulse;
    const std::string path = m_dir / "p.trx";
    MakeDataset(path, specs, 0.001, {});
    CDataset ds(path.c_str(), om__read, 32768, sh__deny_write);
    CChNbrList list{4, 3, 2, 1, 0};
    RemovePulseChannels(ds, list);
    EXPECT_EQ(list, (CChNbrList{3, 1}));
}

TEST_F(ChannelHelpersData, ChannelsOfAnotherRateAreRemoved) {
    std::vector<SChannelSpec> specs(3);
    const std::string single = m_dir / "single.trx";
    MakeDataset(single, specs, 0.001, {});
    {
        CDataset ds(single.c_str(), om__read, 32768, sh__deny_write);
        CChNbrList list{0, 1, 2};
        EXPECT_FALSE(RemoveChannelsOfOtherRate(ds, list));
        EXPECT_EQ(list.GetCount(), 3);
        // Without scans the range stays empty; an unknown channel cannot be read.
        double lo = 0, hi = 0;
        EXPECT_TRUE(GetValueRange(ds, CChNbrList{0}, lo, hi, true));
        EXPECT_GT(lo, hi);
        EXPECT_EQ(ds.GetActiveAccess(), nullptr);
        EXPECT_FALSE(GetValueRange(ds, CChNbrList{5}, lo, hi, true));
    }
    // Channels 0 and 2 twice per pattern, channel 1 once.
    const std::string mixed = m_dir / "mixed.trx";
    const CChNbrList pattern{0, 2, 1, 0, 2};
    MakeDataset(mixed, specs, 0.001, {}, dk__time, &pattern);
    CDataset ds(mixed.c_str(), om__read, 32768, sh__deny_write);
    ASSERT_NE(ds.GetSamplingRate(0), ds.GetSamplingRate(1));
    CChNbrList list{0, 1, 2};
    EXPECT_TRUE(RemoveChannelsOfOtherRate(ds, list));
    EXPECT_EQ(list, (CChNbrList{0, 2}));
    CChNbrList slow{1, 0, 2};
    EXPECT_TRUE(RemoveChannelsOfOtherRate(ds, slow));
    EXPECT_EQ(slow, (CChNbrList{1}));
    CChNbrList none;
    EXPECT_FALSE(RemoveChannelsOfOtherRate(ds, none));
}

TEST_F(ChannelHelpersData, ValueRangeWithAndWithoutMapping) {
    std::vector<SChannelSpec> specs(2);
    specs[0].implType = it__int16;
    specs[0].factor = 0.5;
    specs[0].offset = 1.0;
    specs[1].implType = it__double;
    // Stored values -100..300 on channel 0; more scans than one block holds
    // (65536 / (8 x 2) = 4096), extremes in the last block. Channel 1 holds
    // a value below the float range: only a read of doubles keeps it.
    const long scans = 20000;
    const double tiny = 1e-300;
    std::vector<double> v;
    for (long i = 0; i < scans; ++i) {
        v.push_back(i == scans - 1 ? -100.0 : (i == scans - 2 ? 300.0 : double(i % 50)));
        v.push_back(i == 5 ? tiny : 7.0);
    }
    const std::string path = m_dir / "range.trx";
    ASSERT_EQ(MakeDataset(path, specs, 1.0 / 48000, v), scans);

    CDataset ds(path.c_str(), om__read, 32768, sh__deny_write);
    CAccess* mine = ds.CreateAccess(am__read, CChNbrList{1}, 0, 0, -1);
    ASSERT_NE(mine, nullptr);
    double lo = 0, hi = 0;
    EXPECT_TRUE(GetValueRange(ds, CChNbrList{0, 1}, lo, hi, false));
    EXPECT_EQ(lo, -100.0);
    EXPECT_EQ(hi, 300.0);
    EXPECT_EQ(ds.GetActiveAccess(), mine) << "the caller's access is in force again";
    EXPECT_TRUE(GetValueRange(ds, CChNbrList{0}, lo, hi, true));
    EXPECT_EQ(lo, -49.0);
    EXPECT_EQ(hi, 151.0);
    EXPECT_TRUE(GetValueRange(ds, CChNbrList{1}, lo, hi, true));
    EXPECT_EQ(lo, tiny);
    EXPECT_EQ(hi, 7.0);
}

}  // namespace
