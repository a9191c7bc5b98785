#pragma once
// Small TRX data sets written through the data-set library, and their values
// read back, for the tests of every layer above it.

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hostlibs/dataset/Dataset.h"

struct SChannelSpec {
    std::string name = "ch";
    int implType = it__float;
    double factor = 1.0; // physical value = stored value · factor + offset
    std::string title;
    double offset = 0.0;
    std::string quantity = "pressure";
    std::string unit = "Pa";
};

inline CChannel MakeChannel(const SChannelSpec& s, int index) {
    map__dct mapping;
    mapping.m_dFactor = s.factor;
    mapping.m_dOffset = s.offset;
    CChannel c(s.name.c_str(), s.name.c_str(), CQuantity(s.quantity.c_str()), CUnit(s.unit.c_str(), 1), s.implType,
               index, 1.0, 1.0, &mapping);
    if (!s.title.empty())
        c.SetTitle(s.title.c_str());
    return c;
}

inline CAbscissa TimeAbscissa(double delta, long scans = 0, double start = 0.0) {
    return CAbscissa("Time", "t", CQuantity("time"), CUnit("s", 1), start, delta, scans, df__linear);
}

// Writes `values` (stored values, scan after scan) into a new data set of the
// given kind; returns the number of scans written.
inline long MakeDataset(const std::string& path, const std::vector<SChannelSpec>& specs, double delta,
                        const std::vector<double>& values, int kind = dk__time,
                        const CChNbrList* pattern = nullptr, const std::vector<CSubChannel>& subs = {},
                        double start = 0.0) {
    CAbscissaList abscissas;
    abscissas.Add(TimeAbscissa(delta, 0, start));
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
    for (const CSubChannel& s : subs)
        ds.AddSubChannel(s);
    ds.Close();
    return written;
}

namespace tessel::test {

// A time data set at a sampling rate; the test fails unless every scan is written.
inline void MakeTrx(const std::filesystem::path& path, const std::vector<SChannelSpec>& specs, double rate,
                    const std::vector<double>& values, const std::vector<CSubChannel>& subs = {}, int kind = dk__time,
                    double start = 0.0) {
    const long scans = specs.empty() ? 0 : long(values.size() / specs.size());
    ASSERT_EQ(MakeDataset(path.string(), specs, 1.0 / rate, values, kind, nullptr, subs, start), scans) << path;
}

inline CSubChannel PulseSub(int parent, unsigned mask, double factor = 60.0, const char* name = "speed") {
    CSubChannel s(sc__pulse, parent, mask, name, "n", CQuantity("RPM"), CUnit("rpm", 1));
    s.SetPulseFactor(factor);
    s.SetDeltaTime(0.01);
    return s;
}

// The values of the given channels (all when none are given), scan by scan:
// physical values, or the stored ones with raw.
inline std::vector<double> ReadDataset(const std::filesystem::path& path, CChNbrList channels = {}, bool raw = false) {
    CDataset ds(path.c_str(), om__read, 32768, sh__deny_none);
    if (channels.GetCount() == 0)
        channels.AddGroup(0, ds.GetNbrOfChannels() - 1);
    CAccess* acc = ds.CreateAccess(am__read, channels, 0, 0L, -1L, raw ? mk__raw : mk__physical);
    std::vector<double> v;
    if (!acc)
        return v;
    const std::size_t width = std::size_t(channels.GetCount());
    std::vector<double> buf(4096 * width);
    while (!acc->Finished()) {
        long n = acc->GetData(4096, buf.data(), ds__dorg_interleaved, it__double);
        if (n <= 0)
            break;
        v.insert(v.end(), buf.begin(), buf.begin() + long(std::size_t(n) * width));
    }
    return v;
}

} // namespace tessel::test
