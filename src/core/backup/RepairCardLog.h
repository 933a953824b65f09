#pragma once
// Puts recordings that lie on a card but are missing from its call log back
// into the log: a copy of the log is saved first, then every unknown recording
// file found on the card gets a record appended. Existing records never move.

#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "app/ProgressReporter.h"
#include "card/CallLog.h"
#include "platform/VolumeTable.h"

namespace lk {

inline constexpr char kCallLogBackupFileName[] = "CallLog_BK.dat";

enum class RepairOutcome {
    Known,     // the log already names it
    Added,     // a record was appended
    Rejected,  // the name is not a recording name, or the log could not be written
    Unsafe,    // the name could not stay a plain card file name (skipped)
};

struct RepairItem {
    std::u16string cardPath;  // drive form, "E:\201601\x.wav"
    RepairOutcome outcome = RepairOutcome::Rejected;
};

struct RepairResult {
    bool cardFound = false;
    int devType = 0;
    bool backupWritten = false;
    int logRecords = 0;      // whole records in the log
    int knownPaths = 0;      // live records naming a path under the card root
    int unsafeLogPaths = 0;  // live records naming "..", an absolute path or a drive
                             // (a record without a recording names none: not counted)
    int filesListed = 0;
    int candidates = 0;  // files whose path holds ".wav" or ".xtr"
    int added = 0;
    int failed = 0;  // candidates neither known nor added
    // Of those: recordings the log could not take (a read-only card, a log
    // that is a link), and files whose names are no recording's.
    int writeFailures = 0;
    int rejectedNames = 0;
    // Why the log or its copy could not be written; empty when nothing failed.
    std::string failureReason;
    bool stopped = false;
    std::vector<RepairItem> items;  // one per candidate, in listing order
};

// The drives the repair window offers: every removable drive from C: on, as
// "E:\", in drive-letter order.
std::vector<std::string> RepairDriveList(const VolumeTable& volumes);

// The card's family: 1 when PhoneBook.dat is in its root, else 0.
int CardFamilyOf(const std::filesystem::path& cardRoot);

// The repair worker's engine on the card `card`. Progress: one step per file
// listed, with the text "<string 222>  <added>".
// Paths are compared as the card's file system compares names: without
// regard to letter case on FAT and exFAT, so that a recording the log names
// as "X.WAV" is not added again for "x.wav". `ignoresCase` unset: found from
// the card's mount.
RepairResult RepairCardLog(const CardVolume& card, ProgressReporter& progress, std::stop_token stop,
                           std::optional<bool> ignoresCase = std::nullopt);

// The paths the live records of a call log name, in drive form with '\' (as the
// repair compares them). Records whose path would leave the card are left out
// and counted in `unsafe`.
std::vector<std::u16string> KnownCardPaths(const CardVolume& card, int devType, int* logRecords,
                                           int* unsafe);

}  // namespace lk
