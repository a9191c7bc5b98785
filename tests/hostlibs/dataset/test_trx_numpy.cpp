// An independent reader: Debian's python3 with NumPy runs the recipe of
// docs/trx-format.md (and nothing else) on files of every implementation
// type, a stored abscissa (organisation 4, also bands) and a sampling
// pattern, and must get the values that GetData delivers.

#include "tests/common/PeerTools.h"
#include "TrxTestSupport.h"

#include <cmath>
#include <cstdlib>

using namespace trxtest;

namespace {

const char* kPython = "/usr/bin/python3";

std::string Recipe()
{
    std::ifstream f(std::string(TESSEL_SOURCE_DIR) + "/docs/trx-format.md");
    std::string doc((std::istreambuf_iterator<char>(f)), {});
    std::size_t section = doc.find("## Reading a TRX file with NumPy");
    if (section == std::string::npos) return "";
    std::size_t begin = doc.find("```python\n", section);
    if (begin == std::string::npos) return "";
    begin += 10;
    std::size_t end = doc.find("```", begin);
    return end == std::string::npos ? "" : doc.substr(begin, end - begin);
}

std::vector<double> ReadDoubles(const std::string& path)
{
    std::vector<unsigned char> b = ReadFile(path);
    std::vector<double> v(b.size() / 8);
    if (!v.empty()) std::memcpy(v.data(), b.data(), v.size() * 8);
    return v;
}

// Every value a channel delivers through an access, as doubles (complex: re, im).
std::vector<double> LibraryValues(CDataset& ds, int channel)
{
    bool complex = ds.GetChannel(channel).IsComplex();
    CAccess* a = ds.CreateAccess(am__read, CChNbrList{channel});
    EXPECT_TRUE(a);
    if (!a) return {};
    std::vector<double> out(std::size_t(a->GetNbrOfScans()) * (complex ? 2 : 1));
    long n = out.empty() ? 0 : a->GetData(a->GetNbrOfScans(), out.data(), 1, complex ? it__cdouble : it__double);
    EXPECT_EQ(a->GetNbrOfScans(), n);
    ds.DeleteAccess(a);
    return out;
}

void ExpectSame(const std::vector<double>& lib, const std::vector<double>& py, const std::string& what)
{
    ASSERT_EQ(lib.size(), py.size()) << what;
    for (std::size_t i = 0; i < lib.size(); ++i) {
        if (lib[i] == py[i] || (std::isnan(lib[i]) && std::isnan(py[i]))) continue;
        ASSERT_NEAR(lib[i], py[i], 1e-12 * std::max(1.0, std::fabs(lib[i]))) << what << " value " << i;
    }
}

} // namespace

class TrxNumpy : public ::testing::Test {
protected:
    void SetUp() override
    {
        // One look for the tool per run: starting python is the slow part.
        static const bool haveNumpy =
            ::access(kPython, X_OK) == 0 &&
            std::system((std::string(kPython) + " -c 'import numpy' 2>/dev/null").c_str()) == 0;
        if (!haveNumpy) TESSEL_SKIP_OR_FAIL("no " << kPython << " with numpy");
        std::string recipe = Recipe();
        ASSERT_FALSE(recipe.empty()) << "docs/trx-format.md has no NumPy recipe";
        WriteFile(dir / "trx_recipe.py", std::vector<unsigned char>(recipe.begin(), recipe.end()));
        std::string driver =
            "import sys\n"
            "import numpy as np\n"
            "sys.path.insert(0, sys.argv[1])\n"
            "from trx_recipe import read_trx\n"
            "for path in sys.argv[2:]:\n"
            "    desc, abscissa, channels = read_trx(path)\n"
            "    if abscissa is not None:\n"
            "        abscissa.astype('<f8').tofile(path + '.abs')\n"
            "    for k, values in enumerate(channels):\n"
            "        if np.iscomplexobj(values):\n"
            "            values = np.stack([values.real, values.imag], axis=1).reshape(-1)\n"
            "        np.asarray(values, dtype='<f8').tofile(path + '.ch%d' % k)\n";
        WriteFile(dir / "driver.py", std::vector<unsigned char>(driver.begin(), driver.end()));
    }

    void RunRecipe(const std::vector<std::string>& files)
    {
        std::string cmd = std::string(kPython) + " " + dir / "driver.py" + " " + dir.Path().string();
        for (const auto& f : files) cmd += " " + f;
        ASSERT_EQ(0, std::system(cmd.c_str())) << cmd;
    }

