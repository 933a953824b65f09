#pragma once
// Writes 16-bit PCM (8000 Hz, mono) as a GSM 06.10 WAV file: 65-byte blocks
// of 320 samples behind the 60-byte GSM header.

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace lk {

inline constexpr std::size_t kGsmWavMinimumSamples = 8000;

class GsmWavWriter {
  public:
    // The GSM WAV payload of the samples: ceil(count / 320) blocks of 65 bytes,
    // the last block padded with zero samples. Empty when the codec is missing.
    static std::vector<std::uint8_t> Encode(std::span<const std::int16_t> samples);
    // False for an empty path, fewer than 8000 samples (one second), or a
    // failed write. The file replaces any earlier one only when complete.
    static bool WriteGsmWav(std::span<const std::int16_t> samples,
                            const std::filesystem::path& path);
};

inline bool WriteGsmWav(std::span<const std::int16_t> samples, const std::filesystem::path& path) {
    return GsmWavWriter::WriteGsmWav(samples, path);
}

}  // namespace lk
