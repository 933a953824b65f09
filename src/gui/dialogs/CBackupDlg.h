#pragma once
// The backup window: copies or moves the card's recordings (all of them or
// the selected rows) into the backup store on a worker, with the file being
// copied, a bar and Stop. The main frame keeps one hidden instance for the
// automatic backup after every card load.

#include <QDialog>
#include <atomic>
#include <functional>
#include <vector>

#include "backup/BackupEngine.h"
#include "backup/StoreRetention.h"
#include "dialogs/DialogServices.h"
#include "session/RecordSession.h"
#include "support/DialogWorker.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace lk::gui {

class CSortListCtrl;

class CBackupDlg : public QDialog {
    Q_OBJECT
  public:
    // With `selectedFrom`, the selected rows of that list are backed up.
    CBackupDlg(RecordSession& session, DialogServices services, QWidget* parent,
               CSortListCtrl* selectedFrom = nullptr);
    ~CBackupDlg() override;

    bool SelectedMode() const { return list_ != nullptr; }
    void SetServices(DialogServices services) { services_ = std::move(services); }
    // Controls from the settings, and every control usable again.
    void InitFromSettings();

    void OnStart();
    void OnStop();
    void OnBrowse();
    // Closing waits for a running worker: the window stays (Stop disabled)
    // until the worker ended, then closes with the requested result.
    void done(int result) override;

    // The automatic backup, offered on the UI thread after a card load:
    // shows this window freshly initialised; its runs happen under
    // `loadClaim`, which `closed` gets back once when the window closes.
    // StartedFlag() then says whether a run was started in it.
    void Offer(SessionClaim loadClaim, std::function<void(SessionClaim)> closed);

    bool Running() const { return worker_.Running(); }
    bool Stopping() const { return worker_.ClosePending(); }
    bool StartedFlag() const { return started_ != 0; }
    const BackupResult& LastResult() const { return result_; }
    const BackupOptions& LastOptions() const { return lastOptions_; }

  signals:
    void RunFinished();

  private:
    void SetRunning(bool running);
    void OnFinished();
    void TellClosed();
    // The store's root, asked for first when none is chosen; empty: none.
    std::filesystem::path EnsureBackupPath();

    RecordSession& session_;
    const RecorderState& state_;
    DialogServices services_;
    CSortListCtrl* list_;
    DialogWorker worker_;
    QLineEdit* path_;
    QPushButton* browse_;
    QLineEdit* current_;
    QProgressBar* bar_;
    QComboBox* choice_;
    QCheckBox* auto_;
    QPushButton* start_;
    QPushButton* stop_;

    std::atomic<int> started_{0};
    SessionClaim claim_;    // a manual run's
    SessionClaim offered_;  // the card load's, while the automatic backup is offered
    BackupResult result_;
    RetentionAfterBackup retention_;  // the store's rule, when it runs after backups
    BackupOptions lastOptions_;
    std::vector<CallRecord*> selection_;
    std::function<void(SessionClaim)> closed_;
};

}  // namespace lk::gui
