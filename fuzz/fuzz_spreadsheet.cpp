// Spreadsheet files from any bytes: type detection, the xlsx, ods and xls
// readers and, on what they read, the block search. Findings: a crash, a
// hang, a failure without a reason.

#include "formats/spreadsheet/SpreadsheetReader.h"
#include "formats/spreadsheet/TableWriter.h"

#include <cstdint>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Repeat counts in a few bytes of ods can promise billions of cells; the
    // limit stops them as it stops them in the import.
    CNumberTable table(std::size_t(1) << 16);
    CString reason;
    const ESheetRead r = ReadFirstWorksheetFromMemory(data, size, table, reason);
    if (r != ESheetRead::Ok) {
        if (reason.IsEmpty()) __builtin_trap();
        return 0;
    }
    if (table.CellCount() > 0) {
        static const std::string out = "/tmp/fuzz_spreadsheet_" + std::to_string(getpid()) + ".trx";
        if (!WriteTableToTRX(table, out.c_str(), 4, &reason) && reason.IsEmpty()) __builtin_trap();
        unlink(out.c_str());
    }
    return 0;
}
