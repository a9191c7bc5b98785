#pragma once
// The SDF export job: the time data of one TRX data set, and the speed curves
// of its pulse sub-channels, as one SDF file of revision 3.

#include "formats/sdf/SdfHeader.h"
#include "frame/CreatedOutputs.h"
#include "frame/ThreadConversion.h"
#include "platform/CString.h"

#include <memory>
#include <vector>

class CDataset;

class CThreadSDFExport : public CThreadConversion {
public:
    CThreadSDFExport(const char* input, long id, long user, const char* output, const int* overwrite,
                     const int* highRate);
    ~CThreadSDFExport() override;
    int Run() override;

    CString m_sOutput;
    int m_bHighRate = 0;

protected:
    // Every move of the job's fraction passes here, so that a watcher can
    // follow it without polling against the clock.
    virtual void ReportProgress(float f) { SetProgress(f); }

private:
    struct SSource;
    struct SRun;
    void Convert();
    void AddSpeedSources();
    void BuildHeaders();
    void WriteBody(int fd);

    CSdfHeaderSet m_h;
    std::vector<std::unique_ptr<SSource>> m_sources;
    std::vector<SRun> m_runs;
    CStringArray m_arsTemporary;   // resampled speed sets, removed after the run
    CCreatedOutputs m_created;
    bool m_bUnitWarning = false;
    long long m_llFileEnd = 0;  // the last byte of the values, the end of the file
    CString m_sUnitWarning;
};
