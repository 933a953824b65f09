#pragma once
// The record-list panes by category (1-10), so that a pane can keep the mark
// flag in line across its siblings and the fill can reach them all. The
// application owns one; the view registers its panes in it.

#include <array>
#include <cstddef>
#include <unordered_set>

#include "records/CRecordListPane.h"
#include "support/ViewPage.h"

namespace lk::gui {

class PaneRegistry {
  public:
    static constexpr int kCategories = kLastListPage;

    CRecordListPane* Pane(int category) const {
        return Valid(category) ? panes_[static_cast<std::size_t>(category)] : nullptr;
    }
    void SetPane(int category, CRecordListPane* pane) {
        if (Valid(category)) panes_[static_cast<std::size_t>(category)] = pane;
    }
    bool Empty() const {
        for (int c = kFirstListPage; c <= kCategories; ++c)
            if (Pane(c)) return false;
        return true;
    }
    void ClearPanes(int firstCategory, int lastCategory) {
        for (int c = firstCategory; c <= lastCategory; ++c)
            if (CRecordListPane* p = Pane(c)) p->DeleteAllRows();
    }
    // Every pane drops its rows of these records (before they are freed).
    void DropRowsOf(const std::unordered_set<const CallRecord*>& records) {
        for (int c = kFirstListPage; c <= kCategories; ++c)
            if (CRecordListPane* p = Pane(c)) p->List()->DeleteRowsOf(records);
    }

  private:
    static bool Valid(int category) { return IsListPage(category); }
    std::array<CRecordListPane*, kCategories + 1> panes_{};
};

}  // namespace lk::gui
