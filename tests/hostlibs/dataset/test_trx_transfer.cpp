// Moving values through accesses: every pair of implementation types with
// the channel mapping, destination mappings, complex parts, abscissa values,
// ranges and the bookkeeping of accesses.

#include "TrxTestSupport.h"

#include <cmath>
#include <numbers>

using namespace trxtest;

namespace {

const int kTypes[] = {it__int8, it__pulse, it__int16, it__uint16, it__int24, it__uint24, it__int32,
                      it__uint32, it__float, it__double, it__cint16, it__cint32, it__cfloat, it__cdouble};

bool IsComplexType(int t) { return t >= 13 && t <= 16; }

// Range of a type's (real part) values, written out independently of the library.
void Limits(int t, double& lo, double& hi)
{
    switch (t) {
    case it__int8: lo = -128; hi = 127; break;
    case it__pulse: lo = 0; hi = 255; break;
    case it__int16: case it__cint16: lo = -32768; hi = 32767; break;
    case it__uint16: lo = 0; hi = 65535; break;
    case it__int24: lo = -8388608; hi = 8388607; break;
    case it__uint24: lo = 0; hi = 16777215; break;
    case it__int32: case it__cint32: lo = -2147483648.0; hi = 2147483647.0; break;
    case it__uint32: lo = 0; hi = 4294967295.0; break;
    default: lo = -HUGE_VAL; hi = HUGE_VAL; break;
    }
}

// Bytes of one sample, from the format's table of types.
std::size_t SizeOf(int t)
{
    switch (t) {
    case it__int8: case it__pulse: return 1;
    case it__int16: case it__uint16: return 2;
    case it__int24: case it__uint24: return 3;
    case it__int32: case it__uint32: case it__float: case it__cint16: return 4;
    case it__double: case it__cint32: case it__cfloat: return 8;
    default: return 16;   // it__cdouble
    }
}

bool IsFloat(int t) { return t == it__float || t == it__double || t == it__cfloat || t == it__cdouble; }

double Expected(int t, double v)
{
    if (IsFloat(t)) return (t == it__float || t == it__cfloat) ? double(float(v)) : v;
    double lo, hi;
    Limits(t, lo, hi);
    double r = v < 0 ? -std::floor(-v + 0.5) : std::floor(v + 0.5);
    return std::min(hi, std::max(lo, r));
}

// Sample i of type t in little-endian bytes, read without the library.
double ReadAs(const unsigned char* base, int t, std::size_t i, bool imag = false)
{
    const std::size_t size = SizeOf(t);
    const unsigned char* p = base + i * size + (imag ? size / 2 : 0);
    switch (t) {
    case it__int8: return double(std::int8_t(p[0]));
    case it__pulse: return p[0];
    case it__int16: case it__cint16: return LoadLE<std::int16_t>(p);
    case it__uint16: return LoadLE<std::uint16_t>(p);
    case it__int24: { std::int32_t v = p[0] | (p[1] << 8) | (p[2] << 16); return v >= (1 << 23) ? v - (1 << 24) : v; }
    case it__uint24: return p[0] | (p[1] << 8) | (p[2] << 16);
    case it__int32: case it__cint32: return LoadLE<std::int32_t>(p);
    case it__uint32: return LoadLE<std::uint32_t>(p);
    case it__float: case it__cfloat: return LoadLE<float>(p);
    default: return LoadLE<double>(p);
    }
}

} // namespace

