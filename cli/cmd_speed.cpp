// `tessel speed`, `tessel speed-mark` and `tessel speed-cut`: speed reference
// data from a pulse sub-channel, a marked section of it, and where a
// reference curve first reaches a level.

#include "cli/CommandRegistry.h"
#include "hostlibs/dataset/Dataset.h"
#include "speed/TSSpeedDataManager.h"

#include <cstdio>
#include <memory>

namespace tessel::cli {
namespace {

struct SSpeedArgs {
    std::string input;
    std::string output;
    int subChannel = 0;
    bool force = false;
    double from = 0.0, to = 0.0;
    float level = 0.0f;
};

// The manager of sub-channel k of a data set; null (and the reason on
// stderr) when the data set or the sub-channel is not there.
std::unique_ptr<CTSSpeedDataManager> Manager(const SSpeedArgs& a)
{
    try {
        CDataset ds(a.input.c_str(), om__read, 32768, sh__deny_none);
        if (a.subChannel < 0 || a.subChannel >= ds.GetNbrOfSubChannels()) {
            std::fprintf(stderr, "tessel: %s has no sub-channel %d (it has %d)\n", a.input.c_str(), a.subChannel,
                         ds.GetNbrOfSubChannels());
            return nullptr;
        }
        return std::make_unique<CTSSpeedDataManager>(a.input.c_str(), ds.GetSubChannel(a.subChannel), a.subChannel);
    } catch (const CDatasetException& e) {
        std::fprintf(stderr, "tessel: %s\n", ToUtf8(e.GetText()).c_str());
        return nullptr;
    }
}

std::function<int()> SetupSpeed(CLI::App& cmd)
{
    auto a = std::make_shared<SSpeedArgs>();
    cmd.add_option("input", a->input, "TRX data set with a pulse sub-channel")->required();
    cmd.add_option("--subchannel", a->subChannel, "Pulse sub-channel (index from 0)")->required();
    cmd.add_option("-o,--output", a->output, "Reference data set (default: beside the input, .rpm<ID>)");
    cmd.add_flag("--force", a->force, "Compute again even when the reference is current");
    cmd.footer("Speed over time from the pulses, sampled at the sub-channel's delta time. An existing\n"
               "reference newer than the input is kept unless --force or -o names another file.");
    return [a] {
        auto manager = Manager(*a);
        if (!manager)
            return int(kExitFailed);
        CString name(a->output);
        if (!manager->EvaluateRefFromPulses(name, a->force)) {
            std::fprintf(stderr, "tessel: no speed reference could be made from %s\n", a->input.c_str());
            return int(kExitFailed);
        }
        std::printf("%s\n", name.c_str());
        return int(kExitOk);
    };
}

std::function<int()> SetupSpeedMark(CLI::App& cmd)
{
    auto a = std::make_shared<SSpeedArgs>();
    cmd.add_option("input", a->input, "TRX data set with a pulse sub-channel")->required();
    cmd.add_option("--subchannel", a->subChannel, "Pulse sub-channel (index from 0)");
    cmd.add_option("--from", a->from, "Start of the section (abscissa value, s)")->required();
    cmd.add_option("--to", a->to, "End of the section (abscissa value, s)")->required();
    cmd.add_option("-o,--output", a->output, "Data set of the section")->required();
    cmd.footer("The section of the speed reference as 32-bit floats, every channel tagged ControlValue.");
    return [a] {
        auto manager = Manager(*a);
        if (!manager)
            return int(kExitFailed);
        if (!manager->EvaluateMarkRefFromPulses(CString(a->output), a->from, a->to)) {
            std::fprintf(stderr, "tessel: the section %g to %g of %s could not be written to %s\n", a->from, a->to,
                         a->input.c_str(), a->output.c_str());
            return int(kExitFailed);
        }
        std::printf("%s\n", a->output.c_str());
        return int(kExitOk);
    };
}

std::function<int()> SetupSpeedCut(CLI::App& cmd)
{
    auto a = std::make_shared<SSpeedArgs>();
    cmd.add_option("input", a->input, "Reference data set (speed over a calculated time abscissa)")->required();
    cmd.add_option("--level", a->level, "Level the first channel is to reach")->required();
    cmd.footer("Prints the abscissa value where the first channel first reaches the level,\n"
               "interpolated between samples; exit status 1 when it never does.");
    return [a] {
        try {
            CDataset ds(a->input.c_str(), om__read, 32768, sh__deny_none);
            double cut = 0.0;
            if (!CTSSpeedDataManager::FindCutDueToRef(a->level, &ds, cut)) {
                std::fprintf(stderr, "tessel: %s does not reach %g\n", a->input.c_str(), double(a->level));
                return int(kExitFailed);
            }
            std::printf("%.9g\n", cut);
            return int(kExitOk);
        } catch (const CDatasetException& e) {
            std::fprintf(stderr, "tessel: %s\n", ToUtf8(e.GetText()).c_str());
            return int(kExitFailed);
        }
    };
}

TESSEL_REGISTER_TOPLEVEL("speed", "Speed reference data set from a pulse sub-channel", SetupSpeed)
TESSEL_REGISTER_TOPLEVEL("speed-mark", "Section of the speed reference, tagged as control values", SetupSpeedMark)
TESSEL_REGISTER_TOPLEVEL("speed-cut", "Where a reference curve first reaches a level", SetupSpeedCut)

}  // namespace
}  // namespace tessel::cli
