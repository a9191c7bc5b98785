#pragma once
// A spectrum over three third-octave bands (abscissa stored as lower edge,
// centre and upper edge of each band) with the levels 0.5, 1.5 and 2.5: the
// exports write the centres 100, 125 and 160 Hz as the abscissa.

#include <filesystem>

#include <gtest/gtest.h>

#include "hostlibs/dataset/Dataset.h"

namespace tessel::test {

inline void MakeBandTrx(const std::filesystem::path& path)
{
    CAbscissaList al;
    al.Add(CAbscissa("frequency", "f", CQuantity("frequency"), CUnit("Hz", 1), it__float, 3L, ac__band));
    CChannelList cl;
    cl.Add(CChannel("L", "L", CQuantity("pressure"), CUnit("Pa", 1), it__float, 0));
    CDataset ds(path.c_str(), al, cl, dk__spectrum, ds__dorg_with_abscissa, 0, 65536, sh__deny_write);
    CAccess* a = ds.CreateAccess(am__readwrite, 0, 0, 0L, 3L, mk__physical);
    ASSERT_NE(a, nullptr);
    ASSERT_TRUE(a->SetAbscissaCoord(ac__band));
    const double scans[] = {89.0, 100.0, 112.0, 0.5, 112.0, 125.0, 141.0, 1.5, 141.0, 160.0, 178.0, 2.5};
    ASSERT_EQ(a->SetData(3, scans, ds__dorg_with_abscissa, it__double), 3L) << a->GetLastError().c_str();
    ds.DeleteAccess(a);
    ds.Close();
}

} // namespace tessel::test
