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
    int inputPulse = -1;
    if (KeptGroupCopiesInput(inputPulse)) {
        m_groups.front().bFromInput = true;
        m_groups.front().iInputPulseChannel = inputPulse;
    }
    CCreatedOutputs temps;
    bool ok = true;
    for (std::size_t i = 0; ok && i < m_groups.size(); ++i) {
        SMixedRateGroup& g = m_groups[i];
        if (g.bFromInput)
            continue;
        g.sTempPath = TempName(int(i));
        m_arsProduced.Add(g.sTempPath);
        ok = RunNetwork(g);
        if (ok)
            temps.Add(g.sTempPath);
    }
    if (ok)
        ok = Merge();

    // Whatever happened: nothing stays open, no temporary set stays behind.
    m_pInput.reset();
    for (SMixedRateGroup& g : m_groups)
        g.pTemp.reset();
    temps.RemoveAll();
    m_arsProduced.RemoveAll();
    if (!ok) {
        m_createdOutput.RemoveAll();
        return false;
    }
    m_createdOutput.Keep();
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

// Where the samples of one group come from: a stream over a data set whose
// scans hold them, and the byte runs of each scan that go to the output.
struct CThreadTRXMixedSRExport::SSamplePart {
    CDataset* pSet = nullptr;
    std::size_t scanBytes = 0;
    std::vector<std::pair<std::size_t, std::size_t>> runs;  // offset, length
    std::size_t take = 0;                                   // bytes per scan taken
    long perScan = 1;                                       // scans per output scan
    std::uint64_t scans = 0;                                // scans the set holds
};

bool CThreadTRXMixedSRExport::KeptGroupCopiesInput(int& pulseChannel) const
{
    // The kept group's samples can come straight from the input when its
    // scans are plain (one rate, calculated abscissa) and its pulse
    // sub-channels all lie on one pulse channel of the pulse-bit type; the
    // network would give the same codes, and for other types fewer bits.
    pulseChannel = -1;
    if (m_groups.size() < 2 || m_groups.front().nDivisor != 1 || !m_pInput)
        return false;
    if (m_pInput->GetScanMode() != sm__single_rate || m_pInput->GetNbrOfAbscissas() != 1 ||
        !m_pInput->GetAbscissa(0).IsCalc())
        return false;
    for (int i = 0; i < m_pInput->GetNbrOfSubChannels(); ++i) {
        const CSubChannel sub = m_pInput->GetSubChannel(i);
        if (sub.GetType() != sc__pulse)
            continue;
        const int parent = sub.GetParentChannelID();
        if (parent < 0 || parent >= m_pInput->GetNbrOfChannels() ||
            m_pInput->GetChannel(parent).GetImplType() != it__pulse || (pulseChannel >= 0 && parent != pulseChannel))
            return false;
        pulseChannel = parent;
    }
    for (int c : m_groups.front().channels)
        if (c == pulseChannel)
            return false;
    return true;
}

