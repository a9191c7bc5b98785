// Independent checks: tables that numpy.savetxt and pandas.to_csv wrote are
// imported to the values numpy and pandas read from them; tables the export
// wrote are read back by numpy.loadtxt and pandas.read_csv to the data set's
// values within the printed precision.

#include "tests/common/PeerTools.h"
#include "tests/common/Python.h"
#include "AsciiTestUtil.h"

#include <cmath>
#include <cstring>
#include <random>

using namespace ascii_test;

namespace {

// Writes the tables and, for each, the values its own reader gets from it
// (rows × columns, float64) as <name>.f64.
const char* g_writeTables = R"(
import sys, numpy as np, pandas as pd
out = sys.argv[1]
rng = np.random.default_rng(3)
n = 500
t = 0.25 + np.arange(n) / 2048.0
data = np.column_stack([t, rng.normal(size=n), 1000 * rng.normal(size=n), rng.uniform(-1e-3, 1e-3, size=n)])
def save(name, ref):
    np.asarray(ref, dtype='<f8').tofile(out + '/' + name + '.f64')
np.savetxt(out + '/savetxt_blank.txt', data, fmt='%.6e', header='time a b c')
save('savetxt_blank', np.loadtxt(out + '/savetxt_blank.txt'))
df = pd.DataFrame(data, columns=['time', 'a', 'b', 'c'])
df.to_csv(out + '/pandas_tab.txt', sep='\t', index=False)
save('pandas_tab', pd.read_csv(out + '/pandas_tab.txt', sep='\t').to_numpy())
df.to_csv(out + '/pandas_blank.txt', sep=' ', index=False, header=False, lineterminator='\r\n')
save('pandas_blank', pd.read_csv(out + '/pandas_blank.txt', sep=' ', header=None).to_numpy())
f = np.logspace(1, 4, 200)
logt = np.column_stack([f, rng.normal(size=200), rng.normal(size=200), rng.normal(size=200)])
np.savetxt(out + '/savetxt_log.txt', logt, fmt='%.9e')
save('savetxt_log', np.loadtxt(out + '/savetxt_log.txt'))
)";

// argv: expected .f64, columns, then one "table|reader|separator|tolerance|header lines" per table
const char* g_checkTables = R"(
import sys, numpy as np, pandas as pd
ref, cols = sys.argv[1], int(sys.argv[2])
expected = np.fromfile(ref, dtype='<f8').reshape(-1, cols)
bad = 0
for case in sys.argv[3:]:
    table, reader, sep, tol, skip = case.split('|')
    tol, skip = float(tol), int(skip)
    if reader == 'loadtxt':
        got = np.loadtxt(table, skiprows=skip)
    elif reader == 'pandas':
        got = pd.read_csv(table, sep='\t' if sep == 'tab' else r'\s+', header=None, skiprows=skip)
        got = got.dropna(axis=1, how='all').to_numpy()
    else:
        got = pd.read_csv(table, sep='\t', decimal=',', header=None, skiprows=skip)
        got = got.dropna(axis=1, how='all').to_numpy()
    got = np.asarray(got, dtype=float)
    if got.shape != expected.shape:
        print(table, reader, 'BAD shape', got.shape, expected.shape); bad = 1; continue
    rel = np.max(np.abs(got - expected) / np.maximum(np.abs(expected), 1e-300))
    print(table, reader, 'maxrel', rel, 'tolerance', tol)
    if not rel <= tol: bad = 1
sys.exit(bad)
)";

std::vector<double> ReadF64(const std::string& path)
{
    std::string bytes = ReadFile(path);
    std::vector<double> v(bytes.size() / 8);
    std::memcpy(v.data(), bytes.data(), v.size() * 8);
    return v;
}

class AsciiIndependent : public CAsciiTest {
protected:
    void SetUp() override
    {
        if (!tessel::test::HavePython("numpy, pandas")) TESSEL_SKIP_OR_FAIL("no numpy/pandas for /usr/bin/python3");
        CAsciiTest::SetUp();
    }
};

} // namespace

