#include "DemoSound.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace lk::cli {
namespace {

constexpr double kRate = 8000.0;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

std::size_t Samples(double seconds) {
    return static_cast<std::size_t>(seconds * kRate);
}

std::int16_t Clip(double v) {
    return static_cast<std::int16_t>(std::clamp(v, -32000.0, 32000.0));
}

// Two-pole resonator, the classic formant filter.
struct Resonator {
    double y1 = 0, y2 = 0;
    double Run(double x, double freq, double bandwidth) {
        const double r = std::exp(-std::numbers::pi * bandwidth / kRate);
        const double c = 2 * r * std::cos(kTwoPi * freq / kRate);
        const double y = (1 - r) * x + c * y1 - r * r * y2;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// Vowel formants (F1, F2) in Hz.
constexpr double kVowels[][2] = {{730, 1090}, {270, 2290}, {530, 1840}, {570, 840},
                                 {300, 870},  {660, 1720}, {440, 1020}, {390, 1990}};

}  // namespace

Pcm SynthVoice(double seconds, double pitch, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> v(Samples(seconds), 0.0);
    Resonator f1, f2;
    double phase = 0;
    std::size_t i = 0;
    while (i < v.size()) {
        // A word of two to four syllables, then a short pause.
        const int syllables = 2 + static_cast<int>(unit(rng) * 3);
        for (int s = 0; s < syllables && i < v.size(); ++s) {
            const auto& a = kVowels[rng() % 8];
            const auto& b = kVowels[rng() % 8];
            const auto len = Samples(0.14 + 0.12 * unit(rng));
            const double accent = 0.8 + 0.4 * unit(rng);
            for (std::size_t k = 0; k < len && i < v.size(); ++k, ++i) {
                const double t = static_cast<double>(k) / static_cast<double>(len);
                const double f0 = pitch * accent * (1.05 - 0.1 * t);
                phase += f0 / kRate;
                const double pulse = phase >= 1.0 ? 1.0 : 0.0;
                if (phase >= 1.0) phase -= 1.0;
                const double x = pulse * 6000.0 + (unit(rng) - 0.5) * 300.0;
                const double y = f1.Run(x, a[0] + (b[0] - a[0]) * t, 90) * 2.2 +
                                 f2.Run(x, a[1] + (b[1] - a[1]) * t, 120) * 1.3;
                v[i] = y * std::sin(std::numbers::pi * t);
            }
        }
        const auto pause = Samples(0.08 + 0.35 * unit(rng));
        for (std::size_t k = 0; k < pause && i < v.size(); ++k, ++i)
            v[i] = 0;
    }
    // A talker about 8 dB below full scale, with faint line noise.
    double peak = 1e-9;
    for (double x : v)
        peak = std::max(peak, std::abs(x));
    Pcm out(v.size());
    for (std::size_t k = 0; k < v.size(); ++k)
        out[k] = Clip(v[k] / peak * 16000.0 + (unit(rng) - 0.5) * 60.0);
    return out;
}

Pcm SynthDialTone(double seconds) {
    Pcm out(Samples(seconds));
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        out[i] = Clip(3500.0 * (std::sin(kTwoPi * 350 * t) + std::sin(kTwoPi * 440 * t)));
    }
    return out;
}

Pcm SynthRingback(double seconds) {
    Pcm out(Samples(seconds));
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        if (std::fmod(t, 6.0) < 2.0)
            out[i] = Clip(3000.0 * (std::sin(kTwoPi * 440 * t) + std::sin(kTwoPi * 480 * t)));
    }
    return out;
}

Pcm SynthMelody(unsigned seed) {
    // A major scale walk, varied by the seed.
    static constexpr double kScale[] = {523.25, 587.33, 659.25, 698.46, 783.99, 880.0, 987.77};
    std::mt19937 rng(seed);
    Pcm out;
    int degree = 0;
    for (int n = 0; n < 12; ++n) {
        degree = std::clamp(degree + static_cast<int>(rng() % 5) - 2, 0, 6);
        const double f = kScale[degree];
        const auto len = Samples(n % 4 == 3 ? 0.5 : 0.25);
        for (std::size_t k = 0; k < len; ++k) {
            const double t = static_cast<double>(k) / kRate;
            const double env = std::min(1.0, t / 0.01) * std::exp(-3.0 * t);
            out.push_back(Clip(9000.0 * env *
                               (std::sin(kTwoPi * f * t) + 0.3 * std::sin(kTwoPi * 2 * f * t))));
        }
    }
    return out;
}

Pcm SynthSilence(double seconds, unsigned seed) {
    std::mt19937 rng(seed);
    Pcm out(Samples(seconds));
    for (auto& s : out)
        s = static_cast<std::int16_t>(static_cast<int>(rng() % 41) - 20);
    return out;
}

void Append(Pcm& to, const Pcm& more) {
    to.insert(to.end(), more.begin(), more.end());
}

}  // namespace lk::cli
