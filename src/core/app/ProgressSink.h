#pragma once
// How a long-running engine reports to whatever shows its progress (a dialog's
// caption, bar and text line, or nothing at all). Every member may be empty.

#include <functional>
#include <string>

namespace lk {

struct ProgressSink {
    // What is being done (a language string number, 0 when the one showing
    // the progress knows) and the bar's range 0..range; shown with its bar at 0.
    std::function<void(int what, int range)> begin;
    // Bar position and the text line (UTF-8).
    std::function<void(int position, int range, const std::string& text)> step;
    // The dialog is hidden.
    std::function<void()> end;

    void Begin(int what, int range) const {
        if (begin) begin(what, range);
    }
    void Step(int position, int range, const std::string& text) const {
        if (step) step(position, range, text);
    }
    void End() const {
        if (end) end();
    }
};

}  // namespace lk
