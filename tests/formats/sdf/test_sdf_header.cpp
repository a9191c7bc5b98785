// The header reader against files laid out from the record tables (the
// writer is read back the same way by the export tests), and the SDF unit and
// abscissa codes of the data-set library.

#include "formats/sdf/SdfHeader.h"
#include "hostlibs/dataset/SdfCodes.h"
#include "hostlibs/dataset/Unit.h"
#include "tests/formats/sdf/SdfFileBuilder.h"

#include <gtest/gtest.h>

using namespace sdftest;

namespace {

unsigned ReadCode(const Bytes& b, CSdfHeaderSet* out = nullptr)
{
    CSdfMemoryInput in(b.data(), b.size());
    CSdfHeaderSet h;
    try {
        h.Read(in);
    } catch (const CSdfError& e) {
        return e.uCode;
    }
    if (out) *out = h;
    return 0;
}

TEST(SdfHeader, RefusalsComeInTheirOrder)
{
    Bytes b = Build(TimeFile(1, 2, 8));
    b[0] = 'A';
    EXPECT_EQ(30u, ReadCode(b)) << "the format identifier is checked before anything else";
    b = Build(TimeFile(1, 2, 8));
    b.resize(200);
    EXPECT_EQ(30u, ReadCode(b)) << "a file that ends inside a record";

    // 33 data headers are too many, 32 are not.
    File many = TimeFile(1, 1, 8);
    many.results.assign(32, many.results[0]);
    many.yData.resize(32 * 8 * 4);
    EXPECT_EQ(0u, ReadCode(Build(many)));
    many.results.push_back(many.results[0]);
    EXPECT_EQ(43u, ReadCode(Build(many)));

    // Revision 1 is read through and refused at the end.
    File old = TimeFile(1, 2, 8);
    old.revision = 1;
    EXPECT_EQ(31u, ReadCode(Build(old)));

    // A scan structure without a table and without a scan-big record is
    // refused, but a wrong record type is reported first.
    File scans = TimeFile(1, 2, 8);
    scans.scanStruct = 1;
    Layout L;
    b = Build(scans, &L);
    EXPECT_EQ(45u, ReadCode(b));
    I16(b, L.data, 13);
    EXPECT_EQ(32u, ReadCode(b));
    scans.scanBig = 18;
    EXPECT_EQ(0u, ReadCode(Build(scans))) << "with a scan-big record the structure needs no table";
    scans.scanBig = 0;
    scans.scanStructTableBytes = 8;
    EXPECT_EQ(0u, ReadCode(Build(scans)));

    // Every other record type, the scan-big record's too (its check comes
    // before the deferred 52).
    File f = TimeFile(1, 2, 8);
    f.uniques = {1};
    f.scanBig = 18;
    for (auto [off, what] : {std::pair{std::size_t(0), "file"}, {1, "vector"}, {2, "channel"}, {3, "unique"}, {4, "y"},
                             {5, "scan-big"}}) {
        b = Build(f, &L);
        const std::size_t at[] = {2, L.vector, L.channel, L.unique, L.y, L.scanBig};
        I16(b, at[off], 99);
        EXPECT_EQ(32u, ReadCode(b)) << what;
    }
}

TEST(SdfHeader, UniquesPointCountsAndVectorTable)
{
    File f = TimeFile(1, 4, 8);
    // The first channel missing: the vector stands for its second channel alone.
    f.vectors[1] = Vector{-1, 3, 0, 48};
    f.uniques = {7, 9};
    CSdfHeaderSet h;
    ASSERT_EQ(0u, ReadCode(Build(f), &h));
    EXPECT_EQ(9, +h.uniques.at(1).value);
    EXPECT_EQ(3, h.vectorTable[1].aChannel[0]);
    EXPECT_EQ(-1, h.vectorTable[1].aChannel[1]);

    // The smallest count stays negative (the plan refuses it) without overflowing.
    File neg = TimeFile(1, 1, 8);
    neg.results[0].points = INT32_MIN;
    neg.results[0].lastValid = 5;
    ASSERT_EQ(0u, ReadCode(Build(neg), &h));
    EXPECT_EQ(INT32_MIN, +h.data[0].lastValidIndex);

    // No vector headers at all: one default entry.
    File bare = TimeFile(1, 1, 8);
    bare.vectors.clear();
    ASSERT_EQ(0u, ReadCode(Build(bare), &h));
    ASSERT_EQ(1u, h.vectorTable.size());
    EXPECT_EQ(0, h.vectorTable[0].aChannel[0]);
    EXPECT_EQ(-1, h.vectorTable[0].aChannel[1]);
    EXPECT_EQ(48, h.vectorTable[0].aPower[0]);
    EXPECT_EQ(1, h.vectorTable[0].iVectorsOfDataHdr);
}

TEST(SdfCodes, UnitsBothWays)
{
    // Without a label the exponents spell the unit out.
    Unit pa = Pa();
    SDFSIUnit r{};
    r.factor = 1.0f;
    for (int i = 0; i < 8; ++i) r.exponents[i] = pa.exps[i];
    EXPECT_TRUE(CUnit::Sdf2Trx(r, 1.0).IsEquivalent(CUnit("Pa", 0))) << CUnit::Sdf2Trx(r, 1.0).GetText().c_str();
    // g: 9.80665 m/s^2 with doubled exponents length 2, time -4.
    SDFSIUnit g{};
    g.factor = 9.80665f;
    g.exponents[1] = 2;
    g.exponents[2] = -4;
    EXPECT_TRUE(CUnit::Sdf2Trx(g, 1.0).IsConvertibleTo(CUnit("m/s^2", 0)));
    EXPECT_NEAR(9.80665, CUnit::Sdf2Trx(g, 1.0).GetFactor(), 1e-5);
    // A cross product; an empty record is the empty unit.
    SDFSIUnit v{};
    std::memcpy(v.label, "V", 1);
    v.factor = 1.0f;
    EXPECT_TRUE(CUnit::Sdf2Trx(v, 1.0, &r, 1.0).IsEquivalent(CUnit("V*Pa", 0)));
    EXPECT_TRUE(CUnit::Sdf2Trx(SDFSIUnit{}, 1.0).IsEmpty());

    SDFSIUnit out{};
    ASSERT_TRUE(CUnit::Trx2Sdf(CUnit("mA", 0), out));
    EXPECT_FLOAT_EQ(0.001f, out.factor);
    EXPECT_EQ(2, out.exponents[sdf__exp_current]);
    EXPECT_FALSE(CUnit::Trx2Sdf(CUnit("dB[SPL]", 0), out));
    EXPECT_FALSE(CUnit::Trx2Sdf(CUnit(), out));

    EXPECT_EQ("order", CQuantity::SdfXAxis2Trx(4).GetName());
    EXPECT_TRUE(CQuantity::SdfXAxis2Trx(-99).IsVirtual());
}

}  // namespace
