#pragma once
// The notes database that goes with a command's records: the store's own for
// --store, the chosen backup store's ("BackupPath") for --card so that a
// card's notes meet the store's after a backup, else the user's.

#include <string>

#include <CLI/CLI.hpp>

#include "CliCard.h"
#include "notes/CallNotes.h"

namespace lk::cli {

CallNotes NotesFor(const RecordSource& source, int devType);

// Prints the database's problem, if any, once per command.
void ReportNotesProblem(const CallNotes& notes);
// False, with the reason printed, when `written` did not take.
bool Took(const NotesWrite& written);

// The record whose recording has the file name `name` (folders ignored), or
// nullptr.
const CallRecord* FindRecordByFileName(const RecordList& records, const std::string& name);

// The call `note` and `tag` act on: a card's or a store's, named by its
// recording's file name.
struct NamedCall {
    RecordSource source;
    std::string file;
};

// Adds --card, --store, --family and --file for `call` to `cmd`.
void AddNamedCallOptions(CLI::App* cmd, NamedCall& call);
// Throws CLI's validation error when neither a card nor a store was given.
void RequireCardOrStore(const NamedCall& call, const std::string& command);

}  // namespace lk::cli
