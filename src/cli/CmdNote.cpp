#include <iostream>
#include <iterator>
#include <memory>

#include "CliNotes.h"
#include "Command.h"

namespace lk::cli {

namespace {

struct NoteOptions {
    NamedCall call;
    std::optional<std::string> set;
    bool clear = false;
};

int RunNote(const NoteOptions& o) {
    auto loaded = LoadCardOrStore(o.call.source);
    if (!loaded) return kExitFailure;
    const CallRecord* record = FindRecordByFileName(loaded->Records(), o.call.file);
    if (record == nullptr) {
        PrintError("no record has the recording " + o.call.file);
        return kExitFailure;
    }
    CallNotes notes = NotesFor(o.call.source, loaded->devType);
    if (o.set || o.clear) {
        std::string text;
        if (o.set && *o.set == "-")
            text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        else if (o.set)
            text = *o.set;
        if (!Took(notes.SetNote(*record, text))) return kExitFailure;
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
    AddNamedCallOptions(cmd, opts->call);
    auto* set = cmd->add_option("--set", opts->set, "The new note; - reads it from standard input");
    auto* clear = cmd->add_flag("--clear", opts->clear, "Remove the note");
    set->excludes(clear);
    cmd->callback([opts, &ctx] {
        RequireCardOrStore(opts->call, "note");
        ctx.exitCode = RunNote(*opts);
    });
}

}  // namespace lk::cli
