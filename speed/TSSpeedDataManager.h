#pragma once
// Speed reference data from the pulse (tacho) sub-channel of a TRX data set:
// the reference data set (speed over time) beside the source, a marked
// section of it as a data set of its own, and where a reference curve first
// reaches a level. The pulse evaluation itself is RPMFileManager's; this
// class decides file names, when to recompute, and what is cut and tagged.
//
// A host includes this header alone; it names the data-set library's
// CSubChannel and CDataset, whose headers come with the module.

#include "hostlibs/dataset/Channel.h"
#include "platform/CString.h"

#include <cstdint>

class CDataset;

class __attribute__((visibility("default"))) CTSSpeedDataManager {
public:
    // index: handed to the pulse evaluation with the sub-channel; -1 takes
    // the sub-channel as given, a value >= 0 the source's sub-channel at that
    // index. The reference file name is settled here.
    CTSSpeedDataManager(const char* sourcePath, const CSubChannel& pulseSubChannel, int index);
    CTSSpeedDataManager(const CTSSpeedDataManager&) = default;
    CTSSpeedDataManager& operator=(const CTSSpeedDataManager&) = default;

    // The name of the reference data set for this source and sub-channel.
    CString GetSCFilename() const;

    // Makes sure the reference data set exists and is current. On entry
    // refName may name the wanted file (empty: the default name); a
    // non-empty name other than the default forces a recomputation, as does
    // bForce. On return refName holds the reference data set's path.
    bool EvaluateRefFromPulses(CString& refName, bool bForce);

    // Writes the reference data from `from` to `to` (abscissa values) as the
    // data set `target`, 32-bit floats, every channel tagged "ControlValue"
    // = true. False when anything fails; no partial target stays behind.
    bool EvaluateMarkRefFromPulses(CString target, double from, double to);

    // The progress counters of the pulse evaluation: scans in total (1 until
    // an evaluation has begun) and scans done.
    void GetProgress(unsigned long& total, unsigned long& done) const;

    // The abscissa value at which the first channel of the data set first
    // reaches `level`, interpolated linearly between samples. False (cut
    // unchanged) when abscissa 0 is not calculated or the level is never
    // reached.
    static bool FindCutDueToRef(float level, CDataset* dataset, double& cut);

private:
    CString m_sSourcePath;
    CString m_sSCFilename;
    int m_iIndex;
    CSubChannel m_pulseSubChannel;
    std::uint32_t m_uProgressTotal;
    std::uint32_t m_uProgressDone;
};
