#pragma once
// WAVE export: the time channels of a TRX data set as a 16 or 24-bit PCM
// WAVE file. The usual path streams the data through a TRX source and a WAVE
// drain of the processing-block library; the old-header path writes the RIFF
// file itself, 16-bit, with a tacho track made from the pulse sub-channel.
// An optional fade or loop cross-fade follows a successful export.

#include "frame/ThreadConversion.h"

#include "hostlibs/dataset/Dataset.h"

#include <memory>

class CCreatedOutputs;

// The output of an export whose caller named none: the data set's path (a
// channel selection after "|" is no part of it) with ".WAV", in the WAVE
// standard directory when the export's bit is set.
CString DeriveWAVExportOutput(const char* input);

class CThreadWAVExport : public CThreadConversion {
public:
    // Null pointers take the settings (fade 0.0, loop 0). The data set is
    // opened here; when it cannot be, Run reports 15.
    CThreadWAVExport(const CMark& mark, long id, long user, const char* output, const int* overwrite,
                     const int* convFloatToInt, const short* calibration, const int* resolution24Bit,
                     const int* includePulseChannels, const double* fadeTimeSeconds, const int* loop,
                     int oldHeader1, int oldHeader2);
    ~CThreadWAVExport() override;

    int Run() override;

    const CString& GetOutputPath() const { return m_sOutput; }

    CString m_sOutput;
    std::unique_ptr<CDataset> m_pDataset;
    CChNbrList m_channels;
    int m_iConvFloatToInt;
    short m_nCalibration;
    int m_b24Bit;
    int m_bIncludePulse;
    double m_dFadeTime;
    int m_bLoop;
    int m_iOldHeader1;
    int m_iOldHeader2;

private:
    bool Convert();
    bool DrainExport(CCreatedOutputs& created);
    bool TachoExport(CCreatedOutputs& created);
    // The scale value of the autoscale and scale-to modes (physical full scale).
    bool PeakValue(double& value);
    bool Fail(unsigned stringId);
};
