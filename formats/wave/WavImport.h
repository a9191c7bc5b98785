#pragma once
// WAVE import: a RIFF/WAVE file with integer PCM samples becomes a new TRX
// time data set, one channel per WAVE channel, the frames copied byte for
// byte (8-bit samples widened to 16 bits); scaling lives only in the
// channels' mapping.

#include "frame/ThreadConversion.h"

#include <cstddef>
#include <cstdint>

// The output of an import whose caller named none: the input with ".dat" in
// place of its extension, in the TRX standard directory when the import's
// bit is set. The command line checks its outputs with this same rule.
CString DeriveWAVImportOutput(const char* input);

// Changes 16-bit samples on their way into the data set: the MP3 import
// puts the pulse bits of its side file back this way, in the pass that
// copies them. With a filter the samples go through memory instead of the
// kernel's copy.
class IWaveSampleFilter {
public:
    virtual ~IWaveSampleFilter() = default;
    // Asked once, before the data set is made: whether the filter takes
    // 16-bit samples of `channels` channels. When it declines, the samples
    // pass unchanged.
    virtual bool Accepts(int channels) = 0;
    // `scans` whole scans from scan `first`, each scan once and in order.
    // False ends the import as failed; the filter keeps its reason.
    virtual bool Filter(std::int16_t* samples, int channels, long first, long scans) = 0;
};

class CThreadWAVImport : public CThreadConversion {
public:
    // output null: the input with ".dat" (replacing its extension), in the
    // TRX standard directory when the settings say so. overwrite null: the
    // setting for WAVE imports.
    CThreadWAVImport(const char* input, long id, long user, const char* output, const int* overwrite);
    ~CThreadWAVImport() override;

    int Run() override;

    const CString& GetOutputPath() const { return m_sOutput; }
    // Null: none. The filter must outlive the job.
    void SetSampleFilter(IWaveSampleFilter* filter) { m_pFilter = filter; }

    // Tests: transfer buffers above this size fail to allocate (0: no limit),
    // to reach the halving and the out-of-memory result.
    static void SetBufferLimitForTests(std::size_t bytes);

    CString m_sOutput;

private:
    bool Convert();
    IWaveSampleFilter* m_pFilter = nullptr;
};
