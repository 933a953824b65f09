#include <iostream>
#include <memory>

#include "CliNotes.h"
#include "Command.h"

namespace lk::cli {

namespace {

struct TagOptions {
    RecordSource source;
    std::string file;
    std::vector<std::string> add;
    std::vector<std::string> remove;
};

int RunTag(const TagOptions& o) {
    auto loaded = LoadCardOrStore(o.source);
    if (!loaded) return kExitFailure;
    const CallRecord* record = FindRecordByFileName(loaded->Records(), o.file);
    if (record == nullptr) {
        PrintError("no record has the recording " + o.file);
        return kExitFailure;
    }
    CallNotes notes = NotesFor(o.source, loaded->devType);
    for (const auto& tag : o.add) {
        const NotesWrite written = notes.AddTag(*record, tag);
        if (!written.ok) {
            PrintError(written.message);
            return kExitFailure;
        }
    }
    for (const auto& tag : o.remove) {
        const NotesWrite written = notes.RemoveTag(*record, tag);
        if (!written.ok) {
            PrintError(written.message);
            return kExitFailure;
        }
    }
    const CallAnnotation annotation = notes.Of(*record);
    if (!notes.Usable()) {
        ReportNotesProblem(notes);
        return kExitFailure;
    }
    for (const auto& tag : annotation.tags)
        std::cout << tag << '\n';
    return kExitOk;
}

}  // namespace

void AddTagCommand(CLI::App& app, CommandContext& ctx) {
    auto opts = std::make_shared<TagOptions>();
    auto* cmd = app.add_subcommand("tag", "Print, add or remove the tags of a call");
    auto* card = cmd->add_option("--card", opts->source.card, "Folder of a recorder's card");
    auto* store =
        cmd->add_option("--store", opts->source.store, "Backup folder (holds the store folders)");
    auto* family =
        cmd->add_option("--family", opts->source.family, "Device family of the store (0 or 1)")
            ->check(CLI::IsMember({0, 1}));
    cmd->add_option("--file", opts->file, "The recording's file name, without folders")->required();
    cmd->add_option("--add", opts->add, "A tag to add (may be given again)");
    cmd->add_option("--remove", opts->remove, "A tag to remove (may be given again)");
    card->excludes(store);
    store->needs(family);
    family->needs(store);
    cmd->callback([opts, &ctx] {
        if (opts->source.card.empty() && opts->source.store.empty())
            throw CLI::ValidationError("tag", "give --card DIR or --store DIR --family N");
        ctx.exitCode = RunTag(*opts);
    });
}

}  // namespace lk::cli
