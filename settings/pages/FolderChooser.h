#pragma once
// The folder dialog behind the "..." buttons. By default Qt's own
// (QFileDialog::getExistingDirectory); a host or a test may put another in
// its place. The chooser returns the chosen folder, or an empty text when the
// user cancelled.

#include <QString>

#include <functional>

class QWidget;

namespace tessel::pages {

using FolderChooser = std::function<QString(QWidget* parent, const QString& title, const QString& preselect)>;
// An empty chooser restores the default.
void SetFolderChooser(FolderChooser chooser);

}  // namespace tessel::pages
