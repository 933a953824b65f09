#pragma once
// The card watch: what happens when a recorder's card comes and goes. Each
// step runs on the UI thread, changes the shared state and says what happened;
// the window decides what that means for its panes and when to look again.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "card/RecorderState.h"

namespace lk {

// Smallest total size of a volume that counts as a medium being present.
inline constexpr std::uint64_t kMinCardBytes = 1024;

// What the watch expects to happen next; the caller turns it into timers.
enum class WatchNext {
    Unchanged,     // keep looking as before
    Watch,         // look for cards from now on (start-up done, backup read)
    ReloadBackup,  // the card went away: read the backup records again, then watch
    LookSoon,      // the card was forgotten on request: look again shortly
};

// What happened on a tick, for the caller to carry out in this order:
//  1. when `clearPanes`, delete all rows of the panes of categories 1 to 9;
//  2. phone-book pane: disable, clear, then load `loadPhoneBook` and enable it;
//  3. when `cardFamily` is set, a card of that family was taken: the names and
//     columns that follow the family change;
//  4. refresh the disk-space text when `refreshDiskSpace`;
//  5. `next`;
//  6. show the information box (text 159, caption 160) when `showBusyMessage`;
//  7. when `startLoader`, run RecordLoaderThread on a worker (loaderBusy is
//     already set; set it back to 0 if the worker cannot be started).
struct CardWatchActions {
    WatchNext next = WatchNext::Unchanged;
    bool clearPanes = false;
    bool disablePhoneBook = false;
    bool clearPhoneBook = false;
    std::optional<std::filesystem::path> loadPhoneBook;
    std::optional<int> cardFamily;
    bool cardRemoved = false;
    bool refreshDiskSpace = false;
    bool showBusyMessage = false;
    bool startLoader = false;
    bool settingsNotSaved = false;  // the card's family could not be kept in "DevType"
};

// Where the watch finds what it needs beyond the shared state. Empty members
// fall back to the settings ("BackupPath") and to the shipped Config folder.
struct CardWatchConfig {
    std::function<std::filesystem::path()> backupPath;
    std::filesystem::path beepSourceFolder;  // holds beep1.wav and beep3.wav
};

class CardWatch {
  public:
    explicit CardWatch(RecorderState& state, CardWatchConfig config = {});

    // Start-up: a card already present is read at once; otherwise the backup
    // records are read first. Then the watch starts.
    CardWatchActions StartupTick();
    // Notices a removed card, looks for a new one (on every poll and every
    // change of the mount table).
    CardWatchActions CardWatchTick();
    // Reads the backup records again after the card went away.
    CardWatchActions BackupReloadTick();
    // The rescan command: forget the card so the next look finds it anew.
    CardWatchActions ManualRescan();

    // Looks for a card and starts using it (adds to `actions`).
    void ScanForCard(CardWatchActions& actions);
    bool CardStillPresent() const;
    // The volume a scan would take now, without taking it.
    std::optional<Volume> FindCard() const;

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
