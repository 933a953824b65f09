#pragma once
// Rebuilds an empty card log from the recording files on the card. The record
// loader queues the card; one worker drains the queue.

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "card/RecorderState.h"

namespace lk {

// Adds `drive` to the rebuild queue unless it is queued already. True when the
// caller must start LogRebuildThread on a worker (none runs yet; rebuildRunning
// is set from here on, so a second caller never starts another).
bool QueueLogRebuild(RecorderState& state, char drive);

// YYYYMM numbers of the month folders of the card (RECORD/ for family 1), in
// the file system's order; also stored in state.cardMonthFolders.
std::vector<int> ListCardMonthFolders(RecorderState& state, char drive, int devType);

struct LogRebuildResult {
    int drives = 0;  // drives taken from the queue
    int added = 0;   // records appended to card logs
    int failed = 0;  // recordings whose record the log could not take
    // Why (the first failure): "the card is read-only", a log that is a link.
    std::string failureReason;
};

// The worker: drains the queue, appending one card record per recording file.
// `driveStatus(letter, active)` shows/clears the frame's rebuild status. Ends
// with rebuildRunning = 0; polls state.quitting. `codePage`: the card's text
// code page (the "CodePage" setting, read by the caller); empty: the default.
LogRebuildResult LogRebuildThread(
    RecorderState& state, const std::string& codePage = {},
    const std::function<void(char drive, bool active)>& driveStatus = {});

}  // namespace lk
