#include "hostlibs/blocks/Drains.h"
#include "hostlibs/blocks/RpmFileManager.h"
#include "hostlibs/blocks/Trx.h"
#include "hostlibs/blocks/TrxSource.h"
#include "hostlibs/dataset/Dataset.h"

#include <cstdio>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {
CString WithoutExtension(const char* path)
{
    CString p(path ? path : "");
    int slash = p.ReverseFind('/');
    int dot = p.ReverseFind('.');
    // A dot that starts the file name (".hidden") is no extension.
    if (dot > slash + 1)
        return p.Left(dot);
    return p;
}

bool ModificationTime(const char* path, struct timespec& t)
{
    struct stat st;
    if (::stat(path, &st) != 0)
        return false;
    t = st.st_mtim;
    return true;
}

bool NotOlder(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec >= b.tv_nsec);
}
} // namespace

CString RPMFileManager::GetRpmFileName(const char* source, const CSubChannel& sub, int index, int kind)
{
    int id = sub.GetID() >= 0 ? sub.GetID() : (index >= 0 ? index : 0);
    CString base = WithoutExtension(source);
    if (base.IsEmpty())
        return CString();
    switch (kind) {
    case eSpeed: return base + CString::Formatted(".rpm%d", id);
    case ePulseTimes: return base + CString::Formatted(".p%d", id);
    default: return CString();
    }
}

bool RPMFileManager::CreateRpmFile(const char* source, CString& name, const CSubChannel& sub, int index, int iKind,
                                   bool bRecompute, std::uint32_t* pTotal, std::uint32_t* pDone)
{
    if (!source || !*source || (iKind != eSpeed && iKind != ePulseTimes))
        return false;
    CSubChannel pulse = sub;
    if (index >= 0) {
        try {
            CDataset ds(source, om__read, 32768, sh__deny_none);
            if (index >= ds.GetNbrOfSubChannels())
                return false;
            pulse = ds.GetSubChannel(index);
        } catch (const std::exception&) {
            return false;
        }
    }
    if (pulse.GetType() != sc__pulse)
        return false;
    if (name.IsEmpty())
        name = GetRpmFileName(source, pulse, index, iKind);
    if (name.IsEmpty() || name == source)
        return false;

    struct timespec tSource, tFile;
    if (!ModificationTime(source, tSource))
        return false;
    if (!bRecompute && ModificationTime(name, tFile) && NotOlder(tFile, tSource)) {
        if (pTotal && pDone)
            *pDone = *pTotal;
        return true;
    }

    // Written aside and renamed into place: a failed run leaves the previous
    // file (if any) as it was and no partial one.
    CString temp = name + ".part";
    std::unique_ptr<CSPBTrxSource, void (*)(CSPBTrxSource*)> src(CSPBTrxSource::CreateObject(),
                                                                  [](CSPBTrxSource* p) { p->Destroy(true); });
    CDrainNode* drain = iKind == eSpeed ? static_cast<CDrainNode*>(CSPBDrainForSpeedFile::CreateObject(temp))
                                        : static_cast<CDrainNode*>(CSPBDrainForImpulseFile::CreateObject(temp));
    std::unique_ptr<CDrainNode, void (*)(CDrainNode*)> dr(drain, [](CDrainNode* p) { p->Destroy(true); });
    src->SetPulseChannelDeltaTimeCorrection(true);
    bool ok = src->SetPulseSubChannel(pulse) && src->Open(source);
    ok = ok && src->Output(0)->ConnectInput(dr->Input(0));
    bool initialised = ok && dr->Initialize();
    ok = initialised;
    while (ok && !dr->IsFinished()) {
        ok = dr->DoOneStepOfProcessing();
        if (pTotal && pDone)
            src->GetProgress(*pTotal, *pDone);
    }
    ok = dr->EndRun() && ok;
    src->Close();
    if (ok && std::rename(temp, name) != 0)
        ok = false;
    if (!ok)
        ::unlink(temp);
    return ok;
}

bool CTrx::ScanForBNRInfo(const char* path, double* pdPulseFactor, int* piSubChannel, int* piCount)
{
    try {
        CDataset ds(path, om__read, 32768, sh__deny_none);
        int first = -1, count = 0;
        for (int i = 0; i < ds.GetNbrOfSubChannels(); ++i) {
            if (ds.GetSubChannel(i).GetType() != sc__pulse)
                continue;
            if (first < 0)
                first = i;
            ++count;
        }
        if (first < 0)
            return false;
        if (pdPulseFactor)
            *pdPulseFactor = ds.GetSubChannel(first).GetPulseFactor();
        if (piSubChannel)
            *piSubChannel = first;
        if (piCount)
            *piCount = count;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
