#include <iostream>
#include <iterator>
#include <memory>

#include "CliNotes.h"
#include "Command.h"

namespace lk::cli {

namespace {

struct NoteOptions {
    RecordSource source;
    std::string file;
    std::optional<std::string> set;
    bool clear = false;
};

int RunNote(const NoteOptions& o) {
    auto loaded = LoadCardOrStore(o.source);
    if (!loaded) return kExitFailure;
    const CallRecord* record = FindRecordByFileName(loaded->Records(), o.file);
    if (record == nullptr) {
        PrintError("no record has the recording " + o.file);
        return kExitFailure;
    }
    CallNotes notes = NotesFor(o.source, loaded->devType);
    if (o.set || o.clear) {
        std::string text;
        if (o.set && *o.set == "-")
            text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        else if (o.set)
            text = *o.set;
        const NotesWrite written = notes.SetNote(*record, text);
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
    if (annotation.note) {
        std::cout << *annotation.note;
        if (!annotation.note->empty() && annotation.note->back() != '\n') std::cout << '\n';
    }
    return kExitOk;
}

}  // namespace

void AddNoteCommand(CLI::App& app, CommandContext& ctx) {
    auto opts = std::make_shared<NoteOptions>();
    auto* cmd = app.add_subcommand("note", "Print, set or clear the note on a call");
    auto* card = cmd->add_option("--card", opts->source.card, "Folder of a recorder's card");
    auto* store =
        cmd->add_option("--store", opts->source.store, "Backup folder (holds the store folders)");
    auto* family =
        cmd->add_option("--family", opts->source.family, "Device family of the store (0 or 1)")
            ->check(CLI::IsMember({0, 1}));
    cmd->add_option("--file", opts->file, "The recording's file name, without folders")->required();
    auto* set = cmd->add_option("--set", opts->set, "The new note; - reads it from standard input");
    auto* clear = cmd->add_flag("--clear", opts->clear, "Remove the note");
    card->excludes(store);
    store->needs(family);
    family->needs(store);
    set->excludes(clear);
    cmd->callback([opts, &ctx] {
        if (opts->source.card.empty() && opts->source.store.empty())
            throw CLI::ValidationError("note", "give --card DIR or --store DIR --family N");
        ctx.exitCode = RunNote(*opts);
    });
}

}  // namespace lk::cli
