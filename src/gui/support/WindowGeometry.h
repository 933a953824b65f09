#pragma once
// Where the first window goes: the rectangle the user left it in when that
// still lies on the available screen area, otherwise the preferred size,
// shrunk to the area, in the middle of it.

#include <QRect>
#include <QSize>

namespace lk::gui {

struct SavedWindow {
    QRect geometry;  // invalid: none saved
    bool maximized = false;
};

QRect FitWindowGeometry(const QRect& saved, const QRect& available, const QSize& preferred);
// The smallest window at which the toolbar, the list and the player stay
// usable, but never more than the screen offers.
QSize MinimumWindowSize(const QRect& available);

// The settings keys of the window and its splitters.
SavedWindow ReadSavedWindow();
[[nodiscard]] bool WriteSavedWindow(const SavedWindow& w);

}  // namespace lk::gui
