// `tessel import sdf` and `tessel export sdf`.

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

class CSdfExportCommand : public CConversionCommand {
public:
    CSdfExportCommand()
        : CConversionCommand(EDirection::Export, "sdf", "TRX time data -> SDF file (revision 3)", ".SDF") {}

    void AddOptions(CLI::App& cmd) override
    {
        cmd.add_flag("--high-rate", m_bHighRate,
                     "Speed curves of pulse channels at the data's sampling rate (default: the stored setting)");
        cmd.footer("Each run of channels of equal quantity becomes a result; every pulse sub-channel adds its\n"
                   "speed curve as a result of its own.");
    }

    std::vector<std::string> FileExtensions() const override { return {".sdf"}; }

    bool HasSyncMode() const override { return false; }

    std::string DeriveOutput(const std::string& input) const override
    {
        return OutputPolicy::DeriveOutputPath(input.c_str(), ".SDF", OutputPolicy::EExtensionRule::AppendWhenMissing,
                                              CTSSettings::bitSDFExport)
            .str();
    }

    unsigned Start(CTSInterface& ts, const SConversionRequest& r, CTSInterface::SMessage*) override
    {
        // The option overrides the setting only when given.
        int high = 1;
        return ts.ExportSDF(r.input, r.id, r.user, r.output, r.overwrite, m_bHighRate ? &high : nullptr);
    }

private:
    bool m_bHighRate = false;
};
TESSEL_REGISTER_CONVERSION(CSdfExportCommand)

}  // namespace
}  // namespace tessel::cli
