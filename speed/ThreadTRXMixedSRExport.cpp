#include "speed/ThreadTRXMixedSRExport.h"

#include "common/ChannelHelpers.h"
#include "common/OutputPolicy.h"
#include "frame/CreatedOutputs.h"
#include "hostlibs/blocks/Blocks.h"

#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace {

namespace Text {
constexpr unsigned kSuccess = 2;
constexpr unsigned kWriteFailed = 11;
constexpr unsigned kReadFailed = 14;
constexpr unsigned kNoInput = 15;
constexpr unsigned kNoChannels = 17;
constexpr unsigned kNoTimeData = 21;
constexpr unsigned kSourceNotOpened = 23;
constexpr unsigned kSourceNotConfigured = 24;
constexpr unsigned kDrainNotConfigured = 25;
constexpr unsigned kNetworkNotInitialised = 26;
constexpr unsigned kBadDivisor = 90;
constexpr unsigned kNoSuchChannel = 91;
constexpr unsigned kInputIsOutput = 111;
constexpr unsigned kTempNotOpened = 112;
}  // namespace Text

struct SNodeDeleter {
    void operator()(CNetNode* node) const
    {
        if (node)
            node->Destroy(true);
    }
};
template <class T>
using NodePtr = std::unique_ptr<T, SNodeDeleter>;

bool Exists(const char* path)
{
    struct stat st;
    return ::lstat(path, &st) == 0;
}

bool IsIntegerWiderThan16(int type)
{
    return type == it__int24 || type == it__uint24 || type == it__int32 || type == it__uint32;
}

}  // namespace

unsigned CThreadTRXMixedSRExport::CheckArguments(short first, short divisor, const char* input, const char* output,
                                                 std::vector<SMixedRateGroup>& groups)
{
    groups.clear();
    if (divisor != 2 && divisor != 4 && divisor != 8 && divisor != 16 && divisor != 32)
        return Text::kBadDivisor;
    if (std::strcmp(input ? input : "", output ? output : "") == 0)
        return Text::kInputIsOutput;
    try {
        // Read without a lock of its own: the check only counts channels.
        CDataset ds(input ? input : "", om__read, 32768, sh__deny_none);
        const int count = ds.GetNbrOfChannels();
        if (first < 0 || first >= count)
            return Text::kNoSuchChannel;
        auto add = [&](short div, int from, int to) {
            SMixedRateGroup g;
            g.nDivisor = div;
            g.channels.AddGroup(from, to);
            ChannelHelpers::RemovePulseChannels(ds, g.channels);
            // A group with nothing to export has no rate to keep.
            if (!g.channels.IsEmpty())
                groups.push_back(std::move(g));
        };
        if (first > 0)
            add(1, 0, first - 1);
        add(divisor, first, count - 1);
    } catch (...) {
        // No data set, no channels: no channel can be the first resampled one.
        return Text::kNoSuchChannel;
    }
    return 0;
}

CThreadTRXMixedSRExport::CThreadTRXMixedSRExport(const char* input, long id, long user, const char* output,
                                                 bool overwrite, std::vector<SMixedRateGroup> groups)
    : CThreadConversion(input, id, user), m_sOutput(output ? output : ""), m_groups(std::move(groups))
{
    m_uState = TS_STATE_TRX_MIXEDSR_EXPORT;
    m_bOverwrite = overwrite ? 1 : 0;
    try {
        m_pInput = std::make_unique<CDataset>(input ? input : "", om__read_complete, 32768, sh__deny_write);
    } catch (...) {
        m_pInput.reset();
    }
}

CThreadTRXMixedSRExport::~CThreadTRXMixedSRExport() = default;

int CThreadTRXMixedSRExport::Run()
{
    if (Convert())
        return 0;
    m_uState = FailedState(TS_STATE_TRX_MIXEDSR_EXPORT);
    return -1;
}

bool CThreadTRXMixedSRExport::Fail(unsigned stringId, const char* textArg)
{
    m_uStringID = stringId;
    if (textArg)
        m_sTextArg = textArg;
    return false;
}

