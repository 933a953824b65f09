#pragma once
// Checks a backup store against its index files and checksums, and repairs
// what can be repaired without deleting or overwriting a recording:
//  - every live index entry names a regular file of its month's folders,
//    reached without a link, whose checksum matches where one is recorded
//    (XXH128, or SHA-256 in stores of earlier versions);
//  - index files are whole 1076-byte records;
//  - no recording of the month's folders is left without an entry (an
//    orphan, from a cut-off backup or two PCs writing at once);
//  - no recording is named by two live entries;
//  - no marker entry lives on beside its recording's entry.
// Each month is read under its index lock, so that a backup running on
// another PC is seen either before or after its batch.

#include <cstdint>
#include <filesystem>
#include <stop_token>
#include <string>
#include <vector>

#include "app/ProgressReporter.h"
#include "backup/FileOps.h"

namespace lk {

enum class StoreProblemKind {
    MissingFile,            // an entry names a file that is not there
    NotRegularFile,         // an entry names a link, a folder, a device
    UnsafePath,             // an entry names something outside its month's folders
    Unreadable,             // the file could not be read
    ChecksumMismatch,       // the bytes are not those that were copied
    PartialRecord,          // the index file ends in part of a record
    Orphan,                 // a recording no entry names
    DuplicateEntry,         // a second live entry naming the same file
    MarkerBesideRecording,  // a marker's entry lives on beside the recording's
    ChecksumFileDamaged,    // not a regular file, or two digests for one copy
};

const char* StoreProblemText(StoreProblemKind kind);

struct StoreProblem {
    StoreProblemKind kind = StoreProblemKind::MissingFile;
    int yyyymm = 0;
    std::string file;         // relative to the store folder ("CallLog/..." for index files)
    std::int64_t entry = -1;  // position in the month index, where one is concerned
    std::string detail;
    bool repaired = false;
};

struct VerifyOptions {
    std::filesystem::path backupPath;
    int devType = 0;
    bool repair = false;
    FileOps* files = nullptr;  // null: the real file system
};

struct VerifyResult {
    bool storeFound = false;
    bool stopped = false;
    int months = 0;
    int liveEntries = 0;
    int filesChecked = 0;  // recordings read in full
    int checksumsMatched = 0;
    int withoutChecksum = 0;    // recordings no checksum line covers (older backups)
    int checksumsWritten = 0;   // repair: lines added for those
    int adopted = 0;            // repair: orphans given an entry
    int duplicatesDropped = 0;  // repair: entries deleted in place
    // Checksum lines skipped: cut off by a crash, or naming no copy of their month.
    int damagedChecksumLines = 0;
    std::uint64_t bytesRead = 0;
    std::vector<StoreProblem> problems;
    std::string error;  // why the store could not be checked at all

    // Nothing left wrong: every problem found was repaired.
    bool Clean() const;
};

// Synchronous; one progress step per month, named by it; `stop` is polled
// per file. With options.repair the repairs
// are written in the month's lock and synced before it is let go, and each
// one is logged to the audit trail.
VerifyResult VerifyStore(const VerifyOptions& options, ProgressReporter& progress,
                         std::stop_token stop);

}  // namespace lk
