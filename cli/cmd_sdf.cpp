// `tessel import sdf`.

#include "cli/CommandRegistry.h"
#include "common/OutputPolicy.h"
#include "settings/TSSettings.h"

namespace tessel::cli {
namespace {

class CSdfImportCommand : public CConversionCommand {
public:
    CSdfImportCommand()
        : CConversionCommand(EDirection::Import, "sdf", "SDF file of a signal analyser -> TRX data sets", ".dat") {}

    void AddOptions(CLI::App& cmd) override
    {
        cmd.footer("Each result of the file becomes a data set (several: numbered from 1); results with equal\n"
                   "abscissas are combined, speed results merged into the time data as pulse channels.");
    }

    std::vector<std::string> FileExtensions() const override { return {".sdf"}; }

    // Run as a job of its own even for one input: a file with several results
    // makes several numbered data sets, and only the job's report names them.
    bool HasSyncMode() const override { return false; }

    std::string DeriveOutput(const std::string& input) const override
    {
        return OutputPolicy::DeriveOutputPath(input.c_str(), ".dat", OutputPolicy::EExtensionRule::ReplaceOnly,
                                              CTSSettings::bitSDFImport)
            .str();
    }

    unsigned Start(CTSInterface& ts, const SConversionRequest& r, CTSInterface::SMessage* msg) override
    {
        return ts.ImportSDF(r.input, r.id, r.user, r.output, r.overwrite, msg);
    }
};
TESSEL_REGISTER_CONVERSION(CSdfImportCommand)

}  // namespace
}  // namespace tessel::cli
