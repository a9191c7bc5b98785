#include "settings/SettingsPages.h"
#include "settings/TSSettings.h"

#include <cmath>
#include <cstdint>

// --- ASCII export -----------------------------------------------------------

CppgSettingsASCExport::CppgSettingsASCExport()
    : CppgSettings(CTSSettings::tsfASCExport, 9104, "ASCII Export", CTSSettings::bitASCExport, false, "ASCII") {}

std::span<const char* const> CppgSettingsASCExport::ComplexNotationList() {
    static constexpr const char* list[] = {"Magnitude",
                                           "Real + Imag",
                                           "Magnitude + Phase Degrees",
                                           "Magnitude + Phase Rad",
                                           "Magnitude + Phase Circle",
                                           "Magnitude + Group Delay"};
    return list;
}

namespace {
constexpr long long kMaxDigits = 99;
}

void CppgSettingsASCExport::LoadControls() {
    CppgSettings::LoadControls();
    // Values the radios and the list do not offer select none and are kept.
    int n = CTSSettings::m_iNumberNotationASCExport;
    m_iNotation = (n >= 0 && n <= 2) ? n : -1;
    m_digits.Show(CString::Formatted("%d", int(CTSSettings::m_nNbrOfDigitsASCExport)));
    m_iSeparator = CTSSettings::m_bSeparatorASCExport ? 1 : 0;
    m_iDecimal = CTSSettings::m_bUseCommaASCExport ? 1 : 0;
    int c = CTSSettings::m_iNumberNotationComplexASCExport;
    m_iComplex = (c >= 0 && c < int(ComplexNotationList().size())) ? c : -1;
    m_bConvert2dB = CTSSettings::m_bConvert2dBASCExport ? 1 : 0;
}

bool CppgSettingsASCExport::Validate() {
    long long n;
    if (m_digits.IsEdited() && !(ParseIntegerText(m_digits.sText, n) && n >= 0 && n <= kMaxDigits)) {
        m_sApplyError = "Number of digits: enter a whole number from 0 to 99.";
        return false;
    }
    return true;
}

void CppgSettingsASCExport::StoreControls() {
    CppgSettings::StoreControls();
    if (m_iNotation >= 0)
        CTSSettings::m_iNumberNotationASCExport = m_iNotation;
    long long n;
    if (m_digits.IsEdited() && ParseIntegerText(m_digits.sText, n))
        CTSSettings::m_nNbrOfDigitsASCExport = short(n);
    m_digits.Show(CString::Formatted("%d", int(CTSSettings::m_nNbrOfDigitsASCExport)));
    CTSSettings::m_bSeparatorASCExport = m_iSeparator;
    CTSSettings::m_bUseCommaASCExport = m_iDecimal;
    if (m_iComplex >= 0)
        CTSSettings::m_iNumberNotationComplexASCExport = m_iComplex;
    CTSSettings::m_bConvert2dBASCExport = m_bConvert2dB;
}

// --- ASCII import -----------------------------------------------------------

CppgSettingsASCImport::CppgSettingsASCImport()
    : CppgSettings(CTSSettings::tsfASCImport, 9113, "ASCII", CTSSettings::bitASCImport, true, "ASCII") {}

std::span<const int> CppgSettingsASCImport::ImplTypeList() {
    static constexpr int list[] = {3, 5, 10};   // "Integer 16 bit", "Integer 24 bit", "Float 32 bit"
    return list;
}

CString CppgSettingsASCImport::StepText(double dDelta, bool bSampleRate) const {
    if (!bSampleRate)
        return CString::Formatted("%f", dDelta);
    double rate = 1.0 / dDelta;
    if (!std::isfinite(rate) || std::fabs(rate) > 9.2e18)
        return "0";
    return CString::Formatted("%lld", std::llround(rate));
}

bool CppgSettingsASCImport::ShownDelta(double& d) const {
    double v;
    if (!ParseRealText(m_step.sText, v))
        return false;
    d = IsSampleRateShown() ? 1.0 / v : v;
    return std::isfinite(d);
}

