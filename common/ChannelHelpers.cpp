#include "common/ChannelHelpers.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "common/OutputPolicy.h"

namespace ChannelHelpers {

bool IsExportable(const CChannel& channel) {
    return channel.GetTitle() != kPulseChannelTitle && channel.GetImplType() != it__pulse;
}

void RemovePulseChannels(CDataset& dataset, CChNbrList& channels) {
    CChNbrList kept;
    for (int n : channels)
        if (IsExportable(dataset.GetChannel(n)))
            kept.Add(n);
    channels = kept;
}

bool RemoveChannelsOfOtherRate(CDataset& dataset, CChNbrList& channels) {
    if (dataset.GetScanMode() == sm__single_rate || channels.IsEmpty())
        return false;
    const double reference = dataset.GetSamplingRate(channels[0]);
    CChNbrList kept;
    for (int n : channels)
        if (dataset.GetSamplingRate(n) == reference)
            kept.Add(n);
    const bool removed = kept.GetCount() != channels.GetCount();
    channels = kept;
    return removed;
}

void NumberFileName(CString& sPath, short nNumber) {
    const CString number = CString::Formatted("%d", int(nNumber));
    const int dot = OutputPolicy::FindExtension(sPath);
    if (dot < 0)
        sPath += number;
    else
        sPath = sPath.Left(dot) + number + sPath.Mid(dot);
}

double RangeStartMinimum() {
    return std::numeric_limits<double>::max();  // bits 0x7FEFFFFFFFFFFFFF
}

double RangeStartMaximum() {
    return -std::numeric_limits<double>::max();  // bits 0xFFEFFFFFFFFFFFFF
}

namespace {

// Puts the remembered access back in force, whatever way the scan ends.
class CActiveAccessGuard {
public:
    explicit CActiveAccessGuard(CDataset& ds) : m_ds(ds), m_pPrevious(ds.GetActiveAccess()) {}
    ~CActiveAccessGuard() {
        if (m_pOwn)
            m_ds.DeleteAccess(m_pOwn);
        if (m_pPrevious)
            m_ds.SetActiveAccess(m_pPrevious);
    }
    void Own(CAccess* p) { m_pOwn = p; }

private:
    CDataset& m_ds;
    CAccess* m_pPrevious;
    CAccess* m_pOwn = nullptr;
};

template <class T>
void UpdateRange(const T* values, std::size_t n, double& lo, double& hi) {
    for (std::size_t i = 0; i < n; ++i) {
        const double v = double(values[i]);
        if (v < lo)
            lo = v;
        if (v > hi)
            hi = v;
    }
}

}  // namespace

bool GetValueRange(CDataset& dataset, const CChNbrList& channels, double& dMinimum, double& dMaximum,
                   bool bKeepMapping) {
    dMinimum = RangeStartMinimum();
    dMaximum = RangeStartMaximum();
    if (channels.IsEmpty())
        return true;  // nothing to scan

    int readType = it__float;
    for (int n : channels) {
        const int t = dataset.GetChannel(n).GetImplType();
        if (t == it__res11 || t == it__double)
            readType = it__double;
    }
    const long sampleSize = GetSampleSize(readType);
    const long nChannels = channels.GetCount();

    CActiveAccessGuard guard(dataset);
    CAccess* access = dataset.CreateAccess(am__read, channels, 0, 0, -1);
    if (!access)
        return false;
    guard.Own(access);
    if (!bKeepMapping && !access->SetChannelMapping(channels, mk__raw, nullptr))
        return false;

    // At least one scan per block, also for lists wider than the block.
    const long blockScans = std::max(1L, 65536 / (sampleSize * nChannels));
    std::vector<unsigned char> buffer(std::size_t(blockScans * sampleSize * nChannels));
    while (!access->Finished()) {
        const long scans = access->GetData(blockScans, buffer.data(), ds__dorg_interleaved, readType);
        if (scans <= 0)
            return false;
        const std::size_t values = std::size_t(scans) * std::size_t(nChannels);
        if (readType == it__double)
            UpdateRange(reinterpret_cast<const double*>(buffer.data()), values, dMinimum, dMaximum);
        else
            UpdateRange(reinterpret_cast<const float*>(buffer.data()), values, dMinimum, dMaximum);
    }
    return true;
}

void ReverseByteOrder(void* pBuffer, int iElementSize, long lCount) {
    if (iElementSize != 2 && iElementSize != 4 && iElementSize != 8)
        return;
    auto* p = static_cast<unsigned char*>(pBuffer);
    for (long i = 0; i < lCount; ++i, p += iElementSize)
        std::reverse(p, p + iElementSize);
}

int GetSampleSize(int iImplType) {
    switch (iImplType) {
    case 1:
    case 2:
        return 1;
    case 3:
    case 4:
        return 2;
    case 5:
    case 6:
    case 9:
        return 3;
    case 7:
    case 8:
    case 10:
    case 13:
        return 4;
    case 11:
    case 19:
        return 6;
    case 12:
    case 14:
    case 15:
    case 17:
        return 8;
    case 16:
    case 18:
        return 16;
    default:
        return 0;
    }
}

CString GetUnitForQuantity(const char* pszQuantity) {
    struct SEntry {
        const char* quantity;
        const char* unit;
    };
    static const SEntry table[] = {
        {"", ""},
        {"index", ""},
        {"order", "Order"},
        {"temperature", "\xB0" "C"},
        {"time", "s"},
        {"distance", "m"},
        {"speed", "km/h"},
        {"velocity", "m/s"},
        {"acceleration", "m/(s^2)"},
        {"force", "N"},
        {"pressure", "Pa"},
        {"voltage", "V"},
        {"power", "W"},
        {"frequency", "Hz"},
        {"RPM", "rpm"},
        {"loudness", "soneGD"},
        {"roughness", "asper"},
        {"fluctuation strength", "vacil"},
        {"articulation index", "%"},
    };
    const char* q = pszQuantity ? pszQuantity : "";
    for (const SEntry& e : table)
        if (std::strcmp(q, e.quantity) == 0)
            return CString(e.unit);
    return CString("vU");
}

}  // namespace ChannelHelpers
