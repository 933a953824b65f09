#include "dialogs/AddressBookChooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QPushButton>

#include "support/GuiText.h"

namespace lk::gui {

QString ChooseAddressBook(QWidget* parent, const QString& current) {
    QFileDialog dlg(parent, Lang(241));
    dlg.setObjectName(QStringLiteral("addressBookChooser"));
    // Files are chosen as usual (Choose, or a double-click on a .vcf); a
    // folder of cards with its own button, since the file mode opens a
    // folder rather than choosing it. The platform dialogs offer either
    // files or folders, never both, so this is Qt's own.
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setNameFilters({QStringLiteral("vCard (*.vcf *.vcard)"), QStringLiteral("* (*)")});
    const QFileInfo info(current);
    dlg.setDirectory(info.exists() ? (info.isDir() ? current : info.absolutePath())
                                   : QDir::homePath());
    if (info.isFile()) dlg.selectFile(current);

    QString folder;
    auto* useFolder = new QPushButton(Lang(369), &dlg);
    useFolder->setObjectName(QStringLiteral("chooseFolder"));
    QObject::connect(useFolder, &QPushButton::clicked, &dlg, [&dlg, &folder] {
        // The folder selected in the list, else the one shown.
        const QStringList picked = dlg.selectedFiles();
        const QFileInfo first(picked.isEmpty() ? QString() : picked.front());
        folder = first.isDir() ? first.absoluteFilePath() : dlg.directory().absolutePath();
        static_cast<QDialog&>(dlg).done(QDialog::Accepted);
    });
    if (auto* grid = qobject_cast<QGridLayout*>(dlg.layout()))
        grid->addWidget(useFolder, grid->rowCount(), 0, 1, grid->columnCount(), Qt::AlignLeft);

    if (dlg.exec() != QDialog::Accepted) return {};
    if (!folder.isEmpty()) return folder;
    const QStringList files = dlg.selectedFiles();
    return files.isEmpty() ? QString() : files.front();
}

}  // namespace lk::gui
