#include "dialogs/AddressBookChooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "support/GuiText.h"

namespace lk::gui {

QString ChooseAddressBook(QWidget* parent, const QString& current) {
    QFileDialog dlg(parent, Lang(241));
    // The platform dialogs pick either files or folders; this one takes both:
    // its mode follows what is selected.
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    dlg.setFileMode(QFileDialog::Directory);
    dlg.setOption(QFileDialog::ShowDirsOnly, false);
    dlg.setNameFilter(QStringLiteral("vCard (*.vcf *.vcard)"));
    const QFileInfo info(current);
    dlg.setDirectory(info.exists() ? (info.isDir() ? current : info.absolutePath())
                                   : QDir::homePath());
    QObject::connect(&dlg, &QFileDialog::currentChanged, &dlg, [&dlg](const QString& path) {
        dlg.setFileMode(QFileInfo(path).isFile() ? QFileDialog::ExistingFile
                                                 : QFileDialog::Directory);
    });
    if (dlg.exec() != QDialog::Accepted) return {};
    const QStringList files = dlg.selectedFiles();
    return files.isEmpty() ? QString() : files.front();
}

}  // namespace lk::gui
