#pragma once
// Which pages of the view list a record, decided from what the record is
// (its type, whether it is marked); the only place that knows. The fill of
// the panes walks a record list through it.

#include <array>
#include <cstddef>
#include <functional>
#include <optional>

#include "app/ProgressReporter.h"
#include "card/RecordLists.h"
#include "support/ViewPage.h"

namespace lk::gui {

// Captions of the read-progress window.
inline constexpr int kCaptionCardRecords = 157;
inline constexpr int kCaptionBackupRecords = 158;

// Above this many records the panes are filled by a worker.
inline constexpr std::size_t kPopulateOnWorkerAbove = 1000;

// The pages of one record, in order of adding.
struct PaneRouting {
    std::array<int, 6> categories{};
    std::size_t count = 0;
    const int* begin() const { return categories.data(); }
    const int* end() const { return categories.data() + count; }
};

// nullopt when the record is missing or not live (its copied in-use byte is
// not 1); else its pages: the marked page first when marked, then those of
// its type (none for an unknown type).
std::optional<PaneRouting> DistributeRecord(const CallRecord* record);

// The pages whose rows of a record follow its mark: the all, marked and
// search pages and those of its type.
PaneRouting PagesFollowingMark(const CallRecord& record);

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

}  // namespace lk::gui