void CppgSettingsASCImport::LoadControls() {
    CppgSettings::LoadControls();
    m_bAbscProvided = CTSSettings::m_bAbscProvidedASCImport ? 1 : 0;
    m_sAbscUnit = CTSSettings::m_sAbscUnitASCImport;
    m_step.Show(StepText(CTSSettings::m_dAbscDeltaValASCImport, IsSampleRateShown()));
    // The page edits copies; the settings change only on apply.
    m_arsNames.Copy(CTSSettings::m_arsChNameASCImport);
    m_arsUnits.Copy(CTSSettings::m_arsChUnitASCImport);
    m_arsNames.SetSize(g_iLastChannel);
    m_arsUnits.SetSize(g_iLastChannel);
    m_iChannel = g_iFirstChannel;
    m_sChName = m_arsNames[0];
    m_sChUnit = m_arsUnits[0];
    m_iImplType = -1;
    auto types = ImplTypeList();
    for (std::size_t i = 0; i < types.size(); ++i)
        if (types[i] == CTSSettings::m_iChImplType)
            m_iImplType = int(i);
}

void CppgSettingsASCImport::SetAbscissaUnit(const CString& sUnit) {
    bool wasRate = IsSampleRateShown();
    bool untouched = !m_step.IsEdited();
    double delta = 0;
    bool known = ShownDelta(delta);
    m_sAbscUnit = sUnit;
    bool isRate = IsSampleRateShown();
    if (wasRate == isRate)
        return;
    if (untouched && IsInitialized())
        m_step.Show(StepText(CTSSettings::m_dAbscDeltaValASCImport, isRate));
    else if (known)
        m_step.sText = StepText(delta, isRate);
}

int CppgSettingsASCImport::SetChannel(int iChannel) {
    m_arsNames[m_iChannel - 1] = m_sChName;
    m_arsUnits[m_iChannel - 1] = m_sChUnit;
    if (iChannel < g_iFirstChannel)
        iChannel = g_iFirstChannel;
    if (iChannel > g_iLastChannel)
        iChannel = g_iLastChannel;
    m_iChannel = iChannel;
    m_sChName = m_arsNames[m_iChannel - 1];
    m_sChUnit = m_arsUnits[m_iChannel - 1];
    return m_iChannel;
}

bool CppgSettingsASCImport::Validate() {
    double delta;
    if (m_step.IsEdited() && !(ShownDelta(delta) && delta > 0)) {
        m_sApplyError = CString(GetStepLabel()) + " enter a number above 0.";
        return false;
    }
    return true;
}

void CppgSettingsASCImport::StoreControls() {
    CppgSettings::StoreControls();
    CTSSettings::m_bAbscProvidedASCImport = m_bAbscProvided;
    CTSSettings::m_sAbscUnitASCImport = StoredUnit(m_sAbscUnit);
    m_sAbscUnit = CTSSettings::m_sAbscUnitASCImport;
    // The step the user did not touch keeps its exact value, which the edit
    // shows only rounded.
    double delta;
    if (m_step.IsEdited() && ShownDelta(delta))
        CTSSettings::m_dAbscDeltaValASCImport = delta;
    m_step.Show(StepText(CTSSettings::m_dAbscDeltaValASCImport, IsSampleRateShown()));

    m_arsNames[m_iChannel - 1] = m_sChName;
    m_arsUnits[m_iChannel - 1] = m_sChUnit;
    for (int i = 0; i < g_iLastChannel; ++i)
        m_arsUnits[i] = StoredUnit(m_arsUnits[i]);
    m_sChUnit = m_arsUnits[m_iChannel - 1];
    CTSSettings::m_arsChNameASCImport.Copy(m_arsNames);
    CTSSettings::m_arsChUnitASCImport.Copy(m_arsUnits);
    if (m_iImplType >= 0 && std::size_t(m_iImplType) < ImplTypeList().size())
        CTSSettings::m_iChImplType = ImplTypeList()[std::size_t(m_iImplType)];
}
