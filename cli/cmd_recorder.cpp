// `tessel import sony` and `tessel import teac`.

#include "cli/CommandRegistry.h"
#include "common/OutputPolicy.h"
#include "formats/recorder/ThreadSONYImport.h"
#include "formats/recorder/ThreadTEACImport.h"
#include "settings/TSSettings.h"

#include <optional>

namespace tessel::cli {
namespace {

class CSonyImportCommand : public CConversionCommand {
public:
    CSonyImportCommand()
        : CConversionCommand(EDirection::Import, "sony",
                             "SONY MK II/III recording (data file + LOG beside it) -> TRX data set", ".dat") {}

    void AddOptions(CLI::App& cmd) override
    {
        cmd.footer("The LOG file is the input with the extension .LOG (or .log). The samples are copied\n"
                   "unchanged; the LOG's mapping texts become the channels' mappings.");
    }

    bool HasSyncMode() const override { return true; }

    std::string DeriveOutput(const std::string& input) const override
    {
        return DeriveSONYImportOutput(input.c_str()).str();
    }

    unsigned Start(CTSInterface& ts, const SConversionRequest& r, CTSInterface::SMessage* msg) override
    {
        return ts.ImportSONY(r.input, r.id, r.user, r.output, r.overwrite, msg);
    }
};
TESSEL_REGISTER_CONVERSION(CSonyImportCommand)

class CTeacImportCommand : public CConversionCommand {
public:
    CTeacImportCommand()
        : CConversionCommand(EDirection::Import, "teac",
                             "TEAC recording: TAFFmat (.DAT + .hdr) or QuickVu-RD (.DAT) -> TRX data set", ".trx") {}

    void AddOptions(CLI::App& cmd) override
    {
        cmd.add_option("--set", m_set,
                       "SET file of a QuickVu recording, a name in the data file's directory\n"
                       "(\".set\" is added when it has no extension; default: the stored setting)");
        cmd.footer("With a .hdr file beside the data file the recording is read as TAFFmat, otherwise as\n"
                   "QuickVu-RD/Windows with its 512-byte header. Without a valid SET file QuickVu channels\n"
                   "come in volts (a warning).");
    }

    bool HasSyncMode() const override { return true; }

    std::string DeriveOutput(const std::string& input) const override
    {
        return DeriveTEACImportOutput(input.c_str()).str();
    }

    unsigned Start(CTSInterface& ts, const SConversionRequest& r, CTSInterface::SMessage* msg) override
    {
        // The job reads the name from the settings; the option overrides it
        // for this run of the command, as the settings page would store it.
        if (m_set) {
            CString name(*m_set);
            if (name.Find('.') < 0)
                name += ".set";
            CTSSettings::m_sNameSETFileTEACImport = name;
        }
        return ts.ImportTEAC(r.input, r.id, r.user, r.output, r.overwrite, msg);
    }

private:
    std::optional<std::string> m_set;
};
TESSEL_REGISTER_CONVERSION(CTeacImportCommand)

}  // namespace
}  // namespace tessel::cli
