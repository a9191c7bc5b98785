// The Qt views of the settings pages and their property sheet, driven as a
// user would under the offscreen platform.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include <memory>
#include <vector>

#include "platform/PropertyPage.h"
#include "settings/SettingsPages.h"
#include "settings/TSSettings.h"
#include "settings/pages/FolderChooser.h"
#include "settings/pages/PageWidget.h"
#include "settings/pages/SettingsSheet.h"

namespace {

using S = CTSSettings;
using tessel::pages::CPageWidget;
using tessel::pages::CSettingsSheet;

class SettingsWidgets : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!QApplication::instance()) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            static int argc = 1;
            static char name[] = "test_settings_widgets";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);
        }
    }
    void SetUp() override { S::ResetToDefaults(); }
    void TearDown() override {
        S::ResetToDefaults();
        SetHelpHandler(nullptr);
        tessel::pages::SetFolderChooser(nullptr);
    }

    std::unique_ptr<CSettingsSheet> MakeSheet() {
        std::vector<CPropertyPage*> pages;
        for (int i = 0; i < S::g_iNbrOfFormats; ++i)
            pages.push_back(m_settings.GetPPage(S::valTSFormat(i)));
        auto sheet = std::make_unique<CSettingsSheet>(pages);
        sheet->show();
        return sheet;
    }
    // Shows the tab of a page and returns its view.
    static CPageWidget* Show(CSettingsSheet& sheet, S::valTSFormat f) {
        sheet.Tabs()->setCurrentIndex(int(f));
        return sheet.PageWidget(int(f));
    }
    template <class W>
    static W* Find(QWidget* parent, const char* name) {
        W* w = parent->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static void Type(QLineEdit* edit, const QString& text) {
        edit->setFocus();
        edit->selectAll();
        if (text.isEmpty())
            QTest::keyClick(edit, Qt::Key_Delete);
        for (QChar c : text) {
            // QTest types only ASCII; anything else arrives as the key's text.
            if (c.unicode() < 0x80) {
                QTest::keyClick(edit, char(c.unicode()));
            } else {
                QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
                QApplication::sendEvent(edit, &press);
            }
        }
    }
    static void TypeCombo(QComboBox* combo, const QString& text) { Type(combo->lineEdit(), text); }
    static QPushButton* Button(CSettingsSheet& sheet, QDialogButtonBox::StandardButton b) {
        return sheet.Buttons()->button(b);
    }

    S m_settings;
};

TEST_F(SettingsWidgets, SheetShowsEveryPageAndOpensThemWhenShown) {
    auto sheet = MakeSheet();
    ASSERT_EQ(sheet->Tabs()->count(), 14);
    EXPECT_EQ(sheet->Tabs()->tabText(11), "WAV Export");
    EXPECT_TRUE(sheet->PageWidget(0)->Page().IsInitialized());
    EXPECT_FALSE(sheet->PageWidget(11)->Page().IsInitialized());
    EXPECT_FALSE(Button(*sheet, QDialogButtonBox::Apply)->isEnabled());

    CPageWidget* sdf = Show(*sheet, S::tsfSDFExport);
    EXPECT_TRUE(sdf->Page().IsInitialized());
    EXPECT_EQ(Find<QRadioButton>(sdf, "pathOfInput")->text(), "Use path of TRX file for output file");
    EXPECT_EQ(Find<QRadioButton>(sdf, "standardPath")->text(), "Use standard path for SDF file");
    Find<QCheckBox>(sdf, "overwrite")->click();
    EXPECT_TRUE(Button(*sheet, QDialogButtonBox::Apply)->isEnabled());

    // Texts reach the settings as Windows-1252 bytes.
    CPageWidget* wav = Show(*sheet, S::tsfWAVImport);
    Find<QComboBox>(wav, "unit")->setCurrentIndex(11);
    EXPECT_EQ(Find<QLabel>(wav, "quantity")->text(), "temperature");
    CPageWidget* teac = Show(*sheet, S::tsfTEACImport);
    Type(Find<QLineEdit>(teac, "setFile"), QString::fromUtf8("\u20ACuro.set"));
    Button(*sheet, QDialogButtonBox::Apply)->click();
    EXPECT_EQ(S::m_sUnitWAVImport, "\xB0" "C");
    EXPECT_EQ(S::m_sNameSETFileTEACImport, "\x80uro.set");
}

