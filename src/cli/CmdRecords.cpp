#include <iostream>
#include <memory>
#include <string>

#include "CliCard.h"
#include "Command.h"
#include "RecordFormat.h"

namespace lk::cli {

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
        WriteRecordsJson(std::cout, records, devType);
    else
        PrintRecordTable(std::cout, records, devType);
}

int ListRecords(const RecordsOptions& o) {
    const auto loaded = LoadCardOrStore({o.card, o.store, o.family, o.contacts});
    if (!loaded) return kExitFailure;
    Print(loaded->Records(), loaded->devType, o.json);
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
        ctx.exitCode = ListRecords(*opts);
    });
}

}  // namespace lk::cli
