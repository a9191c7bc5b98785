#include "settings/TSSettings.h"

#include <cstring>
#include <new>

#include "platform/Resources.h"
#include "platform/Storage.h"
#include "settings/SettingsArchive.h"
#include "settings/SettingsPage.h"

namespace {

CStringArray DefaultChannelNames() {
    CStringArray a;
    for (int i = 0; i < CTSSettings::g_iNbrOfASCImportChannels; ++i)
        a.Add(CString::Formatted("channel %d", i + 1));
    return a;
}

CStringArray DefaultChannelUnits() {
    CStringArray a;
    for (int i = 0; i < CTSSettings::g_iNbrOfASCImportChannels; ++i)
        a.Add("Pa");
    return a;
}

// The stream that holds the archive is named by text 1 of the language
// resources, so each language keeps its own settings stream. Should the texts
// be missing altogether, the module's own name still gives the stream a name.
CString SettingsStreamName() {
    CString name = LoadText(1);
    return name.IsEmpty() ? CString("Tessel Settings") : name;
}

// Reads an archive image held in memory.
class CByteStream : public IStream {
public:
    CByteStream(const void* p, std::size_t n) : m_p(static_cast<const unsigned char*>(p)), m_n(n) {}
    std::size_t Read(void* pBuffer, std::size_t uSize) override {
        std::size_t take = std::min(uSize, m_n - m_pos);
        if (take)
            std::memcpy(pBuffer, m_p + m_pos, take);
        m_pos += take;
        return take;
    }
    bool Write(const void*, std::size_t) override { return false; }
    bool Commit() override { return false; }

private:
    const unsigned char* m_p;
    std::size_t m_n;
    std::size_t m_pos = 0;
};

class CStringStream : public IStream {
public:
    std::size_t Read(void*, std::size_t) override { return 0; }
    bool Write(const void* p, std::size_t n) override {
        m_s.append(static_cast<const char*>(p), n);
        return true;
    }
    bool Commit() override { return true; }
    std::string m_s;
};

// The host may resize the public arrays at will; the jobs index them up to
// element 255. Whatever a load read, or left unread after failing, they come
// out of it at exactly 256 elements: missing ones empty, surplus ones dropped.
void NormaliseArrays() {
    CTSSettings::m_arsChNameASCImport.SetSize(CTSSettings::g_iNbrOfASCImportChannels);
    CTSSettings::m_arsChUnitASCImport.SetSize(CTSSettings::g_iNbrOfASCImportChannels);
}

short LoadArchive(IStream& stream, void (*serialize)(CSettingsArchive&)) {
    short result;
    try {
        CSettingsArchive ar(&stream, false);
        serialize(ar);
        result = CTSSettings::loadOK;
    } catch (const CArchiveSchemaError&) {
        result = CTSSettings::loadBadSchema;
    } catch (const CArchiveError&) {
        result = CTSSettings::loadArchiveError;
    } catch (...) {
        result = CTSSettings::loadOtherError;
    }
    try {
        NormaliseArrays();
    } catch (...) {
        result = CTSSettings::loadOtherError;
    }
    return result;
}

}  // namespace

long CTSSettings::m_lStandardPathFlags = 0;
long CTSSettings::m_lOverwriteFlags = 0;
CString CTSSettings::m_sPathTRX;
CString CTSSettings::m_sPathASC;
CString CTSSettings::m_sPathPAK;
CString CTSSettings::m_sPathSDF;
CString CTSSettings::m_sPathUFF;
CString CTSSettings::m_sPathWAV;
CString CTSSettings::m_sPathMP3;
CStringArray CTSSettings::m_arsChNameASCImport = DefaultChannelNames();
CStringArray CTSSettings::m_arsChUnitASCImport = DefaultChannelUnits();
int CTSSettings::m_iChImplType = 3;
int CTSSettings::m_bAbscProvidedASCImport = 1;
double CTSSettings::m_dAbscDeltaValASCImport = 1.0 / 44100.0;
CString CTSSettings::m_sAbscUnitASCImport = "s";
int CTSSettings::m_bSeparatorASCExport = 0;
int CTSSettings::m_iNumberNotationASCExport = 0;
int CTSSettings::m_iNumberNotationComplexASCExport = 0;
short CTSSettings::m_nNbrOfDigitsASCExport = 4;
int CTSSettings::m_bUseCommaASCExport = 0;
int CTSSettings::m_bConvert2dBASCExport = 0;
int CTSSettings::m_bEnableFloat32PAKExport = 0;
int CTSSettings::m_bHighSamplingRate4RefQuantSDFExport = 0;
CString CTSSettings::m_sNameSETFileTEACImport = "Default.set";
int CTSSettings::m_bBinaryUFFExport = 0;
float CTSSettings::m_fCalibrationWAVImport = 94.0f;
float CTSSettings::m_fInputRangeWAVImport = 5.0f;
int CTSSettings::m_bPascalWAVImport = 0;
CString CTSSettings::m_sQuantityWAVImport;
CString CTSSettings::m_sUnitWAVImport = "V";
int CTSSettings::m_iConvFloatToIntWAVExport = 1;
short CTSSettings::m_nCalibrationWAVExport = 94;
int CTSSettings::m_b24BitResolutionWAVExport = 0;
int CTSSettings::m_bIncludePulseChWAVExport = 0;

