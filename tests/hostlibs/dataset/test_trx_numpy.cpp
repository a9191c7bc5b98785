// An independent reader: Debian's python3 with NumPy runs the recipe of
// docs/trx-format.md (and nothing else) on files of every implementation
// type, a stored abscissa (organisation 4, also bands) and a sampling
// pattern, and must get the values that GetData delivers.

#include "tests/common/PeerTools.h"
#include "tests/common/Python.h"
#include "TrxSampleFiles.h"

#include <cmath>
#include <cstdlib>

using namespace trxtest;

namespace {

std::string Recipe()
{
    const std::string doc = tessel::test::ReadFile(std::string(TESSEL_SOURCE_DIR) + "/docs/trx-format.md");
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
        if (!tessel::test::HavePython("numpy")) TESSEL_SKIP_OR_FAIL("no /usr/bin/python3 with numpy");
        std::string recipe = Recipe();
        ASSERT_FALSE(recipe.empty()) << "docs/trx-format.md has no NumPy recipe";
        tessel::test::WriteFile(dir / "trx_recipe.py", recipe);
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
        tessel::test::WriteFile(dir / "driver.py", driver);
    }

    void RunRecipe(const std::vector<std::string>& files)
    {
        std::vector<std::string> args{dir.Path().string()};
        args.insert(args.end(), files.begin(), files.end());
        std::string out;
        ASSERT_EQ(0, tessel::test::RunPython(dir / "driver.py", args, &out)) << out;
    }

    void Compare(const std::string& path)
    {
        CDataset ds(path.c_str(), om__read_complete, 0, 0);
        for (int c = 0; c < ds.GetNbrOfChannels(); ++c)
            if (ds.GetSamplesPerScan(c) == 0)   // not in the sampling pattern
                EXPECT_TRUE(ReadDoubles(path + ".ch" + std::to_string(c)).empty()) << path << " channel " << c;
            else
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
    MakeEveryType(dir / "types.trx");
    MakePointMappings(dir / "points.trx");
    RunRecipe({dir / "types.trx", dir / "points.trx"});
    Compare(dir / "types.trx");
    Compare(dir / "points.trx");
    // Values worked out by hand from the documented mappings: a complex
    // value keeps its direction, its magnitude goes through the mapping.
    // Scan 0 of "clog" stores (13, -11): 10^(-3 + |s|/1000) along s.
    std::vector<double> clog = ReadDoubles(dir / "points.trx.ch3");
    ASSERT_GE(clog.size(), 2u);
    EXPECT_NEAR(0.0007939145105694894, clog[0], 1e-15);
    EXPECT_NEAR(-0.0006717738166357219, clog[1], 1e-15);
    // Scan 0 of "clogy" stores (-6, -9): 20 log10 |s| along s.
    std::vector<double> clogy = ReadDoubles(dir / "points.trx.ch5");
    ASSERT_GE(clogy.size(), 2u);
    EXPECT_NEAR(-11.472231033408406, clogy[0], 1e-12);
    EXPECT_NEAR(-17.208346550112605, clogy[1], 1e-12);
}

TEST_F(TrxNumpy, StoredAbscissasBandsAndAPatternAndNoScans)
{
    const std::string point = dir / "org4.trx", band = dir / "band.trx", mixed = dir / "mixed.trx",
                      empty = dir / "empty.trx";
    MakeStoredAbscissa(point);
    MakeBands(band);
    MakeMixedRate(mixed);
    MakeEmpty(empty);
    RunRecipe({point, band, mixed, empty});
    for (const std::string& f : {point, band, mixed, empty})
        Compare(f);
    EXPECT_EQ(100u, ReadDoubles(mixed + ".ch0").size());
    EXPECT_EQ(25u, ReadDoubles(mixed + ".ch1").size());
}