// Stored values (written raw as doubles) convert to every type, raw and
// through the channel's mapping s × 0.5 − 3; the stored bytes are checked
// straight from the file.
TEST(TrxConversion, EveryPairOfImplementationTypesWithTheChannelMapping)
{
    ScratchDir dir;
    const std::vector<double> stored = {0, 1, -1, 2.5, -2.5, 100, -128, 127, 200, 255, 300, -40000, 70000, 1e7, -3e9, 5e9};
    for (int src : kTypes) {
        std::string path = dir / ("t" + std::to_string(src) + ".trx");
        {
            TimeData ds(path, Channels({Channel("c", src, 0.5, -3.0)}), long(stored.size()));
            CAccess* w = ds.CreateAccess(am__readwrite, All(1), 0, 0L, long(stored.size()), mk__raw);
            ASSERT_TRUE(w);
            ASSERT_EQ(long(stored.size()), ds.SetData(long(stored.size()), stored.data(), 1, it__double)) << src;
        }
        RawFile raw = ParseRaw(path);
        ASSERT_EQ(stored.size() * SizeOf(src), raw.DataBytes()) << src;
        std::vector<double> storedAs(stored.size());
        for (std::size_t i = 0; i < stored.size(); ++i) {
            storedAs[i] = Expected(src, stored[i]);
            ASSERT_EQ(storedAs[i], ReadAs(raw.Data(), src, i)) << "type " << src << " value " << stored[i];
            if (IsComplexType(src)) { EXPECT_EQ(0.0, ReadAs(raw.Data(), src, i, true)); }
        }
        CDataset ds(path.c_str(), om__read_complete, 0, 0);
        for (int dst : kTypes) {
            for (int kind : {mk__raw, mk__physical}) {
                CAccess* a = ds.CreateAccess(am__read, All(1), 0, 0L, -1L, kind);
                ASSERT_TRUE(a);
                std::vector<unsigned char> buf(stored.size() * SizeOf(dst));
                ASSERT_EQ(long(stored.size()), a->GetData(long(stored.size()), buf.data(), 1, dst));
                EXPECT_TRUE(a->Finished());
                for (std::size_t i = 0; i < stored.size(); ++i) {
                    double value = kind == mk__raw ? storedAs[i] : storedAs[i] * 0.5 - 3.0;
                    // A complex value read into a real type is its magnitude.
                    if (IsComplexType(src) && !IsComplexType(dst)) value = std::fabs(value);
                    ASSERT_EQ(Expected(dst, value), ReadAs(buf.data(), dst, i))
                        << "from type " << src << " to " << dst << " kind " << kind << " stored " << storedAs[i];
                    if (IsComplexType(dst)) { ASSERT_EQ(0.0, ReadAs(buf.data(), dst, i, true)); }
                }
                ds.DeleteAccess(a);
            }
        }
    }
}

TEST(TrxConversion, PhysicalValuesWrittenAreStoredThroughTheMappingInverse)
{
    ScratchDir dir;
    std::string path = dir / "w.trx";
    TimeData ds(path, Channels({Channel("c", it__int16, 1.0 / 32768, 0.25)}), 4);
    std::vector<float> phys = {0.25f, 1.25f, -0.75f, 2.0f};
    ASSERT_EQ(4, ds.SetData(4, phys.data(), 1, it__float));
    ds.Close();
    RawFile raw = ParseRaw(path);
    EXPECT_EQ(0, ReadAs(raw.Data(), it__int16, 0));
    EXPECT_EQ(32767, ReadAs(raw.Data(), it__int16, 1)) << "1.0 above the offset is full scale, limited to 32767";
    EXPECT_EQ(-32768, ReadAs(raw.Data(), it__int16, 2));
    EXPECT_EQ(32767, ReadAs(raw.Data(), it__int16, 3)) << "beyond full scale is limited";
}

TEST(TrxDestinationMapping, RecordKindDeliversValuesInTheRecordsRepresentation)
{
    ScratchDir dir;
    std::string path = dir / "m.trx";
    TimeData ds(path, Channels({Channel("a", it__float), Channel("b", it__int24, 1e-3)}), 3);
    std::vector<double> phys = {0.5, -1.0, 0.25, 8.0, 2.0, -8.388};
    ASSERT_EQ(3, ds.SetData(3, phys.data(), 1, it__double));
    // The WAVE export's scaling: full scale V = 2 for channel a, 16 for b.
    CAccess* a = ds.CreateAccess(am__read, All(2));
    map__dct ra{1, 1, 0.0, 2.0 / 32768}, rb{1, 1, 0.0, 16.0 / 32768};
    ASSERT_TRUE(a->SetChannelMapping(CChNbrList{0}, mk__record, &ra));
    ASSERT_TRUE(a->SetChannelMapping(CChNbrList{1}, mk__record, &rb));
    std::vector<short> out(6);
    ASSERT_EQ(3, a->GetData(3, out.data(), 1, it__int16));
    EXPECT_EQ((std::vector<short>{8192, -2048, 4096, 16384, 32767, -17179}), out);
    EXPECT_FALSE(a->SetChannelMapping(CChNbrList{0}, mk__record, static_cast<const map__dct*>(nullptr)));
    EXPECT_FALSE(a->SetChannelMapping(CChNbrList{5}, mk__raw, nullptr)) << "channel not in the access";
    EXPECT_FALSE(a->SetChannelMapping(CChNbrList{0}, 7, nullptr));

    // The same record when writing: the caller's values are in that representation.
    CAccess* w = ds.CreateAccess(am__readwrite, CChNbrList{0}, 0, 1L, 1L, mk__physical);
    ASSERT_TRUE(w->SetChannelMapping(CChNbrList{0}, mk__record, &ra));
    short v = -32768;
    ASSERT_EQ(1, w->SetData(1, &v, 1, it__int16));
    double back[2];
    CAccess* r = ds.CreateAccess(am__read, All(2), 0, 1L, 1L, mk__physical);
    ASSERT_EQ(1, r->GetData(1, back, 1, it__double));
    EXPECT_EQ(-2.0, back[0]);
    EXPECT_NEAR(8.0, back[1], 1e-12) << "channel b untouched";
}

