#pragma once
// What the listener hears louder or softer than recorded: the level that
// brings a recording to one loudness, the volume, and a limiter after both
// so that no sample clips. The waveform is drawn from the samples as
// recorded; only what goes to the device passes through here.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace lk {

class PlaybackGain {
  public:
    // No level lifts a recording by more than this: a near-silent line
    // would otherwise come out as roaring noise.
    static constexpr double kMaxLiftDb = 30.0;
    // The limiter's ceiling, 1 dB below full scale; it acts only on what
    // is made louder than recorded.
    static constexpr double kCeiling = 32767.0 * 0.891;

    // The gain in dB that brings `lufs` to `target`; 0 when either is
    // missing (levelling off, or a silent recording).
    static double LevelDb(std::optional<double> lufs, std::optional<int> target);

    void SetLevelDb(double db);
    // The same, reached over kGlideSamples of what is applied next rather
    // than at once: for a level that changes while the recording plays.
    void GlideToLevelDb(double db);
    double LevelDb() const { return levelDb_; }
    static constexpr int kGlideSamples = 1600;  // 200 ms
    // 0..100 percent.
    void SetVolume(int percent);
    int Volume() const { return volume_; }
    // Forgets the limiter's hold, for a fresh start elsewhere.
    void Reset() {
        reduction_ = 1.0;
        glideLeft_ = 0;
    }

    // Samples (in 16-bit units) to 16-bit PCM, levelled, at the volume and limited.
    std::vector<std::int16_t> Apply(std::span<const float> in);

  private:
    double levelDb_ = 0;
    int volume_ = 100;
    double factor_ = 1.0;
    double reduction_ = 1.0;  // the limiter's gain, back to 1 over its release
    double glideFrom_ = 1.0;  // the factor a glide starts from
    int glideLeft_ = 0;       // samples of the glide still to go
    void Update();
    double Factor(int left) const;  // during a glide, `left` samples before its end
    std::vector<std::int16_t> ApplyGliding(std::span<const float> in);
};

}  // namespace lk
