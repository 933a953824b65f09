#pragma once
// The fixed WAV headers written around converted and generated audio.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace lk {

inline constexpr std::size_t kGsmWavHeaderSize = 60;
inline constexpr std::size_t kImaWavHeaderSize = 60;
inline constexpr std::size_t kG711WavHeaderSize = 58;
inline constexpr std::size_t kPcmWavHeaderSize = 44;

// GSM 06.10 (tag 49, 65-byte blocks of 320 samples); fact = sample count.
std::array<std::uint8_t, kGsmWavHeaderSize> GsmWavHeader(std::uint32_t payloadLength,
                                                         std::uint32_t sampleCount);
// IMA ADPCM (tag 17, 256-byte blocks of 505 samples) with the given fields.
std::array<std::uint8_t, kImaWavHeaderSize> ImaAdpcmWavHeader(std::uint32_t dataSize,
                                                              std::uint32_t sampleCount);
// The conversion's IMA ADPCM header for an n-byte payload, which is written
// padded with zero bytes to whole 256-byte blocks: data size = the padded
// size, sample count = 505 per block, so every reader plays all of it.
std::array<std::uint8_t, kImaWavHeaderSize> ConvertedImaAdpcmWavHeader(std::uint32_t n);
// G.711 (tag 7 µ-law or 6 A-law), one byte per sample, n bytes.
std::array<std::uint8_t, kG711WavHeaderSize> G711WavHeader(std::uint16_t formatTag,
                                                           std::uint32_t n);
// Plain 16-bit PCM, mono, 8000 Hz.
std::array<std::uint8_t, kPcmWavHeaderSize> Pcm16WavHeader(std::uint32_t sampleCount);

}  // namespace lk
