#pragma once
// The spreadsheet readers as the module reaches them: through the plug-in
// tessel_spreadsheet.so (SheetReaderEntry.cpp with the readers and their
// libraries), loaded by the first spreadsheet import, so that no other
// conversion pays for loading liborcus, boost, libfreexl and expat.

#include "formats/spreadsheet/SpreadsheetReader.h"

inline constexpr char kSheetReaderPlugin[] = "tessel_spreadsheet.so";
inline constexpr char kSheetReaderEntry[] = "TesselReadFirstWorksheet";

// The plug-in's entry: ReadFirstWorksheet, its result as an int.
using SheetReaderEntryFn = int (*)(const char* path, CNumberTable* table, CString* reason);

// ReadFirstWorksheet through the plug-in. A plug-in that cannot be loaded
// is NoReader, the loader's message in `reason`.
ESheetRead ReadFirstWorksheetWithPlugin(const char* path, CNumberTable& table, CString& reason);
