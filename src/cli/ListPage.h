#pragma once

#include <vector>

#include "card/RecordLists.h"

namespace lk::cli {

// The window's list pages as --page numbers them. 0 (its start page) and 11
// (its device page) hold no list: they stand for the list of all records.
inline constexpr int kAllRecordsPage = 1;

// Whether the window lists `r` on list page `page`. Pages 9 (search results)
// and 10 (an imported folder) list nothing a load reads.
bool ListedOnPage(const CallRecord& r, int page);

// The rows of a page, newest first as the window lists them; a page number
// outside 1..10 gives the list of all records.
std::vector<const CallRecord*> RowsOfPage(const RecordList& records, int page);

}  // namespace lk::cli
