// CTSInterface members of the spreadsheet and clipboard import.

#include "formats/spreadsheet/ThreadExcelImport.h"
#include "frame/ThreadManager.h"
#include "interface/TSInterface.h"

unsigned CTSInterface::ImportExcel(const char* input, long id, long user, const char* output, const int* overwrite,
                                   dk__val dataKind, SMessage* msg)
{
    return CThreadManager::Dispatch(
        msg, output, [&] { return new CThreadExcelImport(input, id, user, output, overwrite, dataKind); });
}

// The host passes the clipboard's text: a NUL-terminated byte string.
bool CTSInterface::ClipboardImport(void* clipboardText, const char* output)
{
    return ImportClipboardText(static_cast<const char*>(clipboardText), output);
}