    void Compare(const std::string& path)
    {
        CDataset ds(path.c_str(), om__read_complete, 0, 0);
        for (int c = 0; c < ds.GetNbrOfChannels(); ++c)
            ExpectSame(LibraryValues(ds, c), ReadDoubles(path + ".ch" + std::to_string(c)),
                       path + " channel " + std::to_string(c) + " type " + std::to_string(ds.GetChannel(c).GetImplType()));
        CAbscissa a = ds.GetAbscissa(0);
        if (!a.IsCalc()) {
            CAccess* acc = ds.CreateAccess(am__read, CChNbrList{});
            int per = a.GetValuesPerScan();
            acc->SetAbscissaCoord(per == 3 ? ac__band : ac__world);
            std::vector<double> v(std::size_t(acc->GetNbrOfScans() * per));
            ASSERT_EQ(acc->GetNbrOfScans(), acc->GetData(acc->GetNbrOfScans(), v.data(), ds__dorg_with_abscissa, it__double));
            ExpectSame(v, ReadDoubles(path + ".abs"), path + " abscissa");
        }
    }

    ScratchDir dir;
};

TEST_F(TrxNumpy, EveryImplementationTypeWithItsMapping)
{
    const int types[] = {it__int8, it__pulse, it__int16, it__uint16, it__int24, it__uint24, it__int32,
                         it__uint32, it__float, it__double, it__cint16, it__cint32, it__cfloat, it__cdouble};
    std::string path = dir / "types.trx";
    {
        CChannelList cl;
        for (int t : types) {
            bool mapped = CImplType::IsInteger(t);
            cl.push_back(Channel(CImplType::GetName(t).c_str(), t, mapped ? 0.001 * t : 1.0, mapped ? -0.5 * t : 0.0));
        }
        const long n = 40;
        CDataset ds(path.c_str(), Abscissas(TimeAbscissa(n, 1.0 / 48000)), cl, dk__time, 1, 0, 0, 0);
        CAccess* w = ds.CreateAccess(am__readwrite, All(int(cl.size())), 0, 0L, n, mk__raw);
        std::vector<double> scans;
        for (long i = 0; i < n; ++i)
            for (int t : types) {
                double lo = t == it__pulse || t == it__uint16 || t == it__uint24 || t == it__uint32 ? 0 : -1;
                double span = t == it__int8 || t == it__pulse ? 100 : (t == it__int16 || t == it__uint16 || t == it__cint16 ? 30000 : 8e6);
                double v = (lo + 2.0 * double((i * 7919 + t * 104729) % 1000) / 1000.0) * span;
                if (t == it__float || t == it__double || t == it__cfloat || t == it__cdouble) v = v / 3.0 + 0.125;
                scans.push_back(v);
            }
        // Complex channels get an imaginary part through a second, complex write.
        ASSERT_EQ(n, w->SetData(n, scans.data(), 1, it__double));
        for (int c = 10; c < 14; ++c) {
            CAccess* wc = ds.CreateAccess(am__readwrite, CChNbrList{c}, 0, 0L, n, mk__raw);
            std::vector<double> pairs;
            for (long i = 0; i < n; ++i) {
                pairs.push_back(double(i * 3 - 50));
                pairs.push_back(double(100 - i * 5));
            }
            ASSERT_EQ(n, wc->SetData(n, pairs.data(), 1, it__cdouble));
        }
    }
    RunRecipe({path});
    Compare(path);
}

TEST_F(TrxNumpy, StoredAbscissasOfOrganisationFour)
{
    std::string point = dir / "org4.trx", band = dir / "band.trx";
    {
        CAbscissa x("x", "x", CQuantity("time"), CUnit("s", 1), it__int16, 30, ac__world);
        x.SetMapping(CMapping(map__dct{1, 1, 2.0, 0.25}));
        CChannelList cl;
        cl.push_back(Channel("a", it__int24, 1e-6, 0.5));
        cl.push_back(Channel("b", it__float));
        CDataset ds(point.c_str(), Abscissas(x), cl, dk__unknown, ds__dorg_with_abscissa, 0, 0, 0);
        std::vector<float> rows;
        for (int i = 0; i < 30; ++i) {
            rows.push_back(2.0f + 0.25f * float(i * i));
            rows.push_back(float(std::sin(i)));
            rows.push_back(float(i) * 1.5f);
        }
        ASSERT_EQ(30, ds.SetData(30, rows.data(), ds__dorg_with_abscissa, it__float));
    }
    {
        CAbscissa x("Frequency", "f", CQuantity("frequency"), CUnit("Hz", 1), it__double, 8, ac__band);
        CChannelList cl;
        cl.push_back(Channel("L", it__float));
        CDataset ds(band.c_str(), Abscissas(x), cl, dk__spectrum, ds__dorg_with_abscissa, 0, 0, 0);
        CAccess* w = ds.CreateAccess(am__readwrite, All(1));
        w->SetAbscissaCoord(ac__band);
        std::vector<double> rows;
        for (int i = 0; i < 8; ++i) {
            double c = 31.5 * std::pow(2.0, i);
            rows.insert(rows.end(), {c / std::sqrt(2.0), c, c * std::sqrt(2.0), 60.0 + i});
        }
        ASSERT_EQ(8, w->SetData(8, rows.data(), ds__dorg_with_abscissa, it__double));
    }
    RunRecipe({point, band});
    Compare(point);
    Compare(band);
}