TEST_F(AsciiIndependent, TablesOfNumpyAndPandasImport)
{
    std::string out;
    ASSERT_EQ(tessel::test::RunPythonText(g_writeTables, {dir.Path()}, &out), 0) << out;
    struct SCase {
        const char* name;
        bool equidistant;
        const char* header;
    };
    for (SCase c : {SCase{"savetxt_blank", true, "# time a b c\r\n"}, SCase{"pandas_tab", true, "time\ta\tb\tc\r\n"},
                    SCase{"pandas_blank", true, ""},
                    SCase{"savetxt_log", false, ""}}) {
        SCOPED_TRACE(c.name);
        const std::string base = dir / c.name;
        int yes = 1;
        CTSInterface::SMessage msg = RunImport(base + ".txt", (base + ".trx").c_str(), &yes);
        ASSERT_EQ(msg.uState, 1u) << msg.sText.c_str();
        std::vector<double> ref = ReadF64(base + ".f64");
        const std::size_t rows = ref.size() / 4;
        CDataset ds((base + ".trx").c_str(), om__read_complete, 32768L, sh__deny_write);
        ASSERT_EQ(ds.GetNbrOfChannels(), 3);
        CAbscissa a = ds.GetAbscissa(0);
        ASSERT_EQ(a.IsCalc(), c.equidistant);
        EXPECT_EQ(ds.GetComment().Find(*c.header ? c.header : "ASCII source file: "), 0);
        EXPECT_EQ(ds.GetKind(), int(c.equidistant ? dk__time : dk__unknown));
        if (c.equidistant) {
            EXPECT_NEAR(a.GetDeltaValue(), 1.0 / 2048, 1e-12);
            EXPECT_NEAR(a.GetFirstValue(), 0.25, 1e-6);
        }
        std::vector<double> v = ReadValues(ds, !c.equidistant);
        const std::size_t stride = c.equidistant ? 3 : 4;
        ASSERT_EQ(v.size(), rows * stride);
        for (std::size_t r = 0; r < rows; ++r) {
            for (std::size_t k = 0; k < stride; ++k) {
                const double want = ref[r * 4 + (4 - stride) + k];
                // Stored as 32-bit floats.
                ASSERT_NEAR(v[r * stride + k], want, std::fabs(want) * 6e-8) << "row " << r << " column " << k;
            }
        }
    }
}

TEST_F(AsciiIndependent, ExportedTablesReadBackByNumpyAndPandas)
{
    std::mt19937 g(9);
    std::normal_distribution<double> nd;
    std::vector<SChannelSpec> chans(3);
    const long scans = 700;
    for (int c = 0; c < 3; ++c) {
        chans[std::size_t(c)].name = "ch" + std::to_string(c);
        for (long i = 0; i < scans; ++i) chans[std::size_t(c)].values.push_back(nd(g) * std::pow(10.0, 3 * c - 3));
    }
    chans[2].type = it__double;
    MakeTrx(dir / "x.trx", chans, 1.0, 1.0 / 48000);
    // The expected table: the abscissa and the data set's physical values.
    std::vector<double> expected;
    {
        CDataset ds((dir / "x.trx").c_str(), om__read_complete, 32768L, sh__deny_write);
        std::vector<double> v = ReadValues(ds);
        for (long i = 0; i < scans; ++i) {
            expected.push_back(ds.GetWorldFixAbsc(0, i));
            for (int c = 0; c < 3; ++c) expected.push_back(v[std::size_t(i * 3 + c)]);
        }
    }
    WriteFile(dir / "x.f64", std::string(reinterpret_cast<const char*>(expected.data()), expected.size() * 8));

    struct SCase {
        SExportOptions o; // notation, digits, tab, comma, complex, dB, header
        const char* reader;
        const char* tolerance; // half a unit of the last printed digit, relative
    };
    const SCase cases[] = {
        {{2, 6, 1}, "pandas", "5.0001e-7"},
        {{0, 8, 0, 0, 0, 0, "exported by tessel"}, "loadtxt", "5.0001e-8"},
        {{2, 9, 1, 1}, "pandas-comma", "5.0001e-10"},
    };
    std::vector<std::string> args = {dir / "x.f64", "4"};
    int serial = 0;
    for (const SCase& c : cases) {
        const std::string table = dir / ("x" + std::to_string(++serial) + ".asc");
        CTSInterface::SMessage msg = RunExport(dir / "x.trx", table.c_str(), c.o);
        ASSERT_EQ(msg.uState, 3u) << msg.sText.c_str();
        args.push_back(table + "|" + c.reader + "|" + (c.o.tab ? "tab" : "blank") + "|" + c.tolerance + "|" +
                       (c.o.header ? "2" : "0"));
    }
    std::string out;
    EXPECT_EQ(tessel::test::RunPythonText(g_checkTables, args, &out), 0) << out;
}
