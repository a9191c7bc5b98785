// `tessel import wav`.

#include "cli/CommandRegistry.h"
#include "common/OutputPolicy.h"
#include "settings/TSSettings.h"


namespace tessel::cli {
namespace {

class CWavImportCommand : public CConversionCommand {
public:
    CWavImportCommand()
        : CConversionCommand(EDirection::Import, "wav", "WAVE file (integer PCM) -> TRX data set", ".dat") {}

    bool HasSyncMode() const override { return true; }

    std::string DeriveOutput(const std::string& input) const override
    {
        // The job's own rule: replace the extension, TRX standard directory.
        return OutputPolicy::DeriveOutputPath(input.c_str(), ".dat", OutputPolicy::EExtensionRule::ReplaceOnly,
                                              CTSSettings::bitWAVImport)
            .str();
    }

    unsigned Start(CTSInterface& ts, const SConversionRequest& r, CTSInterface::SMessage* msg) override
    {
        return ts.ImportWAV(r.input, r.id, r.user, r.output, r.overwrite, msg);
    }
};
TESSEL_REGISTER_CONVERSION(CWavImportCommand)

}  // namespace
}  // namespace tessel::cli
