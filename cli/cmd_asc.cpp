// `tessel import asc` and `tessel export asc`: text tables.

#include "cli/CommandRegistry.h"
#include "common/OutputPolicy.h"
#include "formats/ascii/TS_ASCIIImport.h"
#include "formats/ascii/ThreadASCExport.h"

#include <map>
#include <optional>

namespace tessel::cli {
namespace {

class CAscImportCommand : public CConversionCommand {
public:
    CAscImportCommand()
        : CConversionCommand(EDirection::Import, "asc", "Text table (one scan per line) -> TRX data set", ".trx") {}

    void AddOptions(CLI::App& cmd) override
    {
        cmd.footer("Lines before the first run of ten number lines are the header (the data set's comment). "
                   "Whether column 1 is the abscissa, the channel names, units and sample type come from the "
                   "stored settings (tessel settings). A line gives at most 256 channels: with the abscissa from the "
                   "settings a 257th column is left out, further columns are always read and dropped.");
    }

    std::vector<std::string> FileExtensions() const override { return {".asc", ".txt"}; }

    bool HasSyncMode() const override { return true; }

    std::string DeriveOutput(const std::string& input) const override
    {
        return DeriveASCImportOutput(input.c_str()).str();
    }

    unsigned Start(CTSInterface& ts, const SConversionRequest& r, CTSInterface::SMessage* msg) override
    {
        return ts.ImportASC(r.input, r.id, r.user, r.output, r.overwrite, msg);
    }
};
TESSEL_REGISTER_CONVERSION(CAscImportCommand)

class CAscExportCommand : public CConversionCommand {
public:
    CAscExportCommand()
        : CConversionCommand(EDirection::Export, "asc", "TRX data set -> text table (abscissa, then channels)",
                             ".asc") {}

    void AddOptions(CLI::App& cmd) override
    {
        cmd.footer("Options not given take the stored settings. Lines end with CR LF; every value, the last "
                   "of a line too, is followed by the separator.");
        const std::map<std::string, int> notations{{"auto", 0}, {"fixed", 1}, {"scientific", 2}};
        cmd.add_option("--notation", m_notation, "Number notation: auto (%g, with sign), fixed, scientific")
            ->transform(CLI::CheckedTransformer(notations, CLI::ignore_case));
        cmd.add_option("--digits", m_digits, "Digits (precision) of every value")->check(CLI::Range(0, 60));
        cmd.add_flag("--tab", m_tab, "Separate values by tabs (no padding) instead of blanks");
        cmd.add_flag("--comma", m_comma, "Decimal comma");
        cmd.add_option("--complex", m_complex,
                       "Complex channels: 0 magnitude, 1 real + imaginary, 2 magnitude + phase in degrees, "
                       "3 ... in radians, 4 ... in full circles, 5 magnitude + group delay")
            ->check(CLI::Range(0, 5));
        cmd.add_flag("--db", m_dB, "Values in dB of the channel unit's reference");
        cmd.add_option("--header", m_header, "Text written before the table, followed by an empty line");
    }

    void Validate() override
    {
        if (m_header && !FromUtf8(*m_header, m_headerBytes))
            throw CLI::ValidationError("--header", "the text has characters outside Windows-1252");
    }

    std::vector<std::string> FileExtensions() const override { return {".asc", ".txt"}; }

    bool HasSyncMode() const override { return false; }

    std::string DeriveOutput(const std::string& input) const override
    {
        return DeriveASCExportOutput(input.c_str()).str();
    }

    unsigned Start(CTSInterface& ts, const SConversionRequest& r, CTSInterface::SMessage*) override
    {
        std::optional<int> tab, comma, dB;
        if (m_tab) tab = 1;
        if (m_comma) comma = 1;
        if (m_dB) dB = 1;
        std::optional<short> digits;
        if (m_digits) digits = short(*m_digits);
        auto ptr = [](const auto& o) { return o ? &*o : nullptr; };
        return ts.ExportASC(r.input, r.id, r.user, r.output, r.overwrite, ptr(m_notation), ptr(digits), ptr(tab),
                            ptr(comma), ptr(m_complex), ptr(dB), m_header ? m_headerBytes.c_str() : nullptr);
    }

private:
    std::optional<int> m_notation;
    std::optional<int> m_digits;
    std::optional<int> m_complex;
    bool m_tab = false, m_comma = false, m_dB = false;
    std::optional<std::string> m_header;
    std::string m_headerBytes;
};
TESSEL_REGISTER_CONVERSION(CAscExportCommand)

}  // namespace
}  // namespace tessel::cli
