#pragma once
// The two bit packings of GSM 06.10 frames: the standard 33-byte frame (a
// 0xD nibble, then the 76 parameters most significant bit first), which the
// recorder writes, and the WAV packing (format 49) of two frames in 65 bytes
// (the same parameters, least significant bit first, no nibble). Moving frames
// from one to the other keeps every parameter, so both decode alike.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/ByteIo.h"

namespace lk {

inline constexpr std::size_t kGsmPackedFrameSize = 33;
inline constexpr std::size_t kGsmWav49PairSize = 65;

// False when the frame does not start with the 0xD nibble (the decoder
// rejects it).
bool IsStandardGsmFrame(ByteSpan frame);

// Packs two standard frames (33 bytes each) into one 65-byte WAV block.
void PackWav49Pair(ByteSpan first, ByteSpan second, std::span<std::uint8_t, kGsmWav49PairSize> out);

// The standard frame that a silent stretch encodes to: the partner of an odd
// last frame.
const std::array<std::uint8_t, kGsmPackedFrameSize>& SilentGsmFrame();

}  // namespace lk
