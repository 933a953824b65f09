#include "playback/LoudnessMeter.h"

#include <cmath>

namespace lk {

LoudnessMeter::LoudnessMeter(int totalSeconds)
    : state_(ebur128_init(1, 8000, EBUR128_MODE_I)),
      stride_(totalSeconds > kMeasuredSeconds
                  ? (totalSeconds + kMeasuredSeconds - 1) / kMeasuredSeconds
                  : 1) {}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::AddSecond(int index, std::span<const std::int16_t> samples) {
    if (!state_ || samples.empty() || index % stride_ != 0) return;
    std::lock_guard lock(mutex_);
    if (ebur128_add_frames_short(state_.get(), samples.data(), samples.size()) == EBUR128_SUCCESS)
        any_ = true;
}

std::optional<double> LoudnessMeter::Lufs() const {
    std::lock_guard lock(mutex_);
    double lufs = 0;
    if (!state_ || !any_ || ebur128_loudness_global(state_.get(), &lufs) != EBUR128_SUCCESS ||
        !std::isfinite(lufs))
        return std::nullopt;
    return lufs;
}

}  // namespace lk
