#include "formats/spreadsheet/ThreadExcelImport.h"

#include "common/OutputPolicy.h"
#include "common/ResultIds.h"
#include "formats/spreadsheet/ClipboardText.h"
#include "formats/spreadsheet/SheetReaderEntry.h"
#include "formats/spreadsheet/TableWriter.h"
#include "hostlibs/dataset/DatasetTypes.h"
#include "platform/FileSystem.h"

#include <cstring>

namespace {
constexpr unsigned kConversionFailed = 3;
}

CThreadExcelImport::CThreadExcelImport(const char* input, long id, long user, const char* output,
                                       const int* overwrite, int dataKind)
    : CThreadConversion(input, id, user), m_sOutput(output ? output : ""), m_iDataKind(dataKind)
{
    m_uState = TS_STATE_EXCEL_IMPORT;
    m_bOverwrite = overwrite ? *overwrite : 1;
}

CThreadExcelImport::~CThreadExcelImport() { WaitForEnd(); }

int CThreadExcelImport::Run()
{
    // No write probe, but the input is never the output, and a file that may
    // not be replaced stays.
    if (!m_sOutput.IsEmpty() && OutputPolicy::IsOutputTheInput(m_sInput, m_sOutput)) {
        SetFailed(ResultId::kInputIsOutput);
        return -1;
    }
    if (!m_bOverwrite && FileSystem::FileExists(m_sOutput)) {
        SetFailed(ResultId::kOutputExists);
        return -1;
    }

    CNumberTable table;
    CString reason;
    switch (ReadFirstWorksheetWithPlugin(m_sInput, table, reason)) {
    case ESheetRead::Ok: break;
    case ESheetRead::NoReader:
        m_sTextAppend = "\n" + reason;
        SetFailed(kConversionFailed);
        return -1;
    case ESheetRead::Unreadable:
        m_sTextArg = m_sInput;
        m_sTextAppend = "\n" + reason;
        SetFailed(ResultId::kFileNotOpened);
        return -1;
    }
    if (!WriteTableToTRX(table, m_sOutput, m_iDataKind, &reason)) {
        m_sTextAppend = "\n" + reason;
        SetFailed(kConversionFailed);
        return -1;
    }
    m_arsProduced.Add(m_sOutput);
    return 0;
}

bool ImportClipboardText(const char* text, const char* output, CString* reason)
{
    if (!text || !output || !*output) {
        if (reason) *reason = !text ? "No text was given." : "No output path was given.";
        return false;
    }
    CNumberTable table;
    if (!ParseClipboardText(text, std::strlen(text), table)) {
        if (reason) *reason = "The text has more cells than can be read.";
        return false;
    }
    return WriteTableToTRX(table, output, dk__frf, reason);
}
