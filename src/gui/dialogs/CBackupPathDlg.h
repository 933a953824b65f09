#pragma once
// Choosing the folder of the backup store ("BackupPath").

#include <QDialog>

#include "dialogs/DialogServices.h"

class QLineEdit;
class QPushButton;

namespace lk::gui {

class CBackupPathDlg : public QDialog {
    Q_OBJECT
  public:
    CBackupPathDlg(DialogServices services, QWidget* parent);

    QString PathText() const;
    bool Changed() const { return changed_; }
    void OnBrowse();
    void accept() override;

  private:
    DialogServices services_;
    QLineEdit* path_;
    QPushButton* browse_;
    bool changed_ = false;
};

}  // namespace lk::gui
