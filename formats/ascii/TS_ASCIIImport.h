#pragma once
// ASCII import: a text table (one scan per line, one column per channel,
// optionally the abscissa first) becomes a new TRX data set. The table is read
// twice: the first pass gathers per-column statistics that decide the
// abscissa and the integer scaling, the second writes the samples.

#include "hostlibs/dataset/Unit.h"
#include "frame/ThreadConversion.h"
#include "platform/CString.h"

#include <array>
#include <cstdio>

// What the import takes from the settings, copied when the job is built so
// that the settings may change while it runs.
struct SASCImportContext {
    static constexpr int g_iChannels = 256;
    static constexpr int g_iMaxNameLength = 127;

    unsigned uDataKind = 1;
    CQuantity abscQuantity{"time"};
    CUnit abscUnit{"s", 1};
    int bAbscFromSettings = 0;   // set: no abscissa column, x_start 0 and x_delta below
    double dXStart = 0.0;
    double dXDelta = 1.0 / 44100.0;
    double dAbscFactor = 1.0;
    std::array<CString, g_iChannels> asName;
    std::array<CQuantity, g_iChannels> aQuantity;
    std::array<CUnit, g_iChannels> aUnit;
    std::array<double, g_iChannels> adFactor;
    int iImplType = 10;

    SASCImportContext();
    // The defaults overwritten from CTSSettings.
    static SASCImportContext FromSettings();
};

// The converter. Returns 0 on success, 1 on failure with the diagnostic in
// errorText (at most 1023 characters, one trailing line feed removed). A
// failed conversion removes the output it created, and nothing else.
int ConvertASCIIToTRX(const char* input, const char* output, const SASCImportContext& context, CString& errorText);
// The same from an open stream (a file, or memory through fmemopen), which
// must be seekable and stays the caller's; input names it in the texts.
int ConvertASCIIToTRX(std::FILE* in, const char* input, const char* output, const SASCImportContext& context,
                      CString& errorText);

// The output of an import whose caller named none: the input with ".trx"
// (replacing its extension or appended), in the full path of the TRX standard
// directory when the import's bit of the standard-path flags is set.
CString DeriveASCImportOutput(const char* input);

class CThreadASCImport : public CThreadConversion {
public:
    // output null: derived from the input (".trx", in the standard directory
    // when its bit is set); overwrite null: the setting.
    CThreadASCImport(const char* input, long id, long user, const char* output, const int* overwrite);
    ~CThreadASCImport() override;
    int Run() override;

    CString m_sOutput;
    SASCImportContext m_context;
};
