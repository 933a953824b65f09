#include <fstream>
#include <iostream>
#include <system_error>

#include "CliCard.h"
#include "Command.h"
#include "RecordFormat.h"
#include "card/BackupStore.h"
#include "card/RecordLoader.h"
#include "phonebook/ContactLibrary.h"

namespace lk::cli {
namespace fs = std::filesystem;

namespace {

struct RecordsOptions {
    std::string card;
    std::string store;
    int family = -1;
    std::string contacts;
    bool json = false;
};

void Print(const RecordList& records, int devType, bool json) {
    if (json)
        std::cout << RecordsToJson(records, devType).dump(2) << '\n';
    else
        PrintRecordTable(std::cout, records, devType);
}

int ListCard(const RecordsOptions& o) {
    auto card = OpenCardWithLog(o.card);
    if (!card) return kExitFailure;
    auto& state = *card->state;
    // Names come from the address book as the match-contacts command fills
    // them: card records only (backup records keep the names they were stored with).
    if (!o.contacts.empty()) {
        // A file or a folder of vCards; one that cannot be read is an error.
        if (const auto read = LoadContactsFrom(o.contacts, state.contacts); !read.Ok()) {
            PrintError(read.message);
            return kExitFailure;
        }
    }
    state.loadFromCard = 1;
    if (!StartRecordLoader(state)) return kExitFailure;
    RecordLoaderOptions options;
    options.mainFrameExists = false;
    RecordLoaderThread(state, options);
    Print(state.records.Card(), card->devType, o.json);
    return kExitOk;
}

int ListStore(const RecordsOptions& o) {
    std::error_code ec;
    if (!fs::is_directory(o.store, ec)) {
        PrintError("not a folder: " + o.store);
        return kExitFailure;
    }
    auto state = MakeCliState();
    state->devType = o.family;
    const auto found = LoadBackupIndex(*state, fs::path(o.store));
    if (found.startLoader) {
        RecordLoaderOptions options;
        options.backupPath = o.store;
        options.mainFrameExists = false;
        RecordLoaderThread(*state, options);
    }
    Print(state->records.Backup(), o.family, o.json);
    return kExitOk;
}

}  // namespace

void AddRecordsCommand(CLI::App& app, CommandContext& ctx) {
    auto opts = std::make_shared<RecordsOptions>();
    auto* cmd = app.add_subcommand("records", "List the calls of a card or of a PC backup store");
    auto* card = cmd->add_option("--card", opts->card, "Folder of a recorder's card");
    auto* store =
        cmd->add_option("--store", opts->store, "Backup folder (holds the store folders)");
    auto* family = cmd->add_option("--family", opts->family, "Device family of the store (0 or 1)")
                       ->check(CLI::IsMember({0, 1}));
    cmd->add_option("--contacts", opts->contacts,
                    "vCard file or folder whose names fill the card records' empty names");
    cmd->add_flag("--json", opts->json, "Print a JSON array");
    card->excludes(store);
    store->needs(family);
    family->needs(store);
    cmd->callback([opts, &ctx] {
        if (opts->card.empty() && opts->store.empty())
            throw CLI::ValidationError("records", "give --card DIR or --store DIR --family N");
        ctx.exitCode = opts->card.empty() ? ListStore(*opts) : ListCard(*opts);
    });
}

}  // namespace lk::cli
