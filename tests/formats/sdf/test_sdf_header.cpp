// The header reader and writer against files laid out from the record
// tables, and the SDF unit and abscissa codes of the data-set library.

#include "formats/sdf/SdfHeader.h"
#include "hostlibs/dataset/SdfCodes.h"
#include "hostlibs/dataset/Unit.h"
#include "tests/formats/sdf/SdfFileBuilder.h"

#include <gtest/gtest.h>

using namespace sdftest;

namespace {

File OneTimeResult(int channels = 2)
{
    File f;
    Result r;
    f.results.push_back(r);
    for (int c = 0; c < channels; ++c) {
        f.channels.push_back(Channel{"ch" + std::to_string(c)});
        f.vectors.push_back(Vector{c});
    }
    for (int i = 0; i < r.points * channels; ++i) AddF32(f.yData, float(i));
    return f;
}

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

TEST(SdfHeader, ReadsEveryRecordOfARevision3File)
{
    File f = OneTimeResult(2);
    f.uniques = {7, 9};
    f.comment = "run 4";
    Layout L;
    Bytes b = Build(f, &L);
    CSdfHeaderSet h;
    ASSERT_EQ(0u, ReadCode(b, &h));
    EXPECT_EQ(3, +h.file.revision);
    EXPECT_EQ(2024, +h.file.yearStamp);
    EXPECT_EQ(315, +h.file.monthDayStamp);
    ASSERT_EQ(1u, h.data.size());
    EXPECT_EQ("Time", Sdf::FieldText(h.data[0].dataTitle, 16));
    EXPECT_EQ(8, +h.data[0].numPoints);
    EXPECT_EQ(7, +h.data[0].lastValidIndex);
    EXPECT_DOUBLE_EQ(0.001, +h.data[0].abscissaDeltaX);
    ASSERT_EQ(2u, h.channels.size());
    EXPECT_EQ("ch1", Sdf::FieldText(h.channels[1].channelLabel, 30));
    EXPECT_EQ("V", Sdf::FieldText(h.channels[1].engUnit.label, 10));
    EXPECT_EQ(4, +h.channels[1].engUnit.exponents[1]);
    ASSERT_EQ(2u, h.uniques.size());
    EXPECT_EQ(9, +h.uniques[1].value);
    EXPECT_TRUE(h.bComment);
    EXPECT_EQ("run 4", h.sComment);
    EXPECT_EQ((long long)L.y + 6, h.llYStart);
    ASSERT_EQ(2u, h.vectorTable.size());
    EXPECT_EQ(2, h.vectorTable[0].iVectorsOfDataHdr);
    EXPECT_EQ(1, h.vectorTable[1].aChannel[0]);
}

TEST(SdfHeader, RefusalsComeInTheirOrder)
{
    Bytes b = Build(OneTimeResult());
    b[0] = 'A';
    EXPECT_EQ(30u, ReadCode(b)) << "the format identifier is checked before anything else";
    b = Build(OneTimeResult());
    b.resize(200);
    EXPECT_EQ(30u, ReadCode(b)) << "a file that ends inside a record";

    // 33 data headers are too many, 32 are not.
    File many = OneTimeResult(1);
    many.results.assign(32, many.results[0]);
    for (int i = 0; i < 32 * 8; ++i) AddF32(many.yData, 0.0f);
    EXPECT_EQ(0u, ReadCode(Build(many)));
    many.results.push_back(many.results[0]);
    EXPECT_EQ(43u, ReadCode(Build(many)));

    // Revision 1 is read through and refused at the end.
    File old = OneTimeResult();
    old.revision = 1;
    EXPECT_EQ(31u, ReadCode(Build(old)));

    // A scan structure without a table and without a scan-big record is
    // refused, but a wrong record type is reported first.
    File scans = OneTimeResult();
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

    // Every other record type.
    File f = OneTimeResult();
    f.uniques = {1};
    for (auto [off, what] : {std::pair{std::size_t(0), "file"}, {1, "vector"}, {2, "channel"}, {3, "unique"}, {4, "y"}}) {
        b = Build(f, &L);
        const std::size_t at[] = {2, L.vector, L.channel, L.unique, L.y};
        I16(b, at[off], 99);
        EXPECT_EQ(32u, ReadCode(b)) << what;
    }
    // A scan-big record of another type.
    scans = OneTimeResult();
    scans.scanBig = 18;
    b = Build(scans, &L);
    I16(b, L.scanBig, 21);
    EXPECT_EQ(32u, ReadCode(b)) << "the type check of the scan-big record comes before the deferred 52";
}

TEST(SdfHeader, Revision2PointCountsAndVectorTable)
{
    File f = OneTimeResult(4);
    f.revision = 2;
    f.results[0].points = 512;
    f.results[0].lastValid = 0;
    f.yData.assign(512 * 4 * 4, 0);
    // The first channel missing: the vector stands for its second channel alone.
    f.vectors[1] = Vector{-1, 3, 0, 48};
    CSdfHeaderSet h;
    ASSERT_EQ(0u, ReadCode(Build(f), &h));
    EXPECT_EQ(512, +h.data[0].numPoints);
    EXPECT_EQ(511, +h.data[0].lastValidIndex);
    EXPECT_EQ(3, h.vectorTable[1].aChannel[0]);
    EXPECT_EQ(-1, h.vectorTable[1].aChannel[1]);

    // The smallest count stays negative (the plan refuses it) without overflowing.
    File neg = OneTimeResult(1);
    neg.results[0].points = INT32_MIN;
    neg.results[0].lastValid = 5;
    ASSERT_EQ(0u, ReadCode(Build(neg), &h));
    EXPECT_EQ(INT32_MIN, +h.data[0].lastValidIndex);

    // No vector headers at all: one default entry.
    File bare = OneTimeResult(1);
    bare.vectors.clear();
    ASSERT_EQ(0u, ReadCode(Build(bare), &h));
    ASSERT_EQ(1u, h.vectorTable.size());
    EXPECT_EQ(0, h.vectorTable[0].aChannel[0]);
    EXPECT_EQ(-1, h.vectorTable[0].aChannel[1]);
    EXPECT_EQ(48, h.vectorTable[0].aPower[0]);
    EXPECT_EQ(1, h.vectorTable[0].iVectorsOfDataHdr);
}

TEST(SdfHeader, SwapRoutinesCoverTheirRecords)
{
    SDF_FILE_HDR a{}; SDF_MEAS_HDR b{}; SDF_DATA_HDR c{}; SDF_VECTOR_HDR d{}; SDF_CHANNEL_HDR e{};
    SDF_SCAN_STRUCT f{}; SDF_SCAN_BIG g{}; SDF_SCAN_VAR h{}; SDF_COMMENT_HDR i{}; SDF_UNIQUE j{}; SDF_DATA_PREFIX k{};
    EXPECT_EQ(80, Sdf::Swap(a)); EXPECT_EQ(156, Sdf::Swap(b)); EXPECT_EQ(148, Sdf::Swap(c));
    EXPECT_EQ(18, Sdf::Swap(d)); EXPECT_EQ(212, Sdf::Swap(e)); EXPECT_EQ(36, Sdf::Swap(f));
    EXPECT_EQ(20, Sdf::Swap(g)); EXPECT_EQ(54, Sdf::Swap(h)); EXPECT_EQ(24, Sdf::Swap(i));
    EXPECT_EQ(10, Sdf::Swap(j)); EXPECT_EQ(6, Sdf::Swap(k));
}

TEST(SdfHeader, WriterLaysTheRecordsBackToBack)
{
    CSdfHeaderSet h;
    h.file.recordType = 10; h.file.recordSize = 80; h.file.revision = 3; h.file.numScanBig = 1;
    h.meas.recordType = 11; h.meas.recordSize = 156; h.meas.centerFreq = 1000.5;
    h.data.resize(2); h.vectors.resize(3); h.channels.resize(3); h.uniques.resize(3);
    h.data[1].recordType = 12; h.data[1].numPoints = 70000; h.data[1].abscissaDeltaX = 0.25;
    h.channels[2].int2engrUnit = 2.5f; h.channels[2].channelNumber = -3;
    h.vectors[1].channelRecord[1] = -1;
    h.uniques[2].value = 0x01020304;
    h.scanBig.lastScanIndex = 5;
    unsigned code = 99;
    const std::vector<unsigned char> out = h.Serialize(code);
    EXPECT_EQ(0u, code);
    EXPECT_EQ(std::size_t(2 + 80 + 156 + 148 * 2 + 18 * 3 + 212 * 3 + 10 * 3 + 74), out.size());
    const Bytes b(out.begin(), out.end());
    EXPECT_EQ('B', b[0]); EXPECT_EQ(0, b[1]);
    EXPECT_EQ(10, GetI16(b, 2)); EXPECT_EQ(80, GetI32(b, 4)); EXPECT_EQ(3, GetI16(b, 8));
    EXPECT_EQ(11, GetI16(b, 82)); EXPECT_DOUBLE_EQ(1000.5, GetF64(b, 82 + 102));
    const std::size_t d1 = 238 + 148;
    EXPECT_EQ(12, GetI16(b, d1)); EXPECT_EQ(70000, GetI32(b, d1 + 134)); EXPECT_DOUBLE_EQ(0.25, GetF64(b, d1 + 122));
    const std::size_t v1 = 238 + 296 + 18;
    EXPECT_EQ(-1, GetI16(b, v1 + 12));
    const std::size_t c2 = 238 + 296 + 54 + 424;
    EXPECT_FLOAT_EQ(2.5f, GetF32(b, c2 + 138)); EXPECT_EQ(-3, GetI16(b, c2 + 208));
    const std::size_t u2 = 238 + 296 + 54 + 636 + 20;
    EXPECT_EQ(0x01020304, GetI32(b, u2 + 6));
    EXPECT_EQ(5, GetI32(b, u2 + 10 + 14));
}

TEST(SdfCodes, UnitsBothWays)
{
    // A label the library knows wins; the exponents spell out what it does not.
    Unit pa = Pa();
    SDFSIUnit r{};
    std::memcpy(r.label, pa.label.c_str(), pa.label.size());
    r.factor = 1.0f;
    for (int i = 0; i < 8; ++i) r.exponents[i] = pa.exps[i];
    EXPECT_EQ("Pa", CUnit::Sdf2Trx(r, 1.0).GetText());
    std::memset(r.label, 0, 10);
    CUnit spelled = CUnit::Sdf2Trx(r, 1.0);
    EXPECT_TRUE(spelled.IsEquivalent(CUnit("Pa", 0))) << spelled.GetText().c_str();
    // g: 9.80665 m/s^2 with doubled exponents length 2, time -4.
    SDFSIUnit g{};
    g.factor = 9.80665f;
    g.exponents[1] = 2; g.exponents[2] = -4;
    CUnit gu = CUnit::Sdf2Trx(g, 1.0);
    EXPECT_TRUE(gu.IsConvertibleTo(CUnit("m/s^2", 0)));
    EXPECT_NEAR(9.80665, gu.GetFactor(), 1e-5);
    // A squared channel and a cross product.
    SDFSIUnit v{};
    std::memcpy(v.label, "V", 1);
    v.factor = 1.0f;
    EXPECT_TRUE(CUnit::Sdf2Trx(v, 2.0).IsEquivalent(CUnit("V^2", 0)));
    EXPECT_TRUE(CUnit::Sdf2Trx(v, 1.0, &r, 1.0).IsEquivalent(CUnit("V*Pa", 0)));
    // An empty record is the empty unit.
    SDFSIUnit none{};
    EXPECT_TRUE(CUnit::Sdf2Trx(none, 1.0).IsEmpty());

    SDFSIUnit out{};
    ASSERT_TRUE(CUnit::Trx2Sdf(CUnit("Pa", 0), out));
    EXPECT_EQ(0, std::memcmp(out.label, "Pa\0\0\0\0\0\0\0\0", 10));
    const signed char paExps[8] = {2, -2, -4, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(out.exponents, paExps, 8));
    ASSERT_TRUE(CUnit::Trx2Sdf(CUnit("mA", 0), out));
    EXPECT_FLOAT_EQ(0.001f, out.factor);
    EXPECT_EQ(2, out.exponents[sdf__exp_current]);
    EXPECT_EQ(0, out.exponents[sdf__exp_temperature]);
    EXPECT_FALSE(CUnit::Trx2Sdf(CUnit("dB[SPL]", 0), out));
    EXPECT_FALSE(CUnit::Trx2Sdf(CUnit(), out));

    EXPECT_EQ("frequency", CQuantity::SdfXAxis2Trx(0).GetName());
    EXPECT_EQ("time", CQuantity::SdfXAxis2Trx(1).GetName());
    EXPECT_EQ("order", CQuantity::SdfXAxis2Trx(4).GetName());
    EXPECT_TRUE(CQuantity::SdfXAxis2Trx(-99).IsVirtual());
}

}  // namespace
