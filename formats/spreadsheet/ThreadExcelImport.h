#pragma once
// The spreadsheet import job: the first worksheet of an xlsx, ods or xls file
// becomes a new TRX data set through the table writer. It takes neither
// semaphore and makes no write probe; the output path is used as given.

#include "frame/ThreadConversion.h"
#include "platform/CString.h"

class CThreadExcelImport : public CThreadConversion {
public:
    // overwrite null: overwriting is allowed (not a setting).
    CThreadExcelImport(const char* input, long id, long user, const char* output, const int* overwrite,
                       int dataKind);
    ~CThreadExcelImport() override;
    int Run() override;

    CString m_sOutput;
    int m_iDataKind;
};

// The clipboard import: text (NUL-terminated) parsed into a table and written
// with data kind 4 on the caller's thread. True when the data set was written;
// otherwise `reason` (may be null) says why.
bool ImportClipboardText(const char* text, const char* output, CString* reason = nullptr);