TEST(TrxDestinationMapping, TwoPointMappingsMapBothWays)
{
    CMapping lin(1.0, 3.0, tt__linear, 10.0, 30.0, tt__linear);   // physical = value / 10
    EXPECT_DOUBLE_EQ(0.1, lin.GetFactor());
    EXPECT_DOUBLE_EQ(0.0, lin.GetOffset());
    EXPECT_DOUBLE_EQ(2.5, lin.ToPhysical(25.0));
    CMapping sdf(5.0 + 1.0, 10.0 + 1.0, tt__linear, 100.0, 200.0, tt__linear);   // scale 5, offset 1, 100 counts
    EXPECT_DOUBLE_EQ(1.0 + 5.0 * 3.0, sdf.ToPhysical(300.0));
    EXPECT_DOUBLE_EQ(300.0, sdf.FromPhysical(16.0));
    CMapping log(1.0, 10.0, tt__log10, 0.0, 20.0, tt__linear);
    EXPECT_DOUBLE_EQ(40.0, log.FromPhysical(100.0));
    EXPECT_NEAR(1000.0, log.ToPhysical(60.0), 1e-9);
    EXPECT_TRUE(std::isnan(log.FromPhysical(-1.0)));
    EXPECT_FALSE(CMapping(1.0, 1.0, tt__linear, 0.0, 1.0, tt__linear).IsValid());
    EXPECT_FALSE(CMapping(0.0, 1.0, tt__log10, 0.0, 1.0, tt__linear).IsValid());
    map__dct rec{1, 1, 0.1, 1e-20};
    EXPECT_EQ(1e-20, CMapping(rec).GetFactor()) << "a record keeps its factor exactly";
    EXPECT_FALSE(CMapping(map__dct{1, 1, 0.0, 0.0}).IsValid());
}

TEST(TrxComplex, AccessKindsDeliverTheTableParts)
{
    ScratchDir dir;
    CChannelList cl = Channels({Channel("h", it__cfloat, 2.0)});
    CDataset ds((dir / "c.trx").c_str(), Abscissas(TimeAbscissa(3)), cl, dk__frf, 4, 0, 0, 0);
    std::vector<float> pairs = {3, 4, 0, -2, -1, 0};   // stored; physical is twice these
    CAccess* w = ds.CreateAccess(am__readwrite, All(1), 0, 0L, 3L, mk__raw);
    ASSERT_EQ(3, w->SetData(3, pairs.data(), 1, it__cfloat));
    // Stored (3, 4), (0, -2), (-1, 0) under the factor 2.
    const std::pair<int, std::vector<double>> parts[] = {
        {ca__default, {10, 4, 2}},
        {ca__magnitude, {10, 4, 2}},
        {ca__real, {6, 0, -2}},
        {ca__imaginary, {8, -4, 0}},
        {ca__phase_rad, {0.9272952180016122, -1.5707963267948966, 3.141592653589793}},
        {ca__phase_deg, {53.13010235415598, -90, 180}},
        {ca__phase_circle, {0.14758361765043326, -0.25, 0.5}},
    };
    for (const auto& [kind, want] : parts) {
        CAccess* a = ds.CreateAccess(am__read, All(1));
        ASSERT_TRUE(a->SetAccessModeToComplexData(kind));
        std::vector<double> v(3);
        ASSERT_EQ(3, a->GetData(3, v.data(), 1, it__double));
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(want[std::size_t(i)], v[std::size_t(i)], 1e-13) << kind << " " << i;
        ds.DeleteAccess(a);
    }
    // Pairs into a complex type.
    CAccess* a = ds.CreateAccess(am__read, All(1));
    std::vector<double> c(6);
    ASSERT_EQ(3, a->GetData(3, c.data(), 1, it__cdouble));
    EXPECT_EQ((std::vector<double>{6, 8, 0, -4, -2, 0}), c);
    EXPECT_FALSE(a->SetAccessModeToComplexData(7));
    ASSERT_TRUE(a->SetAccessModeToComplexData(ca__real));
    a->Rewind();
    EXPECT_EQ(0, a->SetData(1, c.data(), 1, it__double)) << "a reading access";
}