TEST_F(SettingsWidgets, TabOrderFollowsThePage) {
    auto sheet = MakeSheet();
    CPageWidget* asc = Show(*sheet, S::tsfASCImport);
    // The editable controls in the order Tab visits them.
    const QStringList expected = {"path",    "browse",  "overwrite",   "abscissaUnit",
                                  "step",    "channel", "channelName", "channelUnit"};
    QStringList seen;
    QWidget* w = asc->findChild<QLineEdit*>("path");
    for (int i = 0; i < 60 && w; ++i, w = w->nextInFocusChain())
        if (expected.contains(w->objectName()) && !seen.contains(w->objectName()) && asc->isAncestorOf(w))
            seen << w->objectName();
    EXPECT_EQ(seen, expected);
}

// A host shows the sheet, the user changes pages and applies; the host is
// told so that it can store the settings.
TEST_F(SettingsWidgets, AppliedValuesReachTheSettings) {
    auto sheet = MakeSheet();
    int stored = 0;
    QObject::connect(sheet.get(), &CSettingsSheet::applied, [&] { ++stored; });

    CPageWidget* wavx = Show(*sheet, S::tsfWAVExport);
    auto* scaleTo = wavx->findChildren<QRadioButton*>().at(4);   // two of the output location first
    EXPECT_EQ(scaleTo->text(), "..., scale to:");
    scaleTo->click();
    auto* calibration = Find<QComboBox>(wavx, "calibration");
    EXPECT_EQ(calibration->itemText(5), " 94 dB");
    calibration->setCurrentIndex(3);
    Find<QCheckBox>(wavx, "24bit")->click();
    Find<QRadioButton>(wavx, "standardPath")->click();

    CPageWidget* asc = Show(*sheet, S::tsfASCImport);
    auto* channel = Find<QSpinBox>(asc, "channel");
    auto* name = Find<QLineEdit>(asc, "channelName");
    Type(name, "microphone");
    TypeCombo(Find<QComboBox>(asc, "channelUnit"), "dB[SPL]");
    EXPECT_EQ(Find<QLabel>(asc, "channelQuantity")->text(), "level");
    channel->setValue(256);
    EXPECT_EQ(name->text(), "channel 256");
    channel->setValue(1);
    EXPECT_EQ(name->text(), "microphone");
    auto* stepLabel = Find<QLabel>(asc, "stepLabel");
    TypeCombo(Find<QComboBox>(asc, "abscissaUnit"), "Hz");
    EXPECT_EQ(stepLabel->text(), "Delta value:");
    EXPECT_EQ(Find<QLabel>(asc, "abscissaQuantity")->text(), "frequency");
    Type(Find<QLineEdit>(asc, "step"), "0.5");
    asc->findChildren<QRadioButton*>().at(6)->click();   // "Float 32 bit"

    CPageWidget* wav = Show(*sheet, S::tsfWAVImport);
    auto* unit = Find<QComboBox>(wav, "unit");
    EXPECT_EQ(Find<QLabel>(wav, "quantity")->text(), "voltage");
    TypeCombo(unit, "furlong");
    EXPECT_EQ(Find<QLabel>(wav, "quantity")->text(), "undefined");
    Type(Find<QLineEdit>(wav, "calibration"), "100.25");

    CPageWidget* teac = Show(*sheet, S::tsfTEACImport);
    Type(Find<QLineEdit>(teac, "setFile"), "pump");

    CPageWidget* uff = Show(*sheet, S::tsfUFFExport);
    Find<QCheckBox>(uff, "option")->click();

    ASSERT_TRUE(Button(*sheet, QDialogButtonBox::Apply)->isEnabled());
    Button(*sheet, QDialogButtonBox::Apply)->click();
    EXPECT_EQ(stored, 1);
    EXPECT_FALSE(Button(*sheet, QDialogButtonBox::Apply)->isEnabled());
    // The stored forms are shown once applied.
    EXPECT_EQ(unit->currentText(), "vU");
    EXPECT_EQ(Find<QLineEdit>(teac, "setFile")->text(), "pump.set");
    EXPECT_EQ(S::m_nCalibrationWAVExport, 114);
    EXPECT_EQ(S::m_iConvFloatToIntWAVExport, 2);
    EXPECT_EQ(S::m_b24BitResolutionWAVExport, 1);
    EXPECT_EQ(S::m_lStandardPathFlags, S::bitWAVExport);
    EXPECT_EQ(S::m_arsChNameASCImport[0], "microphone");
    EXPECT_EQ(S::m_arsChUnitASCImport[0], "dB[SPL]");
    EXPECT_EQ(S::m_arsChNameASCImport[255], "channel 256");
    EXPECT_EQ(S::m_sAbscUnitASCImport, "Hz");
    EXPECT_EQ(S::m_dAbscDeltaValASCImport, 0.5);
    EXPECT_EQ(S::m_iChImplType, 10);
    EXPECT_EQ(S::m_sUnitWAVImport, "vU");
    EXPECT_EQ(S::m_fCalibrationWAVImport, 100.25f);
    EXPECT_EQ(S::m_sNameSETFileTEACImport, "pump.set");
    EXPECT_EQ(S::m_bBinaryUFFExport, 1);
}

