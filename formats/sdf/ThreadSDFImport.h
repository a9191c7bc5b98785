#pragma once
// The SDF import job: every result (data header) of an SDF file becomes a
// TRX data set; results of equal abscissa are combined afterwards, and speed
// results are merged into the time data as pulse patterns.

#include "formats/sdf/SdfImportPlan.h"
#include "frame/CreatedOutputs.h"
#include "frame/ThreadConversion.h"
#include "platform/CString.h"

class CThreadSDFImport : public CThreadConversion {
public:
    CThreadSDFImport(const char* input, long id, long user, const char* output, const int* overwrite);
    int Run() override;

    // The output names: the first one fixed here, the final ones after the run.
    CStringArray m_arsOutput;
    // One sub-channel file (speed result) each.
    CStringArray m_arsSubChannelFiles;

protected:
    // Every move of the job's fraction passes here, so that a watcher can
    // follow it without polling against the clock.
    virtual void ReportProgress(float f) { SetProgress(f); }

private:
    void Convert();
    // The values of result `index` of `count` fill its equal share of the
    // transfer part of the job's fraction.
    void ImportResult(ISdfInput& in, const CSdfHeaderSet& headers, const SSdfResultPlan& plan, const CString& path,
                      int index, int count);
    void Combine(CStringArray& outputs);

    CCreatedOutputs m_created;
};
