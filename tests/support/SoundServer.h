#pragma once
// A private PulseAudio server for tests that play real sound: one sink that
// plays into a pipe instead of a sound card, reached through PULSE_SERVER by
// this process and its children, and a recorder of what it played. Started
// and stopped by the test itself.

#include <sys/types.h>

#include <filesystem>
#include <string>

#include "support/TempDir.h"

namespace lk::test {

class SoundServer {
  public:
    static constexpr const char* kSinkName = "lk_null";

    // `rate`: the sink's sample rate. Its pipe hands on 4096-byte blocks,
    // so at 8000 Hz the sink plays 256 ms behind what it is given; a higher
    // rate shortens that for timing measurements.
    explicit SoundServer(int rate = 8000);
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    bool Running() const { return pid_ > 0; }
    // Why the server could not start.
    const std::string& Why() const { return why_; }

    // Records what the sink plays as raw 16-bit mono PCM at its rate.
    bool StartRecording(const std::filesystem::path& raw);
    void StopRecording();

  private:
    TempDir dir_;
    pid_t pid_ = -1;
    pid_t recorder_ = -1;
    std::string why_;
};

}  // namespace lk::test