TEST(TrxComplex, GroupDelayOfALinearPhaseIsItsDelay)
{
    ScratchDir dir;
    const double tau = 0.002, df = 10.0;
    const int n = 50;
    CAbscissa f("Frequency", "f", CQuantity("frequency"), CUnit("Hz", 1), 0.0, df, n, df__linear);
    CDataset ds((dir / "g.trx").c_str(), Abscissas(f), Channels({Channel("h", it__cdouble)}), dk__frf, 1, 0, 0, 0);
    std::vector<double> v(2 * n);
    for (int i = 0; i < n; ++i) {
        double phi = -2 * std::numbers::pi * (i * df) * tau;
        v[2 * i] = std::cos(phi);
        v[2 * i + 1] = std::sin(phi);
    }
    ASSERT_EQ(n, ds.SetData(n, v.data(), 1, it__cdouble));
    CAccess* a = ds.CreateAccess(am__read, All(1));
    ASSERT_TRUE(a->SetAccessModeToComplexData(ca__group_delay));
    std::vector<double> gd(n);
    // Small blocks: the neighbours across block ends count too.
    for (int done = 0; done < n;) done += int(a->GetData(7, gd.data() + done, 1, it__double));
    for (int i = 0; i < n; ++i) EXPECT_NEAR(tau, gd[std::size_t(i)], 1e-9) << i;
}

TEST(TrxAbscissaValues, OrganisationFourLeadsScansWithWorldValues)
{
    ScratchDir dir;
    CAbscissa stored("x", "x", CQuantity("time"), CUnit("s", 1), it__int16, 5, ac__world);
    stored.SetMapping(CMapping(map__dct{1, 1, 10.0, 0.5}));
    CChannelList cl = Channels({Channel("y", it__float)});
    std::string path = dir / "o4.trx";
    {
        CDataset ds(path.c_str(), Abscissas(stored), cl, dk__unknown, ds__dorg_with_abscissa, 0, 0, 0);
        std::vector<float> scans = {10.0f, 1, 11.5f, 2, 13.0f, 3, 20.0f, 4, 30.0f, 5};
        ASSERT_EQ(5, ds.SetData(5, scans.data(), ds__dorg_with_abscissa, it__float));
    }
    // The bytes and the world values are read by the NumPy recipe's test.
    CDataset ds(path.c_str(), om__read_complete, 0, 0);
    std::vector<double> out(4);
    EXPECT_EQ(13.0, ds.GetWorldFixAbsc(0, 2));
    // Organisation 1 skips the abscissa; coordinate 0 gives indices.
    CAccess* a = ds.CreateAccess(am__read, All(1));
    std::vector<double> y(5);
    ASSERT_EQ(5, a->GetData(5, y.data(), 1, it__double));
    EXPECT_EQ((std::vector<double>{1, 2, 3, 4, 5}), y);
    a->Rewind();
    ASSERT_TRUE(a->SetAbscissaCoord(ac__index));
    ASSERT_EQ(2, a->GetData(2, out.data(), ds__dorg_with_abscissa, it__double));
    EXPECT_EQ(0.0, out[0]);
    EXPECT_EQ(1.0, out[2]);
    ASSERT_TRUE(a->SetAbscissaCoord(ac__band));
    EXPECT_EQ(0, a->GetData(1, out.data(), ds__dorg_with_abscissa, it__double)) << "a point abscissa has no bands";
    EXPECT_FALSE(a->SetAbscissaCoord(5));
}

