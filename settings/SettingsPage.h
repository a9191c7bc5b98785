#pragma once
// The settings pages that CTSSettings::GetPPage hands to the host: one per
// CTSSettings::valTSFormat value. A page object holds the values of its
// controls and the rules that move them between the controls and the static
// settings; it needs no display. The widgets that show a page (Qt, in
// settings/pages/) are a thin view over these members: they copy what the
// user does into them and redraw from them when the page changes them.

#include "platform/CString.h"
#include "platform/PropertyPage.h"

// Ids of the controls (help context ids are kHelpIDBaseControl + id).
enum ESettingsControl : unsigned {
    IDC_PATH_OF_INPUT = 1001,
    IDC_STANDARD_PATH = 1002,
    IDC_PATH_EDIT = 1003,
    IDC_BROWSE = 1004,
    IDC_OVERWRITE = 1005,
    IDC_OPTION_CHECK = 1010,       // the one check box of the PAK, SDF and UFF export pages
    IDC_SET_FILE = 1011,
    IDC_NOTATION = 1020,
    IDC_DIGITS = 1021,
    IDC_SEPARATOR = 1022,
    IDC_DECIMAL = 1023,
    IDC_COMPLEX = 1024,
    IDC_TO_DB = 1025,
    IDC_CONVERSION = 1030,
    IDC_CALIBRATION_LIST = 1031,
    IDC_24BIT = 1032,
    IDC_PULSE = 1033,
    IDC_SCALING = 1040,
    IDC_CALIBRATION = 1041,
    IDC_INPUT_RANGE = 1042,
    IDC_UNIT = 1043,
    IDC_QUANTITY = 1044,
    IDC_ABSCISSA = 1050,
    IDC_ABSC_UNIT = 1051,
    IDC_ABSC_QUANTITY = 1052,
    IDC_STEP = 1053,
    IDC_CHANNEL = 1054,
    IDC_CHANNEL_NAME = 1055,
    IDC_CHANNEL_UNIT = 1056,
    IDC_CHANNEL_QUANTITY = 1057,
    IDC_IMPL_TYPE = 1058,
};

// What the "..." button asks of the folder dialog.
struct SFolderRequest {
    CString sTitle;       // empty: the dialog's own title
    CString sPreselect;   // folder shown first; empty: none
};

// Base of the fourteen pages: the output location controls every page has.
class CppgSettings : public CPropertyPage {
public:
    // Null for a value outside 0..13.
    static CppgSettings* Create(int iFormat);

    int GetFormat() const { return m_iFormat; }
    // The job kind's bit in m_lStandardPathFlags and m_lOverwriteFlags.
    long GetFlagBit() const { return m_lFlagBit; }
    // True for the import pages, which share m_sPathTRX.
    bool IsImportPage() const { return m_bImport; }
    // The standard directory that this page edits.
    CString& StandardPath() const;

    // Texts of the two output location radios, e.g. "Use path of SDF file for
    // output file" and "Use standard path for TRX file".
    CString GetInputPathText() const;
    CString GetStandardPathText() const;

    bool OnInitDialog() override;
    bool OnApply() override;

    // The "..." button: what to ask the folder dialog, and the folder the user
    // chose there (not called when the dialog was cancelled).
    SFolderRequest GetBrowseRequest() const;
    void OnFolderChosen(const CString& sFolder);

    // Values of the controls.
    int m_iPathChoice = 0;   // 0 the input file's directory, 1 the standard directory
    CString m_sPath;
    int m_bOverwrite = 0;

protected:
    CppgSettings(int iFormat, unsigned uDialogID, const char* pszCaption, long lFlagBit, bool bImport,
                 const char* pszFormatName);

    // Controls from the settings / settings from the controls; derived pages
    // add their own controls. Validate runs before anything is written and
    // fills m_sApplyError when a control holds something the page cannot take.
    virtual void LoadControls();
    virtual bool Validate() { return true; }
    virtual void StoreControls();

private:
    int m_iFormat;
    long m_lFlagBit;
    bool m_bImport;
    const char* m_pszFormatName;
};
