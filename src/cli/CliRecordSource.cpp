#include "CliRecordSource.h"

#include <filesystem>
#include <system_error>

#include "CliCard.h"
#include "card/RecordLoader.h"

namespace lk::cli {

std::optional<LoadedRecords> LoadListedRecords(const std::string& card, const std::string& store,
                                               int family) {
    LoadedRecords out;
    if (!card.empty()) {
        auto opened = OpenCardWithLog(card);
        if (!opened) return std::nullopt;
        out.state = std::move(opened->state);
        out.devType = opened->devType;
        out.state->loadFromCard = 1;
        out.state->viewingBackup = 0;
        if (!StartRecordLoader(*out.state)) return std::nullopt;
        RecordLoaderOptions options;
        options.mainFrameExists = false;
        RecordLoaderThread(*out.state, options);
        // An empty card log leaves the loader on the backup side; use the card.
        out.state->viewingBackup = 0;
        return out;
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(store, ec)) {
        PrintError("not a folder: " + store);
        return std::nullopt;
    }
    out.state = MakeCliState();
    out.devType = family;
    out.state->devType = family;
    const auto found = LoadBackupIndex(*out.state, store);
    if (found.startLoader) {
        RecordLoaderOptions options;
        options.backupPath = store;
        options.mainFrameExists = false;
        RecordLoaderThread(*out.state, options);
    }
    out.state->viewingBackup = 1;
    return out;
}

}  // namespace lk::cli
