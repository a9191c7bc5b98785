#pragma once
// A property sheet over settings pages: one tab per page, with "OK",
// "Cancel", "Apply" and "Help". A page's dialog opens (OnInitDialog) when its
// tab is first shown; "OK" and "Apply" apply every page that has opened, so a
// page the user never looked at writes nothing. "Apply" is offered while a
// page is modified. A page that refuses its values keeps the sheet open on
// that page, with the reason shown below the tabs.

#include <QDialog>

#include <vector>

class CPropertyPage;
class QDialogButtonBox;
class QLabel;
class QTabWidget;

namespace tessel::pages {

class CPageWidget;

class CSettingsSheet : public QDialog {
    Q_OBJECT
public:
    // Pages that are not settings pages are left out.
    explicit CSettingsSheet(const std::vector<CPropertyPage*>& pages, QWidget* parent = nullptr,
                            const QString& title = QString());

    QTabWidget* Tabs() const { return m_tabs; }
    QDialogButtonBox* Buttons() const { return m_buttons; }
    CPageWidget* PageWidget(int index) const;
    // Applies every opened page; false (and nothing more applied) at the first
    // page that refuses its values.
    bool ApplyPages();

signals:
    // Every opened page has been applied: the host stores the settings now.
    void applied();

public slots:
    void accept() override;

private:
    void Activate(int index);
    void UpdateApply();

    QTabWidget* m_tabs;
    QDialogButtonBox* m_buttons;
    QLabel* m_error;
    std::vector<CPageWidget*> m_pages;
};

}  // namespace tessel::pages
