#pragma once
// SONY MK II/III import: the data file (16-bit samples of every channel,
// interleaved) and the LOG file beside it become one TRX time data set; the
// samples are copied unchanged, the LOG's mapping texts become the channels'
// mappings.

#include "formats/recorder/SonyLog.h"
#include "frame/ThreadConversion.h"

// The output of an import whose caller named none: the input with ".dat" in
// place of its extension, in the TRX standard directory when its bit is set.
CString DeriveSONYImportOutput(const char* input);

class CThreadSONYImport : public CThreadConversion {
public:
    // output null: the input with ".dat" (replacing its extension), in the
    // TRX standard directory when the settings say so. overwrite null: the
    // setting for SONY imports.
    CThreadSONYImport(const char* input, long id, long user, const char* output, const int* overwrite);
    ~CThreadSONYImport() override;

    int Run() override;

    // Reads the LOG that belongs to the data file `input`; true when it was
    // read completely. `failure` says why not (the file, or what it lacks).
    static bool ReadLog(const char* input, SSonyLog& log, std::string& failure);

    CString m_sOutput;

private:
    bool Convert();
};
