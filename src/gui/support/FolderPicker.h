#pragma once
// The folder picker of the backup path, the WAV export and the import: the
// desktop's own directory chooser (through its portal where one runs). Dialogs
// take the picker as a function so that tests can answer it.

#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace lk::gui {

// The chosen folder, or an empty text when the user cancelled.
using FolderPicker =
    std::function<QString(QWidget* parent, const QString& title, const QString& startFolder)>;

// QFileDialog::getExistingDirectory.
FolderPicker DesktopFolderPicker();

// The picker's title.
inline constexpr char kFolderPickerTitle[] = "ZuzeVavazo Backup Folder";

// Shows the picker at `initialFolder`; the chosen folder ends with the
// platform's separator (a root keeps its single one). nullopt when cancelled.
std::optional<QString> BrowseForFolder(const FolderPicker& picker, QWidget* parent,
                                       const QString& initialFolder,
                                       const QString& title = QLatin1String(kFolderPickerTitle));

QString WithTrailingSeparator(QString folder);

// A stored folder to start a picker at: empty and the old "C:\" default become
// the user's home folder.
QString StartFolder(const QString& stored);

}  // namespace lk::gui
