// `tessel import pak` and `tessel export pak`.

#include "cli/CommandRegistry.h"
#include "formats/pak/ThreadPAKImport.h"

namespace tessel::cli {
namespace {

class CPakImportCommand : public CConversionCommand {
public:
    CPakImportCommand()
        : CConversionCommand(EDirection::Import, "pak", "PAK throughput file (TDATA) -> TRX data sets", ".dat") {}

    void AddOptions(CLI::App& cmd) override
    {
        cmd.footer("The output is named after the measurement directory (\"Run3/TDATA\" gives \"Run3.dat\";\n"
                   "a trailing digit 1-9 of the input is added). Channel names come from MeasSetup/ChanPos\n"
                   "and MPlist beside the input. Each pulse channel becomes a data set <output>.SC<k> whose\n"
                   "speed is merged into the \"Pulse Channels\" channel as pulse patterns.");
    }

    bool HasSyncMode() const override { return true; }

    std::string DeriveOutput(const std::string& input) const override
    {
        return CThreadPAKImport::DeriveOutput(input.c_str()).str();
    }

    unsigned Start(CTSInterface& ts, const SConversionRequest& r, CTSInterface::SMessage* msg) override
    {
        return ts.ImportPAK(r.input, r.id, r.user, r.output, r.overwrite, msg);
    }
};
TESSEL_REGISTER_CONVERSION(CPakImportCommand)

}  // namespace
}  // namespace tessel::cli
