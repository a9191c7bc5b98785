#pragma once
// The two universal-file jobs: import of every data set 58/58b of a file into
// TRX data sets (one per group of equal abscissa, kind and type), and export
// of the channels of one or more TRX data sets into one file.

#include "formats/uff/UffReader.h"
#include "frame/CreatedOutputs.h"
#include "frame/ThreadConversion.h"
#include "platform/CString.h"

#include <cstdio>
#include <vector>

// Outputs of jobs whose caller named none: the input with ".trx" (import)
// or ".UFF" (export, from the first data set's path) in place of its
// extension, in the kind's standard directory when its bit is set.
CString DeriveUFFImportOutput(const char* input);
CString DeriveUFFExportOutput(const char* input);

class CThreadUFFImport : public CThreadConversion {
public:
    CThreadUFFImport(const char* input, long id, long user, const char* output, const int* overwrite);
    int Run() override;

    // Trace texts of the conversion go to f (null: none).
    void SetTrace(std::FILE* f) { m_trace.SetTarget(f); }

    // First entry fixed here; numbered entries replace it when there are several groups.
    CStringArray m_arsOutput;

private:
    void Convert();
    void WriteGroup(CUffReader& reader, const SUffGroup& group, const CString& path);

    CUffTrace m_trace;
    CCreatedOutputs m_created;
};

class CThreadUFFExport : public CThreadConversion {
public:
    // bList: built by the list export (degrees of freedom from channel names, ratio units).
    // Each input may carry a channel selection ("run.trx|0,2").
    CThreadUFFExport(const CList<CString, CString&>& inputs, long id, long user, const char* output,
                     const int* overwrite, const int* binary, bool bList);
    int Run() override;

    void SetTrace(std::FILE* f) { m_trace.SetTarget(f); }

    std::vector<CString> m_lsInputs;
    CString m_sOutput;
    int m_bList;
    int m_bBinary;

private:
    class COutput;
    void uff_conv_trx2uff(COutput& out);
    void ExportDataset(COutput& out, const CString& input);

    CUffTrace m_trace;
    CCreatedOutputs m_created;
    bool m_bDofUnreadable = false;
};
