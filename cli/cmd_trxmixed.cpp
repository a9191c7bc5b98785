// `tessel export trx-mixed`: a TRX copy whose upper channels run at a
// reduced rate.

#include "cli/CommandRegistry.h"
#include "common/OutputPolicy.h"

namespace tessel::cli {
namespace {

class CTrxMixedExportCommand : public CConversionCommand {
public:
    CTrxMixedExportCommand()
        : CConversionCommand(EDirection::Export, "trx-mixed",
                             "TRX data set -> TRX copy with the upper channels at rate / divisor", ".trx")
    {
    }

    void AddOptions(CLI::App& cmd) override
    {
        cmd.footer("Channels from --first-channel on run at the rate divided by --divisor (2, 4, 8, 16 or 32);\n"
                   "the channels below keep theirs. 0 reduces every channel. Pulse channels are no signals:\n"
                   "their sub-channels come along at the rate of the lower channels. Without -o the output\n"
                   "is the input's name with \"_mixed.trx\".");
        cmd.add_option("--first-channel", m_first, "First channel (from 0) of the reduced group")
            ->required()
            ->check(CLI::Range(0, 32767));
        cmd.add_option("--divisor", m_divisor, "Rate divisor: 2, 4, 8, 16 or 32")->required();
    }

    bool HasSyncMode() const override { return true; }

    // A copy of a TRX data set, not a format of its own: an output named
    // ".trx" in `tessel convert` is a plain data set, never this export.
    std::vector<std::string> FileExtensions() const override { return {}; }

    std::string DeriveOutput(const std::string& input) const override
    {
        CString s(input);
        const int dot = OutputPolicy::FindExtension(s);
        if (dot > 0)
            s = s.Left(dot);
        return s.str() + "_mixed.trx";
    }

    unsigned Start(CTSInterface& ts, const SConversionRequest& r, CTSInterface::SMessage* msg) override
    {
        // The member has no setting behind its overwrite permission: not
        // given means not allowed.
        const bool overwrite = r.overwrite && *r.overwrite;
        const char* output = r.output;
        std::string derived;
        if (!output) {
            derived = DeriveOutput(r.input);
            output = derived.c_str();
        }
        return ts.ExportTRXMixedSR(short(m_first), short(m_divisor), r.input, msg, r.id, r.user, output, overwrite);
    }

private:
    int m_first = 0;
    int m_divisor = 0;
};
TESSEL_REGISTER_CONVERSION(CTrxMixedExportCommand)

}  // namespace
}  // namespace tessel::cli
