#include "playback/TimeStretcher.h"

#include <SoundTouch.h>
#include <algorithm>

namespace lk {

namespace {
constexpr unsigned kRate = 8000;
}

TimeStretcher::TimeStretcher() : touch_(std::make_unique<soundtouch::SoundTouch>()) {
    touch_->setSampleRate(kRate);
    touch_->setChannels(1);
    // Speech settings: shorter sequences than the music defaults keep
    // syllables crisp at 8 kHz, and the quick seek keeps the cost low.
    touch_->setSetting(SETTING_SEQUENCE_MS, 40);
    touch_->setSetting(SETTING_SEEKWINDOW_MS, 15);
    touch_->setSetting(SETTING_OVERLAP_MS, 8);
    touch_->setSetting(SETTING_USE_QUICKSEEK, 1);
    touch_->setTempo(1.0);
}

TimeStretcher::~TimeStretcher() = default;

void TimeStretcher::SetTenths(int tenths) {
    tenths_ = std::clamp(tenths, kMinTenths, kMaxTenths);
    touch_->setTempo(tenths_ / 10.0);
}

std::vector<float> TimeStretcher::Drain() {
    std::vector<float> out;
    float buf[2048];
    for (unsigned got; (got = touch_->receiveSamples(buf, 2048)) > 0;)
        out.insert(out.end(), buf, buf + got);
    return out;
}

std::vector<float> TimeStretcher::Process(std::span<const float> in) {
    if (Bypassed() && !holding_) return {in.begin(), in.end()};
    if (Bypassed()) {
        // Back to normal speed: what the stretcher holds comes first.
        auto out = Flush();
        out.insert(out.end(), in.begin(), in.end());
        return out;
    }
    holding_ = true;
    touch_->putSamples(in.data(), static_cast<unsigned>(in.size()));
    return Drain();
}

std::vector<float> TimeStretcher::Flush() {
    if (!holding_) return {};
    holding_ = false;
    // flush() pushes the tail through and trims its padding to the
    // stretched length of what went in.
    touch_->flush();
    auto out = Drain();
    touch_->clear();
    return out;
}

void TimeStretcher::Clear() {
    touch_->clear();
    holding_ = false;
}

}  // namespace lk
