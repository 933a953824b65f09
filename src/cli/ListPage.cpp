#include "ListPage.h"

namespace lk::cli {

bool ListedOnPage(const CallRecord& r, int page) {
    if (!r.IsLive()) return false;
    const bool known = r.type >= Incoming && r.type <= Message;
    switch (page) {
        case kAllRecordsPage:
            return known;
        case 2:
            return r.type == Outgoing;
        case 3:
            return r.type == Incoming || r.type == Missed;
        case 4:
            return r.type == Note || r.type == Note2;
        case 5:
            return r.type == Triggered;
        case 6:
            return r.type == Message;
        case 7:
            return r.marked == 1;
        case 8:
            return r.type == Missed;
        default:
            return false;
    }
}

std::vector<const CallRecord*> RowsOfPage(const RecordList& records, int page) {
    if (page < 1 || page > 10) page = kAllRecordsPage;
    std::vector<const CallRecord*> rows;
    // The list is in file order; the window shows the newest first.
    for (auto it = records.rbegin(); it != records.rend(); ++it)
        if (*it && ListedOnPage(**it, page)) rows.push_back(it->get());
    return rows;
}

}  // namespace lk::cli
