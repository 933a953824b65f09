#include "CliCard.h"
#include "TerminalProgress.h"

#include <iostream>
#include <system_error>

#include "app/Settings.h"
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
    card.session = std::make_unique<RecordSession>(MakeSystemVolumeProbe({root}));
    const RecorderState& state = card.session->State();
    card.volume.root = root;
    card.volume.letter = state.volumes.LetterOf(root);
    card.volume.codePage = CardCodePage();  // read once, where the command starts
    if (card.volume.letter == 0) {
        error = "no drive letter is free for " + root.string();
        return std::nullopt;
    }
    card.devType = fs::exists(root / kPhoneBookFileName, ec) ? 1 : 0;
    card.session->UseCard(card.volume.letter, root / kCallLogFileName, card.devType);
    return card;
}

std::optional<CliCard> OpenCardWithLog(const fs::path& dir) {
    std::string error;
    auto card = OpenCardFolder(dir, error);
    if (card && !RegularFileStream(card->session->State().cardLogPath))
        error = "cannot read " + card->session->State().cardLogPath.string();
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

std::unique_ptr<RecordSession> MakeCliSession() {
    return std::make_unique<RecordSession>(MakeSystemVolumeProbe());
}

std::optional<LoadedRecords> LoadCardOrStore(const RecordSource& source) {
    LoadedRecords out;
    LoadRequest request;
    request.codePage = CardCodePage();
    if (!source.card.empty()) {
        auto opened = OpenCardWithLog(source.card);
        if (!opened) return std::nullopt;
        out.session = std::move(opened->session);
        out.devType = opened->devType;
        // Card records only: backup records keep the names they were stored with.
        if (!source.contacts.empty()) {
            const auto read = out.session->LoadContacts(source.contacts);
            if (!read.Ok()) {
                PrintError(read.message);
                return std::nullopt;
            }
        }
        request.source = LoadSource::Card;
        // An empty card log shows the store in the window; here it is the card's list.
        out.list = RecordListId::Card;
    } else {
        std::error_code ec;
        if (!fs::is_directory(source.store, ec)) {
            PrintError("not a folder: " + source.store);
            return std::nullopt;
        }
        out.session = MakeCliSession();
        out.devType = source.family;
        out.session->SetFamily(source.family);
        request.source = LoadSource::Store;
        request.backupPath = source.store;
        out.list = RecordListId::Backup;
    }
    TerminalProgress bar("reading");
    const LoadOutcome loaded = out.session->Load(request, bar, {});
    bar.End();
    if (loaded.refused) return std::nullopt;
    out.storeIndexFound = loaded.storeIndexFound;
    return out;
}

}  // namespace lk::cli
