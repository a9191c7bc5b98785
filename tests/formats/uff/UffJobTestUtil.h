#pragma once
// Helpers of the UFF job tests: TRX data sets made through the data-set
// library, and running the jobs synchronously.

#include "formats/uff/TS_UFF.h"
#include "hostlibs/dataset/Dataset.h"
#include "interface/TSInterface.h"
#include "frame/ThreadManager.h"
#include "settings/TSSettings.h"
#include "tests/common/ConversionTest.h"
#include "tests/common/ModuleEnvironment.h"
#include "tests/common/Python.h"
#include "tests/common/TempDir.h"
#include "tests/formats/uff/Uff58Reference.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace ufftest {

namespace fs = std::filesystem;

using tessel::test::HavePython;

inline std::string ReadText(const fs::path& p) { return tessel::test::ReadFile(p.string()); }
inline void WriteText(const fs::path& p, const std::string& s) { tessel::test::WriteFile(p.string(), s); }

// Every job test starts from the settings after module load, in a folder of its own.
class CUffJobTest : public tessel::test::CConversionTest {
protected:
    CUffJobTest() : CConversionTest("uff") {}

    // The data sets of a written file, split by the independent reader.
    std::vector<uffref::Read> ReadBack(const fs::path& p, bool crlf)
    {
        std::vector<uffref::Read> sets;
        std::string why;
        EXPECT_TRUE(uffref::split(ReadText(p), crlf, sets, why)) << why;
        return sets;
    }
};

struct Channel {
    std::string name, title, unit = "Pa", quantity = "pressure";
    int type = it__float;
    std::vector<double> values;   // complex: re, im pairs
};

// A data set with one calculated abscissa (or a stored one when x is given).
inline void MakeTrx(const fs::path& path, int kind, const std::vector<Channel>& chans, double first, double delta,
                    const char* abscUnit = "s", const char* abscQuantity = "time",
                    const std::vector<double>* storedX = nullptr)
{
    const long scans = long(chans.at(0).values.size() / (CImplType::IsComplex(chans[0].type) ? 2 : 1));
    CAbscissaList al;
    if (storedX)
        al.Add(CAbscissa("X", "X", CQuantity(abscQuantity), CUnit(abscUnit, 1), it__float, scans, ac__world));
    else
        al.Add(CAbscissa("Time", "t", CQuantity(abscQuantity), CUnit(abscUnit, 1), first, delta, scans, df__linear));
    CChannelList cl;
    for (std::size_t i = 0; i < chans.size(); ++i) {
        CChannel c(chans[i].name.c_str(), chans[i].name.substr(0, 2).c_str(), CQuantity(chans[i].quantity.c_str()),
                   CUnit(chans[i].unit.c_str(), 1), chans[i].type, int(i));
        c.SetTitle(chans[i].title.c_str());
        cl.Add(c);
    }
    CDataset ds(path.c_str(), al, cl, kind, ds__dorg_interleaved, scans, 65536, sh__deny_write);
    ds.SetDateOfRecording(CDateTimeEx(2003, 3, 12, 14, 5, 9.0));
    for (std::size_t i = 0; i < chans.size(); ++i) {
        const bool cplx = CImplType::IsComplex(chans[i].type);
        CAccess* a = ds.CreateAccess(am__readwrite, int(i), 0, 0, scans, mk__physical);
        ASSERT_NE(a, nullptr);
        std::vector<double> buf;
        for (long s = 0; s < scans; ++s) {
            // A transfer's abscissa slot is one value of the transfer type: (x, 0) for complex ones.
            if (storedX) buf.push_back((*storedX)[std::size_t(s)]);
            if (storedX && cplx) buf.push_back(0.0);
            if (cplx) {
                buf.push_back(chans[i].values[2 * std::size_t(s)]);
                buf.push_back(chans[i].values[2 * std::size_t(s) + 1]);
            } else {
                buf.push_back(chans[i].values[std::size_t(s)]);
            }
        }
        ASSERT_EQ(a->SetData(scans, buf.data(), storedX ? ds__dorg_with_abscissa : ds__dorg_interleaved,
                             cplx ? it__cdouble : it__double),
                  scans);
        ds.DeleteAccess(a);
    }
    ds.Close();
}

// Physical values of one channel (complex: re, im pairs; with abscissa: x first).
inline std::vector<double> ReadChannel(const fs::path& path, int ch, bool withAbscissa = false)
{
    CDataset ds(path.c_str(), om__read, 32768, sh__deny_write);
    const bool cplx = ds.GetChannel(ch).IsComplex();
    CAccess* a = ds.CreateAccess(am__read, ch, 0, 0, -1, mk__physical);
    std::vector<double> out;
    if (!a) return out;
    // The abscissa slot of a transfer is as wide as one value of its type.
    const int per = (cplx ? 2 : 1) * (withAbscissa ? 2 : 1);
    std::vector<double> buf(std::size_t(per) * 1000);
    while (!a->Finished()) {
        long n = a->GetData(1000, buf.data(), withAbscissa ? ds__dorg_with_abscissa : ds__dorg_interleaved,
                            cplx ? it__cdouble : it__double);
        if (n <= 0) break;
        out.insert(out.end(), buf.begin(), buf.begin() + n * per);
    }
    return out;
}

inline CTSInterface::SMessage Import(const fs::path& in, const fs::path& out, int overwrite = 1,
                                     std::FILE* trace = nullptr)
{
    CTSInterface::SMessage msg;
    auto* job = new CThreadUFFImport(in.c_str(), 5, 6, out.c_str(), &overwrite);
    job->SetTrace(trace);
    EXPECT_EQ(CThreadManager::RunSync(job, &msg), 0u);
    return msg;
}

inline CTSInterface::SMessage Export(const std::vector<fs::path>& in, const fs::path& out, bool binary, bool list,
                                     int overwrite = 1)
{
    CList<CString, CString&> inputs;
    for (const fs::path& p : in) {
        CString s(p.c_str());
        inputs.AddTail(s);
    }
    int bin = binary ? 1 : 0;
    CTSInterface::SMessage msg;
    EXPECT_EQ(CThreadManager::RunSync(new CThreadUFFExport(inputs, 3, 4, out.c_str(), &overwrite, &bin, list), &msg),
              0u);
    return msg;
}

}  // namespace ufftest
