#include "formats/wave/WavExport.h"

#include "common/ChannelHelpers.h"
#include "common/OutputPolicy.h"
#include "common/PulseServices.h"
#include "formats/wave/WaveFade.h"
#include "formats/wave/WaveFormat.h"
#include "formats/wave/WaveTacho.h"
#include "frame/CreatedOutputs.h"
#include "hostlibs/blocks/Blocks.h"
#include "platform/Riff.h"
#include "settings/TSSettings.h"

#include <cmath>
#include <cstdio>

namespace {

// Full-scale physical value of the scale-to mode: a level in dB re 2e-5 Pa,
// as r.m.s. of a sine whose peak reaches full scale.
double ScaleToValue(short levelDb) { return std::sqrt(2.0) * 4e-5 * std::pow(10.0, levelDb * 0.05); }

// Deletes a drain or source through its deleting slot.
struct SNodeDeleter {
    void operator()(CNetNode* node) const
    {
        if (node)
            node->Destroy(true);
    }
};
template <class T>
using NodePtr = std::unique_ptr<T, SNodeDeleter>;

}  // namespace

CString DeriveWAVExportOutput(const char* input)
{
    return OutputPolicy::DeriveOutputPath(CMark(input ? input : "").GetPath(), ".WAV",
                                          OutputPolicy::EExtensionRule::AppendWhenMissing, CTSSettings::bitWAVExport);
}

CThreadWAVExport::CThreadWAVExport(const CMark& mark, long id, long user, const char* output,
                                   const int* overwrite, const int* convFloatToInt, const short* calibration,
                                   const int* resolution24Bit, const int* includePulseChannels,
                                   const double* fadeTimeSeconds, const int* loop, int oldHeader1,
                                   int oldHeader2)
    : CThreadConversion(mark.GetPath(), id, user)
{
    m_uState = TS_STATE_WAV_EXPORT;
    m_sOutput = output ? CString(output) : DeriveWAVExportOutput(mark.GetPath());
    m_bOverwrite = OutputPolicy::ResolveOverwrite(overwrite, CTSSettings::bitWAVExport);
    m_iConvFloatToInt = convFloatToInt ? *convFloatToInt : CTSSettings::m_iConvFloatToIntWAVExport;
    m_nCalibration = calibration ? *calibration : CTSSettings::m_nCalibrationWAVExport;
    m_b24Bit = resolution24Bit ? *resolution24Bit : CTSSettings::m_b24BitResolutionWAVExport;
    m_bIncludePulse = includePulseChannels ? *includePulseChannels : CTSSettings::m_bIncludePulseChWAVExport;
    m_dFadeTime = fadeTimeSeconds ? *fadeTimeSeconds : 0.0;
    m_bLoop = loop ? *loop : 0;
    m_iOldHeader1 = oldHeader1;
    m_iOldHeader2 = oldHeader2;
    m_channels = mark.GetChannelList();
    try {
        m_pDataset = std::make_unique<CDataset>(mark.GetPath(), om__read_complete, 32768, sh__deny_write);
    } catch (...) {
        m_pDataset.reset();
    }
}

CThreadWAVExport::~CThreadWAVExport() = default;

int CThreadWAVExport::Run()
{
    if (Convert())
        return 0;
    m_uState = FailedState(TS_STATE_WAV_EXPORT);
    return -1;
}

bool CThreadWAVExport::Fail(unsigned stringId)
{
    m_uStringID = stringId;
    return false;
}

bool CThreadWAVExport::Convert()
{
    const CString input = m_sInput;
    const CString output = m_sOutput;

    // An output that may not be replaced, or that is the input, is never
    // touched.
    if (OutputPolicy::PrepareOutput(*this, input, output, m_bOverwrite))
        return false;

    // Refusals that need no file come before any is written.
    if (!m_pDataset)
        return Fail(WaveResult::kTrxNotCreated);
    if (m_pDataset->GetKind() != dk__time)
        return Fail(WaveResult::kNoTimeData);
    if (m_pDataset->GetNbrOfChannels() < 1)
        return Fail(WaveResult::kNoExportableChannels);
    // A selection naming channels the data set does not have selects nothing.
    for (int i = m_channels.GetCount() - 1; i >= 0; --i)
        if (m_channels.GetAt(i) < 0 || m_channels.GetAt(i) >= m_pDataset->GetNbrOfChannels())
            m_channels.RemoveAt(i);
    ChannelHelpers::RemovePulseChannels(*m_pDataset, m_channels);
    if (m_channels.IsEmpty())
        return Fail(WaveResult::kNoExportableChannels);
    const double rate = m_pDataset->GetSamplingRate(m_channels.GetAt(0));
    for (int c : m_channels)
        if (m_pDataset->GetSamplingRate(c) != rate)
            return Fail(WaveResult::kMixedRates);

    // Moving the data counts against the conversions that may run at once.
    CSemaphoreHolder access(m_semAccess);

    // A failed export removes what it made itself, and only that: by then
    // the path may name a file that another job or the user put there.
    CCreatedOutputs created;
    bool ok;
    if (m_iOldHeader1 == 0 && m_iOldHeader2 == 0)
        ok = DrainExport(created);
    else if (m_iOldHeader1 == 1 && m_iOldHeader2 == 1)
        ok = TachoExport(created);
    else
        ok = Fail(WaveResult::kInvalidParameters);
    if (!ok) {
        created.RemoveAll();
        return false;
    }
    created.Keep();

    // The fade works on a finished file; whatever it meets, the export stands.
    m_arsProduced.Add(output);
    m_uState = TS_STATE_WAV_EXPORT;
    if (m_dFadeTime > 0.0) {
        if (m_bLoop)
            ApplyLoopCrossFade(output, m_dFadeTime, m_bIncludePulse != 0);
        else
            ApplyFadeInOut(output, m_dFadeTime, m_bIncludePulse != 0);
    }
    return true;
}

