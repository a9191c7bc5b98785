// `tessel import mp3` and `tessel export mp3`.

#include "cli/CommandRegistry.h"
#include "common/OutputPolicy.h"
#include "settings/TSSettings.h"

namespace tessel::cli {
namespace {

constexpr const char* kConverterNote =
    "The converters WaveToMP3.bat and MP3ToWave.bat beside the tessel program do the MP3 coding "
    "(lame and mpg123). The side file NAME.MP3Plus beside the MP3 keeps the description and the pulse bits.";

class CMp3ImportCommand : public CConversionCommand {
public:
    CMp3ImportCommand()
        : CConversionCommand(EDirection::Import, "mp3", "MP3 file (+ its .MP3Plus side file) -> TRX data set", ".dat")
    {
    }

    void AddOptions(CLI::App& cmd) override { cmd.footer(kConverterNote); }

    std::vector<std::string> FileExtensions() const override { return {".mp3"}; }

    bool HasSyncMode() const override { return true; }

    std::string DeriveOutput(const std::string& input) const override
    {
        return OutputPolicy::DeriveOutputPath(input.c_str(), ".dat", OutputPolicy::EExtensionRule::AppendWhenMissing,
                                              CTSSettings::bitMP3Import)
            .str();
    }

    unsigned Start(CTSInterface& ts, const SConversionRequest& r, CTSInterface::SMessage* msg) override
    {
        return ts.ImportMP3(r.input, r.id, r.user, r.output, r.overwrite, msg);
    }
};
TESSEL_REGISTER_CONVERSION(CMp3ImportCommand)

class CMp3ExportCommand : public CConversionCommand {
public:
    CMp3ExportCommand()
        : CConversionCommand(EDirection::Export, "mp3", "TRX data set -> MP3 file + .MP3Plus side file", ".MP3")
    {
    }

    void AddOptions(CLI::App& cmd) override { cmd.footer(kConverterNote); }

    std::vector<std::string> FileExtensions() const override { return {".mp3"}; }

    bool HasSyncMode() const override { return false; }

    std::string DeriveOutput(const std::string& input) const override
    {
        CString s(input);
        OutputPolicy::SetExtension(s, ".MP3");
        return s.str();
    }

    unsigned Start(CTSInterface& ts, const SConversionRequest& r, CTSInterface::SMessage*) override
    {
        return ts.ExportMP3(r.input, r.id, r.user, r.output, r.overwrite);
    }
};
TESSEL_REGISTER_CONVERSION(CMp3ExportCommand)

}  // namespace
}  // namespace tessel::cli
