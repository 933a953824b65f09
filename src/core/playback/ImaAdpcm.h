#pragma once
// IMA/DVI ADPCM in the recorder's 256-byte mono blocks of 505 samples.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/ByteIo.h"

namespace lk {

inline constexpr std::size_t kImaBlockSize = 256;
inline constexpr std::size_t kImaSamplesPerBlock = 505;

struct ImaState {
    int predicted = 0;
    int stepIndex = 0;
};

const std::array<std::int16_t, 89>& ImaStepTable();

// Decodes one block into 505 samples. A block shorter than 256 bytes reads as
// if padded with zero bytes; a header step index outside 0..88 is clamped.
void DecodeImaBlock(ByteSpan block, ImaState& state,
                    std::span<std::int16_t, kImaSamplesPerBlock> out);

// The same for mono blocks of any size from 5 bytes: (blockSize - 4) * 2 + 1
// samples into `out`, which holds exactly that many.
void DecodeImaBlockOfSize(ByteSpan block, std::size_t blockSize, ImaState& state,
                          std::span<std::int16_t> out);

// Encodes up to 505 samples (missing ones are zeros) into one block. The
// block starts from `state.stepIndex` and leaves the state where the decoder
// will be at its end, so consecutive blocks continue smoothly.
void EncodeImaBlock(std::span<const std::int16_t> samples, ImaState& state,
                    std::span<std::uint8_t, kImaBlockSize> out);

}  // namespace lk
