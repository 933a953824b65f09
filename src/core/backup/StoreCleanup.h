#pragma once
// Taking calls out of a backup store: by age (retention) or by number (an
// erasure request). Both list first; applying moves each recording into the
// desktop's trash and then clears its index entry in place, under the
// month's lock, and logs each call to the audit trail. Killed half way, a
// call is either still listed with its recording in place, or its recording
// is in the trash and the next run clears the entry that names nothing.

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "app/ProgressReporter.h"
#include "card/CallRecord.h"

namespace lk {

struct RetentionRule {
    int keepDays = 0;        // calls older than this many days go
    std::vector<int> types;  // only these record types; empty: every type
    // Calendar months instead of days, when above zero: a call goes once it
    // is older than the same day and time that many months back; where that
    // month is shorter, its last day stands in (31 March less one month is
    // 28 or 29 February).
    int keepMonths = 0;
    // Calls this says are tagged are kept; empty while calls have no tags.
    std::function<bool(const CallRecord&)> isTagged = nullptr;
};

// The rule in words, the same from every caller ("keep 3 months, types
// incoming,missed"): listings are found again in the audit trail by it.
std::string RetentionRuleText(const RetentionRule& rule);

// The local time `months` calendar months before `now`, the day held to the
// end of a shorter month.
SystemTime MonthsBefore(const SystemTime& now, int months);

// True when the rule lets the record go at `now` (local wall-clock time, as
// the recorder stamps its calls): older than the kept days or months, of a
// listed type, neither marked (a marked call is one the user wants kept)
// nor tagged.
bool RetentionSelects(const CallRecord& record, const RetentionRule& rule, const SystemTime& now);
bool RetentionSelects(const CallRecord& record, const RetentionRule& rule, std::time_t now);

// True when the record's number is `number`, compared on the digits alone
// when `number` has any ("+1 555-1234" is "15551234"), else as text.
bool NumberMatches(const CallRecord& record, std::string_view number);

struct CleanupOptions {
    std::filesystem::path backupPath;
    int devType = 0;
    bool apply = false;  // false: only list
    std::function<bool(const CallRecord&)> select;
    std::string action;  // audit action of each call taken out ("retention", "erased")
    // Audit detail (the rule, the number). Applying is refused unless a
    // listing with the same action, family and detail is in the audit trail.
    std::string detail;
};

// True when a listing with the options' action, family and detail is in the
// audit trail: the user has seen what they take.
bool CleanupListed(const CleanupOptions& options);

struct CleanupItem {
    int yyyymm = 0;
    std::uint64_t entry = 0;
    std::string file;  // relative to the store folder
    CallRecord record;
    bool trashed = false;  // the recording is in the trash now
    bool cleared = false;  // the entry is deleted in place
    std::string reason;    // why it was not taken out
};

struct CleanupResult {
    bool storeFound = false;
    bool stopped = false;
    std::vector<CleanupItem> items;  // listed (and, applied, what became of each)
    int taken = 0;                   // applied: entries cleared
    int failed = 0;
    std::string error;  // the store or the trash could not be used: nothing done
};

// One progress step per month, named by it; `stop` is polled per month.
CleanupResult CleanStore(const CleanupOptions& options, ProgressReporter& progress,
                         std::stop_token stop);

// The same for the calls of a card's log that `options.select` picks
// (records read from the card, with their origin): their recordings go to
// the trash of the card's volume and their log entries are cleared in
// place. The audit trail is the store's (options.backupPath); applying needs
// the listing of the same action and detail there too. `storeFound` stays
// false.
CleanupResult CleanCard(std::span<const CallRecord* const> records, const CleanupOptions& options);

}  // namespace lk