void CTSSettings::ResetToDefaults() {
    m_lStandardPathFlags = 0;
    m_lOverwriteFlags = 0;
    m_sPathTRX.Empty();
    m_sPathASC.Empty();
    m_sPathPAK.Empty();
    m_sPathSDF.Empty();
    m_sPathUFF.Empty();
    m_sPathWAV.Empty();
    m_sPathMP3.Empty();
    m_arsChNameASCImport = DefaultChannelNames();
    m_arsChUnitASCImport = DefaultChannelUnits();
    m_iChImplType = 3;
    m_bAbscProvidedASCImport = 1;
    m_dAbscDeltaValASCImport = 1.0 / 44100.0;
    m_sAbscUnitASCImport = CString("s");
    m_bSeparatorASCExport = 0;
    m_iNumberNotationASCExport = 0;
    m_iNumberNotationComplexASCExport = 0;
    m_nNbrOfDigitsASCExport = 4;
    m_bUseCommaASCExport = 0;
    m_bConvert2dBASCExport = 0;
    m_bEnableFloat32PAKExport = 0;
    m_bHighSamplingRate4RefQuantSDFExport = 0;
    m_sNameSETFileTEACImport = "Default.set";
    m_bBinaryUFFExport = 0;
    m_fCalibrationWAVImport = 94.0f;
    m_fInputRangeWAVImport = 5.0f;
    m_bPascalWAVImport = 0;
    m_sQuantityWAVImport.Empty();
    m_sUnitWAVImport = CString("V");
    m_iConvFloatToIntWAVExport = 1;
    m_nCalibrationWAVExport = 94;
    m_b24BitResolutionWAVExport = 0;
    m_bIncludePulseChWAVExport = 0;
}

CString* CTSSettings::StandardPathOf(long lJobBit) {
    switch (lJobBit) {
    case bitASCExport:
        return &m_sPathASC;
    case bitSDFExport:
        return &m_sPathSDF;
    case bitUFFExport:
        return &m_sPathUFF;
    case bitWAVExport:
        return &m_sPathWAV;
    case bitPAKExport:
        return &m_sPathPAK;
    case bitMP3Export:
        return &m_sPathMP3;
    case bitSDFImport:
    case bitSONYImport:
    case bitUFFImport:
    case bitWAVImport:
    case bitTEACImport:
    case bitPAKImport:
    case bitASCImport:
    case bitMP3Import:
        return &m_sPathTRX;
    default:
        return nullptr;
    }
}

CTSSettings::CTSSettings() = default;

CTSSettings::~CTSSettings() {
    for (CppgSettings*& p : m_apPages) {
        delete p;
        p = nullptr;
    }
}

CPropertyPage* CTSSettings::GetPPage(valTSFormat eFormat) {
    int i = int(eFormat);
    if (i < 0 || i >= g_iNbrOfFormats)
        return nullptr;
    if (!m_apPages[i])
        m_apPages[i] = CppgSettings::Create(i);
    return m_apPages[i];
}

