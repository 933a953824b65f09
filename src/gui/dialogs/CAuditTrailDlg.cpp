#include "dialogs/CAuditTrailDlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "backup/AuditTrail.h"
#include "support/GuiText.h"

namespace lk::gui {

CAuditTrailDlg::CAuditTrailDlg(const std::filesystem::path& backupPath, QWidget* parent)
    : QDialog(parent), list_(new QTreeWidget(this)) {
    setObjectName(QStringLiteral("auditTrailDlg"));
    setWindowTitle(Lang(461));
    list_->setObjectName(QStringLiteral("list"));
    list_->setRootIsDecorated(false);
    list_->setHeaderLabels(Lang(462).split(QLatin1Char(';')));
    list_->setMinimumSize(640, 300);
    auto* top = new QVBoxLayout(this);
    top->addWidget(list_, 1);

    const AuditRead read = ReadAudit(backupPath);
    for (const AuditRecord& r : read.records) {
        auto* item = new QTreeWidgetItem(list_);
        item->setText(0, QString::fromStdString(r.time));
        item->setText(1, QString::fromStdString(r.user));
        item->setText(2, QString::fromStdString(r.host));
        item->setText(3, QString::fromStdString(r.event.action));
        item->setText(4, QString::fromStdString(r.event.file));
        item->setText(5, QString::fromStdString(r.event.detail));
    }
    list_->header()->resizeSections(QHeaderView::ResizeToContents);
    if (!read.error.empty() || read.records.empty()) {
        auto* note =
            new QLabel(read.error.empty() ? Lang(463) : QString::fromStdString(read.error), this);
        note->setObjectName(QStringLiteral("note"));
        top->addWidget(note);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(Lang(31));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    top->addWidget(buttons);
}

int CAuditTrailDlg::RowCount() const {
    return list_->topLevelItemCount();
}

QString CAuditTrailDlg::RowText(int row, int column) const {
    const QTreeWidgetItem* item = list_->topLevelItem(row);
    return item != nullptr ? item->text(column) : QString();
}

}  // namespace lk::gui
