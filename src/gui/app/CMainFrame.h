#pragma once
// The top-level window: menus, the status bar, the read-progress window and
// the three timers that drive the card watch.

#include <QMainWindow>
#include <QTimer>
#include <array>

class QLabel;
class QAction;

namespace lk::gui {

class CRecorderApp;
class CVX310View;
class ProgressDialog;
class DeviceLibraryLoader;

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

    void UpdateDiskSpaceStatus();
    void SetCategoryStatus(int page, int count);
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

    // Commands of the main menu.
    void OnCommand(int command);
    // Whether a menu item shows its check mark now.
    bool CommandChecked(int command) const;
    // The information box of a command refused during a load; true when refused.
    bool RefuseWhileLoading();

    // Shut-down: tell the workers to stop and wait for them.
    void StopWork();

    QString StatusText(int pane) const;
    QAction* Action(int command) const;

  protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

  private:
    void CreateMenus();
    void OpenDeviceLibrary();
    void UpdateChecks();
    void OnViewCardRecords();
    void OnViewBackupRecords(int family);
    QTimer* Timer(int id) const;

    CRecorderApp& app_;
    CVX310View* view_ = nullptr;
    ProgressDialog* progress_ = nullptr;
    DeviceLibraryLoader* device_ = nullptr;
    std::array<QLabel*, 4> status_{};  // panes 1-4
    QTimer* timer10_;
    QTimer* timer20_;
    QTimer* timer30_;
    int deviceConnected_ = 0;
    int lastCategory_ = 1;
    int lastCount_ = 0;
    bool stopped_ = false;
    bool timersFrozen_ = false;
    std::array<QMenu*, 3> popups_{};
    std::vector<std::pair<int, QAction*>> actions_;
};

}  // namespace lk::gui
