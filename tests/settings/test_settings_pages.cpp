// The settings pages without a display: what a page shows when it opens, what
// it writes back when the sheet applies, and its browse and help requests.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/PropertyPage.h"
#include "settings/SettingsPages.h"
#include "settings/TSSettings.h"

namespace {

using S = CTSSettings;

class SettingsPageModels : public ::testing::Test {
protected:
    void SetUp() override { S::ResetToDefaults(); }
    void TearDown() override {
        S::ResetToDefaults();
        SetHelpHandler(nullptr);
    }
    template <class Page>
    std::unique_ptr<Page> Open() {
        auto p = std::make_unique<Page>();
        p->OnInitDialog();
        return p;
    }
};

TEST_F(SettingsPageModels, EveryPageHasItsDialogCaptionAndBit) {
    struct {
        unsigned id;
        const char* caption;
        long bit;
        const char* inputText;
        const char* standardText;
    } const expected[] = {
        {9113, "ASCII", 0x0800, "Use path of ASCII file for output file", "Use standard path for TRX file"},
        {9104, "ASCII Export", 0x0001, "Use path of TRX file for output file", "Use standard path for ASCII file"},
        {9114, "PAK", 0x0400, "Use path of PAK file for output file", "Use standard path for TRX file"},
        {9112, "PAK Export", 0x0200, "Use path of TRX file for output file", "Use standard path for PAK file"},
        {9108, "SDF", 0x0002, "Use path of SDF file for output file", "Use standard path for TRX file"},
        {9103, "SDF Export", 0x0004, "Use path of TRX file for output file", "Use standard path for SDF file"},
        {9105, "SONY", 0x0008, "Use path of SONY file for output file", "Use standard path for TRX file"},
        {9111, "TEAC", 0x0100, "Use path of TEAC file for output file", "Use standard path for TRX file"},
        {9106, "UFF", 0x0010, "Use path of UFF file for output file", "Use standard path for TRX file"},
        {9109, "UFF Export", 0x0020, "Use path of TRX file for output file", "Use standard path for UFF file"},
        {9110, "WAV", 0x0040, "Use path of WAV file for output file", "Use standard path for TRX file"},
        {9107, "WAV Export", 0x0080, "Use path of TRX file for output file", "Use standard path for WAV file"},
        {9116, "MP3", 0x1000, "Use path of MP3 file for output file", "Use standard path for TRX file"},
        {9115, "MP3 Export", 0x2000, "Use path of TRX file for output file", "Use standard path for MP3 file"},
    };
    for (int i = 0; i < 14; ++i) {
        std::unique_ptr<CppgSettings> page(CppgSettings::Create(i));
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->GetDialogID(), expected[i].id);
        EXPECT_EQ(page->GetCaption(), expected[i].caption);
        EXPECT_EQ(page->GetFlagBit(), expected[i].bit);
        EXPECT_EQ(page->GetInputPathText(), expected[i].inputText);
        EXPECT_EQ(page->GetStandardPathText(), expected[i].standardText);
        // The window's help context id is the dialog id.
        page->OnInitDialog();
        EXPECT_EQ(page->GetHelpContextID(), expected[i].id);
    }
    EXPECT_EQ(CppgSettings::Create(14), nullptr);
    EXPECT_EQ(CppgSettings::Create(-1), nullptr);
}

TEST_F(SettingsPageModels, OutputLocationOpensFromAndAppliesToItsOwnBitsOnly) {
    S::m_lStandardPathFlags = 0x0004 | 0x0001;   // SDF export and ASCII export
    S::m_lOverwriteFlags = 0x0004 | 0x2000;
    S::m_sPathSDF = "/data/sdf";
    auto sdf = Open<CppgSettingsSDFExport>();
    EXPECT_EQ(sdf->m_iPathChoice, 1);
    EXPECT_EQ(sdf->m_sPath, "/data/sdf");
    EXPECT_EQ(sdf->m_bOverwrite, 1);

    sdf->m_iPathChoice = 0;
    sdf->m_bOverwrite = 0;
    ASSERT_TRUE(sdf->OnApply());
    EXPECT_EQ(S::m_lStandardPathFlags, 0x0001);
    EXPECT_EQ(S::m_lOverwriteFlags, 0x2000);

    auto mp3 = Open<CppgSettingsMP3Import>();
    EXPECT_EQ(mp3->m_iPathChoice, 0);
    EXPECT_EQ(mp3->m_bOverwrite, 0);
    mp3->m_iPathChoice = 1;
    mp3->m_bOverwrite = 1;
    ASSERT_TRUE(mp3->OnApply());
    EXPECT_EQ(S::m_lStandardPathFlags, 0x1001);
    EXPECT_EQ(S::m_lOverwriteFlags, 0x3000);
}