bool CThreadTRXMixedSRExport::Merge()
{
    try {
        const std::size_t groups = m_groups.size();
        const long fastest = m_groups.front().nDivisor;
        const long steps = m_groups.back().nDivisor / fastest;

        // What each group contributes: its channels (copies of the channels
        // of the set its samples come from) and, for the first group, the
        // pulse channel with the pulse sub-channels at that group's rate.
        std::vector<SSamplePart> parts(groups);
        std::vector<std::vector<CChannel>> partChannels(groups);
        CChannel pulse;
        bool hasPulse = false;
        CSubChannelList subs;
        for (std::size_t i = 0; i < groups; ++i) {
            SMixedRateGroup& g = m_groups[i];
            SSamplePart& part = parts[i];
            part.perScan = steps / (g.nDivisor / fastest);
            std::vector<int> take;  // channel numbers in the part's set, in output order
            if (g.bFromInput) {
                part.pSet = m_pInput.get();
                take = g.channels.Get();
                if (g.iInputPulseChannel >= 0) {
                    take.push_back(g.iInputPulseChannel);
                    for (int k = 0; k < m_pInput->GetNbrOfSubChannels(); ++k)
                        if (m_pInput->GetSubChannel(k).GetType() == sc__pulse)
                            subs.Add(m_pInput->GetSubChannel(k));
                }
            } else {
                try {
                    g.pTemp = std::make_unique<CDataset>(g.sTempPath, om__read, 32768, sh__deny_write);
                } catch (...) {
                    return Fail(Text::kTempNotOpened, g.sTempPath);
                }
                part.pSet = g.pTemp.get();
                // The drain wrote the group's channels in order, then the
                // pulse channel.
                for (int c = 0; c < g.channels.GetCount(); ++c)
                    take.push_back(c);
                if (i == 0)
                    for (int c = g.channels.GetCount(); c < g.pTemp->GetNbrOfChannels(); ++c)
                        if (g.pTemp->GetChannel(c).GetImplType() == it__pulse) {
                            take.push_back(c);
                            subs = g.pTemp->GetSubChannels();
                            break;
                        }
            }
            CDataset& set = *part.pSet;
            if (set.GetScanMode() != sm__single_rate || !set.GetAbscissa(0).IsCalc())
                return Fail(Text::kReadFailed, i == 0 && g.bFromInput ? m_sInput : g.sTempPath);
            std::vector<std::size_t> offset(std::size_t(set.GetNbrOfChannels()) + 1, 0);
            for (int c = 0; c < set.GetNbrOfChannels(); ++c)
                offset[std::size_t(c) + 1] = offset[std::size_t(c)] + std::size_t(CImplType::GetSize(set.GetChannel(c).GetImplType()));
            part.scanBytes = std::size_t(set.GetScanSize());
            for (int c : take) {
                const std::size_t o = offset[std::size_t(c)], len = offset[std::size_t(c) + 1] - o;
                // Neighbouring channels move as one run.
                if (!part.runs.empty() && part.runs.back().first + part.runs.back().second == o)
                    part.runs.back().second += len;
                else
                    part.runs.emplace_back(o, len);
                part.take += len;
            }
            part.scans = std::uint64_t(std::max(0L, set.GetNbrOfScans()));
            for (std::size_t k = 0; k < take.size(); ++k) {
                const CChannel ch = set.GetChannel(take[k]);
                if (i == 0 && !subs.empty() && k + 1 == take.size()) {
                    pulse = ch;
                    hasPulse = true;
                } else {
                    partChannels[i].push_back(ch);
                }
            }
        }

        // The output's scans are the slowest group's; one whose decimated
        // length would overrun the fastest group's data loses its last scan.
        const SMixedRateGroup& lastGroup = m_groups.back();
        CAbscissa abscissa = lastGroup.pTemp->GetAbscissa(0);
        long n = lastGroup.pTemp->GetNbrOfScans();
        if (std::uint64_t(steps) * std::uint64_t(n) > parts.front().scans)
            n = long(parts.front().scans / std::uint64_t(steps));
        abscissa.SetNbrOfScans(n);
        abscissa.SetMaxNbrOfScans(n);

        CAbscissaList abscissas;
        abscissas.Add(abscissa);
        CChannelList channels;
        std::vector<CChNbrList> outChannels(groups);
        for (std::size_t i = 0; i < groups; ++i)
            for (const CChannel& ch : partChannels[i])
                outChannels[i].Add(channels.Add(ch));
        int outPulse = -1;
        if (hasPulse) {
            outPulse = channels.Add(pulse);
            outChannels[0].Add(outPulse);
        }

        std::unique_ptr<CDataset> out;
        try {
            out = std::make_unique<CDataset>(m_sOutput, abscissas, channels, m_pInput->GetKind(),
                                             ds__dorg_interleaved, 0, 65536, sh__deny_write);
        } catch (...) {
            return Fail(Text::kTempNotOpened, m_sOutput);
        }
        m_createdOutput.Add(m_sOutput);
        out->SetTitle(m_pInput->GetTitle());
        out->SetComment(m_pInput->GetComment());
        out->SetDateOfRecording(m_pInput->GetDateOfRecording());

        // One scan is the pattern of the slowest group's period: the faster
        // group's channels appear once per own sample.
        CChNbrList pattern;
        for (long step = 0; step < steps; ++step)
            for (std::size_t i = 0; i < groups; ++i)
                if (step % (m_groups[i].nDivisor / fastest) == 0)
                    for (int c : outChannels[i])
                        pattern.Add(c);
        if (!out->SpecifySamplingParameter(sm__pattern, pattern) || !out->SetAbscissa(0, abscissa))
            return Fail(Text::kWriteFailed, m_sOutput);

        if (!CopySamples(*out, parts, n))
            return false;

        if (outPulse >= 0) {
            for (CSubChannel& sub : subs)
                sub.SetParentChannelID(outPulse);
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

bool CThreadTRXMixedSRExport::CopySamples(CDataset& out, std::vector<SSamplePart>& parts, long scans)
{
    // The samples move as stored, byte for byte: each output scan is the
    // sampling pattern, per step the groups whose turn it is, each with the
    // runs of one scan of the set its samples come from.
    const std::size_t groups = m_groups.size();
    const long fastest = m_groups.front().nDivisor;
    const long steps = m_groups.back().nDivisor / fastest;
    std::vector<CDataStream*> in(groups);
    std::size_t outScan = 0;
    for (std::size_t i = 0; i < groups; ++i) {
        outScan += parts[i].take * std::size_t(parts[i].perScan);
        in[i] = parts[i].pSet->GetPtrToFile();
        if (!in[i] || !in[i]->Seek(std::uint64_t(parts[i].pSet->GetStartOfDataInFile())))
            return Fail(Text::kReadFailed, parts[i].pSet->GetPath());
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
            const std::size_t bytes = std::size_t(j) * std::size_t(parts[i].perScan) * parts[i].scanBytes;
            buffers[i].resize(bytes);
            if (in[i]->Read(buffers[i].data(), bytes) != bytes)
                return Fail(Text::kReadFailed, parts[i].pSet->GetPath());
        }
        outBuffer.resize(std::size_t(j) * outScan);
        unsigned char* o = outBuffer.data();
        std::vector<const unsigned char*> next(groups);
        for (std::size_t i = 0; i < groups; ++i)
            next[i] = buffers[i].data();
        for (long q = 0; q < j; ++q)
            for (long step = 0; step < steps; ++step)
                for (std::size_t i = 0; i < groups; ++i) {
                    if (step % (m_groups[i].nDivisor / fastest) != 0)
                        continue;
                    for (const auto& run : parts[i].runs) {
                        std::memcpy(o, next[i] + run.first, run.second);
                        o += run.second;
                    }
                    next[i] += parts[i].scanBytes;
                }
        if (dst->Write(outBuffer.data(), outBuffer.size()) != outBuffer.size())
            return Fail(Text::kWriteFailed, m_sOutput);
        done += j;
    }
    if (!dst->Flush())
        return Fail(Text::kWriteFailed, m_sOutput);
    return true;
}
