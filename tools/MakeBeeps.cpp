// Makes the prompt sounds that go onto family-0 cards, in the recorder's own
// WAV recording format: beep1.wav (one soft beep) and beep3.wav (three short
// rising beeps).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <numbers>
#include <vector>

#include "export/RecordingWriter.h"

namespace {

constexpr double kRate = 8000.0;

// A sine beep with a little second harmonic and raised-cosine edges, so it
// starts and stops without clicks.
void AddBeep(std::vector<std::int16_t>& out, double freq, double seconds, double fade,
             double level) {
    const auto n = static_cast<std::size_t>(seconds * kRate);
    const auto edge = static_cast<double>(fade * kRate);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double fromEdge = std::min(static_cast<double>(i), static_cast<double>(n - 1 - i));
        const double env =
            fromEdge >= edge ? 1.0 : 0.5 - 0.5 * std::cos(std::numbers::pi * fromEdge / edge);
        const double v = std::sin(2 * std::numbers::pi * freq * t) +
                         0.15 * std::sin(4 * std::numbers::pi * freq * t);
        out.push_back(static_cast<std::int16_t>(level * env * v / 1.15));
    }
}

void AddSilence(std::vector<std::int16_t>& out, double seconds) {
    out.insert(out.end(), static_cast<std::size_t>(seconds * kRate), 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: lk_make_beeps DIR\n";
        return 2;
    }
    const std::filesystem::path dir(argv[1]);

    std::vector<std::int16_t> one;
    AddSilence(one, 0.05);
    AddBeep(one, 880.0, 0.3, 0.04, 12000.0);
    AddSilence(one, 0.05);

    std::vector<std::int16_t> three;
    AddSilence(three, 0.05);
    for (double f : {660.0, 880.0, 1100.0}) {
        AddBeep(three, f, 0.12, 0.02, 11000.0);
        AddSilence(three, 0.08);
    }

    if (!lk::WriteRecordingFile(dir / "beep1.wav", lk::BuildWavRecording(one)) ||
        !lk::WriteRecordingFile(dir / "beep3.wav", lk::BuildWavRecording(three))) {
        std::cerr << "lk_make_beeps: cannot write into " << dir.string() << '\n';
        return 1;
    }
    return 0;
}
