#pragma once
// The fourteen settings pages. Members named m_... without a CTSSettings
// counterpart are the values of the page's controls.

#include "settings/SettingsPage.h"

#include <span>

// Entries of the unit combo boxes, in order (Windows-1252: the degree sign is 0xB0).
std::span<const char* const> AbscissaUnitList();   // ASCII import abscissa
std::span<const char* const> SignalUnitList();     // WAVE import
std::span<const char* const> ChannelUnitList();    // ASCII import channels

// The label beside a unit combo box: the quantity that belongs to the unit,
// or "undefined" for a text that the dataset library does not take as a unit.
CString QuantityTextOfUnit(const CString& sUnit);
// What a unit control stores: its text when it is a unit, else "vU".
CString StoredUnit(const CString& sUnit);

// A number edit: the text shown, and the text it was opened with. A field
// the user did not touch keeps the setting's exact value, which its text may
// show only rounded.
struct SNumberField {
    CString sText;
    CString sShown;
    bool IsEdited() const { return sText != sShown; }
    void Show(const CString& s) { sText = sShown = s; }
};
// Reads a whole number or a real number from a control's text (blanks around
// it allowed); false for anything else.
bool ParseRealText(const CString& s, double& d);
bool ParseIntegerText(const CString& s, long long& n);

// Pages whose only controls are those of the output location.
class CppgSettingsPAKImport : public CppgSettings {
public:
    CppgSettingsPAKImport();
};
class CppgSettingsSDFImport : public CppgSettings {
public:
    CppgSettingsSDFImport();
};
class CppgSettingsSONYImport : public CppgSettings {
public:
    CppgSettingsSONYImport();
};
class CppgSettingsUFFImport : public CppgSettings {
public:
    CppgSettingsUFFImport();
};
class CppgSettingsMP3Import : public CppgSettings {
public:
    CppgSettingsMP3Import();
};
class CppgSettingsMP3Export : public CppgSettings {
public:
    CppgSettingsMP3Export();
};

// Pages with one further check box.
class CppgSettingsWithCheck : public CppgSettings {
public:
    const char* GetCheckText() const { return m_pszCheckText; }
    int m_bCheck = 0;

protected:
    CppgSettingsWithCheck(int iFormat, int& rSetting, const char* pszCheckText);
    void LoadControls() override;
    void StoreControls() override;

private:
    int& m_rSetting;
    const char* m_pszCheckText;
};
class CppgSettingsPAKExport : public CppgSettingsWithCheck {
public:
    CppgSettingsPAKExport();
};
class CppgSettingsSDFExport : public CppgSettingsWithCheck {
public:
    CppgSettingsSDFExport();
};
class CppgSettingsUFFExport : public CppgSettingsWithCheck {
public:
    CppgSettingsUFFExport();
};

class CppgSettingsTEACImport : public CppgSettings {
public:
    CppgSettingsTEACImport();
    CString m_sSETFile;

protected:
    void LoadControls() override;
    void StoreControls() override;
};

class CppgSettingsASCExport : public CppgSettings {
public:
    CppgSettingsASCExport();
    // The six entries of the "Complex Notation:" list.
    static std::span<const char* const> ComplexNotationList();

    // A radio or list value of -1: the setting is none of the entries (it is kept).
    int m_iNotation = 0;     // "automatic", "fixed", "scientific"
    SNumberField m_digits;
    int m_iSeparator = 0;    // "Space", "Tab"
    int m_iDecimal = 0;      // "Point", "Comma"
    int m_iComplex = 0;      // index into ComplexNotationList()
    int m_bConvert2dB = 0;

protected:
    void LoadControls() override;
    bool Validate() override;
    void StoreControls() override;
};

class CppgSettingsWAVExport : public CppgSettings {
public:
    CppgSettingsWAVExport();
    struct SCalibration {
        const char* pszText;
        short nValue;
    };
    static std::span<const SCalibration> CalibrationList();

    int m_iConversion = 0;    // autoscale, 1:1, scale to; -1 none (the setting is kept)
    int m_iCalibration = 0;   // index into CalibrationList()
    int m_b24Bit = 0;
    int m_bIncludePulse = 0;

protected:
    void LoadControls() override;
    void StoreControls() override;
};

class CppgSettingsWAVImport : public CppgSettings {
public:
    CppgSettingsWAVImport();
    int m_iScaling = 0;       // "Pascal", "Other"
    SNumberField m_calibration;
    SNumberField m_inputRange;
    CString m_sUnit;
    CString GetQuantityText() const { return QuantityTextOfUnit(m_sUnit); }

protected:
    void LoadControls() override;
    bool Validate() override;
    void StoreControls() override;
};

class CppgSettingsASCImport : public CppgSettings {
public:
    CppgSettingsASCImport();
    static constexpr int g_iFirstChannel = 1;
    static constexpr int g_iLastChannel = 256;
    // Radios of "Store data at TRX file using:" and their implementation types.
    static std::span<const int> ImplTypeList();

    int m_bAbscProvided = 1;   // 1 "Provided (first column)", 0 "Calculate"
    CString m_sAbscUnit;
    SNumberField m_step;
    int m_iChannel = 1;        // the channel shown, 1..256
    CString m_sChName;
    CString m_sChUnit;
    int m_iImplType = 0;       // index into ImplTypeList(); -1 when the setting is none of them

    // The step edit shows the sample rate while the abscissa unit is a time.
    bool IsSampleRateShown() const { return IsTimeUnit(m_sAbscUnit); }
    const char* GetStepLabel() const { return IsSampleRateShown() ? "Sample rate:" : "Delta value:"; }
    // The abscissa unit text changed: the step edit follows from sample rate
    // to delta value and back, keeping the step it shows.
    void SetAbscissaUnit(const CString& sUnit);
    // Another channel chosen: the shown name and unit go into the page's
    // copies first; the number is held to 1..256. Returns the number taken.
    int SetChannel(int iChannel);
    CString GetAbscQuantityText() const { return QuantityTextOfUnit(m_sAbscUnit); }
    CString GetChQuantityText() const { return QuantityTextOfUnit(m_sChUnit); }
    // The page's copies of the channel names and units (what apply stores).
    const CStringArray& GetNames() const { return m_arsNames; }
    const CStringArray& GetUnits() const { return m_arsUnits; }

protected:
    void LoadControls() override;
    bool Validate() override;
    void StoreControls() override;

private:
    static bool IsTimeUnit(const CString& s) { return s == "s" || s == "ms"; }
    // The step the edit shows, as a delta value; false when its text is no number.
    bool ShownDelta(double& d) const;
    CString StepText(double dDelta, bool bSampleRate) const;

    CStringArray m_arsNames;
    CStringArray m_arsUnits;
};
