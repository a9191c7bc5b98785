#pragma once
// Reads the first worksheet of a spreadsheet file into a table of numbers:
// ods through liborcus's importer, xlsx through liborcus's zip and XML
// parsers (XlsxSheet.h), xls (BIFF) through libfreexl. The type is
// taken from the file's content, not its name. The ods and xls readers run
// in a process of their own (platform/ChildProcess.h): their libraries fault
// or abort on crafted files.
//
// The table covers the worksheet from its first cell (A1) to the last used
// cell, so that the used range, wherever it starts, lies in it whole. A cell
// is a number when the file stores a number for it (a formula cell by its
// stored result); text, booleans, dates and times, errors and empty cells are
// not numbers.

#include "formats/spreadsheet/NumberTable.h"
#include "platform/CString.h"

#include <cstddef>

// Damaged: a zip container whose directory cannot be read.
enum class ESheetType { Unknown, Xlsx, Ods, Xls, Damaged };

enum class ESheetRead {
    Ok,
    NoReader,     // not a file type this reader knows
    Unreadable,   // missing, not readable, or refused by its reader
};

// The type of a file from its content (the whole file for zip containers).
ESheetType DetectSheetType(const void* data, std::size_t size);

// `reason` receives the cause of a failure (the system's or the reader's
// message).
ESheetRead ReadFirstWorksheet(const char* path, CNumberTable& table, CString& reason);
// The same from bytes in memory (xls goes through an anonymous file).
ESheetRead ReadFirstWorksheetFromMemory(const void* data, std::size_t size, CNumberTable& table, CString& reason);

// What the reading process runs on ods content, here in the calling
// process: for the fuzz target, which must not pay a process per input.
ESheetRead ReadOdsInThisProcess(const void* data, std::size_t size, CNumberTable& table, CString& reason);
