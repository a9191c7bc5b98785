// Reads any bytes as an SDF file the way the import job does: the header
// records with their checks, the plan of every result (scan layout, checks,
// abscissa, channels), then every value of every accepted result in small
// blocks; the header set read is written back as well. Refusals are result
// codes; anything else is a finding.

#include "FuzzSupport.h"
#include "formats/sdf/SdfImportPlan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CSdfMemoryInput in(data, size);
    CSdfHeaderSet headers;
    try {
        headers.Read(in);
    } catch (const CSdfError& e) {
        fuzz::Check(e.uCode >= 30 && e.uCode <= 52);
        return 0;
    }
    unsigned code = 0;
    const std::vector<unsigned char> written = headers.Serialize(code);
    fuzz::Check(written.size() >= 2 + 80 + 156 && code == 0);

    CSdfImportPlanner planner(headers, in);
    std::vector<unsigned char> block;
    for (int i = 0; i < int(headers.data.size()); ++i) {
        const SSdfResultPlan plan = planner.Plan(i);
        if (plan.uCode)
            break;   // the job stops at the first refused result
        fuzz::Check(plan.channels.GetCount() >= plan.nVectors);
        CSdfValueReader reader(in, plan, 3072);
        block.resize(reader.ScanBytes() * 64);
        long long total = 0;
        while (long n = reader.Next(block.data(), 64)) {
            total += n;
            fuzz::Check(total <= reader.TotalScans());
        }
        fuzz::Check(reader.Failed() || total == reader.TotalScans());
    }
    return 0;
}
