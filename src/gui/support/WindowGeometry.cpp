#include "support/WindowGeometry.h"

#include <algorithm>

#include "app/Settings.h"

namespace lk::gui {
namespace {
constexpr QSize kMinimum(600, 380);
}

QRect FitWindowGeometry(const QRect& saved, const QRect& available, const QSize& preferred) {
    if (available.isEmpty()) return saved.isValid() ? saved : QRect(QPoint(0, 0), preferred);
    if (saved.isValid() && available.contains(saved) &&
        saved.width() >= MinimumWindowSize(available).width() &&
        saved.height() >= MinimumWindowSize(available).height())
        return saved;
    const QSize size = preferred.boundedTo(available.size());
    QRect r(QPoint(0, 0), size);
    r.moveCenter(available.center());
    // An odd leftover pixel must not push the window past the area's edge.
    r.moveLeft(std::max(r.left(), available.left()));
    r.moveTop(std::max(r.top(), available.top()));
    return r;
}

QSize MinimumWindowSize(const QRect& available) {
    return available.isEmpty() ? kMinimum : kMinimum.boundedTo(available.size());
}

SavedWindow ReadSavedWindow() {
    SavedWindow w;
    const std::optional<int> x = WindowLeft();
    const int y = WindowTop(), cx = WindowWidth(), cy = WindowHeight();
    // A missing size reads as -1; sizes are never negative, positions may be.
    if (cx > 0 && cy > 0 && x) w.geometry = {*x, y, cx, cy};
    w.maximized = WindowMaximized();
    return w;
}

bool WriteSavedWindow(const SavedWindow& w) {
    if (!w.geometry.isValid()) return true;
    bool saved = SetWindowLeft(w.geometry.x());
    saved = SetWindowTop(w.geometry.y()) && saved;
    saved = SetWindowWidth(w.geometry.width()) && saved;
    saved = SetWindowHeight(w.geometry.height()) && saved;
    saved = SetWindowMaximized(w.maximized) && saved;
    return saved;
}

}  // namespace lk::gui
