#pragma once
// TRX files of every kind the library writes, read by the tests of both NumPy
// readers (the recipe of docs/trx-format.md and python/tessel_trx.py) and
// compared with what the library itself delivers.

#include "tests/hostlibs/dataset/TrxTestSupport.h"

#include <cmath>
#include <sys/stat.h>

namespace trxtest {

// Every implementation type, integers under linear mappings, complex channels
// with an imaginary part, and two pulse sub-channels on the pulse channel.
inline void MakeEveryType(const std::string& path)
{
    const int types[] = {it__int8, it__pulse, it__int16, it__uint16, it__int24, it__uint24, it__int32,
                         it__uint32, it__float, it__double, it__cint16, it__cint32, it__cfloat, it__cdouble};
    const long n = 33;
    CChannelList cl;
    for (int t : types) {
        bool mapped = CImplType::IsInteger(t);
        cl.push_back(Channel(CImplType::GetName(t).c_str(), t, mapped ? 0.25 * t : 1.0, mapped ? -0.5 * t : 0.0));
    }
    CDataset ds(path.c_str(), Abscissas(TimeAbscissa(n, 1.0 / 8000)), cl, dk__time, 1, 0, 0, 0);
    std::vector<double> raw;
    for (long i = 0; i < n; ++i)
        for (int t : types) {
            double lo = t == it__pulse || t == it__uint16 || t == it__uint24 || t == it__uint32 ? 0 : -1;
            double span = t == it__int8 || t == it__pulse ? 120 : (t == it__int16 || t == it__uint16 ? 30000 : 8e6);
            double v = (lo + 2.0 * double((i * 7919 + t * 104729) % 1000) / 1000.0) * span;
            raw.push_back(t == it__float || t == it__double ? v / 3.0 + 0.125 : std::round(v));
        }
    CAccess* w = ds.CreateAccess(am__readwrite, All(int(cl.size())), 0, 0L, n, mk__raw);
    ASSERT_EQ(n, w->SetData(n, raw.data(), 1, it__double));
    for (int c = 10; c < 14; ++c) {
        CAccess* wc = ds.CreateAccess(am__readwrite, CChNbrList{c}, 0, 0L, n, mk__raw);
        std::vector<double> pairs;
        for (long i = 0; i < n; ++i) pairs.insert(pairs.end(), {double(i * 3 - 50), double(100 - i * 5)});
        ASSERT_EQ(n, wc->SetData(n, pairs.data(), 1, it__cdouble));
    }
    ASSERT_EQ(0, ds.AddSubChannel(CSubChannel(sc__pulse, 1, 1u, "tacho", "n", CQuantity(), CUnit("", 1))));
    ASSERT_EQ(1, ds.AddSubChannel(CSubChannel(sc__pulse, 1, 4u, "key", "k", CQuantity(), CUnit("", 1))));
}

// Point-form mappings, logarithmic on either side, of real and complex
// channels, over negative and zero stored values.
inline void MakePointMappings(const std::string& path)
{
    const long n = 24;
    CChannelList cl;
    cl.push_back(Channel("logx", it__int16));
    cl.back().SetMapping(CMapping(2e-5, 2e-4, tt__log10, 0.0, 2000.0, tt__linear));
    cl.push_back(Channel("logy", it__float));
    cl.back().SetMapping(CMapping(0.0, 60.0, tt__linear, 1.0, 1000.0, tt__log10));
    cl.push_back(Channel("linpoints", it__int24));
    cl.back().SetMapping(CMapping(-3.0, 5.0, tt__linear, 10.0, 1010.0, tt__linear));
    cl.push_back(Channel("clog", it__cint16));
    cl.back().SetMapping(CMapping(1e-3, 1.0, tt__log10, 0.0, 3000.0, tt__linear));
    cl.push_back(Channel("clin", it__cfloat, 0.5, 2.0));
    cl.push_back(Channel("clogy", it__cdouble));
    cl.back().SetMapping(CMapping(0.0, 20.0, tt__linear, 1.0, 10.0, tt__log10));
    CDataset ds(path.c_str(), Abscissas(TimeAbscissa(n, 0.01)), cl, dk__time, 1, 0, 0, 0);
    for (int c = 0; c < 6; ++c) {
        bool complex = c >= 3;
        CAccess* w = ds.CreateAccess(am__readwrite, CChNbrList{c}, 0, 0L, n, mk__raw);
        std::vector<double> v;
        for (long i = 0; i < n; ++i) {
            double re = double((i * 37 + c * 11) % 41) - 20.0;
            if (c == 1) re = re * 3.0 + 0.5;
            v.push_back(re);
            if (complex) v.push_back(double((i * 13 + c) % 29) - 14.0);
        }
        ASSERT_EQ(n, w->SetData(n, v.data(), 1, complex ? it__cdouble : it__double));
    }
}

// A stored abscissa under a mapping leading each scan (organisation 4).
inline void MakeStoredAbscissa(const std::string& path)
{
    CAbscissa x("x", "x", CQuantity("time"), CUnit("s", 1), it__int16, 30, ac__world);
    x.SetMapping(CMapping(map__dct{1, 1, 2.0, 0.25}));
    CChannelList cl = Channels({Channel("a", it__int24, 1e-6, 0.5), Channel("b", it__cfloat)});
    CDataset ds(path.c_str(), Abscissas(x), cl, dk__unknown, ds__dorg_with_abscissa, 0, 0, 0);
    std::vector<double> rows;
    for (int i = 0; i < 30; ++i) rows.insert(rows.end(), {2.0 + 0.25 * i * i, std::sin(i) * 1e5, i * 1.5});
    ASSERT_EQ(30, ds.SetData(30, rows.data(), ds__dorg_with_abscissa, it__double));
}

// Octave bands: lower edge, centre and upper edge stored with each scan.
inline void MakeBands(const std::string& path)
{
    CAbscissa x("Frequency", "f", CQuantity("frequency"), CUnit("Hz", 1), it__uint24, 8, ac__band);
    CChannelList cl = Channels({Channel("L", it__float)});
    CDataset ds(path.c_str(), Abscissas(x), cl, dk__spectrum, ds__dorg_with_abscissa, 0, 0, 0);
    CAccess* w = ds.CreateAccess(am__readwrite, All(1));
    w->SetAbscissaCoord(ac__band);
    std::vector<double> rows;
    for (int i = 0; i < 8; ++i) {
        double c = 32.0 * std::pow(2.0, i);
        rows.insert(rows.end(), {std::round(c / std::sqrt(2.0)), c, std::round(c * std::sqrt(2.0)), 60.0 + i});
    }
    ASSERT_EQ(8, w->SetData(8, rows.data(), ds__dorg_with_abscissa, it__double));
}

// Third octaves on a calculated logarithmic abscissa.
inline void MakeLogAbscissa(const std::string& path)
{
    CAbscissa f("Frequency", "f", CQuantity("frequency"), CUnit("Hz", 1), 20.0, std::pow(2.0, 1.0 / 3), 31,
                df__logarithmic);
    CChannelList cl = Channels({Channel("third octaves", it__double)});
    CDataset ds(path.c_str(), Abscissas(f), cl, dk__spectrum, 1, 0, 0, 0);
    std::vector<double> v;
    for (int i = 0; i < 31; ++i) v.push_back(40.0 + i);
    ASSERT_EQ(31, ds.SetData(31, v.data(), 1, it__double));
}

// Spectra over time: two abscissas, values running fastest along the first.
inline void MakeMatrix(const std::string& path)
{
    CAbscissaList al;
    al.push_back(CAbscissa("Frequency", "f", CQuantity("frequency"), CUnit("Hz", 1), 0.0, 12.5, 16, df__linear));
    al.push_back(TimeAbscissa(5, 0.5));
    CChannelList cl = Channels({Channel("spectra", it__cfloat, 2.0), Channel("levels", it__int16, 0.01)});
    CDataset ds(path.c_str(), al, cl, dk__spectrum, 1, 0, 0, 0);
    std::vector<double> v;
    for (int i = 0; i < 80; ++i) v.insert(v.end(), {double(i), double(-i), double(i % 7), 0.0});
    ASSERT_EQ(80, ds.SetData(80, v.data(), 1, it__cdouble));
}

// A sampling pattern: channels 0 and 2 four times per scan, channel 1 once,
// channel 3 not at all (100, 25, 100 and 0 values).
inline void MakeMixedRate(const std::string& path)
{
    TimeData ds(path, Channels({Channel("fast", it__int16, 0.01), Channel("slow", it__float), Channel("fast24", it__int24),
                                Channel("absent", it__int8)}),
                25, 0.004);
    ASSERT_TRUE(ds.SpecifySamplingParameter(sm__pattern, CChNbrList{0, 2, 1, 0, 2, 0, 2, 0, 2}));
    CAccess* fast = ds.CreateAccess(am__readwrite, CChNbrList{0, 2}, 0, 0L, -1L, mk__raw);
    std::vector<double> f;
    for (int i = 0; i < 100; ++i) f.insert(f.end(), {double(i * 37 % 200 - 100), double(-i * 1001)});
    ASSERT_EQ(100, fast->SetData(100, f.data(), 1, it__double));
    CAccess* slow = ds.CreateAccess(am__readwrite, CChNbrList{1}, 0, 0L, -1L, mk__raw);
    std::vector<double> s;
    for (int i = 0; i < 25; ++i) s.push_back(i * 0.5 - 3);
    ASSERT_EQ(25, slow->SetData(25, s.data(), 1, it__double));
}

inline void MakeEmpty(const std::string& path)
{
    TimeData ds(path, Channels({Channel("a", it__cint32, 3.0), Channel("b", it__int24)}));
}

// 50 scans of 11 bytes announced, the file cut in the middle of scan 20.
inline void MakeCutShort(const std::string& path)
{
    {
        TimeData ds(path, Channels({Channel("a", it__int24, 0.5), Channel("b", it__double)}), 50);
        std::vector<double> v(100);
        for (std::size_t i = 0; i < v.size(); ++i) v[i] = double(i) - 40.0;
        ASSERT_EQ(50, ds.SetData(50, v.data(), 1, it__double));
    }
    struct stat st {};
    ASSERT_EQ(0, ::stat(path.c_str(), &st));
    ASSERT_EQ(0, ::truncate(path.c_str(), st.st_size - 29 * 11 - 5));
}

} // namespace trxtest