TEST_F(SettingsPageModels, EmptyDirectoryKeepsTheSharedTRXDirectoryButEmptiesAnExportOne) {
    S::m_sPathTRX = "/data/trx/";
    S::m_sPathWAV = "/data/wav";
    auto sony = Open<CppgSettingsSONYImport>();
    EXPECT_EQ(sony->m_sPath, "/data/trx/");
    sony->m_sPath.Empty();
    ASSERT_TRUE(sony->OnApply());
    EXPECT_EQ(S::m_sPathTRX, "/data/trx/");

    auto uff = Open<CppgSettingsUFFImport>();
    uff->m_sPath = "/elsewhere/";
    ASSERT_TRUE(uff->OnApply());
    EXPECT_EQ(S::m_sPathTRX, "/elsewhere/");

    auto wav = Open<CppgSettingsWAVExport>();
    wav->m_sPath.Empty();
    ASSERT_TRUE(wav->OnApply());
    EXPECT_EQ(S::m_sPathWAV, "");
}

TEST_F(SettingsPageModels, BrowseAsksForAFolderAndTakesItsPath) {
    auto pak = Open<CppgSettingsPAKImport>();
    EXPECT_FALSE(pak->IsModified());
    pak->OnFolderChosen("/");
    EXPECT_EQ(pak->m_sPath, "/");

    auto asc = Open<CppgSettingsASCExport>();
    asc->OnFolderChosen("/data/chosen/");
    EXPECT_EQ(asc->m_sPath, "/data/chosen");
    EXPECT_TRUE(asc->IsModified());
    ASSERT_TRUE(asc->OnApply());
    EXPECT_FALSE(asc->IsModified());
    EXPECT_EQ(S::m_sPathASC, "/data/chosen");
}

TEST_F(SettingsPageModels, HelpTriesTheControlThenThePage) {
    std::vector<unsigned> asked;
    unsigned known = 0;
    SetHelpHandler([&](unsigned id) {
        asked.push_back(id);
        return id == known;
    });
    auto teac = Open<CppgSettingsTEACImport>();
    known = 0x50000 + 1004;
    EXPECT_TRUE(teac->OnHelp(0x50000 + 1004));
    EXPECT_EQ(asked, (std::vector<unsigned>{0x50000 + 1004}));

    asked.clear();
    known = 1;
    EXPECT_FALSE(teac->OnHelp(0));
    EXPECT_EQ(asked, (std::vector<unsigned>{9111}));

    SetHelpHandler(nullptr);
    EXPECT_FALSE(teac->OnHelp(0));
}

TEST_F(SettingsPageModels, WaveExportCalibrationList) {
    EXPECT_EQ(Open<CppgSettingsWAVExport>()->m_iCalibration, 5);   // the default 94
    S::m_nCalibrationWAVExport = 100;
    auto page = Open<CppgSettingsWAVExport>();
    EXPECT_EQ(page->m_iCalibration, 0);   // "144 dB"
    S::m_nCalibrationWAVExport = 84;
    page = Open<CppgSettingsWAVExport>();
    EXPECT_EQ(page->m_iCalibration, 6);

    page->m_iCalibration = 1;
    page->m_bIncludePulse = 1;
    ASSERT_TRUE(page->OnApply());
    EXPECT_EQ(S::m_nCalibrationWAVExport, 134);
    EXPECT_EQ(S::m_bIncludePulseChWAVExport, 1);

    // A conversion the radios do not offer selects none and stays.
    S::m_iConvFloatToIntWAVExport = 7;
    page = Open<CppgSettingsWAVExport>();
    EXPECT_EQ(page->m_iConversion, -1);
    ASSERT_TRUE(page->OnApply());
    EXPECT_EQ(S::m_iConvFloatToIntWAVExport, 7);
}

TEST_F(SettingsPageModels, EveryListedUnitIsKnown) {
    // Every listed unit is one the dataset library takes.
    for (auto list : {SignalUnitList(), ChannelUnitList(), AbscissaUnitList()})
        for (const char* u : list)
            EXPECT_NE(QuantityTextOfUnit(u), "undefined") << u;
    EXPECT_EQ(QuantityTextOfUnit(""), "undefined");
    EXPECT_EQ(StoredUnit(""), "vU");
}

