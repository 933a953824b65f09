#include "records/RecordPages.h"

#include <cstdio>
#include <string>
#include <thread>

namespace lk::gui {

namespace {

void AddPane(PaneRouting& r, int category) {
    r.categories[r.count++] = category;
}

// The pages of a record's type, in order of adding.
void AddTypePages(PaneRouting& r, int type, bool withAll) {
    switch (type) {
        case Incoming:
            if (withAll) AddPane(r, PageAll);
            AddPane(r, PageIncoming);
            break;
        case Missed:
            if (withAll) AddPane(r, PageAll);
            AddPane(r, PageIncoming);
            AddPane(r, PageMissed);
            break;
        case Outgoing:
            AddPane(r, PageOutgoing);
            if (withAll) AddPane(r, PageAll);
            break;
        case Note:
        case Note2:
            if (withAll) AddPane(r, PageAll);
            AddPane(r, PageNotes);
            break;
        case Triggered:
            if (withAll) AddPane(r, PageAll);
            AddPane(r, PageTriggered);
            break;
        case Message:
            if (withAll) AddPane(r, PageAll);
            AddPane(r, PageMessages);
            break;
        default:
            break;
    }
}

std::string CountText(int done, int total) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d/%d", done, total);
    return buf;
}

}  // namespace

std::optional<PaneRouting> DistributeRecord(const CallRecord* record) {
    if (record == nullptr || !record->IsLive()) return std::nullopt;
    PaneRouting r;
    if (record->marked == 1) AddPane(r, PageMarked);
    AddTypePages(r, record->type, true);
    return r;
}

PaneRouting PagesFollowingMark(const CallRecord& record) {
    PaneRouting r;
    AddPane(r, PageAll);
    AddPane(r, PageMarked);
    AddPane(r, PageSearch);
    AddTypePages(r, record.type, false);
    return r;
}

PopulateResult PopulatePanes(const RecordList& list,
                             const std::function<void(int category, CallRecord& record)>& add,
                             ProgressReporter& progress, std::stop_token stop, bool yieldEach) {
    PopulateResult result;
    const int size = static_cast<int>(list.size());
    result.total = size;
    progress.Begin(size);
    // Last first: the lists are in file order, so the newest rows come first.
    for (int i = size - 1; i >= 0; --i) {
        if (yieldEach) std::this_thread::yield();
        if (ShouldStop(stop, progress)) {
            result.stopped = true;
            return result;
        }
        CallRecord* record = list[static_cast<std::size_t>(i)].get();
        const auto routing = DistributeRecord(record);
        if (!routing) {
            --result.total;
        } else if (add) {
            for (int category : *routing)
                add(category, *record);
        }
        ++result.handled;
        progress.Step(result.handled, size, CountText(result.handled, result.total));
    }
    progress.End();
    return result;
}

}  // namespace lk::gui
