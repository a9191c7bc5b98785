// `tessel import xlsx` (also ods and xls) and `tessel import clipboard`.

#include "cli/CommandRegistry.h"
#include "formats/spreadsheet/ThreadExcelImport.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <string>

namespace tessel::cli {
namespace {

constexpr const char* kTableFooter =
    "The block of numbers is the bottom-most unbroken one; text cells around it are left out. Its first column is "
    "the frequency in Hz (equidistant, logarithmic bands or just increasing), every further column a channel "
    "(\"Ch 1\", \"Ch 2\", ...) whose values are levels in dB, stored as amplitudes 10^(dB/20).";

class CSpreadsheetImportCommand : public CConversionCommand {
public:
    CSpreadsheetImportCommand()
        : CConversionCommand(EDirection::Import, "xlsx",
                             "First worksheet of an xlsx, ods or xls file -> TRX data set", ".trx") {}

    void AddOptions(CLI::App& cmd) override
    {
        cmd.alias("ods");
        cmd.alias("xls");
        cmd.footer(std::string("The file type is taken from the content, whatever the name. ") + kTableFooter +
                   " An existing output is replaced unless --no-overwrite is given.");
        cmd.add_option("--kind", m_kind,
                       "Data kind of the new data set (1 time data, 3 spectrum, 4 frequency response, ...)")
            ->check(CLI::Range(0, 1000))
            ->capture_default_str();
    }

    bool HasSyncMode() const override { return true; }

    unsigned Start(CTSInterface& ts, const SConversionRequest& r, CTSInterface::SMessage* msg) override
    {
        return ts.ImportExcel(r.input, r.id, r.user, r.output, r.overwrite, dk__val(m_kind), msg);
    }

private:
    int m_kind = dk__frf;
};
TESSEL_REGISTER_CONVERSION(CSpreadsheetImportCommand)

class CClipboardImportCommand : public CConversionCommand {
public:
    CClipboardImportCommand()
        : CConversionCommand(EDirection::Import, "clipboard",
                             "Table text from standard input (as copied from a spreadsheet) -> TRX data set",
                             ".trx") {}

    void AddOptions(CLI::App& cmd) override
    {
        cmd.footer(std::string("One row per line, numbers separated by blanks or tabs, a decimal comma read as a "
                               "point; the rows end at the first empty line and the first line sets the number "
                               "of columns. Missing or unreadable numbers count as 0 dB. The data kind is 4 "
                               "(frequency response). Without -o the output is clipboard.trx. ") +
                   kTableFooter);
    }

    bool HasSyncMode() const override { return true; }
    bool TakesInputFiles() const override { return false; }

    unsigned Start(CTSInterface&, const SConversionRequest&, CTSInterface::SMessage*) override { return 0; }

    int RunWithoutInputFiles(const SCommonOptions& options) override
    {
        const std::string output = options.output.empty() ? "clipboard.trx" : options.output;
        if (options.noOverwrite && std::filesystem::exists(output)) {
            std::fprintf(stderr, "tessel: %s: %s\n", output.c_str(), ToUtf8(CTSInterface().GetErrorText(8)).c_str());
            return kExitFailed;
        }
        const std::string text{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
        CString reason;
        if (!ImportClipboardText(text.c_str(), output.c_str(), &reason)) {
            std::fprintf(stderr, "tessel: clipboard: %s %s\n", ToUtf8(CTSInterface().GetErrorText(3)).c_str(),
                         ToUtf8(reason).c_str());
            return kExitFailed;
        }
        if (!options.quiet) std::printf("clipboard -> %s\n", output.c_str());
        return kExitOk;
    }
};
TESSEL_REGISTER_CONVERSION(CClipboardImportCommand)

}  // namespace
}  // namespace tessel::cli
