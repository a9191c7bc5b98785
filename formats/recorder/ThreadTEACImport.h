#pragma once
// TEAC import: a ".DAT" data file of 16-bit samples, interleaved, becomes one
// TRX time data set. With a ".hdr" file beside it the recording is TAFFmat
// and that text file describes it; otherwise the data file is a
// QuickVu-RD/Windows file whose first 512 bytes are its header, and a SET
// file (named by the settings) may give engineering units.

#include "formats/recorder/QuickVu.h"
#include "formats/recorder/TaffHeader.h"
#include "frame/ThreadConversion.h"

class CDataset;
class CCreatedOutputs;

// The output of an import whose caller named none: the input with ".trx" in
// place of its extension, in the TRX standard directory when its bit is set.
CString DeriveTEACImportOutput(const char* input);

class CThreadTEACImport : public CThreadConversion {
public:
    // output null: the input with ".trx" (replacing its extension), in the
    // TRX standard directory when the settings say so. overwrite null: the
    // setting for TEAC imports.
    CThreadTEACImport(const char* input, long id, long user, const char* output, const int* overwrite);
    ~CThreadTEACImport() override;

    int Run() override;

    CString m_sOutput;
    CString m_sHeaderPath;   // the input with ".hdr"
    CString m_sSetPath;      // the input's directory and the SET file name of the settings

private:
    bool ConvertTaffmat(const CString& header);
    bool ConvertQuickVu();
    // Copies `length` bytes from `offset` of the data file into the data
    // set's stream; false with 11 or 12 set (the output then removed).
    bool CopySamples(CDataset& ds, int fd, std::uint64_t offset, std::uint64_t length, CCreatedOutputs& outputs);
    bool Finish(std::unique_ptr<CDataset>& ds, CCreatedOutputs& outputs, unsigned resultId);
};
