#pragma once
// Where the frame's timers meet the card watch: each tick asks the core what
// to do and carries it out on the window (timers, panes, names, status).

namespace lk {
struct CardWatchActions;
}

namespace lk::gui {

class CRecorderApp;
class CMainFrame;

class CardWatchDriver {
  public:
    CardWatchDriver(CRecorderApp& app, CMainFrame& frame) : app_(app), frame_(frame) {}

    void StartupTick();       // timer 10
    void CardWatchTick();     // timer 20
    void BackupReloadTick();  // timer 30
    void ManualRescan();      // the rescan command, after the busy guard
    bool CardHasPhoneBook() const;

  private:
    void Carry(CardWatchActions&& actions);

    CRecorderApp& app_;
    CMainFrame& frame_;
};

}  // namespace lk::gui
