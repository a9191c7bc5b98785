#pragma once
// The property page that CTSSettings::GetPPage hands to the host. The page
// widgets themselves live elsewhere; what every page needs from the settings
// side is which job kind it edits, its dialog id (also its help context id),
// its caption, and the job kind's bit in the path and overwrite flags.

#include "platform/CString.h"

class CPropertyPage {
public:
    CPropertyPage(unsigned uDialogID, const char* pszCaption)
        : m_uDialogID(uDialogID), m_sCaption(pszCaption) {}
    virtual ~CPropertyPage() = default;
    CPropertyPage(const CPropertyPage&) = delete;
    CPropertyPage& operator=(const CPropertyPage&) = delete;

    unsigned GetDialogID() const { return m_uDialogID; }
    const CString& GetCaption() const { return m_sCaption; }

private:
    unsigned m_uDialogID;
    CString m_sCaption;
};

// Base of the settings pages: one per CTSSettings::valTSFormat value.
class CppgSettings : public CPropertyPage {
public:
    // Fails (returns null) for a value outside the table.
    static CppgSettings* Create(int iFormat);

    int GetFormat() const { return m_iFormat; }
    // The job kind's bit in m_lStandardPathFlags and m_lOverwriteFlags.
    long GetFlagBit() const { return m_lFlagBit; }
    // True for the import pages, which share m_sPathTRX.
    bool IsImportPage() const { return m_bImport; }
    // The standard directory that this page edits.
    CString& StandardPath() const;

protected:
    CppgSettings(int iFormat, unsigned uDialogID, const char* pszCaption, long lFlagBit, bool bImport)
        : CPropertyPage(uDialogID, pszCaption), m_iFormat(iFormat), m_lFlagBit(lFlagBit), m_bImport(bImport) {}

private:
    int m_iFormat;
    long m_lFlagBit;
    bool m_bImport;
};
