#pragma once
// The pages of the main view. The panes, the tree and the search window
// speak of pages by these numbers; a list pane's category equals its page.
// Which pages a record goes to is decided in records/RecordPages.

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

// The language string naming a page (0: the start page, named after the device).
[[nodiscard]] constexpr int PageCaption(int page) {
    constexpr int kCaptions[] = {0, 2, 3, 4, 5, 163, 25, 105, 106, 156, 215, 6};
    return page >= PageWeb && page <= PageDevice ? kCaptions[page] : 0;
}

}  // namespace lk
