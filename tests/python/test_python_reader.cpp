// Both NumPy readers must find in the files the library writes what the
// library itself delivers. python/tessel_trx.py: physical values, abscissa
// values of every sample, stored samples through memmap, pulses of
// sub-channels, in every kind of file. The recipe of docs/trx-format.md (run
// on its own, nothing else reading the files): channel values and stored
// abscissa values of the files of format 1.1 it is written for.

#include "tests/common/PeerTools.h"
#include "tests/common/Python.h"
#include "tests/hostlibs/dataset/TrxSampleFiles.h"

#include <cmath>

using namespace trxtest;

namespace {

std::vector<double> ReadDoubles(const std::string& path)
{
    std::vector<unsigned char> b = ReadFile(path);
    std::vector<double> v(b.size() / 8);
    if (!v.empty()) std::memcpy(v.data(), b.data(), v.size() * 8);
    return v;
}

void ExpectSame(const std::vector<double>& lib, const std::vector<double>& py, const std::string& what,
                double rel = 1e-9)
{
    ASSERT_EQ(lib.size(), py.size()) << what;
    for (std::size_t i = 0; i < lib.size(); ++i) {
        if (lib[i] == py[i]) continue;   // also the infinities of a logarithmic mapping at 0
        if (std::isnan(lib[i])) {
            EXPECT_TRUE(std::isnan(py[i])) << what << " value " << i;
            continue;
        }
        ASSERT_NEAR(lib[i], py[i], rel * std::max(1.0, std::fabs(lib[i]))) << what << " value " << i;
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
        if (!tessel::test::HavePython("numpy")) TESSEL_SKIP_OR_FAIL("no /usr/bin/python3 with numpy");
    }

    // The reader of python/ on `files`, the recipe on `recipeFiles`.
    void RunReader(const std::vector<std::string>& files, const std::vector<std::string>& recipeFiles = {})
    {
        Dump("dump_with_reader.py", TESSEL_SOURCE_DIR "/python", files);
        if (!recipeFiles.empty()) Dump("dump_with_recipe.py", TESSEL_SOURCE_DIR "/docs/trx-format.md", recipeFiles);
    }
    static void Dump(const char* script, const std::string& first, const std::vector<std::string>& files)
    {
        std::vector<std::string> args{first};
        args.insert(args.end(), files.begin(), files.end());
        std::string out;
        ASSERT_EQ(0, tessel::test::RunPython(TESSEL_SOURCE_DIR "/tests/python/" + std::string(script), args, &out)) << out;
    }

    // What the recipe dumped for `path` against the library, to 1e-12.
    void CompareRecipe(const std::string& path)
    {
        CDataset ds(path.c_str(), om__read_complete, 0, 0);
        for (int c = 0; c < ds.GetNbrOfChannels(); ++c) {
            const std::vector<double> py = ReadDoubles(path + ".rch" + std::to_string(c));
            const std::string what = path + " channel " + std::to_string(c) + " by the recipe";
            if (ds.GetSamplesPerScan(c) == 0)   // not in the sampling pattern
                EXPECT_TRUE(py.empty()) << what;
            else
                ExpectSame(LibraryRead(ds, c, mk__physical).values, py, what, 1e-12);
        }
        const CAbscissa a = ds.GetAbscissa(0);
        if (a.IsCalc()) return;
        CAccess* acc = ds.CreateAccess(am__read, CChNbrList{});
        const int per = a.GetValuesPerScan();
        acc->SetAbscissaCoord(per == 3 ? ac__band : ac__world);
        std::vector<double> v(std::size_t(acc->GetNbrOfScans() * per));
        ASSERT_EQ(acc->GetNbrOfScans(), acc->GetData(acc->GetNbrOfScans(), v.data(), ds__dorg_with_abscissa, it__double));
        ExpectSame(v, ReadDoubles(path + ".rabs"), path + " abscissa by the recipe", 1e-12);
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
    MakeEveryType(dir / "types.trx");
    RunReader({dir / "types.trx"}, {dir / "types.trx"});
    Compare(dir / "types.trx");
    CompareRecipe(dir / "types.trx");
}

TEST_F(PythonReader, PointFormMappingsOnRealAndComplexChannels)
{
    MakePointMappings(dir / "points.trx");
    RunReader({dir / "points.trx"}, {dir / "points.trx"});
    Compare(dir / "points.trx");
    CompareRecipe(dir / "points.trx");
    // Values worked out by hand from the documented mappings: a complex
    // value keeps its direction, its magnitude goes through the mapping.
    // Scan 0 of "clog" stores (13, -11): 10^(-3 + |s|/1000) along s.
    const std::vector<double> clog = ReadDoubles(dir / "points.trx.rch3");
    ASSERT_GE(clog.size(), 2u);
    EXPECT_NEAR(0.0007939145105694894, clog[0], 1e-15);
    EXPECT_NEAR(-0.0006717738166357219, clog[1], 1e-15);
    // Scan 0 of "clogy" stores (-6, -9): 20 log10 |s| along s.
    const std::vector<double> clogy = ReadDoubles(dir / "points.trx.rch5");
    ASSERT_GE(clogy.size(), 2u);
    EXPECT_NEAR(-11.472231033408406, clogy[0], 1e-12);
    EXPECT_NEAR(-17.208346550112605, clogy[1], 1e-12);
}

TEST_F(PythonReader, StoredAbscissasBandsLogarithmicAndMatrix)
{
    const std::string point = dir / "org4.trx", band = dir / "band.trx", logf = dir / "log.trx",
                      matrix = dir / "matrix.trx";
    MakeStoredAbscissa(point);
    MakeBands(band);
    MakeLogAbscissa(logf);
    MakeMatrix(matrix);
    RunReader({point, band, logf, matrix}, {point, band});
    for (const std::string& f : {point, band, logf, matrix})
        Compare(f);
    CompareRecipe(point);
    CompareRecipe(band);
}

TEST_F(PythonReader, MixedRatesEmptyAndShortFiles)
{
    const std::string mixed = dir / "mixed.trx", empty = dir / "empty.trx", shortFile = dir / "short.trx";
    MakeMixedRate(mixed);
    MakeEmpty(empty);
    MakeCutShort(shortFile);
    RunReader({mixed, empty, shortFile}, {mixed, empty});
    Compare(mixed);
    Compare(empty);
    Compare(shortFile, false);
    CompareRecipe(mixed);
    CompareRecipe(empty);
    EXPECT_EQ(25u, ReadDoubles(mixed + ".rch1").size());
    EXPECT_EQ(100u, ReadDoubles(mixed + ".ch0").size());
    EXPECT_EQ(25u, ReadDoubles(mixed + ".ch1").size());
    EXPECT_EQ(0u, ReadDoubles(mixed + ".ch3").size());
    EXPECT_EQ(20u, ReadDoubles(shortFile + ".ch0").size()) << "the 20 whole scans";
}
