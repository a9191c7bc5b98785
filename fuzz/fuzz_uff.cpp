// Reads any bytes as a universal file the way the import job does: scan for
// data sets 58/58b, derive each description, then stream every value of every
// data set in small blocks. Refusals are results (CUffError); anything else
// is a finding.

#include "formats/uff/UffReader.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CUffMemorySource src(data, size);
    CUffTrace trace;
    CUffReader reader(src, trace, "fuzz.uff");
    try {
        reader.Scan();
    } catch (const CUffError&) {
        return 0;
    }
    for (const SUffGroup& g : reader.Groups())
        if (g.aMembers.empty())
            __builtin_trap();
    std::vector<double> buf(3 * 64);
    for (const SUffDataSet& ds : reader.DataSets()) {
        try {
            CUffValueReader values(reader, ds);
            long long total = 0;
            while (std::size_t n = values.Read(buf.data(), 64)) {
                total += (long long)n;
                if (total > ds.h.llPoints)
                    __builtin_trap();
            }
            if (total != ds.h.llPoints)
                __builtin_trap();
        } catch (const CUffError& e) {
            if (e.uStringID != 124 && e.uStringID != 104)
                __builtin_trap();
        }
    }
    return 0;
}
