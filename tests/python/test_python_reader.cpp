// python/tessel_trx.py must find in every kind of file the library writes what
// the library itself delivers: physical values, abscissa values of every
// sample, stored samples through memmap, pulses of sub-channels.

#include "tests/hostlibs/dataset/TrxTestSupport.h"

#include <cmath>
#include <cstdlib>
#include <sys/stat.h>

using namespace trxtest;

namespace {

const char* kPython = "/usr/bin/python3";

std::vector<double> ReadDoubles(const std::string& path)
{
    std::vector<unsigned char> b = ReadFile(path);
    std::vector<double> v(b.size() / 8);
    if (!v.empty()) std::memcpy(v.data(), b.data(), v.size() * 8);
    return v;
}

void ExpectSame(const std::vector<double>& lib, const std::vector<double>& py, const std::string& what)
{
    ASSERT_EQ(lib.size(), py.size()) << what;
    for (std::size_t i = 0; i < lib.size(); ++i) {
        if (lib[i] == py[i]) continue;   // also the infinities of a logarithmic mapping at 0
        if (std::isnan(lib[i])) {
            EXPECT_TRUE(std::isnan(py[i])) << what << " value " << i;
            continue;
        }
        ASSERT_NEAR(lib[i], py[i], 1e-9 * std::max(1.0, std::fabs(lib[i]))) << what << " value " << i;
    }
}

// One channel through an access: values (organisation 1) and, with
// organisation 4, the abscissa value of every sample.
struct SRead {
    std::vector<double> values, x;
};

SRead LibraryRead(CDataset& ds, int channel, int mappingKind)
{
    SRead r;
    bool complex = ds.GetChannel(channel).IsComplex();
    int type = complex ? it__cdouble : it__double;
    int width = complex ? 2 : 1;
    CAccess* a = ds.CreateAccess(am__read, CChNbrList{channel}, 0, 0L, -1L, mappingKind);
    EXPECT_TRUE(a) << ds.GetLastError().c_str();
    if (!a) return r;
    bool band = !ds.GetAbscissa(0).IsCalc() && ds.GetAbscissa(0).GetValuesPerScan() == 3;
    a->SetAbscissaCoord(band ? ac__band : ac__world);
    int absCount = band ? 3 : 1;
    // Complex transfers carry every value as a pair, the abscissa too.
    int absWidth = complex ? 2 : 1;
    std::size_t stride = std::size_t(absCount * absWidth + width);
    // A short file ends the reads before the announced scans.
    std::vector<double> rows(64 * stride);
    for (long k; !a->Finished() && (k = a->GetData(64, rows.data(), ds__dorg_with_abscissa, type)) > 0;)
        for (long i = 0; i < k; ++i) {
            const double* row = rows.data() + std::size_t(i) * stride;
            r.x.push_back(row[(band ? 1 : 0) * absWidth]);
            for (int q = 0; q < width; ++q) r.values.push_back(row[absCount * absWidth + q]);
        }
    ds.DeleteAccess(a);
    return r;
}

} // namespace

class PythonReader : public ::testing::Test {
protected:
    void SetUp() override
    {
        static const bool haveNumpy =
            ::access(kPython, X_OK) == 0 &&
            std::system((std::string(kPython) + " -c 'import numpy' 2>/dev/null").c_str()) == 0;
        if (!haveNumpy) {
            if (std::getenv("CI")) FAIL() << "no " << kPython << " with numpy (CI must have python3-numpy)";
            GTEST_SKIP() << "no " << kPython << " with numpy";
        }
    }

    void RunReader(const std::vector<std::string>& files)
    {
        std::string cmd = std::string(kPython) + " " + TESSEL_SOURCE_DIR + "/tests/python/dump_with_reader.py " +
                          TESSEL_SOURCE_DIR + "/python";
        for (const auto& f : files) cmd += " '" + f + "'";
        ASSERT_EQ(0, std::system(cmd.c_str())) << cmd;
    }

