#pragma once
// A progress reporter that keeps what an engine told it, and can ask for a
// stop after a given step, as a user pressing Cancel mid-run would.

#include <stop_token>
#include <string>
#include <vector>

#include "app/ProgressReporter.h"

namespace lk::test {

class RecordedProgress final : public ProgressReporter {
  public:
    void Begin(int total) override {
        ++begins;
        totals.push_back(total);
    }
    void Step(int done, int total, const std::string& message) override {
        positions.push_back(done);
        totals.push_back(total);
        messages.push_back(message);
        if (stopAfter > 0 && static_cast<int>(positions.size()) == stopAfter) source.request_stop();
    }
    void End() override { ++ends; }
    bool Cancelled() const override { return cancelled; }

    std::stop_token Token() const { return source.get_token(); }

    int begins = 0;
    int ends = 0;
    std::vector<int> totals;  // of Begin and of each Step, in order
    std::vector<int> positions;
    std::vector<std::string> messages;
    int stopAfter = 0;       // steps after which a stop is asked for (0: never)
    bool cancelled = false;  // what Cancelled answers
    std::stop_source source;
};

}  // namespace lk::test
