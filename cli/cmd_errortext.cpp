// `tessel error-text CODE`: the text of a result code, in the user's language.

#include "cli/CommandRegistry.h"

#include <cstdio>

namespace tessel::cli {
namespace {

std::function<int()> SetupErrorText(CLI::App& cmd)
{
    auto code = std::make_shared<unsigned>(0);
    cmd.add_option("code", *code, "Result code")->required();
    return [code] {
        CString text = CTSInterface().GetErrorText(*code);
        if (text.IsEmpty()) {
            std::fprintf(stderr, "tessel: %u is not a result code\n", *code);
            return int(kExitFailed);
        }
        // One line feed ends the output; a text that ends with its own (102)
        // gets no second one.
        const std::string out = ToUtf8(text);
        std::printf(out.ends_with('\n') ? "%s" : "%s\n", out.c_str());
        return int(kExitOk);
    };
}

TESSEL_REGISTER_TOPLEVEL("error-text", "Print the text of a result code", SetupErrorText)

}  // namespace
}  // namespace tessel::cli
