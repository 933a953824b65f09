#pragma once
// The device side of the sound output: something that plays 16-bit mono PCM
// at 8000 Hz, one piece at a time, and reports the pieces it has finished.

#include <cstdint>
#include <functional>
#include <vector>

namespace lk {

class AudioSink {
  public:
    // Called from any thread with the number of pieces the device has
    // finished playing (or dropped on Reset). Never called after Close.
    using PlayedFn = std::function<void(int pieces)>;

    virtual ~AudioSink() = default;
    // Opens the device; false when the system has no output device or cannot
    // play 16-bit PCM at 8000 Hz.
    [[nodiscard]] virtual bool Open(PlayedFn played) = 0;
    virtual void Close() = 0;
    // Stops at once; every piece not yet played is reported as finished.
    virtual bool Reset() = 0;
    // Queues one piece behind the ones already queued.
    [[nodiscard]] virtual bool Play(std::vector<std::int16_t> pcm) = 0;
};

}  // namespace lk
