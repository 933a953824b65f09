#include "dialogs/SearchTypeBoxes.h"

#include <initializer_list>

#include "support/ViewPage.h"

namespace lk::gui {

namespace {

void SetBoxes(SearchTypeBoxes& boxes, std::initializer_list<SearchTypeBox> which, bool value) {
    for (auto b : which)
        boxes[static_cast<std::size_t>(b)] = value;
}

}  // namespace

TypeBoxState InitialTypeBoxes(int page) {
    TypeBoxState s;
    switch (page) {
        case PageOutgoing:
            SetBoxes(s.enabled, {BoxOutgoing}, true);
            SetBoxes(s.ticked, {BoxOutgoing}, true);
            break;
        case PageIncoming:
            SetBoxes(s.enabled, {BoxIncoming, BoxMissed}, true);
            SetBoxes(s.ticked, {BoxIncoming, BoxMissed}, true);
            break;
        case PageNotes:
            SetBoxes(s.enabled, {BoxNotes}, true);
            SetBoxes(s.ticked, {BoxNotes}, true);
            break;
        case PageMessages:
            SetBoxes(s.ticked, {BoxMessage}, true);
            break;
        default:
            SetBoxes(s.enabled, {BoxIncoming, BoxOutgoing, BoxMissed, BoxNotes}, true);
            SetBoxes(s.ticked, {BoxIncoming, BoxOutgoing, BoxMissed, BoxNotes}, true);
            break;
    }
    return s;
}

TypeBoxState TypeBoxesAfterGroupClick(int page, bool groupTicked, const TypeBoxState& current) {
    TypeBoxState s;
    s.ticked = current.ticked;
    if (!groupTicked) return s;  // all disabled, ticks kept
    // The same boxes as on opening are enabled and ticked; the others keep their ticks.
    const TypeBoxState opening = InitialTypeBoxes(page);
    s.enabled = opening.enabled;
    for (std::size_t i = 0; i < s.ticked.size(); ++i)
        s.ticked[i] = s.ticked[i] || opening.ticked[i];
    // Missed stays ticked but, unlike on opening, is not enabled.
    if (page == PageIncoming) s.enabled[static_cast<std::size_t>(BoxMissed)] = false;
    return s;
}

}  // namespace lk::gui
