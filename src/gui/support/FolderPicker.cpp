#include "support/FolderPicker.h"

#include <QDir>
#include <QFileDialog>

namespace lk::gui {

FolderPicker DesktopFolderPicker() {
    return [](QWidget* parent, const QString& title, const QString& start) {
        return QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
    };
}

QString WithTrailingSeparator(QString folder) {
    if (folder.isEmpty()) return folder;
    const QChar sep = QDir::separator();
    if (!folder.endsWith(sep) && !folder.endsWith(QLatin1Char('/'))) folder += sep;
    return folder;
}

std::optional<QString> BrowseForFolder(const FolderPicker& picker, QWidget* parent,
                                       const QString& initialFolder, const QString& title) {
    QString start = initialFolder;
    // The picker opens on the folder itself, not on its parent.
    while (start.size() > 1 &&
           (start.endsWith(QLatin1Char('/')) || start.endsWith(QDir::separator())))
        start.chop(1);
    const QString chosen =
        picker ? picker(parent, title, start) : DesktopFolderPicker()(parent, title, start);
    if (chosen.isEmpty()) return std::nullopt;
    return WithTrailingSeparator(QDir::toNativeSeparators(chosen));
}

QString StartFolder(const QString& stored) {
    if (stored.isEmpty() || stored.compare(QLatin1String("C:\\"), Qt::CaseInsensitive) == 0)
        return WithTrailingSeparator(QDir::homePath());
    return stored;
}

}  // namespace lk::gui