TEST_F(SettingsWidgets, PagesNeverShownWriteNothing) {
    S::m_nCalibrationWAVExport = 100;   // no entry of the list
    S::m_sNameSETFileTEACImport = "bare";
    auto sheet = MakeSheet();
    Find<QCheckBox>(sheet->PageWidget(0), "overwrite")->click();
    Button(*sheet, QDialogButtonBox::Ok)->click();
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    EXPECT_EQ(S::m_lOverwriteFlags, S::bitASCImport);
    EXPECT_EQ(S::m_nCalibrationWAVExport, 100);
    EXPECT_EQ(S::m_sNameSETFileTEACImport, "bare");

    // Shown, the WAVE export page selects "144 dB" for it.
    sheet = MakeSheet();
    EXPECT_EQ(Find<QComboBox>(Show(*sheet, S::tsfWAVExport), "calibration")->currentText(), "144 dB");
}

TEST_F(SettingsWidgets, RefusedValueKeepsTheSheetOpenOnItsPage) {
    auto sheet = MakeSheet();
    CPageWidget* ascx = Show(*sheet, S::tsfASCExport);
    Type(Find<QLineEdit>(ascx, "digits"), "many");
    Show(*sheet, S::tsfPAKImport);
    Button(*sheet, QDialogButtonBox::Ok)->click();
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->Tabs()->currentIndex(), int(S::tsfASCExport));
    auto* error = sheet->findChild<QLabel*>("applyError");
    ASSERT_NE(error, nullptr);
    EXPECT_FALSE(error->isHidden());
    EXPECT_TRUE(error->text().contains("Number of digits"));
    EXPECT_EQ(S::m_nNbrOfDigitsASCExport, 4);

    Type(Find<QLineEdit>(ascx, "digits"), "9");
    Button(*sheet, QDialogButtonBox::Ok)->click();
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(S::m_nNbrOfDigitsASCExport, 9);
}

TEST_F(SettingsWidgets, BrowseUsesTheFolderDialogAndHelpPassesContextIds) {
    QString title, preselect;
    tessel::pages::SetFolderChooser([&](QWidget*, const QString& t, const QString& p) {
        title = t;
        preselect = p;
        return QStringLiteral("/data/picked");
    });
    S::m_sPathTRX = "/data/trx/";
    auto sheet = MakeSheet();
    CPageWidget* sony = Show(*sheet, S::tsfSONYImport);
    Find<QPushButton>(sony, "browse")->click();
    EXPECT_EQ(preselect, "/data/trx/");
    EXPECT_EQ(Find<QLineEdit>(sony, "path")->text(), "/data/picked/");
    EXPECT_TRUE(Button(*sheet, QDialogButtonBox::Apply)->isEnabled());

    CPageWidget* mp3 = Show(*sheet, S::tsfMP3Export);
    Find<QPushButton>(mp3, "browse")->click();
    EXPECT_EQ(title, "Destination Directory");
    EXPECT_EQ(preselect, "");
    EXPECT_EQ(Find<QLineEdit>(mp3, "path")->text(), "/data/picked");

    std::vector<unsigned> asked;
    SetHelpHandler([&](unsigned id) {
        asked.push_back(id);
        return false;
    });
    Button(*sheet, QDialogButtonBox::Help)->click();
    EXPECT_EQ(asked, (std::vector<unsigned>{9115}));
    asked.clear();
    QLineEdit* path = Find<QLineEdit>(mp3, "path");
    sheet->activateWindow();
    path->setFocus();
    QTest::keyClick(path, Qt::Key_F1);
    EXPECT_EQ(asked, (std::vector<unsigned>{kHelpIDBaseControl + IDC_PATH_EDIT, 9115}));
}

}  // namespace
