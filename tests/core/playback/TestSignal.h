#pragma once
// Generated test audio: a voiced, speech-like signal with a few harmonics.

#include <cmath>
#include <cstdint>
#include <vector>

namespace lk::test {

inline std::vector<std::int16_t> VoiceLike(std::size_t count, double amplitude = 9000.0) {
    std::vector<std::int16_t> out(count);
    const double pi = 3.14159265358979;
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / 8000.0;
        const double f0 = 140.0 + 20.0 * std::sin(2 * pi * 0.7 * t);
        double v = 0;
        for (int h = 1; h <= 6; ++h)
            v += std::sin(2 * pi * f0 * h * t) / h;
        const double envelope = 0.6 + 0.4 * std::sin(2 * pi * 2.0 * t);
        out[i] = static_cast<std::int16_t>(amplitude * 0.5 * v * envelope);
    }
    return out;
}

// Signal-to-noise ratio in dB of `got` against `want` over their common part.
inline double SnrDb(const std::vector<std::int16_t>& want, const std::vector<std::int16_t>& got,
                    std::size_t offset = 0) {
    double s = 0, n = 0;
    for (std::size_t i = 0; i + offset < got.size() && i < want.size(); ++i) {
        const double w = want[i], g = got[i + offset];
        s += w * w;
        n += (w - g) * (w - g);
    }
    return n == 0 ? 200.0 : 10.0 * std::log10(s / n);
}

}  // namespace lk::test
