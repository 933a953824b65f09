#pragma once
// How a long-running engine tells whoever watches it how far it is: a
// terminal bar, a dialog, or nobody. Engines take one of these and a
// std::stop_token; they never learn what shows the progress.
//
// Calls come from the engine's own thread; an implementation that shows
// them elsewhere hands them over itself.

#include <stop_token>
#include <string>

namespace lk {

class ProgressReporter {
  public:
    virtual ~ProgressReporter() = default;

    // A run of `total` steps begins (0: the count is not known).
    virtual void Begin(int total) = 0;
    // `done` of `total` steps are behind; `message` is the line of detail
    // beneath the bar (UTF-8, may be empty).
    virtual void Step(int done, int total, const std::string& message) = 0;
    // The run is over; whatever shows it may go.
    virtual void End() = 0;
    // Whether the one watching asked for a stop (a Cancel button). Engines
    // ask through ShouldStop, together with their stop token.
    virtual bool Cancelled() const { return false; }
};

// Reports to nobody: tests and callers that do not show progress.
class NoProgress final : public ProgressReporter {
  public:
    void Begin(int) override {}
    void Step(int, int, const std::string&) override {}
    void End() override {}
};

// The one stop question an engine asks between steps.
inline bool ShouldStop(const std::stop_token& stop, const ProgressReporter& progress) {
    return stop.stop_requested() || progress.Cancelled();
}

}  // namespace lk
