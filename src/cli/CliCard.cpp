#include "CliCard.h"
#include "TerminalProgress.h"

#include <iostream>
#include <system_error>

#include "app/Settings.h"
#include "card/RecordLoader.h"
#include "phonebook/ContactLibrary.h"
#include "platform/RegularFile.h"

namespace lk::cli {
namespace fs = std::filesystem;

std::optional<CliCard> OpenCardFolder(const fs::path& dir, std::string& error) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        error = "not a folder: " + dir.string();
        return std::nullopt;
    }
    const auto root = fs::absolute(dir, ec).lexically_normal();
    CliCard card;
    card.state = std::make_unique<RecorderState>(MakeSystemVolumeProbe({root}));
    card.volume.root = root;
    card.volume.letter = card.state->volumes.LetterOf(root);
    card.volume.codePage = CardCodePage();  // read once, where the command starts
    if (card.volume.letter == 0) {
        error = "no drive letter is free for " + root.string();
        return std::nullopt;
    }
    card.devType = fs::exists(root / kPhoneBookFileName, ec) ? 1 : 0;
    card.state->devType = card.devType;
    card.state->cardDrive = card.volume.letter;
    card.state->cardLogPath = root / kCallLogFileName;
    return card;
}

std::optional<CliCard> OpenCardWithLog(const fs::path& dir) {
    std::string error;
    auto card = OpenCardFolder(dir, error);
    if (card && !RegularFileStream(card->state->cardLogPath))
        error = "cannot read " + card->state->cardLogPath.string();
    if (!error.empty()) {
        PrintError(error);
        return std::nullopt;
    }
    return card;
}

std::optional<CardVolume> CardVolumeForDir(const fs::path& dir) {
    std::string error;
    const auto card = OpenCardFolder(dir, error);
    if (!card) {
        PrintError(error);
        return std::nullopt;
    }
    return card->volume;
}

void PrintError(const std::string& message) {
    std::cerr << "linekeeper-cli: " << message << '\n';
}

std::unique_ptr<RecorderState> MakeCliState() {
    return std::make_unique<RecorderState>(MakeSystemVolumeProbe());
}

std::optional<LoadedRecords> LoadCardOrStore(const RecordSource& source) {
    LoadedRecords out;
    RecordLoaderOptions options;
    options.mainFrameExists = false;
    options.codePage = CardCodePage();
    if (!source.card.empty()) {
        auto opened = OpenCardWithLog(source.card);
        if (!opened) return std::nullopt;
        out.state = std::move(opened->state);
        out.devType = opened->devType;
        // Card records only: backup records keep the names they were stored with.
        if (!source.contacts.empty()) {
            const auto read = LoadContactsFrom(source.contacts, out.state->contacts);
            if (!read.Ok()) {
                PrintError(read.message);
                return std::nullopt;
            }
        }
        out.state->loadFromCard = 1;
        out.state->viewingBackup = 0;
        if (!StartRecordLoader(*out.state)) return std::nullopt;
        TerminalProgress bar("reading");
        RecordLoaderThread(*out.state, options, bar, {});
        bar.End();
        // An empty card log leaves the loader on the backup side; use the card.
        out.state->viewingBackup = 0;
        return out;
    }
    std::error_code ec;
    if (!fs::is_directory(source.store, ec)) {
        PrintError("not a folder: " + source.store);
        return std::nullopt;
    }
    out.state = MakeCliState();
    out.devType = source.family;
    out.state->devType = source.family;
    const auto found = LoadBackupIndex(*out.state, source.store);
    out.storeIndexFound = found.found;
    if (found.startLoader) {
        options.backupPath = source.store;
        TerminalProgress bar("reading");
        RecordLoaderThread(*out.state, options, bar, {});
        bar.End();
    }
    out.state->viewingBackup = 1;
    return out;
}

}  // namespace lk::cli
