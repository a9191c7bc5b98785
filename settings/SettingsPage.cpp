#include "settings/SettingsPage.h"

#include "settings/SettingsPages.h"
#include "settings/TSSettings.h"

CppgSettings* CppgSettings::Create(int iFormat) {
    switch (iFormat) {
    case CTSSettings::tsfASCImport:
        return new CppgSettingsASCImport;
    case CTSSettings::tsfASCExport:
        return new CppgSettingsASCExport;
    case CTSSettings::tsfPAKImport:
        return new CppgSettingsPAKImport;
    case CTSSettings::tsfPAKExport:
        return new CppgSettingsPAKExport;
    case CTSSettings::tsfSDFImport:
        return new CppgSettingsSDFImport;
    case CTSSettings::tsfSDFExport:
        return new CppgSettingsSDFExport;
    case CTSSettings::tsfSONYImport:
        return new CppgSettingsSONYImport;
    case CTSSettings::tsfTEACImport:
        return new CppgSettingsTEACImport;
    case CTSSettings::tsfUFFImport:
        return new CppgSettingsUFFImport;
    case CTSSettings::tsfUFFExport:
        return new CppgSettingsUFFExport;
    case CTSSettings::tsfWAVImport:
        return new CppgSettingsWAVImport;
    case CTSSettings::tsfWAVExport:
        return new CppgSettingsWAVExport;
    case CTSSettings::tsfMP3Import:
        return new CppgSettingsMP3Import;
    case CTSSettings::tsfMP3Export:
        return new CppgSettingsMP3Export;
    default:
        return nullptr;
    }
}

CppgSettings::CppgSettings(int iFormat, unsigned uDialogID, const char* pszCaption, long lFlagBit, bool bImport,
                           const char* pszFormatName)
    : CPropertyPage(uDialogID, pszCaption), m_iFormat(iFormat), m_lFlagBit(lFlagBit), m_bImport(bImport),
      m_pszFormatName(pszFormatName) {}

CString& CppgSettings::StandardPath() const { return *CTSSettings::StandardPathOf(m_lFlagBit); }

CString CppgSettings::GetInputPathText() const {
    return CString::Formatted("Use path of %s file for output file", m_bImport ? m_pszFormatName : "TRX");
}

CString CppgSettings::GetStandardPathText() const {
    return CString::Formatted("Use standard path for %s file", m_bImport ? "TRX" : m_pszFormatName);
}

bool CppgSettings::OnInitDialog() {
    LoadControls();
    CPropertyPage::OnInitDialog();
    SetModified(false);
    SetHelpContextID(GetDialogID());
    return true;
}

bool CppgSettings::OnApply() {
    m_sApplyError.Empty();
    if (!Validate())
        return false;
    StoreControls();
    return CPropertyPage::OnApply();
}

void CppgSettings::LoadControls() {
    m_iPathChoice = (CTSSettings::m_lStandardPathFlags & m_lFlagBit) ? 1 : 0;
    m_sPath = StandardPath();
    m_bOverwrite = (CTSSettings::m_lOverwriteFlags & m_lFlagBit) ? 1 : 0;
}

void CppgSettings::StoreControls() {
    if (m_iPathChoice == 1)
        CTSSettings::m_lStandardPathFlags |= m_lFlagBit;
    else
        CTSSettings::m_lStandardPathFlags &= ~m_lFlagBit;
    if (m_bOverwrite)
        CTSSettings::m_lOverwriteFlags |= m_lFlagBit;
    else
        CTSSettings::m_lOverwriteFlags &= ~m_lFlagBit;
    // Every import page edits the one TRX directory: an import page left
    // empty must not wipe what another one set.
    if (!m_bImport || !m_sPath.IsEmpty())
        StandardPath() = m_sPath;
}

SFolderRequest CppgSettings::GetBrowseRequest() const {
    if (m_bImport)
        return {CString(), m_sPath};
    return {CString("Destination Directory"), CString()};
}

void CppgSettings::OnFolderChosen(const CString& sFolder) {
    CString folder = sFolder;
    if (m_bImport) {
        // The TRX directory is kept with its separator.
        if (folder.IsEmpty() || folder[folder.GetLength() - 1] != '/')
            folder += '/';
    } else {
        while (folder.GetLength() > 1 && folder[folder.GetLength() - 1] == '/')
            folder = folder.Left(folder.GetLength() - 1);
    }
    m_sPath = folder;
    // A new directory is a change like any typed one: "Apply" offers itself.
    SetModified();
}

// --- pages with the output location only ----------------------------------

