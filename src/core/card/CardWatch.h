#pragma once
// The card watch: what happens when a recorder's card comes and goes. Each
// step runs on the UI thread, changes the shared state and says what happened;
// the window decides what that means for its panes and when to look again.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "card/LoadGate.h"
#include "card/RecordLoader.h"
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
//  7. when `startLoader`, ask the record session for a load of `loadSource`
//     (the gate said no load runs; the session claims the records itself).
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
    LoadSource loadSource = LoadSource::Store;
    bool settingsNotSaved = false;  // the card's family could not be kept in "DevType"
};

// Where the watch finds what it needs beyond the shared state: the backup
// store's root as the caller read it from the settings (unset: none chosen).
struct CardWatchConfig {
    std::function<std::filesystem::path()> backupPath;
};

class CardWatch {
  public:
    // `gate` is asked before each step whether a load holds the records.
    CardWatch(RecorderState& state, const LoadGate& gate, CardWatchConfig config = {});

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
    const LoadGate& gate_;
    CardWatchConfig config_;
};

// True when the card root holds PhoneBook.dat (family 1).
bool HasPhoneBook(const std::filesystem::path& cardRoot);

// Whether a card of `family` lacks a prompt file (beep1.wav, beep3.wav):
// only family-0 recorders play them from the card.
bool NeedsPromptFiles(const std::filesystem::path& cardRoot, int family);

// Puts beep1.wav and beep3.wav on a family-0 card unless they are there
// already; never overwrites, errors ignored.
void CopyBeepFiles(const std::filesystem::path& cardRoot,
                   const std::filesystem::path& sourceFolder);

}  // namespace lk
