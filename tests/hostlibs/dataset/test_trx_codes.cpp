// The codes the library gives a meaning to: sample sizes, complex types,
// kind names and the SDF conversions.

#include "hostlibs/dataset/DatasetTypes.h"

#include <gtest/gtest.h>

TEST(TrxCodes, SampleSizesFollowTheTableOfTheChannelHelpers)
{
    const int expect[] = {0, 1, 1, 2, 2, 3, 3, 4, 4, 3, 4, 6, 8, 4, 8, 8, 16, 8, 16, 6};
    for (int t = 0; t < 20; ++t) EXPECT_EQ(expect[t], CImplType::GetSize(t)) << t;
    EXPECT_EQ(0, CImplType::GetSize(20));
    EXPECT_EQ(0, CImplType::GetSize(-1));
    EXPECT_EQ(0, CImplType::GetSize(1000));
    for (int t = 0; t < 21; ++t) EXPECT_EQ(t >= 13 && t <= 18, CImplType::IsComplex(t)) << t;
    for (int t : {0, 9, 11, 17, 18, 19, 20}) EXPECT_FALSE(CImplType::IsSupported(t)) << t;
    for (int t : {1, 2, 3, 4, 5, 6, 7, 8, 10, 12, 13, 14, 15, 16}) EXPECT_TRUE(CImplType::IsSupported(t)) << t;
    EXPECT_EQ("24-bit integer", CImplType(5).GetName());
}

TEST(TrxCodes, SdfConversionsGoBothWays)
{
    for (int sdf = 1; sdf <= 4; ++sdf)
        for (bool complex : {false, true}) {
            int t = CImplType::Sdf2Trx(sdf, complex);
            EXPECT_EQ(complex, CImplType::IsComplex(t));
            EXPECT_EQ(sdf, CImplType::GetTrx2Sdf(t));
        }
    CImplType t;
    t.SetSdf2Trx(it__sdf_short, false);
    EXPECT_EQ(it__int16, t.Get());
    EXPECT_EQ(2, t.GetSize());
    t.SetSdf2Trx(it__sdf_double, true);
    EXPECT_EQ(16, t.GetSize());
    EXPECT_EQ(it__none, CImplType::Sdf2Trx(5, false));
    EXPECT_EQ(0, CImplType::GetTrx2Sdf(it__int24)) << "SDF has no 24-bit values";
    for (int sdf : {0, 4, 5, 6, 15, 20}) EXPECT_EQ(sdf, CDataKind::GetTrx2Sdf(CDataKind::Sdf2Trx(sdf))) << sdf;
    CDataKind k;
    k.SetSdf2Trx(dk__sdf_third_octave);
    EXPECT_EQ(dk__spectrum, k.Get());
    EXPECT_EQ(dk__unknown, CDataKind::Sdf2Trx(99));
    EXPECT_EQ("Time Data", CDataKind(1).GetName());
    EXPECT_EQ("Unknown", CDataKind(77).GetName());
}
