#include "settings/pages/SettingsEditor.h"

#include "settings/TSSettings.h"
#include "settings/pages/SettingsSheet.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>

#include <cstdlib>
#include <memory>

namespace tessel::pages {

int EditSettings(const std::function<bool(std::string&)>& store, std::string& error) {
    // Without any platform to draw on, QApplication would abort the process.
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (!QGuiApplication::instance() && !(qpa && *qpa) && !(x11 && *x11) && !(wayland && *wayland)) {
        error = "no display to show the settings on (DISPLAY and WAYLAND_DISPLAY are not set)";
        return 2;
    }
    static int argc = 1;
    static char name[] = "tessel";
    static char* argv[] = {name, nullptr};
    std::unique_ptr<QApplication> app;
    if (!QApplication::instance())
        app = std::make_unique<QApplication>(argc, argv);

    CTSSettings settings;
    std::vector<CPropertyPage*> pages;
    for (int i = 0; i < CTSSettings::g_iNbrOfFormats; ++i)
        pages.push_back(settings.GetPPage(CTSSettings::valTSFormat(i)));
    CSettingsSheet sheet(pages, nullptr, QStringLiteral("Tessel Settings"));
    QObject::connect(&sheet, &CSettingsSheet::applied, &sheet, [&] {
        std::string why;
        if (!store(why))
            QMessageBox::warning(&sheet, sheet.windowTitle(), QString::fromStdString(why));
    });
    return sheet.exec() == QDialog::Accepted ? 0 : 1;
}

}  // namespace tessel::pages
