// Clipboard text from any bytes through the table writer's input path: the
// text parser, the block search and the abscissa cases on every input.
// Findings: a crash or hang, a refusal without a reason, a block that does
// not fit the table. Writing a data set costs far more than all of that, so
// one input in 32 (chosen by its bytes, so that a finding reproduces) is also
// written and read back.

#include "FuzzSupport.h"
#include "formats/spreadsheet/ClipboardText.h"
#include "formats/spreadsheet/TableWriter.h"
#include "hostlibs/dataset/Dataset.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A small cell limit keeps inputs whose first line promises many columns fast.
    CNumberTable table(std::size_t(1) << 16);
    if (!ParseClipboardText(reinterpret_cast<const char*>(data), size, table)) return 0;
    STableLayout layout;
    CString reason;
    if (!AnalyseTable(table, layout, &reason)) {
        fuzz::Check(!reason.IsEmpty());
        return 0;
    }
    // Every row of a clipboard table holds every column from 0 on.
    fuzz::Check(layout.Scans() >= 2 && layout.Channels() >= 1 && layout.kLast < table.RowCount() &&
                layout.uLastCol + 1 == std::size_t(table.RowEnd(layout.kLast) - table.RowBegin(layout.kLast)));

    std::uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
    if ((h & 31u) != 0) return 0;
    static const std::string out = fuzz::Scratch() + "/out.trx";
    if (WriteTableToTRX(table, out.c_str(), 4, &reason)) {
        CDataset ds(out.c_str(), om__read_complete, 32768, sh__deny_write);
        fuzz::Check(std::size_t(ds.GetNbrOfScans()) == layout.Scans() &&
                    std::size_t(ds.GetNbrOfChannels()) == layout.Channels());
    } else {
        fuzz::Check(!reason.IsEmpty());
    }
    unlink(out.c_str());
    return 0;
}
