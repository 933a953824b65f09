#pragma once
// The pages of the main view. The loader, the search and the windows all
// speak of pages by these numbers; a list pane's category equals its page.

namespace lk {

enum ViewPage : int {
    PageWeb = 0,
    PageAll = 1,
    PageOutgoing = 2,
    PageIncoming = 3,
    PageNotes = 4,
    PageTriggered = 5,
    PageMessages = 6,
    PageMarked = 7,
    PageMissed = 8,
    PageSearch = 9,
    PageFolder = 10,
    PageDevice = 11,
};

// The pages that are record lists.
inline constexpr int kFirstListPage = PageAll;
inline constexpr int kLastListPage = PageFolder;

[[nodiscard]] constexpr bool IsListPage(int page) {
    return page >= kFirstListPage && page <= kLastListPage;
}

}  // namespace lk
