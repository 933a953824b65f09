#pragma once
// Tools > Retention: which calls of a store are older than the days or
// calendar months to keep (marked calls are always kept), listed first; only
// a listing of the rule as it stands lets "Move to Trash" go ahead, or lets
// the rule run after each backup. The rule is the store's, kept in its
// folder for every PC that backs up into it.

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
    void SetKeepMonths(int months);
    void SetAfterBackup(bool on);
    bool AfterBackup() const;
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
    RetentionRule Rule() const;
    void LoadStoreRule();
    void OnAfterBackupToggled(bool on);

    std::filesystem::path backupPath_;
    DialogServices services_;
    DialogWorker worker_;
    QComboBox* family_;
    QSpinBox* days_;
    QComboBox* unit_;  // days or months
    QCheckBox* incoming_;
    QCheckBox* missed_;
    QCheckBox* outgoing_;
    QCheckBox* afterBackup_;
    QTreeWidget* list_;
    QLabel* status_;
    QPushButton* listButton_;
    QPushButton* apply_;
    QPushButton* close_ = nullptr;
    CleanupResult result_;
    bool applying_ = false;
    bool loading_ = false;  // filling the fields from the store's rule
};

}  // namespace lk::gui
