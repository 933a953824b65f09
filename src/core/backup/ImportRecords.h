#pragma once
// Import of recordings lying in any folder: each record is built from the
// recording's file name alone (no call log needed) and points at the file
// where it was found. Nothing is copied or written.

#include <filesystem>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "app/ProgressReporter.h"
#include "card/CallRecord.h"
#include "card/OutlookContact.h"

namespace lk {

// Builds the record of one recording path; nullptr when the file name does not
// follow the recording name convention or the path cannot be kept whole.
std::unique_ptr<CallRecord> BuildImportRecord(const std::filesystem::path& path,
                                              const ContactList& contacts);

// Builds the record and appends it to `folderRecords`; false when rejected.
bool ImportRecordFile(const std::filesystem::path& path,
                      std::vector<std::unique_ptr<CallRecord>>& folderRecords,
                      const ContactList& contacts);

enum class ImportOutcome {
    Imported,
    Rejected,  // a candidate whose name breaks the convention
};

struct ImportItem {
    std::filesystem::path path;
    ImportOutcome outcome = ImportOutcome::Rejected;
};

struct ImportResult {
    bool folderFound = false;
    int filesListed = 0;  // every file below the folder
    int candidates = 0;   // files whose path holds ".wav" or ".xtr"
    int imported = 0;
    int rejected = 0;
    bool stopped = false;
    std::vector<ImportItem> items;  // one per candidate, in listing order
};

// The import worker's engine: lists every file below `folder` at any depth and
// imports each one whose path holds ".wav" or ".xtr" (exact case), appending to
// `folderRecords` (records imported earlier stay). Polls `stop` per file.
ImportResult ImportFolder(const std::filesystem::path& folder,
                          std::vector<std::unique_ptr<CallRecord>>& folderRecords,
                          const ContactList& contacts, ProgressReporter& progress,
                          std::stop_token stop);

// Whether a path names a recording candidate (".wav" or ".xtr" anywhere).
bool IsRecordingCandidate(std::u16string_view path);

}  // namespace lk
