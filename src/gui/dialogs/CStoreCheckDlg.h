#pragma once
// Tools > Check Backup Store: reads every copy of one family's store back
// against its index and checksums on a worker, with progress and Stop, shows
// a report a user can read, and repairs what can be repaired (never deleting
// or overwriting a recording).

#include <QDialog>
#include <filesystem>

#include "backup/StoreVerify.h"
#include "dialogs/DialogServices.h"
#include "support/DialogWorker.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace lk::gui {

// The report of a check: the verdict, the counts, then one line per problem.
QString StoreCheckReport(const VerifyResult& result, bool repaired);

class CStoreCheckDlg : public QDialog {
    Q_OBJECT
  public:
    CStoreCheckDlg(std::filesystem::path backupPath, int family, DialogServices services,
                   QWidget* parent);
    ~CStoreCheckDlg() override;

    void OnCheck();
    void OnRepair();
    void OnStop();
    // Ignored while a check runs (Stop ends it first).
    void done(int result) override;

    bool Running() const { return worker_.Running(); }
    const VerifyResult& LastResult() const { return result_; }
    QString ReportText() const;

  signals:
    void CheckFinished();

  private:
    void Start(bool repair);
    void OnFinished();

    std::filesystem::path backupPath_;
    DialogServices services_;
    DialogWorker worker_;
    QComboBox* family_;
    QProgressBar* bar_;
    QLabel* status_;
    QPlainTextEdit* report_;
    QPushButton* check_;
    QPushButton* repair_;
    QPushButton* stop_;
    QPushButton* close_ = nullptr;
    VerifyResult result_;
    bool repairing_ = false;
};

}  // namespace lk::gui
