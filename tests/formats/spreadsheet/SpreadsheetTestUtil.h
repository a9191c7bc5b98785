#pragma once
// Helpers of the spreadsheet tests: a scratch directory, a semaphore and a
// configuration folder of the test process's own, and the contents of a
// data set read back through the data-set library.

#include "hostlibs/dataset/Dataset.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace sheet_test {

class CScratchDir {
public:
    CScratchDir()
    {
        const char* t = std::getenv("TMPDIR");
        std::string tmpl = std::string(t && *t ? t : "/tmp") + "/tessel_sheet_XXXXXX";
        m_path = mkdtemp(tmpl.data()) ? tmpl : std::string();
    }
    ~CScratchDir()
    {
        std::error_code ec;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
    }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// Every test process works with semaphores and settings of its own.
struct SProcessFolders {
    SProcessFolders()
    {
        ::setenv("TESSEL_SEM_DIR", (dir / "sem").c_str(), 1);
        ::setenv("TESSEL_CONFIG_DIR", (dir / "cfg").c_str(), 1);
    }
    CScratchDir dir;
};
inline SProcessFolders g_processFolders;

inline void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// A data set as the import wrote it: its abscissa and every scan's floats
// (stored abscissa values first, as the file holds them).
struct STrxContent {
    CAbscissa abscissa;
    int kind = 0;
    int organisation = 0;
    std::vector<CChannel> channels;
    std::vector<float> scans;
    int perScan = 0;   // floats per scan
};

inline STrxContent ReadTrx(const std::string& path)
{
    STrxContent c;
    CDataset ds(path.c_str(), om__read, 32768, sh__deny_write);
    c.abscissa = ds.GetAbscissa(0);
    c.kind = ds.GetKind();
    c.organisation = ds.GetOrganisation();
    for (int i = 0; i < ds.GetNbrOfChannels(); ++i) c.channels.push_back(ds.GetChannel(i));
    CChNbrList all;
    all.AddGroup(0, ds.GetNbrOfChannels() - 1);
    CAccess* a = ds.CreateAccess(am__read, all);
    EXPECT_NE(a, nullptr);
    if (!a) return c;
    const bool stored = !c.abscissa.IsCalc();
    if (stored) a->SetAbscissaCoord(c.abscissa.GetCoordinate());
    c.perScan = ds.GetNbrOfChannels() + (stored ? c.abscissa.GetValuesPerScan() : 0);
    std::vector<float> block(std::size_t(c.perScan) * 1024);
    while (!a->Finished()) {
        const long n = a->GetData(1024, block.data(), stored ? ds__dorg_with_abscissa : ds__dorg_interleaved,
                                  it__float);
        if (n <= 0) {
            ADD_FAILURE() << a->GetLastError().c_str();
            break;
        }
        c.scans.insert(c.scans.end(), block.begin(), block.begin() + n * c.perScan);
    }
    ds.DeleteAccess(a);
    return c;
}

} // namespace sheet_test