    // Everything the reader dumped for `path` against the library.
    void Compare(const std::string& path, bool expectComplete = true)
    {
        CDataset ds(path.c_str(), om__read, 0, 0);
        nlohmann::json summary = nlohmann::json::parse(ReadFile(path + ".json"));
        EXPECT_EQ(expectComplete, summary["complete"].get<bool>()) << path;
        EXPECT_EQ(ds.IsComplete(), summary["complete"].get<bool>()) << path;
        ASSERT_EQ(ds.GetNbrOfChannels(), summary["channels"].get<int>());
        bool matrix = ds.GetNbrOfAbscissas() == 2;
        long n0 = ds.GetAbscissa(0).GetNbrOfScans();
        for (int c = 0; c < ds.GetNbrOfChannels(); ++c) {
            std::string what = path + " channel " + std::to_string(c);
            if (ds.GetSamplesPerScan(c) == 0) {   // not in the sampling pattern
                for (const char* part : {".ch", ".x", ".raw"})
                    EXPECT_TRUE(ReadDoubles(path + part + std::to_string(c)).empty()) << what;
                continue;
            }
            SRead phys = LibraryRead(ds, c, mk__physical);
            ExpectSame(phys.values, ReadDoubles(path + ".ch" + std::to_string(c)), what + " values");
            std::vector<double> x = ReadDoubles(path + ".x" + std::to_string(c));
            if (matrix && phys.x.size() > std::size_t(n0)) phys.x.resize(std::size_t(n0));
            ExpectSame(phys.x, x, what + " abscissa");
            ExpectSame(LibraryRead(ds, c, mk__raw).values, ReadDoubles(path + ".raw" + std::to_string(c)),
                       what + " stored samples (memmap)");
        }
        for (int j = 0; j < ds.GetNbrOfAbscissas(); ++j) {
            std::vector<double> py = ReadDoubles(path + ".abs" + std::to_string(j));
            CAbscissa a = ds.GetAbscissa(j);
            if (!a.IsCalc()) continue;   // stored values were compared per sample above
            std::vector<double> lib;
            for (std::size_t i = 0; i < py.size(); ++i) lib.push_back(ds.GetWorldFixAbsc(j, long(i)));
            ExpectSame(lib, py, path + " abscissa " + std::to_string(j));
            long long expect = j == 1 || matrix ? a.GetNbrOfScans() : std::min<long long>(ds.GetNbrOfScansInFile(), n0);
            EXPECT_EQ(std::size_t(expect), py.size()) << path << " abscissa " << j;
        }
        for (int j = 0; j < ds.GetNbrOfSubChannels(); ++j) {
            CSubChannel s = ds.GetSubChannel(j);
            SRead raw = LibraryRead(ds, s.GetParentChannelID(), mk__raw);
            std::vector<double> lib;
            for (double v : raw.values) lib.push_back((static_cast<unsigned>(v) & s.GetBitmask()) ? 1.0 : 0.0);
            ExpectSame(lib, ReadDoubles(path + ".pulse" + std::to_string(j)), path + " pulses " + std::to_string(j));
        }
    }

    ScratchDir dir;
};

TEST_F(PythonReader, EveryImplementationTypeWithLinearMappingsAndPulses)
{
    const int types[] = {it__int8, it__pulse, it__int16, it__uint16, it__int24, it__uint24, it__int32,
                         it__uint32, it__float, it__double, it__cint16, it__cint32, it__cfloat, it__cdouble};
    std::string path = dir / "types.trx";
    const long n = 33;
    {
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
                raw.push_back(std::round((lo + 2.0 * double((i * 7919 + t * 104729) % 1000) / 1000.0) * span));
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
    RunReader({path});
    Compare(path);
}

TEST_F(PythonReader, PointFormMappingsOnRealAndComplexChannels)
{
    std::string path = dir / "points.trx";
    const long n = 24;
    {
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
                double re = double((i * 37 + c * 11) % 41) - 20.0;   // negatives and zeros included
                if (c == 1) re = re * 3.0 + 0.5;
                v.push_back(re);
                if (complex) v.push_back(double((i * 13 + c) % 29) - 14.0);
            }
            ASSERT_EQ(n, w->SetData(n, v.data(), 1, complex ? it__cdouble : it__double));
        }
    }
    RunReader({path});
    Compare(path);
}

