#pragma once
// The record loader: reads the card's call log or the backup store's month
// index files into the shared lists, decides which list the panes show, and
// says in which panes each record goes.

#include <array>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "app/ProgressReporter.h"
#include "card/RecorderState.h"
#include "card/ViewPage.h"

namespace lk {

// Captions of the read-progress dialog.
inline constexpr int kCaptionCardRecords = 157;
inline constexpr int kCaptionBackupRecords = 158;

// Above this many records the panes are filled by a worker.
inline constexpr std::size_t kPopulateOnWorkerAbove = 1000;

// The panes of one record, in order of adding.
struct PaneRouting {
    std::array<int, 4> categories{};
    std::size_t count = 0;
    const int* begin() const { return categories.data(); }
    const int* end() const { return categories.data() + count; }
};

// nullopt when the record is missing or not live (its copied in-use byte is
// not 1); else its panes: 7 first when marked, then those of its type (none
// for an unknown type).
std::optional<PaneRouting> DistributeRecord(const CallRecord* record);

// Fills the panes from `list`, last record first (the newest on top), with
// progress "%d/%d". `add(category, record)` adds one row. Stops when a stop
// is asked for (End is then not called); `yieldEach` yields the processor
// before each record (worker fill).
struct PopulateResult {
    int total = 0;    // records that went to a pane
    int handled = 0;  // records walked
    bool stopped = false;
};
PopulateResult PopulatePanes(const RecordList& list,
                             const std::function<void(int category, CallRecord& record)>& add,
                             ProgressReporter& progress, std::stop_token stop,
                             bool yieldEach = false);

struct LoadBackupIndexResult {
    bool found = false;        // at least one month index file
    bool startLoader = false;  // loaderBusy claimed: run RecordLoaderThread
};

// Empties the backup list and backupMonths, lists the month index files of
// state.devType under `backupPath` and, unless a load runs, claims the loader.
LoadBackupIndexResult LoadBackupIndex(RecorderState& state,
                                      const std::filesystem::path& backupPath);

// Claims loaderBusy (false when a load already runs). The caller then runs
// RecordLoaderThread, or sets loaderBusy back to 0 if it cannot.
bool StartRecordLoader(RecorderState& state);

struct RecordLoaderOptions {
    std::filesystem::path backupPath;
    // Offered after a card load with records when "AutoBackup" is 1: shows the
    // backup dialog, waits for it to close, and says whether a backup was
    // started in it. Empty: no main frame, no automatic backup.
    std::function<bool()> runAutoBackup;
    int autoBackupSettleMs = 500;  // pause after the dialog closed
    bool mainFrameExists = true;
    // The card's text code page (the "CodePage" setting, read by the caller);
    // empty: kDefaultCardCodePage.
    std::string codePage;
};

struct RecordLoaderResult {
    int exitCode = 1;  // 0 when stopped by quitting
    bool fromCard = false;
    int filesRead = 0;
    int recordsKept = 0;
    int recordsDropped = 0;
    int pathsReRooted = 0;  // backup records found again under the current store root
    bool rebuildQueued = false;
    bool startRebuildWorker = false;  // QueueLogRebuild asked for LogRebuildThread
    bool refreshDiskSpace = false;
    // ShowPage(1) then PopulatePanes; loaderBusy stays set until the fill
    // ends. When false, loaderBusy has been cleared already.
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
