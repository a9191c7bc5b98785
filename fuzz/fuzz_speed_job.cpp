// The costly half of the speed code on a data set made from the input
// (layout in speed_input.h): the mixed-rate export job, run on this thread
// as a synchronous call runs it, and the speed reference of the first
// sub-channel (networks, filter design, files). The scratch folder is on
// tmpfs. Findings: a crash, a job that reports success without an output
// that opens, a failed job that leaves an output, a temporary file that
// outlives a run. The entry checks and the level search run much faster in
// fuzz_speed.

#include "hostlibs/dataset/Dataset.h"
#include "speed/TSSpeedDataManager.h"
#include "speed/ThreadTRXMixedSRExport.h"

#include "speed_input.h"

namespace {

// Every file of the scratch folder but the input and the private folders.
std::vector<std::string> Others()
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(fuzz::Scratch()))
        if (e.path().filename() != "sem" && e.path().filename() != "config" && e.path().filename() != "in.trx")
            names.push_back(e.path().filename());
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static SSpeedFuzzInput in;
    if (!MakeSpeedFuzzInput(data, size, in))
        return 0;
    const std::string& dir = fuzz::Scratch();
    const std::string input = dir + "/in.trx", output = dir + "/out.trx";
    fuzz::WriteFile(input, in.file.data(), in.file.size());

    std::vector<SMixedRateGroup> groups;
    if (CThreadTRXMixedSRExport::CheckArguments(in.first, in.divisor, input.c_str(), output.c_str(), groups) == 0) {
        CThreadTRXMixedSRExport job(input.c_str(), 1, 2, output.c_str(), true, std::move(groups));
        const int rc = job.Run();
        if (rc == 0) {
            try {
                CDataset out(output.c_str(), om__read_complete, 0, sh__deny_none);
            } catch (const CDatasetException&) {
                __builtin_trap();  // success without a readable output
            }
            ::unlink(output.c_str());
        }
        fuzz::Check(rc == 0 || !fuzz::Exists(output));
        fuzz::Check(Others().empty());  // a temporary file outlived the run
    }

    try {
        CDataset ds(input.c_str(), om__read, 0, sh__deny_none);
        if (ds.GetNbrOfSubChannels() > 0) {
            CTSSpeedDataManager manager(input.c_str(), ds.GetSubChannel(0), -1);
            CString name;
            if (manager.EvaluateRefFromPulses(name, true))
                ::unlink(name.c_str());
        }
    } catch (const CDatasetException&) {
    }
    for (const std::string& n : Others())
        ::unlink((dir + "/" + n).c_str());
    return 0;
}