TEST_F(PythonReader, StoredAbscissasBandsLogarithmicAndMatrix)
{
    std::string point = dir / "org4.trx", band = dir / "band.trx", logf = dir / "log.trx", matrix = dir / "matrix.trx";
    {
        CAbscissa x("x", "x", CQuantity("time"), CUnit("s", 1), it__int16, 30, ac__world);
        x.SetMapping(CMapping(map__dct{1, 1, 2.0, 0.25}));
        CChannelList cl;
        cl.push_back(Channel("a", it__int24, 1e-6, 0.5));
        cl.push_back(Channel("b", it__cfloat));
        CDataset ds(point.c_str(), Abscissas(x), cl, dk__unknown, ds__dorg_with_abscissa, 0, 0, 0);
        std::vector<double> rows;
        for (int i = 0; i < 30; ++i) rows.insert(rows.end(), {2.0 + 0.25 * i * i, std::sin(i) * 1e5, i * 1.5});
        ASSERT_EQ(30, ds.SetData(30, rows.data(), ds__dorg_with_abscissa, it__double));
    }
    {
        CAbscissa x("Frequency", "f", CQuantity("frequency"), CUnit("Hz", 1), it__uint24, 8, ac__band);
        CChannelList cl;
        cl.push_back(Channel("L", it__float));
        CDataset ds(band.c_str(), Abscissas(x), cl, dk__spectrum, ds__dorg_with_abscissa, 0, 0, 0);
        CAccess* w = ds.CreateAccess(am__readwrite, All(1));
        w->SetAbscissaCoord(ac__band);
        std::vector<double> rows;
        for (int i = 0; i < 8; ++i) {
            double c = 32.0 * std::pow(2.0, i);
            rows.insert(rows.end(), {std::round(c / std::sqrt(2.0)), c, std::round(c * std::sqrt(2.0)), 60.0 + i});
        }
        ASSERT_EQ(8, w->SetData(8, rows.data(), ds__dorg_with_abscissa, it__double));
    }
    {
        CAbscissa f("Frequency", "f", CQuantity("frequency"), CUnit("Hz", 1), 20.0, std::pow(2.0, 1.0 / 3), 31,
                    df__logarithmic);
        CChannelList cl;
        cl.push_back(Channel("third octaves", it__double));
        CDataset ds(logf.c_str(), Abscissas(f), cl, dk__spectrum, 1, 0, 0, 0);
        std::vector<double> v;
        for (int i = 0; i < 31; ++i) v.push_back(40.0 + i);
        ASSERT_EQ(31, ds.SetData(31, v.data(), 1, it__double));
    }
    {
        CAbscissaList al;
        al.push_back(CAbscissa("Frequency", "f", CQuantity("frequency"), CUnit("Hz", 1), 0.0, 12.5, 16, df__linear));
        al.push_back(TimeAbscissa(5, 0.5));
        CChannelList cl;
        cl.push_back(Channel("spectra", it__cfloat, 2.0));
        cl.push_back(Channel("levels", it__int16, 0.01));
        CDataset ds(matrix.c_str(), al, cl, dk__spectrum, 1, 0, 0, 0);
        std::vector<double> v;
        for (int i = 0; i < 80; ++i) v.insert(v.end(), {double(i), double(-i), double(i % 7), 0.0});
        ASSERT_EQ(80, ds.SetData(80, v.data(), 1, it__cdouble));
    }
    RunReader({point, band, logf, matrix});
    Compare(point);
    Compare(band);
    Compare(logf);
    Compare(matrix);
}

TEST_F(PythonReader, MixedRatesEmptyAndShortFiles)
{
    std::string mixed = dir / "mixed.trx", empty = dir / "empty.trx", shortFile = dir / "short.trx";
    {
        CChannelList cl;
        cl.push_back(Channel("fast", it__int16, 0.01));
        cl.push_back(Channel("slow", it__float));
        cl.push_back(Channel("fast24", it__int24));
        cl.push_back(Channel("absent", it__int8));
        CDataset ds(mixed.c_str(), Abscissas(TimeAbscissa(25, 0.004)), cl, dk__time, 1, 0, 0, 0);
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
    {
        CChannelList cl;
        cl.push_back(Channel("a", it__cint32, 3.0));
        CDataset ds(empty.c_str(), Abscissas(TimeAbscissa(0)), cl, dk__time, 1, 0, 0, 0);
    }
    {
        CChannelList cl;
        cl.push_back(Channel("a", it__int24, 0.5));
        cl.push_back(Channel("b", it__double));
        CDataset ds(shortFile.c_str(), Abscissas(TimeAbscissa(50)), cl, dk__time, 1, 0, 0, 0);
        std::vector<double> v(100);
        for (std::size_t i = 0; i < v.size(); ++i) v[i] = double(i) - 40.0;
        ASSERT_EQ(50, ds.SetData(50, v.data(), 1, it__double));
    }
    // Cut in the middle of scan 20: the reader takes the 20 whole scans.
    struct stat st {};
    ASSERT_EQ(0, ::stat(shortFile.c_str(), &st));
    ASSERT_EQ(0, ::truncate(shortFile.c_str(), st.st_size - 29 * 11 - 5));
    RunReader({mixed, empty, shortFile});
    Compare(mixed);
    Compare(empty);
    Compare(shortFile, false);
    EXPECT_EQ(100u, ReadDoubles(mixed + ".ch0").size());
    EXPECT_EQ(25u, ReadDoubles(mixed + ".ch1").size());
    EXPECT_EQ(0u, ReadDoubles(mixed + ".ch3").size());
    EXPECT_EQ(20u, ReadDoubles(shortFile + ".ch0").size());
}