TEST_F(SettingsPageModels, WaveImportNumbersAndUnit) {
    S::m_fCalibrationWAVImport = 94.123456f;
    S::m_bPascalWAVImport = 1;
    auto page = Open<CppgSettingsWAVImport>();
    EXPECT_EQ(page->m_iScaling, 1);
    EXPECT_EQ(page->m_calibration.sText, "94.1235");
    EXPECT_EQ(page->GetQuantityText(), "voltage");

    // Untouched, the calibration keeps the digits "%g" does not show.
    page->m_iScaling = 0;
    ASSERT_TRUE(page->OnApply());
    EXPECT_EQ(S::m_fCalibrationWAVImport, 94.123456f);
    EXPECT_EQ(S::m_bPascalWAVImport, 0);

    page->m_calibration.sText = " 90.5 ";
    page->m_inputRange.sText = "1e-3";
    page->m_sUnit = "\xB0" "C";
    ASSERT_TRUE(page->OnApply());
    EXPECT_EQ(S::m_fCalibrationWAVImport, 90.5f);
    EXPECT_EQ(S::m_fInputRangeWAVImport, 0.001f);
    EXPECT_EQ(S::m_sUnitWAVImport, "\xB0" "C");

    // A text that is no number is refused, and nothing of the page is written.
    for (const char* bad : {"ninety", "", "1e99", "nan"}) {
        page->m_calibration.sText = bad;
        page->m_bOverwrite = 1;
        EXPECT_FALSE(page->OnApply()) << bad;
        EXPECT_FALSE(page->GetApplyError().IsEmpty());
        EXPECT_EQ(S::m_lOverwriteFlags, 0);
        EXPECT_EQ(S::m_fCalibrationWAVImport, 90.5f);
    }
    page->m_calibration.sText = "90.5";
    page->m_inputRange.sText = "0";
    EXPECT_FALSE(page->OnApply());
}

TEST_F(SettingsPageModels, AsciiImportStepFollowsTheAbscissaUnit) {
    auto page = Open<CppgSettingsASCImport>();
    EXPECT_STREQ(page->GetStepLabel(), "Sample rate:");
    EXPECT_EQ(page->m_step.sText, "44100");

    page->m_step.sText = "48000";
    page->m_bAbscProvided = 0;
    ASSERT_TRUE(page->OnApply());
    EXPECT_DOUBLE_EQ(S::m_dAbscDeltaValASCImport, 1.0 / 48000);
    EXPECT_EQ(S::m_bAbscProvidedASCImport, 0);

    S::m_dAbscDeltaValASCImport = 0.002;
    S::m_sAbscUnitASCImport = "ms";
    page = Open<CppgSettingsASCImport>();
    EXPECT_EQ(page->m_step.sText, "500");

    // Not a time: the step itself, with six decimals.
    page->SetAbscissaUnit("Hz");
    EXPECT_EQ(page->m_step.sText, "0.002000");
    page->m_step.sText = "2.5";
    ASSERT_TRUE(page->OnApply());
    EXPECT_EQ(S::m_sAbscUnitASCImport, "Hz");
    EXPECT_DOUBLE_EQ(S::m_dAbscDeltaValASCImport, 2.5);

    // A step that "%f" shows as 0.000000 stays what it was unless edited.
    S::m_dAbscDeltaValASCImport = 1e-9;
    page = Open<CppgSettingsASCImport>();
    EXPECT_EQ(page->m_step.sText, "0.000000");
    ASSERT_TRUE(page->OnApply());
    EXPECT_EQ(S::m_dAbscDeltaValASCImport, 1e-9);
    for (const char* bad : {"0", "-3", "0.0", "x", "inf"}) {
        page->m_step.sText = bad;
        EXPECT_FALSE(page->OnApply()) << bad;
    }
    EXPECT_EQ(S::m_dAbscDeltaValASCImport, 1e-9);

    // A unit the dataset library rejects is stored as the virtual unit.
    page->m_step.sText = page->m_step.sShown;
    page->SetAbscissaUnit("parsec/fortnight^");
    EXPECT_EQ(page->GetAbscQuantityText(), "undefined");
    ASSERT_TRUE(page->OnApply());
    EXPECT_EQ(S::m_sAbscUnitASCImport, "vU");
}

TEST_F(SettingsPageModels, AsciiImportChannelsEditCopiesUntilApplied) {
    auto page = Open<CppgSettingsASCImport>();
    EXPECT_EQ(page->m_iChannel, 1);
    EXPECT_EQ(page->SetChannel(300), 256);
    EXPECT_EQ(page->m_sChName, "channel 256");
    EXPECT_EQ(page->SetChannel(-5), 1);

    page->m_sChName = "microphone";
    page->m_sChUnit = "dB[SPL]";
    page->SetChannel(2);
    page->m_sChName = "tacho";
    page->m_sChUnit = "furlong";
    page->SetChannel(1);
    EXPECT_EQ(page->m_sChName, "microphone");
    EXPECT_EQ(page->GetNames()[1], "tacho");
    // The settings themselves are untouched until apply.
    EXPECT_EQ(S::m_arsChNameASCImport[0], "channel 1");

    page->SetChannel(256);
    page->m_sChName = "last";   // shown, not yet switched away from
    ASSERT_TRUE(page->OnApply());
    EXPECT_EQ(S::m_arsChNameASCImport[0], "microphone");
    EXPECT_EQ(S::m_arsChUnitASCImport[0], "dB[SPL]");
    EXPECT_EQ(S::m_arsChNameASCImport[1], "tacho");
    EXPECT_EQ(S::m_arsChUnitASCImport[1], "vU");
    EXPECT_EQ(S::m_arsChNameASCImport[2], "channel 3");
    EXPECT_EQ(S::m_arsChNameASCImport[255], "last");
}

