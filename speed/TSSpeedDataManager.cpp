#include "speed/TSSpeedDataManager.h"

#include "hostlibs/blocks/RpmFileManager.h"
#include "hostlibs/dataset/Dataset.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

CTSSpeedDataManager::CTSSpeedDataManager(const char* sourcePath, const CSubChannel& pulseSubChannel, int index)
    : m_sSourcePath(sourcePath ? sourcePath : ""),
      m_iIndex(index),
      m_pulseSubChannel(pulseSubChannel),
      m_uProgressTotal(1),
      m_uProgressDone(0)
{
    m_sSCFilename = RPMFileManager::GetRpmFileName(m_sSourcePath, m_pulseSubChannel, m_iIndex, RPMFileManager::eSpeed);
}

CString CTSSpeedDataManager::GetSCFilename() const
{
    return m_sSCFilename;
}

bool CTSSpeedDataManager::EvaluateRefFromPulses(CString& refName, bool bForce)
{
    // A caller who names another file than the one kept for this source wants
    // it made now, whatever lies there.
    bool recompute = !refName.IsEmpty() && refName != m_sSCFilename;
    recompute = recompute || bForce;
    return RPMFileManager::CreateRpmFile(m_sSourcePath, refName, m_pulseSubChannel, m_iIndex, RPMFileManager::eSpeed,
                                         recompute, &m_uProgressTotal, &m_uProgressDone);
}

bool CTSSpeedDataManager::EvaluateMarkRefFromPulses(CString target, double from, double to)
{
    CString refName;
    if (!EvaluateRefFromPulses(refName, false))
        return false;
    try {
        CDataset reference(refName, om__read_complete, 32768, sh__deny_write);
        const CAbscissa abscissa = reference.GetAbscissa(0);
        if (reference.GetNbrOfChannels() < 1)
            return false;
        CChNbrList channels;
        channels.AddGroup(0, reference.GetNbrOfChannels() - 1);
        if (!reference.CreateAccess(am__read, channels, 0, from, to, 0.0))
            return false;
        std::unique_ptr<CDataset> subset(
            reference.CreateSubSet(abscissa.GetNbrOfScans(), ds__dorg_interleaved, it__float));
        if (!subset)
            return false;
        for (int i = 0; i < subset->GetNbrOfChannels(); ++i) {
            const CString name = CString::Formatted("Channel%d", i);
            std::unique_ptr<CTags> tags = subset->GetTags(name);
            if (!tags)
                continue;
            tags->SetValue("ControlValue", CTagValue(true));
            if (!subset->SetTags(name, *tags))
                return false;
        }
        // The copy is written aside and renamed into place, so a failed save
        // leaves no partial target; its outcome is the call's outcome.
        return subset->SaveAs(target, 65536, 32768);
    } catch (...) {
        return false;
    }
}

void CTSSpeedDataManager::GetProgress(unsigned long& total, unsigned long& done) const
{
    total = m_uProgressTotal;
    done = m_uProgressDone;
}

bool CTSSpeedDataManager::FindCutDueToRef(float level, CDataset* dataset, double& cut)
{
    if (!dataset || dataset->GetNbrOfAbscissas() < 1 || !dataset->GetAbscissa(0).IsCalc())
        return false;

    CAccess* access = dataset->GetActiveAccess();
    const bool ownAccess = access == nullptr;
    if (ownAccess) {
        access = dataset->CreateAccess(am__read, CChNbrList{0}, 0, 0L, -1L);
        if (!access)
            return false;
    } else {
        // The cut is measured from the start of the access's range, so the
        // reading starts there too, wherever an earlier reader left it.
        access->Rewind();
    }

    // One buffer of 65536 bytes; an access over several channels delivers
    // them interleaved, and the first of them is the curve.
    constexpr long kBufferFloats = 16384;
    const long stride = std::max(1, access->GetChannels().GetCount());
    long blockScans = kBufferFloats / stride;
    if (access->GetNbrOfScans() < blockScans)
        blockScans = access->GetNbrOfScans();
    std::vector<float> buffer(static_cast<std::size_t>(kBufferFloats));

    const long first = access->GetStartIndex();
    bool found = false;
    double result = 0.0;
    if (blockScans > 0 && access->GetData(1, buffer.data(), ds__dorg_interleaved, it__float) == 1) {
        float previous = buffer[0];
        if (previous == level) {
            found = true;
            result = access->GetStartValue();
        }
        long i = 0;  // samples after the first one
        while (!found && !access->Finished()) {
            const long n = access->GetData(blockScans, buffer.data(), ds__dorg_interleaved, it__float);
            if (n <= 0)
                break;
            for (long j = 0; j < n && !found; ++j) {
                const float x = buffer[std::size_t(j * stride)];
                ++i;
                if (x == level) {
                    found = true;
                    result = access->GetAbscissaValue(first + i);
                } else if ((previous < level && x > level) || (previous > level && x < level)) {
                    const double t0 = access->GetAbscissaValue(first + i - 1);
                    const double t1 = access->GetAbscissaValue(first + i);
                    // An infinite neighbour puts the crossing at the finite one.
                    double f = (double(level) - previous) / (double(x) - previous);
                    if (!std::isfinite(f))
                        f = std::isinf(previous) ? 1.0 : 0.0;
                    found = true;
                    result = t0 + (t1 - t0) * f;
                }
                previous = x;
            }
        }
    }
    if (ownAccess)
        dataset->DeleteAccess(access);
    if (found)
        cut = result;
    return found;
}