TEST_F(TrxNumpy, MixedRatePattern)
{
    std::string path = dir / "mixed.trx";
    {
        CChannelList cl;
        cl.push_back(Channel("fast", it__int16, 0.01));
        cl.push_back(Channel("slow", it__float));
        cl.push_back(Channel("fast24", it__int24));
        CDataset ds(path.c_str(), Abscissas(TimeAbscissa(25, 0.004)), cl, dk__time, 1, 0, 0, 0);
        ASSERT_TRUE(ds.SpecifySamplingParameter(sm__pattern, CChNbrList{0, 2, 1, 0, 2, 0, 2, 0, 2}));
        CAccess* fast = ds.CreateAccess(am__readwrite, CChNbrList{0, 2}, 0, 0L, -1L, mk__raw);
        std::vector<double> f;
        for (int i = 0; i < 100; ++i) {
            f.push_back(double(i * 37 % 200 - 100));
            f.push_back(double(-i * 1001));
        }
        ASSERT_EQ(100, fast->SetData(100, f.data(), 1, it__double));
        CAccess* slow = ds.CreateAccess(am__readwrite, CChNbrList{1}, 0, 0L, -1L, mk__raw);
        std::vector<double> s;
        for (int i = 0; i < 25; ++i) s.push_back(i * 0.5 - 3);
        ASSERT_EQ(25, slow->SetData(25, s.data(), 1, it__double));
    }
    RunRecipe({path});
    Compare(path);
    EXPECT_EQ(100u, ReadDoubles(path + ".ch0").size());
    EXPECT_EQ(25u, ReadDoubles(path + ".ch1").size());
}

TEST_F(TrxNumpy, NoScansAndComplexValuesUnderNonLinearMappings)
{
    std::string empty = dir / "empty.trx", curved = dir / "curved.trx";
    {
        CChannelList cl;
        cl.push_back(Channel("a", it__cint16, 2.0));
        cl.push_back(Channel("b", it__int24));
        CDataset ds(empty.c_str(), Abscissas(TimeAbscissa(0)), cl, dk__time, 1, 0, 0, 0);
    }
    {
        CChannelList cl;
        cl.push_back(Channel("complex, log x", it__cint16));
        cl.back().SetMapping(CMapping(1e-3, 1.0, tt__log10, 0.0, 3000.0, tt__linear));
        cl.push_back(Channel("complex, log y", it__cdouble));
        cl.back().SetMapping(CMapping(0.0, 20.0, tt__linear, 1.0, 10.0, tt__log10));
        cl.push_back(Channel("real, log y", it__float));
        cl.back().SetMapping(CMapping(0.0, 60.0, tt__linear, 1.0, 1000.0, tt__log10));
        CDataset ds(curved.c_str(), Abscissas(TimeAbscissa(20)), cl, dk__spectrum, 1, 0, 0, 0);
        std::vector<double> v;
        for (int i = 0; i < 20; ++i) v.insert(v.end(), {double(i % 5) - 2, double(i % 3) - 1, double(i % 4) - 1.5,
                                                        double(i % 7) - 3, double(i) - 4, 0.0});
        CAccess* w = ds.CreateAccess(am__readwrite, All(3), 0, 0L, 20, mk__raw);
        ASSERT_EQ(20, w->SetData(20, v.data(), 1, it__cdouble));
    }
    RunRecipe({empty, curved});
    Compare(empty);
    Compare(curved);
    // Independent values: magnitude through the mapping, phase kept.
    // Scan 1 of channel 0 stores (-1, 0): magnitude 1 maps to 10^(-3 + 1/1000).
    std::vector<double> c0 = ReadDoubles(curved + ".ch0");
    EXPECT_NEAR(-std::pow(10.0, -2.999), c0[2], 1e-15);
    EXPECT_NEAR(0.0, c0[3], 1e-15);
    // Scan 2 of channel 1 stores (0.5, -1): 20·log10(|s|) = 10·log10(1.25) along the direction of s.
    std::vector<double> c1 = ReadDoubles(curved + ".ch1");
    double mag = 10.0 * std::log10(1.25);
    EXPECT_NEAR(mag * 0.5 / std::sqrt(1.25), c1[4], 1e-12);
    EXPECT_NEAR(mag * -1.0 / std::sqrt(1.25), c1[5], 1e-12);
}
