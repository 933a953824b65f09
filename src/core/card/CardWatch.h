#pragma once
// The card watch: what the main frame's timers do when a recorder's card comes
// and goes. Each tick runs on the UI thread, changes the shared state and hands
// back what the frame has to do with its windows and timers; the frame's timer
// handlers only call these and carry out the answer.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "card/RecorderState.h"

namespace lk {

inline constexpr int kTimerStartup = 10;
inline constexpr int kTimerCardWatch = 20;
inline constexpr int kTimerBackupReload = 30;

inline constexpr int kCardWatchPeriodMs = 2000;
inline constexpr int kRescanPeriodMs = 1000;
inline constexpr int kBackupReloadDelayMs = 1000;

// Smallest total size of a volume that counts as a medium being present.
inline constexpr std::uint64_t kMinCardBytes = 1024;

struct TimerStart {
    int id = 0;
    int periodMs = 0;
    bool operator==(const TimerStart&) const = default;
};

// What the frame does after a tick, in this order:
//  1. stop `stopTimers`;
//  2. when `clearPanes`, delete all rows of the panes of categories 1 to 9;
//  3. phone-book pane: disable, clear, then load `loadPhoneBook` and enable it;
//  4. the view's SetDeviceName / SetRemarkColumnWidth when given;
//  5. refresh the disk-space text when `refreshDiskSpace`;
//  6. start `startTimers`;
//  7. show the information box (text 159, caption 160) when `showBusyMessage`;
//  8. when `startLoader`, run RecordLoaderThread on a worker (loaderBusy is
//     already set; set it back to 0 if the worker cannot be started).
struct CardWatchActions {
    std::vector<int> stopTimers;
    bool clearPanes = false;
    bool disablePhoneBook = false;
    bool clearPhoneBook = false;
    std::optional<std::filesystem::path> loadPhoneBook;
    std::optional<std::string> deviceName;
    std::optional<int> remarkColumnWidth;
    bool refreshDiskSpace = false;
    std::vector<TimerStart> startTimers;
    bool showBusyMessage = false;
    bool startLoader = false;
    bool settingsNotSaved = false;  // the card's family could not be kept in "DevType"
};

// Where the timers find what they need beyond the shared state. Empty members
// fall back to the settings ("BackupPath") and to the shipped Config folder.
struct CardWatchConfig {
    std::function<std::filesystem::path()> backupPath;
    std::filesystem::path beepSourceFolder;  // holds beep1.wav and beep3.wav
    bool mainWindowExists = true;
};

class CardWatch {
  public:
    explicit CardWatch(RecorderState& state, CardWatchConfig config = {});

    // Timer 10: first load of the backup records, then the card watch starts.
    CardWatchActions StartupTick();
    // Timer 20: notices a removed card, looks for a new one.
    CardWatchActions CardWatchTick();
    // Timer 30: reloads the backup records after the card went away.
    CardWatchActions BackupReloadTick();
    // Menu command "rescan": forget the card so the next tick finds it anew.
    CardWatchActions ManualRescan();

    // Looks for a card and starts using it (adds to `actions`).
    void ScanForCard(CardWatchActions& actions);
    bool CardStillPresent() const;

    std::filesystem::path BackupPath() const;

  private:
    void LoadBackupIndexInto(CardWatchActions& actions);

    RecorderState& state_;
    CardWatchConfig config_;
};

// True when the card root holds PhoneBook.dat (family 1).
bool HasPhoneBook(const std::filesystem::path& cardRoot);

// Puts beep1.wav and beep3.wav on a family-0 card unless they are there
// already; never overwrites, errors ignored.
void CopyBeepFiles(const std::filesystem::path& cardRoot,
                   const std::filesystem::path& sourceFolder);

}  // namespace lk