CString CThreadTRXMixedSRExport::TempName(int index) const
{
    CString base = m_sOutput;
    const int dot = OutputPolicy::FindExtension(m_sOutput);
    if (dot > 0)
        base = m_sOutput.Left(dot);
    CString name = base + CString::Formatted("Tmp%d.dat", index);
    // A file of that name is someone else's (or the input): never ours to
    // replace or remove, so the temporary set takes a name next to it.
    for (int k = 1; Exists(name) || name == m_sInput || name == m_sOutput; ++k)
        name = base + CString::Formatted("Tmp%d-%d.dat", index, k);
    return name;
}

bool CThreadTRXMixedSRExport::Convert()
{
    if (OutputPolicy::PrepareOutput(*this, m_sInput, m_sOutput, m_bOverwrite))
        return false;
    if (!m_pInput)
        return Fail(Text::kNoInput);
    if (m_pInput->GetKind() != dk__time)
        return Fail(Text::kNoTimeData);
    if (m_pInput->GetNbrOfChannels() < 1 || m_groups.empty())
        return Fail(Text::kNoChannels);

    CSemaphoreHolder access(m_semAccess);
    CCreatedOutputs temps;
    bool ok = true;
    for (std::size_t i = 0; ok && i < m_groups.size(); ++i) {
        SMixedRateGroup& g = m_groups[i];
        g.sTempPath = TempName(int(i));
        m_arsProduced.Add(g.sTempPath);
        ok = RunNetwork(g);
        if (ok)
            temps.Add(g.sTempPath);
    }
    CCreatedOutputs outputs;
    if (ok) {
        ok = Merge();
        if (Exists(m_sOutput) && !ok)
            outputs.Add(m_sOutput);
    }

    // Whatever happened: nothing stays open, no temporary set stays behind.
    m_pInput.reset();
    for (SMixedRateGroup& g : m_groups)
        g.pTemp.reset();
    temps.RemoveAll();
    m_arsProduced.RemoveAll();
    if (!ok) {
        outputs.RemoveAll();
        return false;
    }
    m_uStringID = Text::kSuccess;
    m_arsProduced.Add(m_sOutput);
    return true;
}

bool CThreadTRXMixedSRExport::RunNetwork(SMixedRateGroup& group)
{
    NodePtr<CSPBTrxSourceTimeData> source(CSPBTrxSourceTimeData::CreateObject());
    NodePtr<CSPBResample> resample(group.nDivisor > 1 ? CSPBResample::CreateObject() : nullptr);
    NodePtr<CSPBConvertMultiChnFloatToInt> convert(CSPBConvertMultiChnFloatToInt::CreateObject());
    NodePtr<CSPBTrxDrain> drain(CSPBTrxDrain::CreateObject(group.sTempPath));

    if (!source->Open(m_sInput))
        return Fail(Text::kSourceNotOpened);
    bool hasPulses = false;
    source->SetPulseEvaluation(2);
    for (int i = 0; i < m_pInput->GetNbrOfSubChannels(); ++i) {
        const CSubChannel sub = m_pInput->GetSubChannel(i);
        if (sub.GetType() == sc__pulse && source->SetPulseSubChannel(sub))
            hasPulses = true;
    }
    source->SetPulseDataErrorHandling(0);
    if (!source->SetChannels(group.channels))
        return Fail(Text::kSourceNotConfigured);

    // Codes keep what the input holds: 16-bit channels stay 16-bit (their
    // own codes where the rate is kept), wider integers go to 24 bits, and
    // floating-point channels stay floats rather than being squeezed into a
    // range their calibration may not describe.
    int format = 0;
    CChNbrList keepFloat;
    for (int j = 0; j < group.channels.GetCount(); ++j) {
        const int type = m_pInput->GetChannel(group.channels.GetAt(j)).GetImplType();
        if (IsIntegerWiderThan16(type))
            format = 1;
        if (type == it__float || type == it__double)
            keepFloat.Add(j);
    }
    CPulseRequirement requirement;
    requirement.SetParameters(hasPulses ? 5 : 0, -1000.0, 0, 0, -1.0);
    if (!convert->SetParameters(format, 1, true, keepFloat, false, false, false) ||
        !convert->SetParametersSignalChannels(0, group.channels.GetCount(), true, 0.0, false) ||
        !convert->SetParametersPulseChannels(0, m_pInput->GetNbrOfSubChannels(), requirement))
        return Fail(Text::kDrainNotConfigured);

    if (resample) {
        const double rate = m_pInput->GetSamplingRate(group.channels.GetAt(0)) / group.nDivisor;
        if (!resample->SetParameters(false, rate, 32, 32))
            return Fail(Text::kDrainNotConfigured);
        source->Output(0)->ConnectInput(resample->Input(0));
        resample->Output(0)->ConnectInput(convert->Input(0));
    } else {
        source->Output(0)->ConnectInput(convert->Input(0));
    }
    convert->Output(0)->ConnectInput(drain->Input(0));

    bool ok = drain->Initialize();
    if (!ok) {
        Fail(Text::kNetworkNotInitialised);
    } else {
        while (!drain->IsFinished())
            if (!drain->DoOneStepOfProcessing())
                break;
    }
    const bool ended = drain->EndRun();
    if (ok && (!ended || drain->HasFailed() || !drain->IsFinished())) {
        // The drain removes its own file when its run did not complete.
        const bool writeFailed = drain->GetLastError().rfind("TRX drain", 0) == 0;
        ok = writeFailed ? Fail(Text::kWriteFailed, group.sTempPath) : Fail(Text::kReadFailed, m_sInput);
    }
    source->Close();
    return ok;
}

