#include "card/RecordSearch.h"

#include "app/Settings.h"
#include "platform/TextCodec.h"

namespace lk {
namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool IsLeap(unsigned y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned DaysInMonth(unsigned y, unsigned m) {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

constexpr std::int64_t kSecondsPerDay = 86400;
// 1899-12-30 counted from 1970-01-01.
const std::int64_t kAutomationEpochDays = DaysFromCivil(1899, 12, 30);

bool TypeInBoxes(int type, const SearchTypeBoxes& b) {
    return (b[BoxIncoming] && type == Incoming) || (b[BoxOutgoing] && type == Outgoing) ||
           (b[BoxMissed] && type == Missed) ||
           (b[BoxNotes] && (type == Note || type == Note2 || type == Triggered)) ||
           (b[BoxMessage] && type == Message);
}

}  // namespace

SearchConditions EffectiveConditions(SearchConditions c) {
    if (c.number.empty()) c.numberCond = false;
    bool anyBox = false;
    for (bool b : c.boxes)
        anyBox = anyBox || b;
    if (!anyBox) c.typeCond = false;
    return c;
}

bool AnyCondition(const SearchConditions& c) {
    return c.dateCond || c.numberCond || c.typeCond;
}

std::optional<std::int64_t> AutomationSeconds(const SystemTime& t) {
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > DaysInMonth(t.year, t.month) ||
        t.hour > 23 || t.minute > 59 || t.second > 59)
        return std::nullopt;
    const std::int64_t days = DaysFromCivil(t.year, t.month, t.day) - kAutomationEpochDays;
    return days * kSecondsPerDay + t.hour * 3600 + t.minute * 60 + t.second;
}

std::optional<double> AutomationDate(const SystemTime& t) {
    const auto s = AutomationSeconds(t);
    if (!s) return std::nullopt;
    return static_cast<double>(*s) / static_cast<double>(kSecondsPerDay);
}

namespace {

// Conditions with the range ends converted once for a whole walk.
struct PreparedConditions {
    const SearchConditions& c;
    std::optional<std::int64_t> from;
    std::optional<std::int64_t> to;
};

PreparedConditions Prepare(const SearchConditions& c) {
    PreparedConditions p{c, std::nullopt, std::nullopt};
    if (c.dateCond) {
        p.from = AutomationSeconds(c.start);
        p.to = AutomationSeconds(c.end);
    }
    return p;
}

bool Matches(const CallRecord& record, const PreparedConditions& p) {
    const SearchConditions& c = p.c;
    if (record.cardBytes[CallRecord::kCardInUseByte] == 0) return false;
    if (c.dateCond) {
        // Whole seconds compare exactly, where automation dates (doubles) could
        // put a record of the range's own second just outside it.
        const auto at = AutomationSeconds(record.time);
        if (!at || !p.from || !p.to || *at < *p.from || *at > *p.to) return false;
    }
    if (c.numberCond) {
        if (record.number.Text().find(c.number) == std::u16string_view::npos) return false;
    }
    if (c.typeCond && !TypeInBoxes(record.type, c.boxes)) return false;
    return true;
}

}  // namespace

bool RecordMatches(const CallRecord& record, const SearchConditions& c) {
    return Matches(record, Prepare(c));
}

SearchResult SearchThread(const std::vector<std::unique_ptr<CallRecord>>& records,
                          const SearchConditions& conditions, const SearchMatchCallback& onMatch,
                          ProgressReporter& progress, std::stop_token stop) {
    SearchResult result;
    const SearchConditions c = EffectiveConditions(conditions);
    if (!AnyCondition(c)) return result;
    result.searched = true;
    const PreparedConditions prepared = Prepare(c);
    const int count = static_cast<int>(records.size());
    progress.Begin(count);
    for (int step = 1; step <= count; ++step) {
        if (ShouldStop(stop, progress)) {
            result.stopped = true;
            break;
        }
        progress.Step(step, count, {});
        ++result.walked;
        const CallRecord* record = records[static_cast<std::size_t>(count - step)].get();
        if (record == nullptr || !Matches(*record, prepared)) continue;
        result.matches.push_back(record);
        if (onMatch) onMatch(*record);
    }
    // A stopped search leaves its window alone: the window is going away.
    if (!result.stopped) progress.End();
    return result;
}

bool WriteSearchSettings(const SearchConditions& effective) {
    // Each key is tried even after a failure, so that as much as can be is kept.
    const bool date = SetSearchDateCond(effective.dateCond);
    const bool number = SetSearchNumberCond(effective.numberCond);
    const bool text = SetSearchedNumber(ToUtf8(effective.number));
    return date && number && text;
}

SearchSettings ReadSearchSettings() {
    SearchSettings s;
    s.dateCond = SearchDateCond();
    s.numberCond = SearchNumberCond();
    s.number = FromUtf8(SearchedNumber());
    return s;
}

}  // namespace lk
