#pragma once
// The notes database that goes with a command's records: the store's own for
// --store, the chosen backup store's ("BackupPath") for --card so that a
// card's notes meet the store's after a backup, else the user's.

#include <string>

#include "CliCard.h"
#include "notes/CallNotes.h"

namespace lk::cli {

CallNotes NotesFor(const RecordSource& source, int devType);

// Prints the database's problem, if any, once per command.
void ReportNotesProblem(const CallNotes& notes);

// The record whose recording has the file name `name` (folders ignored), or
// nullptr.
const CallRecord* FindRecordByFileName(const RecordList& records, const std::string& name);

}  // namespace lk::cli
