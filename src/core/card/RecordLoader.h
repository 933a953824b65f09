#pragma once
// The record loader: reads the card's call log or the backup store's month
// index files into the shared lists and decides which list is shown. Run
// through the record session, which holds the claim on the lists meanwhile.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "app/ProgressReporter.h"
#include "card/LoadGate.h"
#include "card/RecorderState.h"

namespace lk {

// What a load reads: the card's call log or the store's month index files.
enum class LoadSource { Card, Store };

struct LoadBackupIndexResult {
    bool found = false;        // at least one month index file
    bool startLoader = false;  // no load runs: ask the session for a store load
};

// The card watch's steps before it asks for a store load: empties the backup
// list and backupMonths, lists the month index files of state.devType under
// `backupPath` and, unless `gate` says a load runs, asks for the load.
LoadBackupIndexResult LoadBackupIndex(RecorderState& state, const std::filesystem::path& backupPath,
                                      const LoadGate& gate);

struct RecordLoaderOptions {
    std::filesystem::path backupPath;
    // The card's text code page (the "CodePage" setting, read by the caller);
    // empty: kDefaultCardCodePage.
    std::string codePage;
};

struct RecordLoaderResult {
    int exitCode = 1;  // 0 when stopped (quitting or a stop asked for)
    bool fromCard = false;
    int filesRead = 0;
    int recordsKept = 0;
    int recordsDropped = 0;
    int pathsReRooted = 0;  // backup records found again under the current store root
    bool rebuildQueued = false;
    bool startRebuildWorker = false;  // QueueLogRebuild asked for LogRebuildThread
    // Card records were read and "AutoBackup" is 1: a backup is to be offered.
    bool offerAutoBackup = false;
    // The shown list is new (or shown anew): its views are to be filled.
    bool populate = false;
};

// The worker: reads the card log (state.loadFromCard = 1) or the month index
// files in state.backupMonths order. Polls state.quitting and `stop`; one
// progress step per record of a file, with its path and "%d/%d".
RecordLoaderResult RecordLoaderThread(RecorderState& state, const RecordLoaderOptions& options,
                                      ProgressReporter& progress, std::stop_token stop);
// Without progress and stopped by quitting only.
RecordLoaderResult RecordLoaderThread(RecorderState& state, const RecordLoaderOptions& options);

// A backup record's playable file after the store moved: when `filePath` does
// not exist, the month folder, day folder and file name at its end are looked
// up under `storeRoot`; true (and filePath changed) when found there. A path
// that already names that place in the store is kept without a look at the
// disk; `absoluteStoreRoot` (the store root made absolute, computed here when
// empty) lets a caller do that work once for many records.
bool ReRootBackupRecord(CallRecord& record, const std::filesystem::path& storeRoot,
                        const std::filesystem::path& absoluteStoreRoot = {});

}  // namespace lk
