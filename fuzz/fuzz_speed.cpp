// The cheap half of the speed code on a data set made from the input (layout
// in speed_input.h): the entry checks of the mixed-rate export and the level
// search. The data set lives in the scratch folder in memory. Findings: a crash, a check that creates the
// output, a cut outside the data. The export job itself and the speed
// reference run in fuzz_speed_job.

#include "hostlibs/dataset/Dataset.h"
#include "speed/TSSpeedDataManager.h"
#include "speed/ThreadTRXMixedSRExport.h"

#include "speed_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static SSpeedFuzzInput in;
    if (!MakeSpeedFuzzInput(data, size, in))
        return 0;
    static const std::string input = fuzz::Scratch() + "/in.trx", output = fuzz::Scratch() + "/out.trx";
    fuzz::WriteFile(input, in.file.data(), in.file.size());
    // The entry checks must not make the output.
    std::vector<SMixedRateGroup> groups;
    CThreadTRXMixedSRExport::CheckArguments(in.first, in.divisor, input.c_str(), output.c_str(), groups);
    fuzz::Check(!fuzz::Exists(output));

    try {
        CDataset ds(input.c_str(), om__read, 0, sh__deny_none);
        double cut = 1e300;
        if (CTSSpeedDataManager::FindCutDueToRef(in.level, &ds, cut)) fuzz::Check(CutInsideData(ds, cut));
    } catch (const CDatasetException&) {
    }
    return 0;
}