bool CThreadWAVExport::PeakValue(double& value)
{
    double lo = 0, hi = 0;
    if (!ChannelHelpers::GetValueRange(*m_pDataset, m_channels, lo, hi, true))
        return false;
    // No samples at all leave the range at its start values.
    if (lo == ChannelHelpers::RangeStartMinimum() || hi == ChannelHelpers::RangeStartMaximum())
        lo = hi = 0.0;
    value = std::max(std::fabs(lo), std::fabs(hi));
    // Silence scales by 1, so that nothing divides by zero.
    if (value == 0.0 || !std::isfinite(value))
        value = 1.0;
    return true;
}

bool CThreadWAVExport::DrainExport(CCreatedOutputs& created)
{
    const CString input = m_sInput;
    const CString output = m_sOutput;
    NodePtr<CSPBTrxSourceTimeData> source(CSPBTrxSourceTimeData::CreateObject());
    NodePtr<CSPMWaveDrain> drain(CSPMWaveDrain::CreateObject(output));
    if (!source || !drain)
        return Fail(WaveResult::kNetworkNotInitialised);
    const int S = m_pDataset->GetNbrOfSubChannels();

    // Scale value and the 1:1 flag of the conversion mode.
    double V = 0.0;
    bool oneToOne = false;
    switch (m_iConvFloatToInt) {
    case 0:
        if (!PeakValue(V))
            return Fail(WaveResult::kTrxNotRead);
        break;
    case 2:
        V = ScaleToValue(m_nCalibration);
        break;
    default:
        oneToOne = true;
        break;
    }

    // From here on the network exists: its run is ended on every path.
    bool ok = true;
    if (!source->Open(input))
        ok = Fail(WaveResult::kSourceNotOpened);
    else if (!source->SetChannels(m_channels))
        ok = Fail(WaveResult::kSourceNotConfigured);
    else if (!drain->SetParameters(false, false, oneToOne, V, S, m_b24Bit != 0))
        ok = Fail(WaveResult::kDrainNotConfigured);
    if (ok && m_bIncludePulse) {
        // Pulse sub-channel k goes into channel k; one that cannot travel
        // while it has a channel to go to would be lost.
        int k = 0;
        for (int i = 0; i < S && ok; ++i) {
            CSubChannel sub = m_pDataset->GetSubChannel(i);
            if (sub.GetType() != sc__pulse)
                continue;
            source->SetPulseEvaluation(2);
            if (!source->SetPulseSubChannel(sub) && k < m_channels.GetCount()) {
                m_sTextAppend = CString("\n") + source->GetLastError().c_str();
                ok = Fail(WaveResult::kSourceNotConfigured);
            }
            ++k;
        }
        double pulseFactor = 0;
        int subIndex = 0, subCount = 0;
        if (ok && CTrx::ScanForBNRInfo(input, &pulseFactor, &subIndex, &subCount) && m_iConvFloatToInt == 2)
            drain->SetParametersBNRSubChannel(subIndex, subCount, double(m_nCalibration));
    } else if (ok) {
        source->SetPulseEvaluation(1);
    }
    if (ok) {
        source->Output(0)->ConnectInput(drain->Input(0));
        if (!drain->Initialize()) {
            ok = Fail(WaveResult::kNetworkNotInitialised);
        } else {
            while (!drain->IsFinished()) {
                if (Interrupted()) { ok = Fail(WaveResult::kNetworkNotReset); break; }
                bool stepped = drain->DoOneStepOfProcessing();
                std::uint32_t total = 0, done = 0;
                source->GetProgress(total, done);
                if (total > 0)
                    SetProgress(float(double(done) / double(total)));
                if (!stepped)
                    break;
            }
        }
    }
    bool ended = drain->EndRun();
    if (ok) {
        switch (drain->GetErrorCode()) {
        case 0:
            // A run that stopped early or could not end cleanly without a
            // drain error is still no complete file.
            if (!ended || !drain->IsFinished()) {
                ok = Fail(WaveResult::kNetworkNotReset);
            } else {
                m_uStringID = WaveResult::kSuccess;
                created.Add(output);
            }
            break;
        case 1:
            m_sTextArg = output;
            ok = Fail(WaveResult::kCannotOpen);
            break;
        case 2:
            m_sTextArg = output;
            ok = Fail(WaveResult::kWriteFailed);
            break;
        case 3:
            ok = Fail(WaveResult::kWaveNotClosed);
            break;
        case 4:
            ok = Fail(WaveResult::kNetworkNotInitialised);
            break;
        default:
            ok = Fail(WaveResult::kNetworkNotReset);
            break;
        }
    }
    source->Close();
    return ok;
}

bool CThreadWAVExport::TachoExport(CCreatedOutputs& created)
{
    STachoExport t;
    t.created = &created;
    t.input = m_sInput;
    t.output = m_sOutput;
    t.dataset = m_pDataset.get();
    t.channels = m_channels;
    t.convMode = m_iConvFloatToInt;
    t.calibration = m_nCalibration;
    if (m_iConvFloatToInt == 0 && !PeakValue(t.peak))
        return Fail(WaveResult::kTrxNotRead);
    t.makePulseFile = [&](const CSubChannel& sub, CString& pulsePath, CString& error) {
        // The pulse file goes beside the data set, where a later export
        // finds it up to date.
        pulsePath.Empty();
        return PulseServices::MakePulseFile(m_sInput, sub, pulsePath, error, 0, 0, 0);
    };
    STachoResult r = WriteTachoWave(t);
    m_uStringID = r.stringId;
    m_sTextArg = r.textArg;
    m_sTextAppend = r.textAppend;
    return r.ok;
}
