// Writes long recordings for the decoding benchmark: one minute of a voiced
// signal encoded once and repeated, as .xtr files of each encoding plus the
// bare payloads that ffmpeg and sox read directly.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <numbers>
#include <string>
#include <vector>

#include "export/RecordingWriter.h"
#include "playback/XtrFormat.h"

namespace {

std::vector<std::int16_t> Minute() {
    std::vector<std::int16_t> out(8000 * 60);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / 8000.0;
        const double f0 = 130.0 + 30.0 * std::sin(2 * std::numbers::pi * 0.3 * t);
        double v = 0;
        for (int h = 1; h <= 8; ++h)
            v += std::sin(2 * std::numbers::pi * f0 * h * t) / h;
        const double env = 0.5 + 0.5 * std::sin(2 * std::numbers::pi * 3.0 * t);
        out[i] = static_cast<std::int16_t>(7000.0 * v * env);
    }
    return out;
}

std::vector<std::uint8_t> Repeat(const std::vector<std::uint8_t>& unit, int times) {
    std::vector<std::uint8_t> out;
    out.reserve(unit.size() * static_cast<std::size_t>(times));
    for (int i = 0; i < times; ++i)
        out.insert(out.end(), unit.begin(), unit.end());
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: bench_make_recordings DIR [MINUTES]\n";
        return 2;
    }
    const std::filesystem::path dir(argv[1]);
    const int minutes = argc > 2 ? std::atoi(argv[2]) : 60;
    const auto pcm = Minute();
    struct Kind {
        const char* name;
        std::uint32_t tag;
        const char* raw;  // file name of the bare payload, or null
    };
    for (const Kind k :
         {Kind{"gsm", lk::kFormatGsm, "gsm.gsm"}, Kind{"ima", lk::kFormatImaAdpcm, nullptr},
          Kind{"mulaw", lk::kFormatMuLaw, "mulaw.ul"}, Kind{"alaw", lk::kFormatALaw, "alaw.al"}}) {
        const auto payload = Repeat(lk::EncodePayload(k.tag, pcm), minutes);
        if (!lk::WriteRecordingFile(dir / (std::string(k.name) + ".xtr"),
                                    lk::BuildXtrImage(k.tag, payload)))
            return 1;
        if (k.raw && !lk::WriteRecordingFile(dir / k.raw, payload)) return 1;
    }
    return 0;
}
