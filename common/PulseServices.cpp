#include "common/PulseServices.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>
#include <set>
#include <vector>

#include "common/ChannelHelpers.h"
#include "common/OutputPolicy.h"
#include "hostlibs/blocks/Blocks.h"
#include "platform/FileSystem.h"

namespace PulseServices {

// ---------------------------------------------------------------------------
// Pulse file

namespace {

struct SNodeDeleter {
    void operator()(CNetNode* p) const {
        if (p)
            p->Destroy(true);
    }
};
template <class T>
using NodePtr = std::unique_ptr<T, SNodeDeleter>;

CString PulseFilePath(const char* pszSource, const CString& sGiven, int iID) {
    CString path = sGiven.IsEmpty() ? CString(pszSource)
                                    : OutputPolicy::GetDirectoryOfPath(sGiven) +
                                          OutputPolicy::GetFileNameOfPath(pszSource, true);
    // A source without extension gets the pulse extension appended: the
    // pulse file must never be the source itself.
    OutputPolicy::SetExtension(path, CString::Formatted(".p%d", iID));
    return path;
}

}  // namespace

bool MakePulseFile(const char* pszSource, const CSubChannel& sub, CString& sPulseFile, CString& sError,
                   HWND hProgress, unsigned uProgressMsg, WPARAM wProgress) {
    sPulseFile = PulseFilePath(pszSource, sPulseFile, sub.GetID());

    std::int64_t pulseTime = 0, sourceTime = 0;
    if (FileSystem::GetModificationTime(sPulseFile, &pulseTime) &&
        FileSystem::GetModificationTime(pszSource, &sourceTime) && pulseTime >= sourceTime)
        return true;  // up to date

    NodePtr<CSPBTrxSource> source(CSPBTrxSource::CreateObject());
    source->SetPulseChannelDeltaTimeCorrection(true);
    source->SetPulseSubChannel(CSubChannel(sub));
    const bool opened = source->Open(pszSource);
    if (!opened)
        sError.Format("SignalProcessingControl: %s could not be opened as source", pszSource);
    NodePtr<CSPBDrainForImpulseFile> drain(CSPBDrainForImpulseFile::CreateObject(sPulseFile));
    source->Output(0)->ConnectInput(drain->Input(0));

    bool initialised = false;
    bool ran = false;
    if (opened && (initialised = drain->Initialize())) {
        ran = true;
        while (!drain->IsFinished()) {
            if (!drain->DoOneStepOfProcessing()) {
                ran = false;
                break;
            }
            if (hProgress) {
                std::uint32_t total = 0, done = 0;
                source->GetProgress(total, done);
                const LPARAM percent = total ? LPARAM(std::uint64_t(done) * 100 / total) : 0;
                MessageLoop::PostCall([hProgress, uProgressMsg, wProgress, percent] {
                    MessageLoop::SendMessage(hProgress, uProgressMsg, wProgress, percent);
                });
            }
        }
    } else if (opened) {
        sError.Format("SignalProcessingControl: Initializing the failed.\nPossibly there is no write access to %s",
                      sPulseFile.c_str());
    }
    if (initialised && !drain->EndRun())
        ran = false;
    source->Close();
    drain.reset();
    source.reset();

    const bool ok = opened && initialised && ran;
    if (!ok) {
        if (sError.IsEmpty())
            sError.Format("SignalProcessingControl: the pulse file %s could not be written", sPulseFile.c_str());
        FileSystem::RemoveFile(sPulseFile);
    }
    return ok;
}

// ---------------------------------------------------------------------------
// Speed merging

double PulsesPerSpeedUnit(int iKind, double dMaximum, double dFs, double& dLimit) {
    double p = dMaximum != 0.0 ? dLimit / dMaximum : 1.0 / 60.0;
    if (iKind == dk__rpm) {
        // A whole number of pulses per revolution for speeds in rpm.
        const double n = std::trunc(p * 60.0);
        if (n >= 1.0) {
            p = n / 60.0;
        } else if (dMaximum > 0.0) {
            dLimit = dFs / 5.0;
            p = dLimit / dMaximum;
        }
    }
    return p;
}

namespace {

// The transfer buffer: 16384 floats, halved while the allocation fails, at
// least 256.
std::unique_ptr<float[]> AllocateBuffer(std::size_t& n) {
    for (n = 16384; n >= 256; n /= 2) {
        std::unique_ptr<float[]> p(new (std::nothrow) float[n]);
        if (p)
            return p;
    }
    n = 0;
    return nullptr;
}

// The last channel that carries pulse bits, -1 when none.
int FindPulseChannel(const CDataset& ds) {
    int found = -1;
    for (int i = 0; i < ds.GetNbrOfChannels(); ++i) {
        const CChannel c = ds.GetChannel(i);
        if (c.GetTitle() == ChannelHelpers::kPulseChannelTitle || c.GetImplType() == it__pulse)
            found = i;
    }
    return found;
}

enum class EMerge { Merged, NotMergeable, OutputBroken };

struct SOutput {
    CDataset& ds;
    int iPulseChannel;
    double dFs;
    double dLimit;
    CAccess* pRead;
    CAccess* pWrite;
    long lPulseSamples;
};

// Writes speed set k into bit k of the output's pulse channel and adds its
// sub-channel.
EMerge MergeOne(SOutput& out, const char* pszSpeed, int k, float* pBuffer, std::size_t nBuffer) {
    if (k >= 8)
        return EMerge::NotMergeable;  // a pulse byte has eight bits
    std::unique_ptr<CDataset> speed;
    try {
        speed = std::make_unique<CDataset>(pszSpeed, om__read_complete, 32768, sh__deny_write);
    } catch (...) {
        return EMerge::NotMergeable;
    }
    if (speed->GetNbrOfChannels() < 1 || speed->GetNbrOfAbscissas() < 1)
        return EMerge::NotMergeable;
    const double d = speed->GetAbscissa(0).GetDeltaValue();
    if (!(d > 0.0))
        return EMerge::NotMergeable;

    // Rate check: speed data up to fs / 10 as they are; faster ones up to
    // fs / 3, and the higher limit then holds for the rest of this output.
    if (1.0 / d > out.dLimit) {
        out.dLimit = out.dFs / 3.0;
        if (1.0 / d > out.dLimit)
            return EMerge::NotMergeable;
    }

    double lo = 0, hi = 0;
    const CChNbrList speedChannel{0};
    if (!ChannelHelpers::GetValueRange(*speed, speedChannel, lo, hi, true) || lo < 0.0 || hi < lo)
        return EMerge::NotMergeable;  // unreadable, negative, or no values at all
    const double p = PulsesPerSpeedUnit(speed->GetKind(), hi, out.dFs, out.dLimit);

    CAccess* speedAccess = speed->CreateAccess(am__read, speedChannel, 0, 0, -1);
    if (!speedAccess)
        return EMerge::NotMergeable;
    const std::size_t speedBlock = nBuffer / 4;
    float* speedValues = pBuffer;
    auto* pulseBytes = reinterpret_cast<std::uint8_t*>(pBuffer + speedBlock);
    const std::size_t pulseBlock = (nBuffer - speedBlock) * sizeof(float);

    long n = speedAccess->GetData(long(speedBlock), speedValues, ds__dorg_interleaved, it__float);
    if (n <= 0)
        return EMerge::NotMergeable;
    CPulseGeneratorEx generator;
    generator.Init(1.0 / out.dFs, std::uint8_t(1u << k), 1.0 / p, speedValues[0], nullptr);

    out.pRead->Rewind();
    out.pWrite->Rewind();
    long long written = 0;
    long long index = 0;
    double previous = speedValues[0];
    while (n > 0) {
        for (long j = 0; j < n; ++j, ++index) {
            const double v = speedValues[j];
            long long target = std::llround(double(index + 1) * d * out.dFs);
            target = std::min<long long>(target, out.lPulseSamples);
            long long count = target - written;
            // A stretch longer than the buffer goes in parts, each ending at
            // the speed that the linear ramp has reached there.
            long long doneInStretch = 0;
            while (count > 0) {
                const long part = long(std::min<long long>(count, (long long)pulseBlock));
                if (k > 0) {
                    if (out.pRead->GetData(part, pulseBytes, ds__dorg_interleaved, it__pulse) != part)
                        return EMerge::OutputBroken;
                } else {
                    std::fill(pulseBytes, pulseBytes + part, std::uint8_t(0));
                }
                doneInStretch += part;
                const long long stretch = doneInStretch + (count - part);
                const double partEnd = previous + (v - previous) * double(doneInStretch) / double(stretch);
                generator.DoOneStepOfProcessing(pulseBytes, std::size_t(part), partEnd);
                if (out.pWrite->SetData(part, pulseBytes, ds__dorg_interleaved, it__pulse) != part)
                    return EMerge::OutputBroken;
                written += part;
                count -= part;
            }
            previous = v;
        }
        if (speedAccess->Finished() || written >= out.lPulseSamples)
            break;
        n = speedAccess->GetData(long(speedBlock), speedValues, ds__dorg_interleaved, it__float);
    }

    const CChannel source = speed->GetChannel(0);
    CSubChannel sub(sc__pulse, out.iPulseChannel, 1u << k, source.GetName(), source.GetAbbreviation(),
                    source.GetQuantity(), source.GetUnit());
    sub.SetPulseFactor(1.0 / p);
    sub.SetDeltaTime(0.01);
    sub.SetSmooth(2);
    if (out.ds.AddSubChannel(sub) < 0)
        return EMerge::OutputBroken;
    return EMerge::Merged;
}

// The not-merged list keeps the order in which sets were put on it (each
// once): the extra outputs are numbered in that order.
void PutOnList(std::vector<int>& notMerged, int k) {
    if (std::find(notMerged.begin(), notMerged.end(), k) == notMerged.end())
        notMerged.push_back(k);
}

void MergeIntoOutput(const char* pszOutput, const CStringArray& speeds, float* pBuffer, std::size_t nBuffer,
                     std::vector<int>& notMerged) {
    std::unique_ptr<CDataset> ds;
    try {
        ds = std::make_unique<CDataset>(pszOutput, om__readwrite, 32768, sh__deny_write);
    } catch (...) {
        return;  // left as it is
    }
    if (ds->GetKind() != dk__time || ds->GetNbrOfChannels() < 1)
        return;
    const int pulse = FindPulseChannel(*ds);
    if (pulse < 0)
        return;
    SOutput out{*ds, pulse, ds->GetSamplingRate(pulse), 0.0, nullptr, nullptr, 0};
    if (!(out.dFs > 0.0))
        return;
    out.dLimit = out.dFs / 10.0;
    out.pRead = ds->CreateAccess(am__read, pulse, 0, 0, -1);
    out.pWrite = ds->CreateAccess(am__readwrite, pulse, 0, 0, -1);
    if (!out.pRead || !out.pWrite)
        return;
    out.lPulseSamples = out.pWrite->GetNbrOfScans();

    bool usable = true;
    for (int k = 0; k < speeds.GetSize(); ++k) {
        if (!usable) {
            PutOnList(notMerged, k);
            continue;
        }
        switch (MergeOne(out, speeds[k], k, pBuffer, nBuffer)) {
        case EMerge::Merged:
            break;
        case EMerge::NotMergeable:
            PutOnList(notMerged, k);
            break;
        case EMerge::OutputBroken:
            PutOnList(notMerged, k);
            usable = false;
            break;
        }
    }
    try {
        ds->Close();
    } catch (...) {
    }
}

bool InList(const CStringArray& list, const CString& path) {
    for (const CString& s : list)
        if (s == path || FileSystem::IsSameFile(s, path))
            return true;
    return false;
}

}  // namespace

void MergeSpeedData(CStringArray& arsSpeedSets, CStringArray& arsOutputs) {
    std::size_t nBuffer = 0;
    std::unique_ptr<float[]> buffer = AllocateBuffer(nBuffer);
    if (!buffer)
        return;

    std::vector<int> notMerged;
    const int nOutputs = arsOutputs.GetSize();
    for (int i = 0; i < nOutputs; ++i)
        MergeIntoOutput(arsOutputs[i], arsSpeedSets, buffer.get(), nBuffer, notMerged);

    // What could not be merged becomes time data of its own.
    for (int k : notMerged) {
        const CString path = arsSpeedSets[k];
        try {
            CDataset ds(path, om__readwrite, 32768, sh__deny_write);
            ds.SetKind(dk__time);
            ds.Close();
        } catch (...) {
            continue;
        }
        CString base = path;
        OutputPolicy::SetExtension(base, ".DAT");
        // The numbered name must not be a file of either list: those are
        // data this merge was handed, not leftovers to clear away.
        CString target;
        for (int number = arsOutputs.GetSize() + 1; number <= 32767; ++number) {
            target = base;
            ChannelHelpers::NumberFileName(target, short(number));
            if (!InList(arsOutputs, target) && !InList(arsSpeedSets, target))
                break;
        }
        if (FileSystem::FileExists(target))
            FileSystem::RemoveFile(target);
        if (FileSystem::RenameFile(path, target).Failed())
            continue;
        arsOutputs.Add(target);
    }
}

// ---------------------------------------------------------------------------
// Float calibration

namespace {

// Smallest and largest value (both starting at 0) of each listed channel,
// read together as 32-bit floats; false when they cannot be read together.
bool ScanExtremes(CDataset& dataset, const CChNbrList& channels, std::vector<double>& lo, std::vector<double>& hi) {
    const long nChannels = channels.GetCount();
    lo.assign(std::size_t(nChannels), 0.0);
    hi.assign(std::size_t(nChannels), 0.0);
    CAccess* previous = dataset.GetActiveAccess();
    CAccess* access = dataset.CreateAccess(am__read, channels, 0, 0, -1);
    if (!access)
        return false;
    access->SetAbscissaCoord(ac__world);
    const long blockScans = std::max(1L, 32768 / nChannels);
    std::vector<float> block(std::size_t(blockScans * nChannels));
    bool ok = true;
    while (!access->Finished()) {
        const long scans = access->GetData(blockScans, block.data(), ds__dorg_interleaved, it__float);
        if (scans <= 0) {
            ok = false;
            break;
        }
        for (long s = 0; s < scans; ++s)
            for (long c = 0; c < nChannels; ++c) {
                const double v = block[std::size_t(s * nChannels + c)];
                lo[std::size_t(c)] = std::min(lo[std::size_t(c)], v);
                hi[std::size_t(c)] = std::max(hi[std::size_t(c)], v);
            }
    }
    dataset.DeleteAccess(access);
    if (previous)
        dataset.SetActiveAccess(previous);
    return ok;
}

void Calibrate(CDataset& dataset, int iChannel, double dLo, double dHi) {
    const double peak = std::max(std::fabs(dLo), std::fabs(dHi));
    CChannel channel = dataset.GetChannel(iChannel);
    const double reference = channel.GetUnit().GetReferenceValue();
    // A silent channel has no level: its calibration stays as it was.
    if (!(peak > 0.0) || !std::isfinite(peak) || !(reference > 0.0))
        return;
    channel.SetCalibration(float(std::ceil(20.0 * std::log10(peak / (std::sqrt(2.0) * reference)))));
    channel.SetDeltaHeadroom(0.0f);
    dataset.SetChannel(iChannel, channel);
}

}  // namespace

void CalibrateFloatChannels(CDataset& dataset) {
    CChNbrList floats;
    for (int i = 0; i < dataset.GetNbrOfChannels(); ++i) {
        const int t = dataset.GetChannel(i).GetImplType();
        if (t == it__float || t == it__double)
            floats.Add(i);
    }
    if (floats.IsEmpty())
        return;
    std::vector<double> lo, hi;
    if (ScanExtremes(dataset, floats, lo, hi)) {
        for (int c = 0; c < floats.GetCount(); ++c)
            Calibrate(dataset, floats[c], lo[std::size_t(c)], hi[std::size_t(c)]);
        return;
    }
    // Channels of different rates cannot be read in one access: one by one.
    for (int n : floats)
        if (ScanExtremes(dataset, CChNbrList{n}, lo, hi))
            Calibrate(dataset, n, lo[0], hi[0]);
}

}  // namespace PulseServices
