#pragma once
// The command line's progress: one line on stderr, redrawn in place, while
// stderr is a terminal; nothing at all when it is a pipe or a file, so that
// what scripts read stays as it was.

#include <chrono>
#include <string>

#include "app/ProgressReporter.h"

namespace lk::cli {

class TerminalProgress final : public ProgressReporter {
  public:
    // `label` leads the line ("backup"); `fd` is where it is drawn.
    explicit TerminalProgress(std::string label, int fd = 2);
    ~TerminalProgress() override;
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    void Begin(int total) override;
    void Step(int done, int total, const std::string& message) override;
    // Leaves the last state on its own line; more calls do nothing. Callers
    // end the bar before they print their results.
    void End() override;

    bool Drawing() const { return drawing_; }

  private:
    void Draw(bool force);

    std::string label_;
    int fd_;
    bool drawing_;
    bool open_ = false;  // a line is drawn and not yet ended
    int done_ = 0;
    int total_ = 0;
    int lastPercent_ = -1;
    std::string message_;
    std::chrono::steady_clock::time_point lastDraw_{};
};

// The bar's line for a terminal `width` columns wide (no control codes):
// "label [#####     ]  50% 5/10 message", the message cut to fit.
std::string ProgressLine(const std::string& label, int done, int total, const std::string& message,
                         int width);

}  // namespace lk::cli
