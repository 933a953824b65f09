#include "card/CardWatch.h"

#include <iterator>

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

bool NeedsPromptFiles(const fs::path& cardRoot, int family) {
    if (family != 0) return false;
    std::error_code ec;
    for (const char* name : kBeepFiles)
        if (!fs::exists(cardRoot / name, ec)) return true;
    return false;
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

CardWatch::CardWatch(RecorderState& state, const LoadGate& gate, CardWatchConfig config)
    : state_(state), gate_(gate), config_(std::move(config)) {}

fs::path CardWatch::BackupPath() const {
    return config_.backupPath ? config_.backupPath() : fs::path();
}

void CardWatch::LoadBackupIndexInto(CardWatchActions& actions) {
    if (state_.devType.load() == 1) actions.disablePhoneBook = true;
    const LoadBackupIndexResult r = LoadBackupIndex(state_, BackupPath(), gate_);
    if (r.startLoader) {
        actions.startLoader = true;
        actions.loadSource = LoadSource::Store;
    }
}

CardWatchActions CardWatch::StartupTick() {
    CardWatchActions a;
    a.next = WatchNext::Watch;
    if (state_.rebuildRunning.load() == 0) state_.volumes.Refresh();
    // A card in the reader is what the user waits for; the backup records are
    // read when the card goes away or the backup is asked for.
    if (!gate_.LoadRunning() && FindCard()) {
        ScanForCard(a);
        if (state_.cardDrive.load() != 0) return a;
    }
    LoadBackupIndexInto(a);
    return a;
}

CardWatchActions CardWatch::CardWatchTick() {
    CardWatchActions a;
    if (gate_.LoadRunning()) return a;
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
    if (gate_.LoadRunning()) return a;
    a.clearPanes = true;
    LoadBackupIndexInto(a);
    a.next = WatchNext::Watch;
    return a;
}

CardWatchActions CardWatch::ManualRescan() {
    CardWatchActions a;
    if (gate_.LoadRunning()) {
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
        if (gate_.LoadRunning()) continue;
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
    const int devType = HasPhoneBook(card->root) ? 1 : 0;
    state_.devType = devType;
    actions.cardFamily = devType;
    // A family-0 card's missing prompt files are the load's to report.
    if (devType == 1) actions.loadPhoneBook = card->root / kPhoneBookFileName;
    actions.settingsNotSaved = !SetDevType(devType);
    actions.startLoader = true;
    actions.loadSource = LoadSource::Card;
}

}  // namespace lk
