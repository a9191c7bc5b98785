#pragma once
// Builds small TRX data sets for the tests of the shared services.

#include <string>
#include <vector>

#include "hostlibs/dataset/Dataset.h"

struct SChannelSpec {
    std::string name = "ch";
    int implType = it__float;
    std::string title;
    std::string quantity = "pressure";
    std::string unit = "Pa";
    map__dct mapping{};
};

inline CChannel MakeChannel(const SChannelSpec& s, int index) {
    CChannel c(s.name.c_str(), s.name.c_str(), CQuantity(s.quantity.c_str()), CUnit(s.unit.c_str(), 1), s.implType,
               index, 1.0, 1.0, &s.mapping);
    if (!s.title.empty())
        c.SetTitle(s.title.c_str());
    return c;
}

inline CAbscissa TimeAbscissa(double delta, long scans = 0) {
    return CAbscissa("Time", "t", CQuantity("time"), CUnit("s", 1), 0.0, delta, scans, df__linear);
}

// Writes `values` (interleaved scans, stored values as doubles) into a new
// data set of the given kind; returns the number of scans written.
inline long MakeDataset(const std::string& path, const std::vector<SChannelSpec>& specs, double delta,
                        const std::vector<double>& values, int kind = dk__time,
                        const CChNbrList* pattern = nullptr) {
    CAbscissaList abscissas;
    abscissas.Add(TimeAbscissa(delta));
    CChannelList channels;
    for (std::size_t i = 0; i < specs.size(); ++i)
        channels.Add(MakeChannel(specs[i], int(i)));
    CDataset ds(path.c_str(), abscissas, channels, kind, ds__dorg_interleaved, 0, 65536, sh__deny_write);
    CChNbrList all;
    if (pattern) {
        ds.SpecifySamplingParameter(sm__pattern, *pattern);
        all = *pattern;
    } else {
        all.AddGroup(0, int(specs.size()) - 1);
    }
    long written = 0;
    if (!values.empty()) {
        CAccess* a = ds.CreateAccess(am__readwrite, all, 0, 0, -1, mk__raw);
        if (a)
            written = a->SetData(long(values.size() / all.GetCount()), values.data(), ds__dorg_interleaved, it__double);
    }
    ds.Close();
    return written;
}
