#pragma once
// The backup engine: copies (or moves) the recordings of call records from the
// card into the backup store and appends each record to the store's month
// index file. Runs synchronously on whatever worker the caller provides.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/ProgressReporter.h"
#include "backup/FileOps.h"
#include "card/BackupStore.h"
#include "card/RecorderState.h"

namespace lk {

// A copy is written beside its final name as "<name>.lkpart-<host>-<pid>-<random>",
// a name no other run can take, and renamed once durable. Only its own run
// removes it, or a later run on the same host once that run's process is gone
// and the file is older than kStalePartialSeconds.
inline constexpr char kPartialSuffix[] = ".lkpart";
inline constexpr int kStalePartialSeconds = 600;
// True for a name written as above (also the plain "<name>.lkpart" of older
// versions).
bool IsPartialName(const std::string& fileName);
// The quick check's facts of one month, beside its index file:
// "CallLog/YYYYMM" + kCardFilesSuffix.
inline constexpr char kCardFilesSuffix[] = "CardFiles.txt";

struct BackupOptions {
    // Root under which the store folder of `devType` is made ("BackupPath").
    std::filesystem::path backupPath;
    int devType = 0;
    bool move = false;         // move the recordings and clear the card
    FileOps* files = nullptr;  // null: the real file system
    // Native root of the card in use (state.cardDrive). Empty: looked up in
    // state.volumes once at the start; the GUI passes it so that the worker
    // never reads the volume table while a timer refreshes it.
    std::filesystem::path cardRoot;
    // Whether the card's file system takes "A.WAV" and "a.wav" for one name;
    // unset: found from the card's mount (FAT and exFAT do).
    std::optional<bool> cardIgnoresCase;
};

enum class BackupOutcome {
    Copied,       // recording copied into the store and indexed
    Moved,        // recording moved into the store and indexed
    Marker,       // no recording: ".tmp" marker made and indexed
    AlreadyHeld,  // in the store already; nothing copied (move mode: card file deleted)
    Failed,       // copy, move, marker or source failed; retried by the next run
    Refused,      // unsafe path (outside the card or the store) or no timestamp
};

struct BackupItem {
    std::size_t position = 0;  // 0-based position in the walk
    BackupOutcome outcome = BackupOutcome::Failed;
    std::filesystem::path destination;  // empty when refused before one was known
    bool indexed = false;               // the store's index names the destination
    bool sourceDeleted = false;         // move mode: the card file is gone
    int error = 0;                      // errno behind a failure (0: none known)
    bool errorOnCard = false;           // the error came from the card, not the store
    std::string reason;                 // why it failed, where an errno does not say it
};

struct BackupResult {
    bool started = false;     // false: empty backup path, nothing was done
    bool reachedEnd = false;  // walked every record (not stopped)
    // Each record walked is counted once, in one of these three.
    int backedUp = 0;  // copied, moved or marked, and indexed
    int skipped = 0;   // already held (byte for byte)
    int failed = 0;    // failed or refused
    int indexWriteFailures = 0;
    int reIndexed = 0;  // already held copies whose missing index entry was added
    // Move mode: recordings safe in the store that could not be deleted from
    // the card, and why (e.g. "the card is read-only").
    int cardNotCleared = 0;
    std::string cardClearReason;
    // Why the first failed record failed ("no space left on the store's
    // device"); empty when none failed or no reason is known.
    std::string failureReason;
    bool cardLogDeleted = false;
    std::vector<BackupItem> items;
};

// A failure's errno as a short reason, said of the card or of the store.
std::string BackupErrorText(int error, bool onCard);

// A stored name that does not hold the bytes of the recording being backed up
// is never replaced: the recording takes the first free variant of its name,
// "_2", "_3", ... put before the extension (the number keeps its place after
// the last '-', so the name still reads as timestamp, type and number).
// `variant` 1 is the name itself.
std::string StoreNameVariant(const std::string& fileName, int variant);

// The marker rule: a record gets an empty "<name>.tmp" marker in the store only
// when its log entry names no recording, or names one that is absent from a
// card that can be read (the recording's folder lists). A recording that
// cannot be read fails its record instead. When a later run finds the
// recording, the marker's index entry is deleted in place (as a user's delete
// does) and the recording's entry appended, so that the call is listed once.
//
// Walks state.records.Card(). In move mode the card's call log (state.cardLogPath)
// is deleted only after a run that reached the last record with every
// recording moved or already held. `stop` is polled once per record, as is
// state.quitting. Progress: range = number of records; each step carries the
// destination (UTF-8).
BackupResult BackupAllThread(RecorderState& state, const BackupOptions& options,
                             ProgressReporter& progress, std::stop_token stop);

// Walks the selected records, top to bottom; never deletes the call log.
BackupResult BackupSelectedThread(RecorderState& state, std::span<CallRecord* const> selected,
                                  const BackupOptions& options, ProgressReporter& progress,
                                  std::stop_token stop);

// Gives a record without a recording path one built from its time, type and
// number (cardPath cut to 63 characters, filePath whole).
void BuildRecordingPath(CallRecord& record);

}  // namespace lk
