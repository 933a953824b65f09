#include "card/CardWatch.h"

#include <iterator>

#include "app/ExeDir.h"
#include "app/Settings.h"
#include "card/CallLog.h"
#include "card/RecordLoader.h"

namespace lk {
namespace fs = std::filesystem;

namespace {

constexpr const char* kBeepFiles[] = {"beep1.wav", "beep3.wav"};

// A medium is in the reader: it reports at least 1 KiB, or (FUSE drivers,
// some readers) reports no sizes at all while mounted.
bool MediumPresent(const Volume& v) {
    return !v.sizeKnown || v.totalBytes >= kMinCardBytes;
}

}  // namespace

bool HasPhoneBook(const fs::path& cardRoot) {
    std::error_code ec;
    return fs::exists(cardRoot / kPhoneBookFileName, ec);
}

void CopyBeepFiles(const fs::path& cardRoot, const fs::path& sourceFolder) {
    for (const char* name : kBeepFiles) {
        std::error_code ec;
        const fs::path target = cardRoot / name;
        if (fs::exists(target, ec)) continue;
        // copy_options::none fails when the target appeared meanwhile: never overwrite.
        fs::copy_file(sourceFolder / name, target, fs::copy_options::none, ec);
    }
}

CardWatch::CardWatch(RecorderState& state, CardWatchConfig config)
    : state_(state), config_(std::move(config)) {
    // The prompt sounds sit beside the settings (seeded there on an installed copy).
    if (config_.beepSourceFolder.empty()) config_.beepSourceFolder = ShippedConfigDir();
}

fs::path CardWatch::BackupPath() const {
    if (config_.backupPath) return config_.backupPath();
    return lk::BackupPath();
}

void CardWatch::LoadBackupIndexInto(CardWatchActions& actions) {
    if (state_.devType.load() == 1) actions.disablePhoneBook = true;
    const LoadBackupIndexResult r = LoadBackupIndex(state_, BackupPath());
    actions.startLoader = actions.startLoader || r.startLoader;
}

CardWatchActions CardWatch::StartupTick() {
    CardWatchActions a;
    a.next = WatchNext::Watch;
    if (state_.rebuildRunning.load() == 0) state_.volumes.Refresh();
    // A card in the reader is what the user waits for; the backup records are
    // read when the card goes away or the backup is asked for.
    if (state_.loaderBusy.load() == 0 && FindCard()) {
        ScanForCard(a);
        if (state_.cardDrive.load() != 0) return a;
    }
    LoadBackupIndexInto(a);
    return a;
}

CardWatchActions CardWatch::CardWatchTick() {
    CardWatchActions a;
    if (state_.loaderBusy.load() != 0) return a;
    // The rebuild worker reads the volume table; it is left alone meanwhile.
    if (state_.rebuildRunning.load() == 0) state_.volumes.Refresh();

    if (state_.cardDrive.load() != 0) {
        if (!CardStillPresent()) {
            state_.cardDrive = 0;
            // The phone book goes with its card even when the card held no
            // records (the backup store was shown all along): edits would
            // otherwise go to a file where the card used to be.
            if (state_.devType.load() == 1) a.clearPhoneBook = true;
            a.cardRemoved = true;
            if (state_.viewingBackup.load() != 1) {
                a.clearPanes = true;
                state_.viewingBackup = 1;
                a.next = WatchNext::ReloadBackup;
                a.refreshDiskSpace = true;
            }
        }
        if (state_.cardDrive.load() != 0 && !state_.records.Card().empty()) return a;
    }
    ScanForCard(a);
    return a;
}

CardWatchActions CardWatch::BackupReloadTick() {
    CardWatchActions a;
    if (state_.loaderBusy.load() != 0) return a;
    a.clearPanes = true;
    LoadBackupIndexInto(a);
    a.next = WatchNext::Watch;
    return a;
}

CardWatchActions CardWatch::ManualRescan() {
    CardWatchActions a;
    if (state_.loaderBusy.load() != 0) {
        a.showBusyMessage = true;
        return a;
    }
    state_.cardDrive = 0;
    a.next = WatchNext::LookSoon;
    return a;
}

bool CardWatch::CardStillPresent() const {
    const char letter = state_.cardDrive.load();
    if (state_.volumes.GetDriveType(letter) == DriveType::NoRootDir) return false;
    const auto volume = state_.volumes.Find(letter);
    return volume && MediumPresent(*volume);
}

std::optional<Volume> CardWatch::FindCard() const {
    const std::uint32_t mask = state_.volumes.LogicalDriveMask();
    // Drives A and B are floppy letters and never hold a card.
    for (int bit = 2; bit < 26 && (mask >> bit) != 0; ++bit) {
        if ((mask & (1u << bit)) == 0) continue;
        const char letter = static_cast<char>('A' + bit);
        if (state_.volumes.GetDriveType(letter) != DriveType::Removable) continue;
        const auto volume = state_.volumes.Find(letter);
        if (!volume || !MediumPresent(*volume)) continue;
        std::error_code ec;
        if (fs::is_regular_file(volume->root / kCallLogFileName, ec)) return volume;
    }
    return std::nullopt;
}

void CardWatch::ScanForCard(CardWatchActions& actions) {
    if (state_.rebuildRunning.load() != 0) return;
    if (state_.devType.load() == 1) actions.disablePhoneBook = true;

    if (!state_.records.Card().empty()) {
        if (state_.viewingBackup.load() == 0) actions.clearPanes = true;
        state_.records.ReplaceAll(RecordListId::Card);
    }

    const std::uint32_t mask = state_.volumes.LogicalDriveMask();
    std::optional<Volume> card;
    // Drives A and B are floppy letters and never hold a card.
    for (int bit = 2; bit < 26 && (mask >> bit) != 0; ++bit) {
        if ((mask & (1u << bit)) == 0) continue;
        const char letter = static_cast<char>('A' + bit);
        if (state_.loaderBusy.load() != 0) continue;
        if (state_.volumes.GetDriveType(letter) != DriveType::Removable) continue;
        const auto volume = state_.volumes.Find(letter);
        if (!volume || !MediumPresent(*volume)) continue;
        state_.cardLogPath = volume->root / kCallLogFileName;
        std::error_code ec;
        if (fs::is_regular_file(state_.cardLogPath, ec)) {
            card = volume;
            break;
        }
    }
    if (!card) return;

    state_.cardDrive = card->letter;
    state_.loadFromCard = 1;
    const int devType = HasPhoneBook(card->root) ? 1 : 0;
    state_.devType = devType;
    actions.cardFamily = devType;
    if (devType == 1)
        actions.loadPhoneBook = card->root / kPhoneBookFileName;
    else
        CopyBeepFiles(card->root, config_.beepSourceFolder);
    actions.settingsNotSaved = !SetDevType(devType);
    actions.startLoader = StartRecordLoader(state_);
}

}  // namespace lk
