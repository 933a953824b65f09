#pragma once
// Plays speech faster or slower with its pitch kept. At 1.0 the samples go
// through untouched, so the normal speed sounds exactly as recorded.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace soundtouch {
class SoundTouch;
}

namespace lk {

class TimeStretcher {
  public:
    static constexpr int kMinTenths = 5;
    static constexpr int kMaxTenths = 20;

    TimeStretcher();
    ~TimeStretcher();
    TimeStretcher(const TimeStretcher&) = delete;
    TimeStretcher& operator=(const TimeStretcher&) = delete;

    // Speed in tenths (10 is as recorded), kept within 5..20.
    void SetTenths(int tenths);
    int Tenths() const { return tenths_; }
    bool Bypassed() const { return tenths_ == 10; }

    // Takes recorded samples and gives what is ready to be heard; the
    // stretcher holds back a short tail until more comes or Flush.
    std::vector<float> Process(std::span<const float> in);
    // Everything still held, for the end of what plays.
    std::vector<float> Flush();
    // Forgets what it holds: playback jumps elsewhere.
    void Clear();

  private:
    std::vector<float> Drain();

    std::unique_ptr<soundtouch::SoundTouch> touch_;
    int tenths_ = 10;
    bool holding_ = false;  // samples went in since the last Clear or Flush
};

}  // namespace lk
