#include "playback/PlaybackGain.h"

#include <algorithm>
#include <cmath>

namespace lk {

namespace {
// A release of about 100 ms at 8000 Hz: quick enough not to duck the words
// after a loud click, slow enough not to distort low voices.
const double kRelease = 1.0 - std::exp(-1.0 / 800.0);
}  // namespace

double PlaybackGain::LevelDb(std::optional<double> lufs, std::optional<int> target) {
    if (!lufs || !target || !std::isfinite(*lufs) || *lufs < -70.0) return 0.0;
    return std::min(kMaxLiftDb, *target - *lufs);
}

void PlaybackGain::SetLevelDb(double db) {
    levelDb_ = std::isfinite(db) ? std::min(db, kMaxLiftDb) : 0.0;
    Update();
}

void PlaybackGain::GlideToLevelDb(double db) {
    const double before = glideLeft_ > 0 ? Factor(glideLeft_) : factor_;
    SetLevelDb(db);
    glideFrom_ = before;
    glideLeft_ = kGlideSamples;
}

double PlaybackGain::Factor(int left) const {
    return factor_ + (glideFrom_ - factor_) * left / kGlideSamples;
}

void PlaybackGain::SetVolume(int percent) {
    volume_ = std::clamp(percent, 0, 100);
    Update();
}

void PlaybackGain::Update() {
    factor_ = std::pow(10.0, levelDb_ / 20.0) * volume_ / 100.0;
}

std::vector<std::int16_t> PlaybackGain::Apply(std::span<const float> in) {
    std::vector<std::int16_t> out(in.size());
    if (glideLeft_ > 0) return ApplyGliding(in);
    if (factor_ <= 1.0) {
        // Nothing is made louder than recorded: nothing can clip, and at
        // full volume the samples stay exactly as decoded.
        for (std::size_t i = 0; i < in.size(); ++i)
            out[i] = static_cast<std::int16_t>(
                std::lround(std::clamp(in[i] * factor_, -32768.0, 32767.0)));
        return out;
    }
    for (std::size_t i = 0; i < in.size(); ++i) {
        const double x = in[i] * factor_;
        const double peak = std::abs(x);
        // Instant attack: a peak is never let through above the ceiling.
        reduction_ += (1.0 - reduction_) * kRelease;
        if (peak * reduction_ > kCeiling) reduction_ = kCeiling / peak;
        const double y = std::clamp(x * reduction_, -kCeiling, kCeiling);
        out[i] = static_cast<std::int16_t>(std::lround(y));
    }
    return out;
}

std::vector<std::int16_t> PlaybackGain::ApplyGliding(std::span<const float> in) {
    std::vector<std::int16_t> out(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        const double factor = glideLeft_ > 0 ? Factor(glideLeft_--) : factor_;
        const double x = in[i] * factor;
        reduction_ += (1.0 - reduction_) * kRelease;
        if (factor > 1.0 && std::abs(x) * reduction_ > kCeiling)
            reduction_ = kCeiling / std::abs(x);
        const double y = factor > 1.0 ? std::clamp(x * reduction_, -kCeiling, kCeiling)
                                      : std::clamp(x, -32768.0, 32767.0);
        out[i] = static_cast<std::int16_t>(std::lround(y));
    }
    return out;
}

}  // namespace lk
