#include <iostream>
#include <memory>
#include <string>

#include "CliCard.h"
#include "CliNotes.h"
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

int ListRecords(const RecordsOptions& o) {
    const RecordSource source{o.card, o.store, o.family, o.contacts};
    const auto loaded = LoadCardOrStore(source);
    if (!loaded) return kExitFailure;
    if (!o.json) {
        PrintRecordTable(std::cout, loaded->Records(), loaded->devType);
        return kExitOk;
    }
    // Notes are looked up record by record as the list streams out; a
    // database that cannot be used is said once and the list still comes.
    CallNotes notes = NotesFor(source, loaded->devType);
    bool reported = false;
    WriteRecordsJson(std::cout, loaded->Records(), loaded->devType,
                     [&](const CallRecord& r, nlohmann::json& json) {
                         const CallAnnotation a = notes.Of(r);
                         json["note"] = a.note ? nlohmann::json(*a.note) : nlohmann::json();
                         json["tags"] = a.tags;
                         if (!reported && !notes.Usable()) {
                             ReportNotesProblem(notes);
                             reported = true;
                         }
                     });
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
