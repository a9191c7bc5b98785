// Reads any bytes as a universal file the way the import job does: scan for
// data sets 58/58b, derive each description, then stream every value of every
// data set in small blocks. Refusals are results (CUffError); anything else
// is a finding.

#include "FuzzSupport.h"
#include "formats/uff/UffReader.h"

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
        fuzz::Check(!g.aMembers.empty());
    std::vector<double> buf(3 * 64);
    for (const SUffDataSet& ds : reader.DataSets()) {
        try {
            CUffValueReader values(reader, ds);
            long long total = 0;
            while (std::size_t n = values.Read(buf.data(), 64)) {
                total += (long long)n;
                fuzz::Check(total <= ds.h.llPoints);
            }
            fuzz::Check(total == ds.h.llPoints);
        } catch (const CUffError& e) {
            fuzz::Check(e.uStringID == 124 || e.uStringID == 104);
        }
    }
    return 0;
}
