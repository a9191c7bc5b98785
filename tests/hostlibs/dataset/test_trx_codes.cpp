// The codes the library gives a meaning to: sample sizes beyond the table and
// the SDF conversions.

#include "hostlibs/dataset/DatasetTypes.h"

#include <gtest/gtest.h>

TEST(TrxCodes, CodesOutsideTheTablesHaveNoSizeOrKind)
{
    for (int t : {20, -1, 1000}) EXPECT_EQ(0, CImplType::GetSize(t)) << t;
    EXPECT_EQ(it__none, CImplType::Sdf2Trx(5, false));
    EXPECT_EQ(dk__unknown, CDataKind::Sdf2Trx(99));
    EXPECT_EQ("Unknown", CDataKind(77).GetName());
}

TEST(TrxCodes, SdfConversionsGoBothWays)
{
    for (int sdf = 1; sdf <= 4; ++sdf)
        for (bool complex : {false, true}) {
            int t = CImplType::Sdf2Trx(sdf, complex);
            EXPECT_EQ(complex, CImplType::IsComplex(t));
            EXPECT_EQ(sdf, CImplType::GetTrx2Sdf(t));
        }
    EXPECT_EQ(it__int16, CImplType::Sdf2Trx(it__sdf_short, false));
    EXPECT_EQ(16, CImplType::GetSize(CImplType::Sdf2Trx(it__sdf_double, true)));
    EXPECT_EQ(0, CImplType::GetTrx2Sdf(it__int24)) << "SDF has no 24-bit values";
    for (int sdf : {0, 4, 5, 6, 15, 20}) EXPECT_EQ(sdf, CDataKind::GetTrx2Sdf(CDataKind::Sdf2Trx(sdf))) << sdf;
    EXPECT_EQ(dk__spectrum, CDataKind::Sdf2Trx(dk__sdf_third_octave));
}
