#include "settings/pages/SettingsSheet.h"

#include "platform/PropertyPage.h"
#include "settings/SettingsPage.h"
#include "settings/pages/PageText.h"
#include "settings/pages/PageWidget.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>
#include <QVBoxLayout>

namespace tessel::pages {

CSettingsSheet::CSettingsSheet(const std::vector<CPropertyPage*>& pages, QWidget* parent, const QString& title)
    : QDialog(parent) {
    setWindowTitle(title.isEmpty() ? tr("Conversion Settings") : title);
    auto* layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    m_tabs->setUsesScrollButtons(true);
    for (CPropertyPage* p : pages) {
        CPageWidget* w = CreatePageWidget(p);
        if (!w)
            continue;
        m_pages.push_back(w);
        m_tabs->addTab(w, ToQt(p->GetCaption()));
        connect(w, &CPageWidget::modified, this, &CSettingsSheet::UpdateApply);
    }
    layout->addWidget(m_tabs);
    m_error = new QLabel(this);
    m_error->setObjectName("applyError");
    m_error->setStyleSheet(QStringLiteral("color: #b00000"));
    m_error->setWordWrap(true);
    m_error->hide();
    layout->addWidget(m_error);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply |
                                         QDialogButtonBox::Help,
                                     this);
    layout->addWidget(m_buttons);

    connect(m_buttons, &QDialogButtonBox::accepted, this, &CSettingsSheet::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &CSettingsSheet::reject);
    connect(m_buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, [this] { ApplyPages(); });
    connect(m_buttons, &QDialogButtonBox::helpRequested, this, [this] {
        if (CPageWidget* w = PageWidget(m_tabs->currentIndex()))
            w->Page().OnHelp(0);
    });
    connect(m_tabs, &QTabWidget::currentChanged, this, &CSettingsSheet::Activate);
    Activate(m_tabs->currentIndex());
    UpdateApply();
    // Wide enough to show every tab without scrolling.
    QSize hint = sizeHint();
    int tabsWidth = m_tabs->tabBar()->sizeHint().width() + 2 * layout->contentsMargins().left() + 8;
    resize(std::max(hint.width(), tabsWidth), hint.height());
}

CPageWidget* CSettingsSheet::PageWidget(int index) const {
    if (index < 0 || std::size_t(index) >= m_pages.size())
        return nullptr;
    return m_pages[std::size_t(index)];
}

void CSettingsSheet::Activate(int index) {
    CPageWidget* w = PageWidget(index);
    if (!w || w->Page().IsInitialized())
        return;
    w->Page().OnInitDialog();
    w->Refresh();
}

void CSettingsSheet::UpdateApply() {
    bool modified = false;
    for (CPageWidget* w : m_pages)
        modified = modified || w->Page().IsModified();
    m_buttons->button(QDialogButtonBox::Apply)->setEnabled(modified);
}

bool CSettingsSheet::ApplyPages() {
    m_error->hide();
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        CPageWidget* w = m_pages[i];
        if (!w->Page().IsInitialized())
            continue;
        if (!w->Page().OnApply()) {
            m_tabs->setCurrentIndex(int(i));
            m_error->setText(ToQt(w->Page().GetApplyError()));
            m_error->show();
            UpdateApply();
            return false;
        }
        // The page may have brought a value into its stored form ("vU", ".set").
        w->Refresh();
    }
    UpdateApply();
    emit applied();
    return true;
}

void CSettingsSheet::accept() {
    if (ApplyPages())
        QDialog::accept();
}

}  // namespace tessel::pages
