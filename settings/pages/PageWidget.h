#pragma once
// Qt views of the settings pages. A view draws the controls of one page
// object (settings/SettingsPage.h), copies every change the user makes into
// the page's control values and redraws from them when the page changes them
// itself; what the values mean stays with the page object.
//
// A host that shows the pages in a sheet of its own takes the page from
// CTSSettings::GetPPage and asks CreatePageWidget for its view; before the
// view is shown the page's OnInitDialog must have run (the sheet of
// SettingsSheet.h does that when a tab is first shown).

#include <QWidget>

class CPropertyPage;
class CppgSettings;
class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QVBoxLayout;

namespace tessel::pages {

class CPageWidget : public QWidget {
    Q_OBJECT
public:
    CppgSettings& Page() const { return m_page; }
    // Redraws every control from the page's values.
    void Refresh();

signals:
    // The user changed a control (the page is marked modified).
    void modified();

protected:
    CPageWidget(CppgSettings& page, QWidget* parent);
    // The body below the output location controls, for the page's own groups.
    QVBoxLayout* Body() const { return m_body; }
    // Derived views redraw their own controls here.
    virtual void RefreshOwn() {}
    // Called after every change the user made.
    void Changed();
    // Gives a control its help context id.
    static void SetHelpID(QWidget* w, unsigned uControlID);
    void keyPressEvent(QKeyEvent* e) override;


    // While a refresh runs, the controls' change signals are not the user's.
    bool m_bRefreshing = false;

private:
    void Browse();

    CppgSettings& m_page;
    QButtonGroup* m_pathChoice;
    QLineEdit* m_path;
    QCheckBox* m_overwrite;
    QVBoxLayout* m_body;
};

// The view of a page that CTSSettings::GetPPage handed out; null for any
// other page. The caller owns the widget (or gives it a parent).
CPageWidget* CreatePageWidget(CPropertyPage* page, QWidget* parent = nullptr);

}  // namespace tessel::pages