// Band edges of a calculated logarithmic abscissa (stored bands are read by
// the NumPy recipe's test).
TEST(TrxAbscissaValues, BandsOfCalculatedAbscissas)
{
    ScratchDir dir;
    CChannelList cl = Channels({Channel("L", it__float)});
    CAbscissa octaves("Frequency", "f", CQuantity("frequency"), CUnit("Hz", 1), 125.0, 2.0, 3, df__logarithmic);
    CDataset calc((dir / "o.trx").c_str(), Abscissas(octaves), cl, dk__spectrum, 1, 0, 0, 0);
    std::vector<double> z = {1, 2, 3};
    ASSERT_EQ(3, calc.SetData(3, z.data(), 1, it__double));
    CAccess* c = calc.CreateAccess(am__read, All(1));
    ASSERT_TRUE(c->SetAbscissaCoord(ac__band));
    std::vector<double> edges(12);
    ASSERT_EQ(3, c->GetData(3, edges.data(), 4, it__double));
    EXPECT_NEAR(250.0 / std::sqrt(2.0), edges[4], 1e-9);
    EXPECT_NEAR(250.0, edges[5], 1e-9);
    EXPECT_NEAR(250.0 * std::sqrt(2.0), edges[6], 1e-9);
    EXPECT_EQ(2.0, edges[7]);
}

TEST(TrxRanges, SpecifyByValueBoundsAndSelections)
{
    ScratchDir dir;
    TimeData ds((dir / "r.trx"), Channels({Channel("a", it__int16)}), 100, 0.25);
    std::vector<short> v(100);
    for (int i = 0; i < 100; ++i) v[std::size_t(i)] = short(i);
    ASSERT_EQ(100, ds.SetData(100, v.data(), 1, it__int16));
    CAccess* a = ds.CreateAccess(am__read, All(1));
    auto range = [&](double from, double to, int bounds, int selection) {
        EXPECT_TRUE(a->Specify(All(1), 0, from, to, 0.0, bounds, selection, 0, false));
        return std::make_pair(a->GetStartIndex(), a->GetEndIndex());
    };
    using P = std::pair<long, long>;
    EXPECT_EQ(P(4, 8), range(1.0, 2.0, 3, 2)) << "closed interval at exact scans";
    EXPECT_EQ(P(5, 7), range(1.0, 2.0, 0, 2)) << "open interval";
    EXPECT_EQ(P(4, 7), range(1.0, 2.0, 1, 2));
    EXPECT_EQ(P(5, 8), range(1.0, 2.0, 2, 2));
    EXPECT_EQ(P(5, 8), range(1.1, 2.1, 3, 2));
    EXPECT_EQ(P(4, 9), range(1.1, 2.1, 3, 1)) << "the enclosing scans";
    EXPECT_EQ(P(4, 8), range(1.1, 2.1, 3, 0)) << "the nearest scans";
    EXPECT_EQ(P(0, 99), range(-5.0, 1000.0, 3, 2));
    // Values within the tolerance of a bound lie on it.
    EXPECT_TRUE(a->Specify(All(1), 0, 1.01, 1.99, 0.02, 3, 2, 0, false));
    EXPECT_EQ(P(4, 8), P(a->GetStartIndex(), a->GetEndIndex()));
    // An interval between two scans is empty and finished at once.
    range(1.3, 1.4, 3, 2);
    EXPECT_EQ(0, a->GetNbrOfScans());
    EXPECT_TRUE(a->Finished());
    EXPECT_EQ(0, a->GetData(1, v.data(), 1, it__int16));
    // The range reads exactly its scans.
    range(1.0, 2.0, 3, 2);
    std::vector<short> out(10, -1);
    EXPECT_EQ(5, a->GetData(10, out.data(), 1, it__int16));
    EXPECT_EQ((std::vector<short>{4, 5, 6, 7, 8, -1, -1, -1, -1, -1}), out);
    EXPECT_DOUBLE_EQ(1.0, a->GetStartValue());
    // By index, from the end of the last range to the last scan.
    ASSERT_TRUE(a->Specify(All(1), 0, double(a->GetEndIndex() + 1), -1.0, 0.0, 3, 2, 0, true));
    EXPECT_EQ(P(9, 99), P(a->GetStartIndex(), a->GetEndIndex()));
    EXPECT_FALSE(a->Specify(All(1), 0, 0, 1, 0.0, 3, 2, 1, false)) << "reserved argument";
    EXPECT_FALSE(a->Specify(All(1), 1, 0, 1, 0.0, 3, 2, 0, false)) << "no second abscissa";
    EXPECT_FALSE(a->Specify(CChNbrList{1}, 0, 0, 1)) << "no such channel";
}

