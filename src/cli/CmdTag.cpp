#include <iostream>
#include <memory>

#include "CliNotes.h"
#include "Command.h"

namespace lk::cli {

namespace {

struct TagOptions {
    NamedCall call;
    std::vector<std::string> add;
    std::vector<std::string> remove;
};

int RunTag(const TagOptions& o) {
    auto loaded = LoadCardOrStore(o.call.source);
    if (!loaded) return kExitFailure;
    const CallRecord* record = FindRecordByFileName(loaded->Records(), o.call.file);
    if (record == nullptr) {
        PrintError("no record has the recording " + o.call.file);
        return kExitFailure;
    }
    CallNotes notes = NotesFor(o.call.source, loaded->devType);
    for (const auto& tag : o.add) {
        if (!Took(notes.AddTag(*record, tag))) return kExitFailure;
    }
    for (const auto& tag : o.remove) {
        if (!Took(notes.RemoveTag(*record, tag))) return kExitFailure;
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
    AddNamedCallOptions(cmd, opts->call);
    cmd->add_option("--add", opts->add, "A tag to add (may be given again)");
    cmd->add_option("--remove", opts->remove, "A tag to remove (may be given again)");
    cmd->callback([opts, &ctx] {
        RequireCardOrStore(opts->call, "tag");
        ctx.exitCode = RunTag(*opts);
    });
}

}  // namespace lk::cli
