// Spreadsheet files from any bytes: type detection, the xlsx and ods readers
// and, on what they read, the block search. Findings: a crash, a hang, a
// failure without a reason.
//
// xls files are left out here: their reader is libfreexl, which the import
// runs in a child process because it has memory faults on crafted files
// (tests/formats/spreadsheet/data/freexl_iconv_stack_underflow.xls); those
// faults would end every run of this target, and a process per input would
// bring it down to a few runs a second.
//
// ods files are left out for now too: liborcus's ods importer stops the
// process on an assertion with crafted content (found by this target); until
// the import reads ods in the child process as it does xls, the target would
// end on that fault every run.

#include "formats/spreadsheet/SpreadsheetReader.h"
#include "formats/spreadsheet/TableWriter.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Repeat counts in a few bytes of ods can promise billions of cells; the
    // limit stops them as it stops them in the import.
    const ESheetType type = DetectSheetType(data, size);
    if (type == ESheetType::Xls || type == ESheetType::Ods) return 0;
    CNumberTable table(std::size_t(1) << 16);
    CString reason;
    const ESheetRead r = ReadFirstWorksheetFromMemory(data, size, table, reason);
    if (r != ESheetRead::Ok) {
        if (reason.IsEmpty()) __builtin_trap();
        return 0;
    }
    // The data set itself is written by the clipboard target; here the
    // search runs on what the readers found.
    STableLayout layout;
    if (!AnalyseTable(table, layout, &reason) && reason.IsEmpty()) __builtin_trap();
    return 0;
}
