#include "platform/PropertyPage.h"

#include <utility>

namespace {

HelpHandler& Handler() {
    static HelpHandler handler;
    return handler;
}

}  // namespace

bool CPropertyPage::OnInitDialog() {
    m_bInitialized = true;
    return true;
}

bool CPropertyPage::OnApply() {
    m_sApplyError.Empty();
    m_bModified = false;
    return true;
}

bool CPropertyPage::OnHelp(unsigned uControlContextID) {
    if (uControlContextID != 0 && ShowContextHelp(uControlContextID))
        return true;
    return ShowContextHelp(m_uHelpContextID != 0 ? m_uHelpContextID : m_uDialogID);
}

void SetHelpHandler(HelpHandler handler) { Handler() = std::move(handler); }

bool ShowContextHelp(unsigned uContextID) {
    const HelpHandler& h = Handler();
    return h ? h(uContextID) : false;
}
