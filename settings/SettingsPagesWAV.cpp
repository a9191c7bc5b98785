#include "settings/SettingsPages.h"
#include "settings/TSSettings.h"

#include <cfloat>
#include <cmath>

// --- WAVE export ------------------------------------------------------------

CppgSettingsWAVExport::CppgSettingsWAVExport()
    : CppgSettings(CTSSettings::tsfWAVExport, 9107, "WAV Export", CTSSettings::bitWAVExport, false, "WAV") {}

std::span<const CppgSettingsWAVExport::SCalibration> CppgSettingsWAVExport::CalibrationList() {
    static constexpr SCalibration list[] = {{"144 dB", 144}, {"134 dB", 134}, {"124 dB", 124}, {"114 dB", 114},
                                            {"104 dB", 104}, {" 94 dB", 94},  {" 84 dB", 84}};
    return list;
}

void CppgSettingsWAVExport::LoadControls() {
    CppgSettings::LoadControls();
    // A value the radios do not offer selects none and is kept.
    int c = CTSSettings::m_iConvFloatToIntWAVExport;
    m_iConversion = (c >= 0 && c <= 2) ? c : -1;
    m_iCalibration = 0;   // the first entry when none matches
    auto list = CalibrationList();
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].nValue == CTSSettings::m_nCalibrationWAVExport)
            m_iCalibration = int(i);
    m_b24Bit = CTSSettings::m_b24BitResolutionWAVExport ? 1 : 0;
    m_bIncludePulse = CTSSettings::m_bIncludePulseChWAVExport ? 1 : 0;
}

void CppgSettingsWAVExport::StoreControls() {
    CppgSettings::StoreControls();
    if (m_iConversion >= 0)
        CTSSettings::m_iConvFloatToIntWAVExport = m_iConversion;
    auto list = CalibrationList();
    if (m_iCalibration >= 0 && std::size_t(m_iCalibration) < list.size())
        CTSSettings::m_nCalibrationWAVExport = list[std::size_t(m_iCalibration)].nValue;
    CTSSettings::m_b24BitResolutionWAVExport = m_b24Bit;
    CTSSettings::m_bIncludePulseChWAVExport = m_bIncludePulse;
}

// --- WAVE import ------------------------------------------------------------

CppgSettingsWAVImport::CppgSettingsWAVImport()
    : CppgSettings(CTSSettings::tsfWAVImport, 9110, "WAV", CTSSettings::bitWAVImport, true, "WAV") {}

void CppgSettingsWAVImport::LoadControls() {
    CppgSettings::LoadControls();
    m_iScaling = CTSSettings::m_bPascalWAVImport ? 1 : 0;
    m_calibration.Show(CString::Formatted("%g", double(CTSSettings::m_fCalibrationWAVImport)));
    m_inputRange.Show(CString::Formatted("%g", double(CTSSettings::m_fInputRangeWAVImport)));
    m_sUnit = CTSSettings::m_sUnitWAVImport;
}

namespace {
bool ReadFloat(const CString& s, float& f) {
    double d;
    if (!ParseRealText(s, d) || std::fabs(d) > FLT_MAX)
        return false;
    f = float(d);
    return true;
}
}  // namespace

bool CppgSettingsWAVImport::Validate() {
    float f;
    if (m_calibration.IsEdited() && !ReadFloat(m_calibration.sText, f)) {
        m_sApplyError = "Calibration (dB): enter a number.";
        return false;
    }
    if (m_inputRange.IsEdited() && !(ReadFloat(m_inputRange.sText, f) && f > 0)) {
        m_sApplyError = "Input range (r.m.s.): enter a number above 0.";
        return false;
    }
    return true;
}

void CppgSettingsWAVImport::StoreControls() {
    CppgSettings::StoreControls();
    CTSSettings::m_bPascalWAVImport = m_iScaling;
    // Untouched fields keep the exact values that "%g" shows only rounded.
    if (m_calibration.IsEdited())
        ReadFloat(m_calibration.sText, CTSSettings::m_fCalibrationWAVImport);
    if (m_inputRange.IsEdited())
        ReadFloat(m_inputRange.sText, CTSSettings::m_fInputRangeWAVImport);
    CTSSettings::m_sUnitWAVImport = StoredUnit(m_sUnit);
    m_sUnit = CTSSettings::m_sUnitWAVImport;
    m_calibration.Show(CString::Formatted("%g", double(CTSSettings::m_fCalibrationWAVImport)));
    m_inputRange.Show(CString::Formatted("%g", double(CTSSettings::m_fInputRangeWAVImport)));
}
