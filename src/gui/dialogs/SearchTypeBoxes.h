#pragma once
// The type boxes of the search window: which are enabled and ticked for the
// page the window was opened from.

#include "card/RecordSearch.h"

namespace lk::gui {

// The message box is never enabled.
struct TypeBoxState {
    SearchTypeBoxes enabled{};
    SearchTypeBoxes ticked{};
};
TypeBoxState InitialTypeBoxes(int page);
// After a click on the type-condition box; boxes the rule leaves alone keep
// their ticks from `current`.
TypeBoxState TypeBoxesAfterGroupClick(int page, bool groupTicked, const TypeBoxState& current);

}  // namespace lk::gui
