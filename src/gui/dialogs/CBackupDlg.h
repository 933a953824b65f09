#pragma once
// The backup window: copies or moves the card's recordings (all of them or
// the selected rows) into the backup store on a worker, with the file being
// copied, a bar and Stop. The main frame keeps one hidden instance for the
// automatic backup after every card load.

#include <QDialog>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "backup/BackupEngine.h"
#include "card/RecorderState.h"
#include "dialogs/DialogServices.h"
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
    CBackupDlg(RecorderState& state, DialogServices services, QWidget* parent,
               CSortListCtrl* selectedFrom = nullptr);
    ~CBackupDlg() override;

    bool SelectedMode() const { return list_ != nullptr; }
    // The frame's instance: its runs happen inside a card load.
    void SetAutomatic(bool on) { automatic_ = on; }
    void SetServices(DialogServices services) { services_ = std::move(services); }
    // Controls from the settings, and every control usable again.
    void InitFromSettings();

    void OnStart();
    void OnStop();
    void OnBrowse();
    // Closing waits for a running worker: the window stays (Stop disabled)
    // until the worker ended, then closes with the requested result.
    void done(int result) override;

    // The automatic backup, called on the loader's worker: shows this window
    // freshly initialised on the UI thread and waits until it closed (or the
    // program quits). True when a run was started in it.
    bool OfferAndWait(const std::atomic<int>& quitting);

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
    void SignalDone();
    // The store's root, asked for first when none is chosen; empty: none.
    std::filesystem::path EnsureBackupPath();

    RecorderState& state_;
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
    bool claimedLoader_ = false;
    bool automatic_ = false;
    BackupResult result_;
    BackupOptions lastOptions_;
    std::vector<CallRecord*> selection_;

    // The done event: auto-reset, set on every close.
    std::mutex doneLock_;
    std::condition_variable doneCv_;
    bool doneSet_ = false;
};

}  // namespace lk::gui
