#pragma once
// Mixed-rate TRX export: a copy of a TRX time-data set in which the lower
// channels keep the input's rate and the upper ones run at the rate divided
// by 2, 4, 8, 16 or 32, all in one data set with a sampling pattern.
//
// Each reduced group streams through a processing network of its own
// (source, resampler, float-to-integer conversion, TRX drain) into a
// temporary data set beside the output; so does the kept group unless its
// samples can be taken from the input as stored. The output is then made by
// merging these into its sampling pattern. Temporary files never outlive the run,
// and a failed run leaves no output.

#include "frame/CreatedOutputs.h"
#include "frame/ThreadConversion.h"
#include "hostlibs/dataset/Dataset.h"

#include <memory>
#include <vector>

// The channels that run at one rate.
struct SMixedRateGroup {
    short nDivisor = 1;
    CChNbrList channels;               // input channel numbers
    // The kept group of a plain input takes its samples from the input
    // itself, with the input's pulse channel (-1: none); no network.
    bool bFromInput = false;
    int iInputPulseChannel = -1;
    CString sTempPath;                 // while the job runs
    std::unique_ptr<CDataset> pTemp;   // open while the merge runs
};

class CThreadTRXMixedSRExport : public CThreadConversion {
public:
    // The checks that come before any job: 90 for a divisor other than 2, 4,
    // 8, 16 or 32; 111 when input and output are the same text; 91 when the
    // first resampled channel is not a channel of the input. 0 and the groups
    // (non-exportable channels left out, groups left empty by that dropped)
    // when the job may be built.
    static unsigned CheckArguments(short firstResampledChannel, short divisor, const char* input, const char* output,
                                   std::vector<SMixedRateGroup>& groups);

    CThreadTRXMixedSRExport(const char* input, long id, long user, const char* output, bool overwrite,
                            std::vector<SMixedRateGroup> groups);
    ~CThreadTRXMixedSRExport() override;

    int Run() override;

    CString m_sOutput;
    std::vector<SMixedRateGroup> m_groups;
    std::unique_ptr<CDataset> m_pInput;

private:
    // The output once this job has made it: removed again after a failure.
    CCreatedOutputs m_createdOutput;
    bool Convert();
    bool RunNetwork(SMixedRateGroup& group);
    bool Merge();
    struct SSamplePart;
    bool KeptGroupCopiesInput(int& pulseChannel) const;
    bool CopySamples(CDataset& out, std::vector<SSamplePart>& parts, long scans);
    bool Fail(unsigned stringId, const char* textArg = nullptr);
    // A free name for group i's temporary data set beside the output.
    CString TempName(int index) const;
};
