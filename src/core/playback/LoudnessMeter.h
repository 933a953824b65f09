#pragma once
// The integrated loudness (EBU R128, LUFS) of a recording, measured from the
// seconds its load decodes anyway. Seconds may come from several threads
// and in any order. A long recording is measured on seconds spread evenly
// over it, so that the measurement costs the same as for a one-minute call.

#include <ebur128.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

namespace lk {

class LoudnessMeter {
  public:
    // Seconds measured at most; longer recordings skip evenly.
    static constexpr int kMeasuredSeconds = 60;

    explicit LoudnessMeter(int totalSeconds);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // Second `index` of the recording (8000 samples or fewer for the last).
    void AddSecond(int index, std::span<const std::int16_t> samples);
    // nullopt for silence or when nothing was measured.
    std::optional<double> Lufs() const;

  private:
    mutable std::mutex mutex_;
    struct Destroy {
        void operator()(ebur128_state* s) const { ebur128_destroy(&s); }
    };
    std::unique_ptr<ebur128_state, Destroy> state_;
    int stride_ = 1;
    bool any_ = false;
};

}  // namespace lk