TEST_F(SettingsPageModels, AsciiImportSampleFormatRadios) {
    const int types[] = {3, 5, 10};
    for (int i = 0; i < 3; ++i) {
        S::m_iChImplType = types[i];
        auto page = Open<CppgSettingsASCImport>();
        EXPECT_EQ(page->m_iImplType, i);
        page->m_iImplType = (i + 1) % 3;
        ASSERT_TRUE(page->OnApply());
        EXPECT_EQ(S::m_iChImplType, types[(i + 1) % 3]);
    }
    // A type the radios do not offer selects none and stays.
    S::m_iChImplType = 12;
    auto page = Open<CppgSettingsASCImport>();
    EXPECT_EQ(page->m_iImplType, -1);
    ASSERT_TRUE(page->OnApply());
    EXPECT_EQ(S::m_iChImplType, 12);
}

TEST_F(SettingsPageModels, TeacSetFileGetsItsExtension) {
    auto page = Open<CppgSettingsTEACImport>();
    for (auto [typed, stored] : {std::pair{"pump", "pump.set"}, {"pump.cfg", "pump.cfg"}, {"run.2.SET", "run.2.SET"}}) {
        page->m_sSETFile = typed;
        ASSERT_TRUE(page->OnApply());
        EXPECT_EQ(S::m_sNameSETFileTEACImport, stored);
    }
}

TEST_F(SettingsPageModels, AsciiExportControls) {
    S::m_nNbrOfDigitsASCExport = 7;
    S::m_iNumberNotationComplexASCExport = 4;
    S::m_bUseCommaASCExport = 1;
    auto page = Open<CppgSettingsASCExport>();
    EXPECT_EQ(page->m_digits.sText, "7");
    EXPECT_EQ(page->m_iComplex, 4);
    EXPECT_EQ(page->m_iDecimal, 1);

    page->m_iNotation = 2;
    page->m_digits.sText = "12";
    page->m_iSeparator = 1;
    page->m_iDecimal = 0;
    page->m_iComplex = 1;
    page->m_bConvert2dB = 1;
    ASSERT_TRUE(page->OnApply());
    EXPECT_EQ(S::m_iNumberNotationASCExport, 2);
    EXPECT_EQ(S::m_nNbrOfDigitsASCExport, 12);
    EXPECT_EQ(S::m_bSeparatorASCExport, 1);
    EXPECT_EQ(S::m_bUseCommaASCExport, 0);
    EXPECT_EQ(S::m_iNumberNotationComplexASCExport, 1);
    EXPECT_EQ(S::m_bConvert2dBASCExport, 1);

    for (const char* bad : {"", "4.5", "-1", "100", "70000", "four"}) {
        page->m_digits.sText = bad;
        EXPECT_FALSE(page->OnApply()) << bad;
    }
    EXPECT_EQ(S::m_nNbrOfDigitsASCExport, 12);

    S::m_iNumberNotationASCExport = 3;
    S::m_iNumberNotationComplexASCExport = 6;
    page = Open<CppgSettingsASCExport>();
    EXPECT_EQ(page->m_iNotation, -1);
    EXPECT_EQ(page->m_iComplex, -1);
    ASSERT_TRUE(page->OnApply());
    EXPECT_EQ(S::m_iNumberNotationASCExport, 3);
    EXPECT_EQ(S::m_iNumberNotationComplexASCExport, 6);
}

TEST_F(SettingsPageModels, OneCheckBoxPages) {
    // The UFF export's box is the sheet's.
    auto pak = Open<CppgSettingsPAKExport>();
    auto sdf = Open<CppgSettingsSDFExport>();
    pak->m_bCheck = 1;
    ASSERT_TRUE(pak->OnApply());
    ASSERT_TRUE(sdf->OnApply());
    EXPECT_EQ(S::m_bEnableFloat32PAKExport, 1);
    EXPECT_EQ(S::m_bHighSamplingRate4RefQuantSDFExport, 0);
    S::m_bHighSamplingRate4RefQuantSDFExport = 1;
    EXPECT_EQ(Open<CppgSettingsSDFExport>()->m_bCheck, 1);
}

}  // namespace
