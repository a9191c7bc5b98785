#include "formats/spreadsheet/SheetReaderEntry.h"

#include "platform/Plugin.h"

#include <string>

ESheetRead ReadFirstWorksheetWithPlugin(const char* path, CNumberTable& table, CString& reason)
{
    std::string error;
    const auto read = reinterpret_cast<SheetReaderEntryFn>(FindPluginEntry(kSheetReaderPlugin, kSheetReaderEntry, error));
    if (!read) {
        reason = "the spreadsheet readers could not be loaded: " + error;
        return ESheetRead::NoReader;
    }
    const int r = read(path, &table, &reason);
    return r == int(ESheetRead::Ok) || r == int(ESheetRead::NoReader) ? ESheetRead(r) : ESheetRead::Unreadable;
}
