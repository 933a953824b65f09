#pragma once
// How a long-running engine reports to whatever shows its progress (a dialog's
// caption, bar and text line, or nothing at all). Every member may be empty.

#include <functional>
#include <string>

namespace lk {

struct ProgressSink {
    // Caption (a language string number, 0 for none) and the bar's range
    // 0..range; the dialog is shown with its bar at 0.
    std::function<void(int captionString, int range)> begin;
    // Bar position and the text line (UTF-8).
    std::function<void(int position, int range, const std::string& text)> step;
    // The dialog is hidden.
    std::function<void()> end;

    void Begin(int captionString, int range) const {
        if (begin) begin(captionString, range);
    }
    void Step(int position, int range, const std::string& text) const {
        if (step) step(position, range, text);
    }
    void End() const {
        if (end) end();
    }
};

}  // namespace lk
