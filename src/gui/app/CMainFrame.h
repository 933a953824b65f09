#pragma once
// The top-level window: menus, the status bar, the read-progress window and
// the three timers that drive the card watch.

#include <QMainWindow>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>

#include "dialogs/DialogServices.h"
#include "session/RecordSession.h"
#include "support/CommandTable.h"
#include "support/DialogWorker.h"
#include "support/ViewPage.h"
#include "widgets/StatusPane.h"

class QLabel;
class QAction;

namespace lk::gui {

class CRecorderApp;
class CVX310View;
class ProgressDialog;
class DeviceLibraryLoader;
class CBackupDlg;
class CardWatchDriver;

enum FrameTimer : int {
    TimerStartup = 10,
    TimerCardWatch = 20,
    TimerBackupReload = 30,
};

class CMainFrame : public QMainWindow {
    Q_OBJECT
  public:
    explicit CMainFrame(CRecorderApp& app);
    ~CMainFrame() override;

    CVX310View* View() const { return view_; }
    DeviceLibraryLoader& DeviceLibrary() const { return *device_; }
    ProgressDialog* Progress() const { return progress_; }
    // The hidden backup window of the automatic backup.
    CBackupDlg* AutoBackupDlg() const { return backupDlg_; }
    // What the working dialogs get (tests replace the folder picker).
    const DialogServices& Services() const { return services_; }
    void SetServices(DialogServices services);
    // The automatic backup after a card load (UI thread): shows its window,
    // which backs up under the load's claim; `closed` runs once when it
    // closes and gets the claim back.
    void OfferAutoBackup(SessionClaim loadClaim, std::function<void(SessionClaim)> closed);

    void UpdateDiskSpaceStatus();
    // A short note in the status bar about what just happened.
    void Announce(const QString& text);
    // The window title and the tree's root say whether the card or the
    // backup store is listed.
    void ShowWhatIsListed();
    // `total` >= 0: the find box shows `count` of `total` rows.
    void SetCategoryStatus(int page, int count, int total = -1);
    void SetDriveStatus(char drive, bool active);
    void ScheduleBackupReload();
    void RefreshRecords();
    void ApplyLanguageToFrame();
    // Device library notification: w = 0 connection, 1 parameter, 2 acknowledgement.
    void OnDeviceNotify(unsigned w, unsigned l);

    // Timers by their numbers.
    void StartTimer(int id, int ms);
    void StopTimer(int id);
    bool TimerActive(int id) const;
    int TimerInterval(int id) const;
    void OnTimer(int id);
    // Tests drive the ticks themselves: the timers keep their state but their
    // expiry does nothing.
    void FreezeTimers(bool frozen) { timersFrozen_ = frozen; }
    bool TimersFrozen() const { return timersFrozen_; }
    CardWatchDriver& CardWatcher() const { return *watch_; }

    // The window's commands; pages and panes get them from here.
    CommandActions& Commands() { return *commands_; }
    // Runs a command by its number, as its menu item would.
    void OnCommand(int command);
    // Whether a menu item shows its check mark now.
    bool CommandChecked(int command) const;
    // The information box of a command refused during a load; true when refused.
    bool RefuseWhileLoading();

    // Shut-down: tell the workers to stop and wait for them.
    void StopWork();

    QString StatusText(int pane) const;
    QAction* Action(int command) const;

    // The eject command: lets go of the card's files, unmounts it on a worker
    // and says whether it can be removed.
    void OnEjectCard();
    bool Ejecting() const { return ejecting_; }
    // The system bus to eject through (tests give a private one); empty: the real one.
    void SetEjectBus(const QString& address) { ejectBus_ = address; }

  signals:
    void EjectFinished(bool removable);

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

  private:
    void PlaceWindow();
    void SaveWindow();
    void CreateMenus();
    void OpenDeviceLibrary();
    // Says when the language file lacks texts (the shipped ones stand in).
    void ReportLanguageGaps();
    void ConnectCommands();
    void UpdateChecks();
    void OnAbout();
    void OnRescan();
    void OnViewCardRecords();
    void OnViewBackupRecords(int family);
    void OnToggleAutoBackup();
    void OnSetBackupPath();
    void OnRepair();
    void OnCheckStore();
    void OnAuditTrail();
    void OnRetention();
    QTimer* Timer(int id) const;

    CRecorderApp& app_;
    std::unique_ptr<CommandActions> commands_;
    CVX310View* view_ = nullptr;
    ProgressDialog* progress_ = nullptr;
    DeviceLibraryLoader* device_ = nullptr;
    CBackupDlg* backupDlg_ = nullptr;
    DialogServices services_;
    std::array<StatusPane*, 4> status_{};  // panes 1-4
    QTimer* timer10_;
    QTimer* timer20_;
    QTimer* timer30_;
    CardWatchDriver* watch_ = nullptr;
    int deviceConnected_ = 0;
    int lastCategory_ = PageAll;
    int lastCount_ = 0;
    int lastTotal_ = -1;
    bool stopped_ = false;
    bool timersFrozen_ = false;
    bool ejecting_ = false;
    QString ejectBus_;
    DialogWorker ejector_;
};

}  // namespace lk::gui