CppgSettingsPAKImport::CppgSettingsPAKImport()
    : CppgSettings(CTSSettings::tsfPAKImport, 9114, "PAK", CTSSettings::bitPAKImport, true, "PAK") {}
CppgSettingsSDFImport::CppgSettingsSDFImport()
    : CppgSettings(CTSSettings::tsfSDFImport, 9108, "SDF", CTSSettings::bitSDFImport, true, "SDF") {}
CppgSettingsSONYImport::CppgSettingsSONYImport()
    : CppgSettings(CTSSettings::tsfSONYImport, 9105, "SONY", CTSSettings::bitSONYImport, true, "SONY") {}
CppgSettingsUFFImport::CppgSettingsUFFImport()
    : CppgSettings(CTSSettings::tsfUFFImport, 9106, "UFF", CTSSettings::bitUFFImport, true, "UFF") {}
CppgSettingsMP3Import::CppgSettingsMP3Import()
    : CppgSettings(CTSSettings::tsfMP3Import, 9116, "MP3", CTSSettings::bitMP3Import, true, "MP3") {}
CppgSettingsMP3Export::CppgSettingsMP3Export()
    : CppgSettings(CTSSettings::tsfMP3Export, 9115, "MP3 Export", CTSSettings::bitMP3Export, false, "MP3") {}

// --- pages with one further check box --------------------------------------

namespace {
struct SCheckPage {
    int iFormat;
    unsigned uDialogID;
    const char* pszCaption;
    long lFlagBit;
    const char* pszFormatName;
};
const SCheckPage& CheckPageInfo(int iFormat) {
    static const SCheckPage pages[] = {
        {CTSSettings::tsfPAKExport, 9112, "PAK Export", CTSSettings::bitPAKExport, "PAK"},
        {CTSSettings::tsfSDFExport, 9103, "SDF Export", CTSSettings::bitSDFExport, "SDF"},
        {CTSSettings::tsfUFFExport, 9109, "UFF Export", CTSSettings::bitUFFExport, "UFF"},
    };
    for (const SCheckPage& p : pages)
        if (p.iFormat == iFormat)
            return p;
    return pages[0];
}
}  // namespace

CppgSettingsWithCheck::CppgSettingsWithCheck(int iFormat, int& rSetting, const char* pszCheckText)
    : CppgSettings(iFormat, CheckPageInfo(iFormat).uDialogID, CheckPageInfo(iFormat).pszCaption,
                   CheckPageInfo(iFormat).lFlagBit, false, CheckPageInfo(iFormat).pszFormatName),
      m_rSetting(rSetting), m_pszCheckText(pszCheckText) {}

void CppgSettingsWithCheck::LoadControls() {
    CppgSettings::LoadControls();
    m_bCheck = m_rSetting ? 1 : 0;
}

void CppgSettingsWithCheck::StoreControls() {
    CppgSettings::StoreControls();
    m_rSetting = m_bCheck ? 1 : 0;
}

CppgSettingsPAKExport::CppgSettingsPAKExport()
    : CppgSettingsWithCheck(CTSSettings::tsfPAKExport, CTSSettings::m_bEnableFloat32PAKExport,
                            "Enable export of float32 data type") {}
CppgSettingsSDFExport::CppgSettingsSDFExport()
    : CppgSettingsWithCheck(CTSSettings::tsfSDFExport, CTSSettings::m_bHighSamplingRate4RefQuantSDFExport,
                            "Sampling frequency of the reference quantity (e.g. RPM) is taken from the fast "
                            "channels (e.g. audio)") {}
CppgSettingsUFFExport::CppgSettingsUFFExport()
    : CppgSettingsWithCheck(CTSSettings::tsfUFFExport, CTSSettings::m_bBinaryUFFExport,
                            "Use binary format (UFF 58b)") {}

// --- TEAC -----------------------------------------------------------------

CppgSettingsTEACImport::CppgSettingsTEACImport()
    : CppgSettings(CTSSettings::tsfTEACImport, 9111, "TEAC", CTSSettings::bitTEACImport, true, "TEAC") {}

void CppgSettingsTEACImport::LoadControls() {
    CppgSettings::LoadControls();
    m_sSETFile = CTSSettings::m_sNameSETFileTEACImport;
}

void CppgSettingsTEACImport::StoreControls() {
    CppgSettings::StoreControls();
    CString name = m_sSETFile;
    if (name.Find('.') < 0)
        name += ".set";
    CTSSettings::m_sNameSETFileTEACImport = name;
    m_sSETFile = name;
}