// Newer fields stand at the front: an archive of schema s holds, after the
// schema number, exactly the fields that exist since schema s or earlier, in
// this order. Storing writes schema 12, so every field.
void CTSSettings::Serialize(CSettingsArchive& ar) {
    std::int32_t schema = g_iArchiveSchema;
    ar.Exchange(schema);
    if (ar.IsLoading() && (schema < 1 || schema > g_iArchiveSchema))
        throw CArchiveSchemaError("CTSSettings::Serialize() Schema not recognized!");
    ar.SetSchema(schema);

    // The fields that older versions kept: written with fixed values, read
    // into temporaries.
    std::int32_t formerOverwrite = 0;
    std::int16_t formerCalibration = 94;
    CString formerText;

    auto field = [&](int since, auto& value) {
        if (schema >= since)
            ar.Exchange(value);
    };
    auto array = [&](int since, CStringArray& value) {
        if (schema >= since)
            ar.Exchange(value, std::size_t(g_iNbrOfASCImportChannels));
    };
    field(12, m_bHighSamplingRate4RefQuantSDFExport);
    field(11, m_fCalibrationWAVImport);
    field(10, m_sPathMP3);
    field(9, m_bConvert2dBASCExport);
    field(9, m_bBinaryUFFExport);
    field(8, m_iNumberNotationComplexASCExport);
    field(8, m_b24BitResolutionWAVExport);
    field(8, m_bIncludePulseChWAVExport);
    field(8, m_lOverwriteFlags);
    field(7, m_bEnableFloat32PAKExport);
    field(6, m_bUseCommaASCExport);
    field(5, m_fInputRangeWAVImport);
    array(4, m_arsChNameASCImport);
    array(4, m_arsChUnitASCImport);
    field(4, m_iChImplType);
    field(4, m_bAbscProvidedASCImport);
    field(4, m_dAbscDeltaValASCImport);
    field(4, m_sAbscUnitASCImport);
    field(3, m_sNameSETFileTEACImport);
    field(2, formerOverwrite);
    field(1, m_bSeparatorASCExport);
    field(1, m_iNumberNotationASCExport);
    field(1, m_nNbrOfDigitsASCExport);
    field(1, m_nCalibrationWAVExport);
    field(1, m_iConvFloatToIntWAVExport);
    field(1, m_sQuantityWAVImport);
    field(1, m_sUnitWAVImport);
    field(1, formerCalibration);
    field(1, m_bPascalWAVImport);
    field(1, formerText);
    field(1, m_sPathPAK);
    field(1, m_sPathWAV);
    field(1, m_sPathUFF);
    field(1, m_sPathSDF);
    field(1, m_sPathASC);
    field(1, m_sPathTRX);
    field(1, m_lStandardPathFlags);

    if (ar.IsStoring()) {
        ar.Flush();
        return;
    }
    // One overwrite switch for every job kind became one bit per kind.
    if (schema < 8)
        m_lOverwriteFlags = formerOverwrite != 0 ? long(std::int32_t(0xFFFFFFFFu)) : 0L;
    // The WAVE import calibration was a whole number of dB.
    if (schema < 11)
        m_fCalibrationWAVImport = float(formerCalibration);
    // The arrays are brought to their size by the caller, also after a failure.
}

bool CTSSettings::Store(IStorage* pStorage) {
    if (!pStorage)
        return false;
    std::unique_ptr<IStream> stream = pStorage->CreateStream(SettingsStreamName());
    if (!stream)
        return false;
    // A failed write leaves the previous archive in place: the new stream
    // replaces it only when complete.
    try {
        CSettingsArchive ar(stream.get(), true);
        Serialize(ar);
    } catch (...) {
        return false;
    }
    return stream->Commit();
}

short CTSSettings::Load(IStorage* pStorage) {
    if (!pStorage)
        return loadOtherError;
    std::unique_ptr<IStream> stream;
    try {
        CString name = SettingsStreamName();
        if (!pStorage->HasStream(name))
            return loadNoStream;
        stream = pStorage->OpenStream(name);
    } catch (...) {
        return loadOtherError;
    }
    if (!stream)
        return loadOtherError;
    return LoadArchive(*stream, &CTSSettings::Serialize);
}

short CTSSettings::LoadFromBytes(const void* pData, std::size_t uSize) {
    CByteStream stream(pData, uSize);
    return LoadArchive(stream, &CTSSettings::Serialize);
}

std::string CTSSettings::StoreToBytes() {
    CStringStream stream;
    CSettingsArchive ar(&stream, true);
    Serialize(ar);
    return stream.m_s;
}