TEST(TrxRanges, BlocksUntilFinishedReadEveryScanOnce)
{
    ScratchDir dir;
    TimeData ds((dir / "f.trx"), Channels({Channel("a", it__int32), Channel("b", it__int16)}), 1000);
    std::vector<double> v(2000);
    for (int i = 0; i < 1000; ++i) {
        v[std::size_t(2 * i)] = i * 1000.0;
        v[std::size_t(2 * i + 1)] = -i;
    }
    ASSERT_EQ(1000, ds.SetData(1000, v.data(), 1, it__double));
    CAccess* a = ds.CreateAccess(am__read, CChNbrList{1, 0}, 0, 10L, 977L);
    std::vector<double> block(2 * 64);
    long total = 0, expect = 10;
    while (!a->Finished()) {
        long n = a->GetData(64, block.data(), 1, it__double);
        ASSERT_GT(n, 0);
        for (long i = 0; i < n; ++i, ++expect) {
            ASSERT_EQ(-double(expect), block[std::size_t(2 * i)]) << "channels in the access's order";
            ASSERT_EQ(expect * 1000.0, block[std::size_t(2 * i + 1)]);
        }
        total += n;
    }
    EXPECT_EQ(977, total);
    EXPECT_EQ(0, a->GetData(64, block.data(), 1, it__double));
    EXPECT_EQ(0, a->GetData(64, block.data(), 3, it__double)) << "unknown organisation";
    EXPECT_EQ(0, a->GetData(0, block.data(), 1, it__double));
}

TEST(TrxAccesses, ActiveAccessDecidesWhatTheDataSetTransfers)
{
    ScratchDir dir;
    TimeData ds((dir / "act.trx"), Channels({Channel("a", it__int16), Channel("b", it__int16)}), 3);
    EXPECT_EQ(nullptr, ds.GetActiveAccess());
    std::vector<short> v = {1, 10, 2, 20, 3, 30};
    ASSERT_EQ(3, ds.SetData(3, v.data(), 1, it__int16)) << "an access over everything is made";
    CAccess* all = ds.GetActiveAccess();
    ASSERT_TRUE(all);
    CAccess* a = ds.CreateAccess(am__read, CChNbrList{0});
    CAccess* b = ds.CreateAccess(am__read, CChNbrList{1});
    EXPECT_EQ(b, ds.GetActiveAccess()) << "the newest access is active";
    short out[3];
    ASSERT_EQ(3, ds.GetData(3, out, 1, it__int16));
    EXPECT_EQ(20, out[1]);
    ASSERT_TRUE(ds.SetActiveAccess(a));
    ASSERT_EQ(3, ds.GetData(3, out, 1, it__int16));
    EXPECT_EQ(2, out[1]);
    EXPECT_EQ(0, ds.GetData(3, out, 1, it__int16)) << "a is finished";
    EXPECT_TRUE(ds.DeleteAccess(a));
    EXPECT_EQ(nullptr, ds.GetActiveAccess());
    EXPECT_FALSE(ds.DeleteAccess(a));
    EXPECT_FALSE(ds.SetActiveAccess(a));
    EXPECT_TRUE(ds.SetActiveAccess(b));
    EXPECT_EQ(nullptr, ds.CreateAccess(9, All(2)));
    EXPECT_EQ(nullptr, ds.CreateAccess(am__read, CChNbrList{2}));
}

