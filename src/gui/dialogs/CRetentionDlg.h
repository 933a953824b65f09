#pragma once
// Tools > Retention: which calls of a store are older than the days to keep
// (marked calls are always kept), listed first; only a listing of the rule
// as it stands lets "Move to Trash" go ahead.

#include <QDialog>
#include <filesystem>

#include "backup/StoreCleanup.h"
#include "dialogs/DialogServices.h"
#include "support/DialogWorker.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTreeWidget;

namespace lk::gui {

class CRetentionDlg : public QDialog {
    Q_OBJECT
  public:
    CRetentionDlg(std::filesystem::path backupPath, int family, DialogServices services,
                  QWidget* parent);
    ~CRetentionDlg() override;

    void SetKeepDays(int days);
    void OnList();
    void OnApply();
    void done(int result) override;

    bool Running() const { return worker_.Running(); }
    int ListedCount() const;
    QString StatusText() const;

  signals:
    void RunFinished();

  private:
    void Run(bool apply);
    void OnFinished();
    void RuleChanged();

    std::filesystem::path backupPath_;
    DialogServices services_;
    DialogWorker worker_;
    QComboBox* family_;
    QSpinBox* days_;
    QCheckBox* incoming_;
    QCheckBox* missed_;
    QCheckBox* outgoing_;
    QTreeWidget* list_;
    QLabel* status_;
    QPushButton* listButton_;
    QPushButton* apply_;
    QPushButton* close_ = nullptr;
    CleanupResult result_;
    bool applying_ = false;
};

}  // namespace lk::gui
