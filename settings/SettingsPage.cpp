#include "settings/SettingsPage.h"

#include "settings/TSSettings.h"

namespace {

struct SPageInfo {
    unsigned uDialogID;
    const char* pszCaption;
    long lFlagBit;
    bool bImport;
};

// Indexed by CTSSettings::valTSFormat.
const SPageInfo g_aPages[CTSSettings::g_iNbrOfFormats] = {
    {9113, "ASCII", CTSSettings::bitASCImport, true},
    {9104, "ASCII Export", CTSSettings::bitASCExport, false},
    {9114, "PAK", CTSSettings::bitPAKImport, true},
    {9112, "PAK Export", CTSSettings::bitPAKExport, false},
    {9108, "SDF", CTSSettings::bitSDFImport, true},
    {9103, "SDF Export", CTSSettings::bitSDFExport, false},
    {9105, "SONY", CTSSettings::bitSONYImport, true},
    {9111, "TEAC", CTSSettings::bitTEACImport, true},
    {9106, "UFF", CTSSettings::bitUFFImport, true},
    {9109, "UFF Export", CTSSettings::bitUFFExport, false},
    {9110, "WAV", CTSSettings::bitWAVImport, true},
    {9107, "WAV Export", CTSSettings::bitWAVExport, false},
    {9116, "MP3", CTSSettings::bitMP3Import, true},
    {9115, "MP3 Export", CTSSettings::bitMP3Export, false},
};

}  // namespace

CppgSettings* CppgSettings::Create(int iFormat) {
    if (iFormat < 0 || iFormat >= CTSSettings::g_iNbrOfFormats)
        return nullptr;
    const SPageInfo& info = g_aPages[iFormat];
    return new CppgSettings(iFormat, info.uDialogID, info.pszCaption, info.lFlagBit, info.bImport);
}

CString& CppgSettings::StandardPath() const {
    return *CTSSettings::StandardPathOf(m_lFlagBit);
}
