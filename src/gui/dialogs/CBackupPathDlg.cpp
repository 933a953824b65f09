#include "dialogs/CBackupPathDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "support/GuiText.h"
#include "support/SettingsWrite.h"

namespace lk::gui {

CBackupPathDlg::CBackupPathDlg(DialogServices services, QWidget* parent)
    : QDialog(parent),
      services_(std::move(services)),
      path_(new QLineEdit(this)),
      browse_(new QPushButton(QStringLiteral("..."), this)) {
    setObjectName(QStringLiteral("backupPathDlg"));
    setWindowTitle(Lang(153));
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(Lang(100), this), 0, 0);
    path_->setObjectName(QStringLiteral("path"));
    path_->setReadOnly(true);
    path_->setMinimumWidth(360);
    path_->setText(SettingText(BackupPath().string()));
    grid->addWidget(path_, 0, 1);
    browse_->setObjectName(QStringLiteral("browse"));
    browse_->setFixedWidth(32);
    grid->addWidget(browse_, 0, 2);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(Lang(154), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    buttons->addButton(Lang(155), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("cancel"));
    grid->addWidget(buttons, 1, 0, 1, 3);
    connect(buttons, &QDialogButtonBox::accepted, this, &CBackupPathDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CBackupPathDlg::reject);
    connect(browse_, &QPushButton::clicked, this, &CBackupPathDlg::OnBrowse);
}

QString CBackupPathDlg::PathText() const {
    return path_->text();
}

void CBackupPathDlg::OnBrowse() {
    const QString current = SettingText(BackupPath().string());
    const auto picked = BrowseForFolder(services_.pickFolder, this, StartFolder(current));
    if (!picked) return;
    if (*picked != current) changed_ = true;
    path_->setText(*picked);
}

void CBackupPathDlg::accept() {
    if (changed_) {
        // A folder that was not kept is not taken: the dialog stays open.
        if (!ReportSettingsWrite(SetBackupPath(path_->text().toStdString()), this)) return;
        if (services_.scheduleBackupReload) services_.scheduleBackupReload();
    }
    QDialog::accept();
}

}  // namespace lk::gui