TEST(TrxAccesses, WritingSomeChannelsKeepsTheOthers)
{
    ScratchDir dir;
    std::string path = dir / "part.trx";
    {
        TimeData ds(path, Channels({Channel("a", it__int16), Channel("b", it__int24), Channel("c", it__float)}));
        CAccess* first = ds.CreateAccess(am__readwrite, CChNbrList{0, 2}, 0, 0L, -1L);
        std::vector<double> v;
        for (int i = 0; i < 5000; ++i) { v.push_back(i % 30000); v.push_back(i * 0.5); }
        ASSERT_EQ(5000, first->SetData(5000, v.data(), 1, it__double));
        EXPECT_EQ(5000, ds.GetNbrOfScans()) << "writing past the end extends the data set";
        CAccess* second = ds.CreateAccess(am__readwrite, CChNbrList{1}, 0, 0L, 5000L);
        std::vector<int> b(5000);
        for (int i = 0; i < 5000; ++i) b[std::size_t(i)] = -i * 100;
        ASSERT_EQ(5000, second->SetData(5000, b.data(), 1, it__int32));
    }
    RawFile raw = ParseRaw(path);
    ASSERT_EQ(5000u * 9u, raw.DataBytes());
    for (std::size_t i = 0; i < 5000; i += 499) {
        const unsigned char* s = raw.Data() + i * 9;
        EXPECT_EQ(short(i % 30000), LoadLE<std::int16_t>(s));
        std::int32_t v24 = s[2] | (s[3] << 8) | (s[4] << 16);
        if (v24 >= (1 << 23)) v24 -= 1 << 24;
        EXPECT_EQ(-std::int32_t(i) * 100, v24);
        EXPECT_EQ(float(i) * 0.5f, LoadLE<float>(s + 5));
    }
}

TEST(TrxAccesses, MaximumNumberOfScansLimitsWritesAndTheCount)
{
    ScratchDir dir;
    std::string path = dir / "max.trx";
    TimeData ds(path, Channels({Channel("a", it__int16)}), 10);
    std::vector<short> v(20, 7);
    EXPECT_EQ(10, ds.SetData(20, v.data(), 1, it__int16)) << "the announced scans first";
    EXPECT_TRUE(ds.GetActiveAccess()->Finished());
    EXPECT_EQ(10, ds.SetData(10, v.data(), 1, it__int16)) << "then the data set grows";
    EXPECT_EQ(20, ds.GetNbrOfScans());
    ASSERT_TRUE(ds.SetMaxNbrOfScans(12));
    EXPECT_EQ(12, ds.GetNbrOfScans());
    CAccess* w = ds.CreateAccess(am__readwrite, All(1), 0, 10L, -1L);
    EXPECT_EQ(2, w->SetData(5, v.data(), 1, it__int16)) << "two scans of room left";
    EXPECT_EQ(0, w->SetData(5, v.data(), 1, it__int16));
    ds.Close();
    CDataset back(path.c_str(), om__read, 0, 0);
    EXPECT_EQ(12, back.GetNbrOfScans());
    EXPECT_EQ(12, back.GetAbscissa(0).GetMaxNbrOfScans());
}

TEST(TrxAccesses, MatricesWithTwoAbscissasRunRowByRow)
{
    ScratchDir dir;
    CAbscissaList al;
    al.push_back(CAbscissa("Frequency", "f", CQuantity("frequency"), CUnit("Hz", 1), 0.0, 100.0, 4, df__linear));
    al.push_back(CAbscissa("Time", "t", CQuantity("time"), CUnit("s", 1), 1.0, 0.5, 3, df__linear));
    CDataset ds((dir / "mx.trx").c_str(), al, Channels({Channel("S", it__float)}), dk__spectrum, 1, 0, 0, 0);
    std::vector<float> v(12);
    for (int i = 0; i < 12; ++i) v[std::size_t(i)] = float(i);
    ASSERT_EQ(12, ds.SetData(12, v.data(), 1, it__float));
    EXPECT_DOUBLE_EQ(2.0, ds.GetWorldFixAbsc(1, 2));
    EXPECT_DOUBLE_EQ(300.0, ds.GetWorldFixAbsc(0, 3));
    CAccess* a = ds.CreateAccess(am__read, All(1));
    ASSERT_TRUE(a->Specify(All(1), 1, 1.5, 1.5));
    EXPECT_EQ(4, a->GetNbrOfScans()) << "one row";
    std::vector<double> row(8);
    ASSERT_EQ(4, a->GetData(4, row.data(), 4, it__double));
    EXPECT_EQ((std::vector<double>{0, 4, 100, 5, 200, 6, 300, 7}), row);
    EXPECT_FALSE(a->Specify(All(1), 0, 100.0, 200.0)) << "by value only along rows";
}
