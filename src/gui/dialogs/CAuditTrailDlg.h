#pragma once
// The store's audit trail as a plain list, oldest first: when, who, on which
// computer, what was done and to which file.

#include <QDialog>
#include <filesystem>

class QTreeWidget;

namespace lk::gui {

class CAuditTrailDlg : public QDialog {
    Q_OBJECT
  public:
    CAuditTrailDlg(const std::filesystem::path& backupPath, QWidget* parent);

    int RowCount() const;
    QString RowText(int row, int column) const;

  private:
    QTreeWidget* list_;
};

}  // namespace lk::gui
