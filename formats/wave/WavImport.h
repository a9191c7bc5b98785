#pragma once
// WAVE import: a RIFF/WAVE file with integer PCM samples becomes a new TRX
// time data set, one channel per WAVE channel, the frames copied byte for
// byte (8-bit samples widened to 16 bits); scaling lives only in the
// channels' mapping.

#include "frame/ThreadConversion.h"

#include <cstddef>

// The output of an import whose caller named none: the input with ".dat" in
// place of its extension, in the TRX standard directory when the import's
// bit is set. The command line checks its outputs with this same rule.
CString DeriveWAVImportOutput(const char* input);

class CThreadWAVImport : public CThreadConversion {
public:
    // output null: the input with ".dat" (replacing its extension), in the
    // TRX standard directory when the settings say so. overwrite null: the
    // setting for WAVE imports.
    CThreadWAVImport(const char* input, long id, long user, const char* output, const int* overwrite);
    ~CThreadWAVImport() override;

    int Run() override;

    const CString& GetOutputPath() const { return m_sOutput; }

    // Tests: transfer buffers above this size fail to allocate (0: no limit),
    // to reach the halving and the out-of-memory result.
    static void SetBufferLimitForTests(std::size_t bytes);

    CString m_sOutput;

private:
    bool Convert();
};
