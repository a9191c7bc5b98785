// Pictures of every settings page and of the property sheet, drawn under
// the offscreen platform: `tessel_page_screenshots DIR` writes
// page-NN-<caption>.png for each page and sheet.png into DIR.

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QPixmap>
#include <QTabWidget>

#include <cstdio>
#include <memory>
#include <vector>

#include "settings/SettingsPage.h"
#include "settings/TSSettings.h"
#include "settings/pages/PageText.h"
#include "settings/pages/PageWidget.h"
#include "settings/pages/SettingsSheet.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (QFontDatabase::families().isEmpty()) {
        std::fprintf(stderr, "no fonts: install fonts-dejavu-core\n");
        return 1;
    }
    QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }

    CTSSettings settings;
    std::vector<CPropertyPage*> pages;
    int failures = 0;
    for (int i = 0; i < CTSSettings::g_iNbrOfFormats; ++i) {
        CPropertyPage* page = settings.GetPPage(CTSSettings::valTSFormat(i));
        pages.push_back(page);
        page->OnInitDialog();
        std::unique_ptr<tessel::pages::CPageWidget> w(tessel::pages::CreatePageWidget(page));
        w->setWindowTitle(tessel::pages::ToQt(page->GetCaption()));
        w->show();
        w->resize(w->sizeHint());
        QString caption = tessel::pages::ToQt(page->GetCaption()).replace(' ', '-');
        QString file = out.filePath(QStringLiteral("page-%1-%2.png").arg(i, 2, 10, QLatin1Char('0')).arg(caption));
        if (!w->grab().save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            ++failures;
        }
    }
    tessel::pages::CSettingsSheet sheet(pages, nullptr, QStringLiteral("Tessel Settings"));
    sheet.show();
    QString file = out.filePath(QStringLiteral("sheet.png"));
    if (!sheet.grab().save(file)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        ++failures;
    }
    std::printf("%d pictures in %s\n", CTSSettings::g_iNbrOfFormats + 1 - failures, qPrintable(out.path()));
    return failures ? 1 : 0;
}
