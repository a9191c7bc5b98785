#pragma once
// The property page of the host's framework, without a window system: what a
// page is to the sheet that shows it (dialog id, caption, help context id, the
// modified mark) and the moments the sheet calls it at (the dialog opens, the
// sheet applies, help is asked for). A toolkit draws the page's controls as a
// view over the page object; the page itself never needs a display.

#include "platform/CString.h"

#include <functional>

class CPropertyPage {
public:
    CPropertyPage(unsigned uDialogID, const char* pszCaption)
        : m_uDialogID(uDialogID), m_sCaption(pszCaption) {}
    virtual ~CPropertyPage() = default;
    CPropertyPage(const CPropertyPage&) = delete;
    CPropertyPage& operator=(const CPropertyPage&) = delete;

    // The id of the page's dialog template.
    unsigned GetDialogID() const { return m_uDialogID; }
    const CString& GetCaption() const { return m_sCaption; }

    // The help context id of the page's window; 0 until the dialog opened.
    unsigned GetHelpContextID() const { return m_uHelpContextID; }
    void SetHelpContextID(unsigned uID) { m_uHelpContextID = uID; }

    // Set by the page when a control changed, cleared by a successful apply;
    // the sheet offers "Apply" while any page is modified.
    void SetModified(bool bModified = true) { m_bModified = bModified; }
    bool IsModified() const { return m_bModified; }

    // The page's dialog opened: the controls take the current values. True
    // once it has run, so a sheet applies only pages the user has seen.
    virtual bool OnInitDialog();
    bool IsInitialized() const { return m_bInitialized; }
    // The sheet applies: the page writes its controls back. False when a
    // control holds a value the page cannot take; GetApplyError() says why
    // and nothing has been written.
    virtual bool OnApply();
    const CString& GetApplyError() const { return m_sApplyError; }

    // Help asked for from the page: the application's help in context mode,
    // first with the context id of the control that asked (0: none), then,
    // when that fails, with the page's help context id.
    virtual bool OnHelp(unsigned uControlContextID);

protected:
    CString m_sApplyError;

private:
    unsigned m_uDialogID;
    CString m_sCaption;
    unsigned m_uHelpContextID = 0;
    bool m_bModified = false;
    bool m_bInitialized = false;
};

// The application's help file in context mode: the host registers what shows
// help for a context id and says whether it could. Without a handler every
// request fails.
using HelpHandler = std::function<bool(unsigned uContextID)>;
void SetHelpHandler(HelpHandler handler);
bool ShowContextHelp(unsigned uContextID);

// Control help ids follow the framework's numbering: the control id above
// this base.
inline constexpr unsigned kHelpIDBaseControl = 0x50000;
