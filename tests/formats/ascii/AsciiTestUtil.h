#pragma once
// Helpers of the ASCII tests: data sets made and read, the jobs run to their
// end on this thread.

#include "formats/ascii/TS_ASCIIImport.h"
#include "formats/ascii/ThreadASCExport.h"
#include "frame/Module.h"
#include "frame/ThreadManager.h"
#include "hostlibs/dataset/Dataset.h"
#include "settings/TSSettings.h"
#include "tests/common/ModuleEnvironment.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace ascii_test {

using CScratchDir = CTempDir;
using tessel::test::ReadFile;
using tessel::test::WriteFile;

inline bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// Settings as after module load, with the channel type the test wants.
inline void ResetSettings(int implType = 10)
{
    CTSSettings::ResetToDefaults();
    CTSSettings::m_iChImplType = implType;
}

// Every test starts from the settings after module load (32-bit float
// channels), in a folder of its own.
class CAsciiTest : public ::testing::Test {
protected:
    void SetUp() override { ResetSettings(10); }
    void TearDown() override { CTSSettings::ResetToDefaults(); }
    CScratchDir dir;
};

// Every value of the channels of a data set (physical, scan by scan), read
// through one access as doubles; with a stored abscissa its values lead each
// scan when withAbscissa is set.
inline std::vector<double> ReadValues(CDataset& ds, bool withAbscissa = false, int mappingKind = mk__physical)
{
    CChNbrList all;
    all.AddGroup(0, ds.GetNbrOfChannels() - 1);
    CAccess* a = ds.CreateAccess(am__read, all, 0, 0L, -1L, mappingKind);
    EXPECT_NE(a, nullptr);
    std::vector<double> v;
    if (!a) return v;
    a->SetAbscissaCoord(ac__world);
    const int stride = all.GetCount() + (withAbscissa ? 1 : 0);
    std::vector<double> block(std::size_t(stride) * 4096);
    while (!a->Finished()) {
        long n = a->GetData(4096, block.data(), withAbscissa ? ds__dorg_with_abscissa : ds__dorg_interleaved,
                            it__double);
        if (n <= 0) {
            ADD_FAILURE() << "GetData: " << a->GetLastError().c_str();
            break;
        }
        v.insert(v.end(), block.begin(), block.begin() + n * stride);
    }
    ds.DeleteAccess(a);
    return v;
}


// One channel of a data set made for a test.
struct SChannelSpec {
    std::string name = "ch";
    std::string unit = "Pa";
    int type = it__float;
    std::vector<double> values; // complex: re, im pairs
    std::string title;
};

// A data set with one calculated abscissa, or two (values run fastest along
// abscissa 0) when n1 > 0, or a sampling pattern when given.
inline void MakeTrx(const std::string& path, const std::vector<SChannelSpec>& chans, double first, double delta,
                    int kind = dk__time, long n1 = 0, const CChNbrList* pattern = nullptr,
                    const char* abscUnit = "s", const char* abscQuantity = "time")
{
    const bool cplx0 = CImplType::IsComplex(chans.at(0).type);
    long values0 = long(chans[0].values.size() / (cplx0 ? 2 : 1));
    long scans = n1 > 0 ? values0 / n1 : values0;
    if (pattern) {
        // Scans of the pattern: channel 0's values over its occurrences per scan.
        int occ = 0;
        for (int c : *pattern) occ += c == 0;
        scans = values0 / occ;
    }
    CAbscissaList al;
    al.Add(CAbscissa(abscQuantity, "x", CQuantity(abscQuantity), CUnit(abscUnit, 1), first, delta, scans, df__linear));
    if (n1 > 0) al.Add(CAbscissa("distance", "d", CQuantity("distance"), CUnit("m", 1), 10.0, 0.5, n1, df__linear));
    CChannelList cl;
    for (std::size_t i = 0; i < chans.size(); ++i) {
        CChannel c(chans[i].name.c_str(), chans[i].name.c_str(), CUnit(chans[i].unit.c_str(), 1).GetDefaultQuantity(),
                   CUnit(chans[i].unit.c_str(), 1), chans[i].type, int(i));
        c.SetTitle(chans[i].title.c_str());
        cl.Add(c);
    }
    CDataset ds(path.c_str(), al, cl, kind, ds__dorg_interleaved, 0, 65536, sh__deny_write);
    if (pattern) ASSERT_TRUE(ds.SpecifySamplingParameter(sm__pattern, *pattern));
    for (std::size_t i = 0; i < chans.size(); ++i) {
        const bool cplx = CImplType::IsComplex(chans[i].type);
        CAccess* a = ds.CreateAccess(am__readwrite, int(i), 0, 0L, -1L, mk__physical);
        ASSERT_NE(a, nullptr) << ds.GetLastError().c_str();
        const long n = long(chans[i].values.size() / (cplx ? 2 : 1));
        ASSERT_EQ(a->SetData(n, chans[i].values.data(), ds__dorg_interleaved, cplx ? it__cdouble : it__double), n)
            << a->GetLastError().c_str();
        ds.DeleteAccess(a);
    }
    ds.Close();
}

// The export options of one run; null members take the settings.
struct SExportOptions {
    int notation = 0;
    short digits = 4;
    int tab = 0;
    int comma = 0;
    int complex = 0;
    int dB = 0;
    const char* header = nullptr;
    int overwrite = 1;
};

inline CTSInterface::SMessage RunExport(const std::string& in, const char* out, const SExportOptions& o)
{
    CTSInterface::SMessage msg;
    auto* job = new CThreadASCExport(in.c_str(), 3, 4, out, &o.overwrite, &o.notation, &o.digits, &o.tab, &o.comma,
                                     &o.complex, &o.dB, o.header);
    EXPECT_EQ(CThreadManager::RunSync(job, &msg), 0u);
    return msg;
}

inline CTSInterface::SMessage RunImport(const std::string& in, const char* out, const int* overwrite)
{
    CTSInterface::SMessage msg;
    EXPECT_EQ(CThreadManager::RunSync(new CThreadASCImport(in.c_str(), 7, 8, out, overwrite), &msg), 0u);
    return msg;
}

inline std::vector<std::string> SplitLines(const std::string& text, const std::string& eol = "\r\n")
{
    std::vector<std::string> lines;
    std::size_t p = 0;
    for (std::size_t q; (q = text.find(eol, p)) != std::string::npos; p = q + eol.size())
        lines.push_back(text.substr(p, q - p));
    if (p < text.size()) lines.push_back(text.substr(p));
    return lines;
}

} // namespace ascii_test
