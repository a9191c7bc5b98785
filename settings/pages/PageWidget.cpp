#include "settings/pages/PageWidget.h"

#include "settings/SettingsPage.h"
#include "settings/pages/FolderChooser.h"
#include "settings/pages/PageText.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QKeyEvent>
#include <QVBoxLayout>

namespace tessel::pages {

namespace {

const char kHelpProperty[] = "tesselHelpID";

FolderChooser& Chooser() {
    static FolderChooser chooser;
    return chooser;
}

QString ChooseFolder(QWidget* parent, const QString& title, const QString& preselect) {
    if (Chooser())
        return Chooser()(parent, title, preselect);
    return QFileDialog::getExistingDirectory(parent, title, preselect,
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
}

}  // namespace

void SetFolderChooser(FolderChooser chooser) { Chooser() = std::move(chooser); }

CPageWidget::CPageWidget(CppgSettings& page, QWidget* parent) : QWidget(parent), m_page(page) {
    setObjectName(ToQt(page.GetCaption()));
    auto* outer = new QVBoxLayout(this);

    auto* location = new QGroupBox(tr("Output file"), this);
    auto* grid = new QGridLayout(location);
    auto* inputDir = new QRadioButton(ToQt(page.GetInputPathText()), location);
    auto* standardDir = new QRadioButton(ToQt(page.GetStandardPathText()), location);
    m_pathChoice = new QButtonGroup(this);
    m_pathChoice->addButton(inputDir, 0);
    m_pathChoice->addButton(standardDir, 1);
    m_path = new QLineEdit(location);
    m_path->setMinimumWidth(280);
    auto* browse = new QPushButton(QStringLiteral("..."), location);
    browse->setFixedWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
    m_overwrite = new QCheckBox(tr("Overwrite output file"), location);
    grid->addWidget(inputDir, 0, 0, 1, 2);
    grid->addWidget(standardDir, 1, 0, 1, 2);
    grid->addWidget(m_path, 2, 0);
    grid->addWidget(browse, 2, 1);
    grid->addWidget(m_overwrite, 3, 0, 1, 2);
    outer->addWidget(location);
    inputDir->setObjectName("pathOfInput");
    standardDir->setObjectName("standardPath");
    m_path->setObjectName("path");
    browse->setObjectName("browse");
    m_overwrite->setObjectName("overwrite");
    SetHelpID(inputDir, IDC_PATH_OF_INPUT);
    SetHelpID(standardDir, IDC_STANDARD_PATH);
    SetHelpID(m_path, IDC_PATH_EDIT);
    SetHelpID(browse, IDC_BROWSE);
    SetHelpID(m_overwrite, IDC_OVERWRITE);

    m_body = new QVBoxLayout;
    outer->addLayout(m_body);
    outer->addStretch(1);

    connect(m_pathChoice, &QButtonGroup::idClicked, this, [this](int id) {
        m_page.m_iPathChoice = id;
        Changed();
    });
    connect(m_path, &QLineEdit::textEdited, this, [this](const QString& t) {
        m_page.m_sPath = FromQt(t);
        Changed();
    });
    connect(m_overwrite, &QCheckBox::toggled, this, [this](bool on) {
        if (m_bRefreshing)
            return;
        m_page.m_bOverwrite = on ? 1 : 0;
        Changed();
    });
    connect(browse, &QPushButton::clicked, this, &CPageWidget::Browse);

}

// F1 asks for help on the control that has the focus (the controls pass the
// key on to their page), else on the page.
void CPageWidget::keyPressEvent(QKeyEvent* e) {
    if (!e->matches(QKeySequence::HelpContents)) {
        QWidget::keyPressEvent(e);
        return;
    }
    unsigned id = 0;
    for (QWidget* w = focusWidget(); w && w != this && id == 0; w = w->parentWidget())
        id = w->property(kHelpProperty).toUInt();
    m_page.OnHelp(id);
    e->accept();
}

void CPageWidget::SetHelpID(QWidget* w, unsigned uControlID) {
    w->setProperty(kHelpProperty, kHelpIDBaseControl + uControlID);
}

void CPageWidget::Changed() {
    if (m_bRefreshing)
        return;
    m_page.SetModified();
    emit modified();
}

void CPageWidget::Refresh() {
    m_bRefreshing = true;
    if (QAbstractButton* b = m_pathChoice->button(m_page.m_iPathChoice))
        b->setChecked(true);
    if (m_path->text() != ToQt(m_page.m_sPath))
        m_path->setText(ToQt(m_page.m_sPath));
    m_overwrite->setChecked(m_page.m_bOverwrite != 0);
    RefreshOwn();
    m_bRefreshing = false;
}

void CPageWidget::Browse() {
    SFolderRequest request = m_page.GetBrowseRequest();
    QString folder = ChooseFolder(this, ToQt(request.sTitle), ToQt(request.sPreselect));
    if (folder.isEmpty())
        return;
    m_page.OnFolderChosen(FromQt(folder));
    Refresh();
    emit modified();
}

}  // namespace tessel::pages
