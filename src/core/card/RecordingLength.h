#pragma once
// The two length rules of a recording file: one feeds the card log (rounded
// up), the other the list display (rounded down, slightly different rates).

#include <cstdint>
#include <filesystem>

#include "platform/ByteIo.h"

namespace lk {

// The same rules on a file's size and its first 12 bytes (the .xtr header;
// ignored for WAV recordings), for readers that already hold the bytes.
unsigned RecordingSecondsRoundedUpOf(std::uint64_t fileSize, bool isXtr, ByteSpan header);
unsigned RecordingSecondsOf(std::uint64_t fileSize, bool isXtr, ByteSpan header);

unsigned RecordingSecondsRoundedUp(const std::filesystem::path& path);
unsigned RecordingSeconds(const std::filesystem::path& path);

}  // namespace lk
