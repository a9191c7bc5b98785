// The entry of the plug-in tessel_spreadsheet.so; everything else in it is
// hidden (--exclude-libs), so that its copies of the readers never meet
// another's.

#include "formats/spreadsheet/SheetReaderEntry.h"

#include <exception>
#include <type_traits>
#include <new>

extern "C" __attribute__((visibility("default"))) int TesselReadFirstWorksheet(const char* path, CNumberTable* table,
                                                                                CString* reason)
{
    // No exception may cross into the module, which was built apart.
    try {
        return int(ReadFirstWorksheet(path, *table, *reason));
    } catch (const std::bad_alloc&) {
        *reason = "not enough memory for the worksheet";
    } catch (const std::exception& e) {
        *reason = e.what();
    } catch (...) {
        *reason = "the reader failed";
    }
    return int(ESheetRead::Unreadable);
}

// The entry's type and name are the loader's (SheetReaderLoader.cpp).
static_assert(std::is_same_v<decltype(&TesselReadFirstWorksheet), SheetReaderEntryFn>);