bool CThreadTRXMixedSRExport::Merge()
{
    try {
        // The temporary sets, and what each contributes: its channels, and
        // for the first group the pulse channel, which carries the pulse
        // sub-channels at that group's rate.
        std::vector<CChNbrList> tempChannels(m_groups.size());
        int pulseChannel = -1;  // in the first temporary set
        for (std::size_t i = 0; i < m_groups.size(); ++i) {
            SMixedRateGroup& g = m_groups[i];
            try {
                g.pTemp = std::make_unique<CDataset>(g.sTempPath, om__read, 32768, sh__deny_write);
            } catch (...) {
                return Fail(Text::kTempNotOpened, g.sTempPath);
            }
            tempChannels[i].AddGroup(0, g.channels.GetCount() - 1);
            if (i == 0)
                for (int c = g.channels.GetCount(); c < g.pTemp->GetNbrOfChannels(); ++c)
                    if (g.pTemp->GetChannel(c).GetImplType() == it__pulse)
                        pulseChannel = c;
        }
        if (pulseChannel >= 0)
            tempChannels[0].Add(pulseChannel);

        // The output's scans are the slowest group's; one whose decimated
        // length would overrun the fastest group's data loses its last scan.
        const SMixedRateGroup& firstGroup = m_groups.front();
        const SMixedRateGroup& lastGroup = m_groups.back();
        const long ratio = lastGroup.nDivisor / firstGroup.nDivisor;
        CAbscissa abscissa = lastGroup.pTemp->GetAbscissa(0);
        long n = lastGroup.pTemp->GetNbrOfScans();
        if (ratio * n > firstGroup.pTemp->GetNbrOfScans())
            n = firstGroup.pTemp->GetNbrOfScans() / ratio;
        abscissa.SetNbrOfScans(n);
        abscissa.SetMaxNbrOfScans(n);

        CAbscissaList abscissas;
        abscissas.Add(abscissa);
        CChannelList channels;
        std::vector<CChNbrList> outChannels(m_groups.size());
        for (std::size_t i = 0; i < m_groups.size(); ++i)
            for (int c = 0; c < m_groups[i].channels.GetCount(); ++c)
                outChannels[i].Add(channels.Add(m_groups[i].pTemp->GetChannel(c)));
        int outPulse = -1;
        if (pulseChannel >= 0) {
            outPulse = channels.Add(firstGroup.pTemp->GetChannel(pulseChannel));
            outChannels[0].Add(outPulse);
        }

        std::unique_ptr<CDataset> out;
        try {
            out = std::make_unique<CDataset>(m_sOutput, abscissas, channels, m_pInput->GetKind(),
                                             ds__dorg_interleaved, 0, 65536, sh__deny_write);
        } catch (...) {
            return Fail(Text::kTempNotOpened, m_sOutput);
        }
        out->SetTitle(m_pInput->GetTitle());
        out->SetComment(m_pInput->GetComment());
        out->SetDateOfRecording(m_pInput->GetDateOfRecording());

        // One scan is the pattern of the slowest group's period: the faster
        // group's channels appear once per own sample.
        CChNbrList pattern;
        for (long s = 0; s < lastGroup.nDivisor / firstGroup.nDivisor; ++s)
            for (std::size_t i = 0; i < m_groups.size(); ++i)
                if (s % (m_groups[i].nDivisor / firstGroup.nDivisor) == 0)
                    for (int c : outChannels[i])
                        pattern.Add(c);
        if (!out->SpecifySamplingParameter(sm__pattern, pattern) || !out->SetAbscissa(0, abscissa))
            return Fail(Text::kWriteFailed, m_sOutput);

        if (!CopySamples(*out, tempChannels, pulseChannel, n))
            return false;

        if (outPulse >= 0) {
            CSubChannelList subs = firstGroup.pTemp->GetSubChannels();
            for (CSubChannel& s : subs)
                s.SetParentChannelID(outPulse);
            out->SetSubChannels(subs);
        }
        try {
            out->Close();
        } catch (...) {
            return Fail(Text::kWriteFailed, m_sOutput);
        }
        return true;
    } catch (...) {
        return Fail(Text::kWriteFailed, m_sOutput);
    }
}

