#pragma once
// Where the window meets the card watch: the frame's timers, the mount-table
// events and the end of a listing ask the core what happened, and this decides
// what the window shows and when it looks again.

#include <QObject>
#include <QString>

namespace lk {
struct CardWatchActions;
class CardWatch;
}  // namespace lk

namespace lk::gui {

class CRecorderApp;
class CMainFrame;
class MountWatch;

class CardWatchDriver : public QObject {
    Q_OBJECT
  public:
    static constexpr int kStartupMs = 1000;  // without a card: the window settles first
    static constexpr int kPollMs = 2000;     // the fallback where events are missed
    static constexpr int kLookSoonMs = 1000;
    // A pulled card leaves panes that are empty until the backup is read.
    static constexpr int kAfterRemovalMs = 100;

    CardWatchDriver(CRecorderApp& app, CMainFrame& frame);
    ~CardWatchDriver() override;

    // How long the start-up tick waits: not at all with a card in the reader.
    int StartupDelayMs() const;

    void StartupTick();       // timer 10
    void CardWatchTick();     // timer 20, and every mount change
    void BackupReloadTick();  // timer 30
    void ManualRescan();      // the rescan command, after the busy guard
    bool CardHasPhoneBook() const;
    // The panes were filled: a card's arrival is reported only now.
    void OnRowsListed();

    MountWatch& Events() { return *events_; }

  private:
    // The session's card watch, with the settings read anew.
    CardWatch Watch();
    void OnMountChange();
    void Carry(CardWatchActions&& actions);
    void NoteCardChange(char before);
    void WatchCardFolders();
    void ShowWhenNoBackupFolder();

    CRecorderApp& app_;
    CMainFrame& frame_;
    MountWatch* events_;
    QString found_;              // "Card found" text waiting for the rows
    bool missedChange_ = false;  // a change came while the loader ran
};

}  // namespace lk::gui
