#pragma once
// Helpers of the spreadsheet tests: the contents of a data set read back
// through the data-set library. (Every test process has semaphore and
// configuration folders of its own: tests/support/PrivateFolders.cpp.)

#include "hostlibs/dataset/Dataset.h"
#include "interface/TSInterface.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace sheet_test {

using tessel::test::ReadFile;
using tessel::test::WriteFile;

inline bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// ImportExcel, synchronously: the outcome record.
inline CTSInterface::SMessage ImportSheet(const std::string& in, const std::string& out, dk__val kind = dk__spectrum,
                                          const int* overwrite = nullptr)
{
    CTSInterface::SMessage msg;
    EXPECT_EQ(CTSInterface().ImportExcel(in.c_str(), 1, 2, out.c_str(), overwrite, kind, &msg), 0u);
    return msg;
}

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
