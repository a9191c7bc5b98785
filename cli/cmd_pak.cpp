// `tessel import pak` and `tessel export pak`.

#include <filesystem>
#include <string>

#include "cli/CommandRegistry.h"
#include "formats/pak/ThreadPAKExport.h"
#include "formats/pak/ThreadPAKImport.h"

namespace tessel::cli {
namespace {

// A measurement directory, as `tessel export pak` writes one, stands for the
// throughput file in it.
std::string ThroughputFile(const std::string& input)
{
    std::error_code ec;
    return std::filesystem::is_directory(input, ec) ? (std::filesystem::path(input) / "TDATA").string() : input;
}

class CPakImportCommand : public CConversionCommand {
public:
    CPakImportCommand()
        : CConversionCommand(EDirection::Import, "pak", "PAK throughput file (TDATA) -> TRX data sets", ".dat") {}

    void AddOptions(CLI::App& cmd) override
    {
        cmd.footer("The input is a TDATA file or the measurement directory that holds it. The output is\n"
                   "named after the measurement directory (\"Run3/TDATA\" or \"Run3\" gives \"Run3.dat\";\n"
                   "a trailing digit 1-9 of the input is added). Channel names come from MeasSetup/ChanPos\n"
                   "and MPlist beside the input. Each pulse channel becomes a data set <output>.SC<k> whose\n"
                   "speed is merged into the \"Pulse Channels\" channel as pulse patterns.");
    }

    bool HasSyncMode() const override { return true; }

    std::string DeriveOutput(const std::string& input) const override
    {
        return CThreadPAKImport::DeriveOutput(ThroughputFile(input).c_str()).str();
    }

    unsigned Start(CTSInterface& ts, const SConversionRequest& r, CTSInterface::SMessage* msg) override
    {
        const std::string input = ThroughputFile(r.input);
        return ts.ImportPAK(input.c_str(), r.id, r.user, r.output, r.overwrite, msg);
    }
};
TESSEL_REGISTER_CONVERSION(CPakImportCommand)

class CPakExportCommand : public CConversionCommand {
public:
    CPakExportCommand()
        : CConversionCommand(EDirection::Export, "pak", "TRX time data -> PAK measurement directory", "") {}

    void AddOptions(CLI::App& cmd) override
    {
        cmd.add_flag("--float32", m_float32,
                     "32-bit float samples when the data set holds floats (default: the stored setting;\n"
                     "without it float channels become 16-bit samples scaled by their calibration)");
        cmd.footer("The output is a directory (default: the input without its extension): TDATA, MPlist,\n"
                   "Fahrzeug, MessDef, Messtext, Messzyklus, and SETUP/ with Setup, Kanalkonfig, Kalib,\n"
                   "HW_111 and FFT. Pulse sub-channels become speed channels with one value per block.");
    }

    bool HasSyncMode() const override { return false; }

    std::string DeriveOutput(const std::string& input) const override
    {
        return CThreadPAKExport::DeriveOutput(input.c_str()).str();
    }

    unsigned Start(CTSInterface& ts, const SConversionRequest& r, CTSInterface::SMessage*) override
    {
        const int yes = 1;
        return ts.ExportPAK(r.input, r.id, r.user, r.output, r.overwrite, m_float32 ? &yes : nullptr);
    }

private:
    bool m_float32 = false;
};
TESSEL_REGISTER_CONVERSION(CPakExportCommand)

}  // namespace
}  // namespace tessel::cli