bool CThreadTRXMixedSRExport::CopySamples(CDataset& out, const std::vector<CChNbrList>& tempChannels, int pulseChannel,
                                          long scans)
{
    // The samples move as stored, byte for byte: a temporary set's scan holds
    // its group's channels first, in group order (for the first group the
    // pulse channel right after them), and each output scan is the sampling
    // pattern: per step, the groups whose turn it is, each with one scan of
    // its temporary set.
    const std::size_t groups = m_groups.size();
    const long fastest = m_groups.front().nDivisor;
    const long steps = m_groups.back().nDivisor / fastest;
    std::vector<std::size_t> take(groups), tempScan(groups), perScan(groups);
    std::vector<CDataStream*> in(groups);
    std::size_t outScan = 0;
    for (std::size_t i = 0; i < groups; ++i) {
        CDataset& t = *m_groups[i].pTemp;
        const int channels = tempChannels[i].GetCount();
        if (!t.GetAbscissa(0).IsCalc() || t.GetScanMode() != sm__single_rate ||
            (i == 0 && pulseChannel >= 0 && pulseChannel != m_groups[0].channels.GetCount()))
            return Fail(Text::kReadFailed, m_groups[i].sTempPath);
        for (int c = 0; c < channels; ++c)
            take[i] += std::size_t(CImplType::GetSize(t.GetChannel(c).GetImplType()));
        tempScan[i] = std::size_t(t.GetScanSize());
        perScan[i] = std::size_t(steps / (m_groups[i].nDivisor / fastest));
        outScan += take[i] * perScan[i];
        in[i] = t.GetPtrToFile();
        if (!in[i] || !in[i]->Seek(std::uint64_t(t.GetStartOfDataInFile())))
            return Fail(Text::kReadFailed, m_groups[i].sTempPath);
    }
    CDataStream* dst = out.GetPtrToFile();
    if (!dst || outScan != std::size_t(out.GetScanSize()))
        return Fail(Text::kWriteFailed, m_sOutput);

    // About 1 MiB of output at a time.
    const long chunk = std::max(1L, long((1u << 20) / std::max<std::size_t>(outScan, 1)));
    std::vector<std::vector<unsigned char>> buffers(groups);
    std::vector<unsigned char> outBuffer;
    for (long done = 0; done < scans;) {
        const long j = std::min(chunk, scans - done);
        for (std::size_t i = 0; i < groups; ++i) {
            const std::size_t bytes = std::size_t(j) * perScan[i] * tempScan[i];
            buffers[i].resize(bytes);
            if (in[i]->Read(buffers[i].data(), bytes) != bytes)
                return Fail(Text::kReadFailed, m_groups[i].sTempPath);
        }
        outBuffer.resize(std::size_t(j) * outScan);
        unsigned char* o = outBuffer.data();
        std::vector<std::size_t> next(groups, 0);
        for (long q = 0; q < j; ++q)
            for (long step = 0; step < steps; ++step)
                for (std::size_t i = 0; i < groups; ++i) {
                    if (step % (m_groups[i].nDivisor / fastest) != 0)
                        continue;
                    std::memcpy(o, buffers[i].data() + next[i] * tempScan[i], take[i]);
                    o += take[i];
                    ++next[i];
                }
        if (dst->Write(outBuffer.data(), outBuffer.size()) != outBuffer.size())
            return Fail(Text::kWriteFailed, m_sOutput);
        done += j;
    }
    if (!dst->Flush())
        return Fail(Text::kWriteFailed, m_sOutput);
    return true;
}
