// Spreadsheet files from any bytes: type detection, the xlsx reader and the
// ods reader and, on what they read, the block search. Findings: a crash, a
// hang, a failure without a reason.
//
// The ods reader runs here in this process, as the import's reading process
// runs it: a process per input would bring the target down to a few runs a
// second. xls files are left out: their reader is libfreexl, which has
// memory faults on crafted files
// (tests/formats/spreadsheet/data/freexl_iconv_stack_underflow.xls) and
// which the import therefore only ever runs in a process of its own.

#include "FuzzSupport.h"
#include "formats/spreadsheet/SpreadsheetReader.h"
#include "formats/spreadsheet/TableWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Repeat counts in a few bytes of ods can promise billions of cells; the
    // limit stops them as it stops them in the import.
    const ESheetType type = DetectSheetType(data, size);
    if (type == ESheetType::Xls) return 0;
    CNumberTable table(std::size_t(1) << 16);
    CString reason;
    const ESheetRead r = type == ESheetType::Ods ? ReadOdsInThisProcess(data, size, table, reason)
                                                 : ReadFirstWorksheetFromMemory(data, size, table, reason);
    if (r != ESheetRead::Ok) {
        fuzz::Check(!reason.IsEmpty());
        return 0;
    }
    // The data set itself is written by the clipboard target; here the
    // search runs on what the readers found.
    STableLayout layout;
    fuzz::Check(AnalyseTable(table, layout, &reason) || !reason.IsEmpty());
    return 0;
}
