#pragma once
// Finding records by time range, part of the number and record type, and the
// walk that lists the matches from the end of a record list to its start.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "app/ProgressReporter.h"
#include "card/CallRecord.h"

namespace lk {

// The five type boxes of the search, in the order of their controls:
// incoming (2), outgoing (4), missed (3), notes (5, 6, 7), message (8).
enum SearchTypeBox : int { BoxIncoming = 0, BoxOutgoing, BoxMissed, BoxNotes, BoxMessage };
inline constexpr std::size_t kSearchTypeBoxCount = 5;
using SearchTypeBoxes = std::array<bool, kSearchTypeBoxCount>;

struct SearchConditions {
    bool dateCond = false;
    SystemTime start;  // both ends included
    SystemTime end;
    bool numberCond = false;
    std::u16string number;  // contiguous, case-sensitive part of the number
    bool typeCond = false;
    SearchTypeBoxes boxes{};
};

// The conditions as the search applies them: the number condition is off with
// an empty text, the type condition off when no box is ticked.
SearchConditions EffectiveConditions(SearchConditions c);
bool AnyCondition(const SearchConditions& effective);

// Seconds since 1899-12-30 00:00:00 (the automation-date origin); nullopt for
// a time that is not a valid date, which then never falls in a range.
std::optional<std::int64_t> AutomationSeconds(const SystemTime& t);
// The same instant as an automation date (days, time as fraction).
std::optional<double> AutomationDate(const SystemTime& t);

// Whether one record matches effective conditions; records whose in-use byte
// is 0 never match.
bool RecordMatches(const CallRecord& record, const SearchConditions& effective);

struct SearchResult {
    bool searched = false;  // false when no condition was on (nothing touched)
    int walked = 0;
    bool stopped = false;
    std::vector<const CallRecord*> matches;  // in walk order, last record first
};

using SearchMatchCallback = std::function<void(const CallRecord&)>;

// The search worker's engine: walks `records` from the last to the first and
// hands each match to `onMatch` at once (the results pane's AddRecord). Polls
// `stop` before each record; results found before a stop are kept.
SearchResult SearchThread(const std::vector<std::unique_ptr<CallRecord>>& records,
                          const SearchConditions& conditions, const SearchMatchCallback& onMatch,
                          ProgressReporter& progress, std::stop_token stop);

// "DateCond", "NumCond" and "SearchedNum" of the settings; false when the
// settings file could not be written.
[[nodiscard]] bool WriteSearchSettings(const SearchConditions& effective);
struct SearchSettings {
    bool dateCond = false;
    bool numberCond = false;
    std::u16string number;
};
SearchSettings ReadSearchSettings();

}  // namespace lk
