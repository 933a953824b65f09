#pragma once
// The two length rules of a recording file: one feeds the card log (rounded
// up), the other the list display (rounded down, slightly different rates).

#include <cstdint>
#include <filesystem>

#include "platform/ByteIo.h"
#include "playback/WavLayout.h"

namespace lk {

// The same rules on a file's size and its first 12 bytes (the .xtr header;
// ignored for WAV recordings), for readers that already hold the bytes.
unsigned RecordingSecondsRoundedUpOf(std::uint64_t fileSize, bool isXtr, ByteSpan header);
unsigned RecordingSecondsOf(std::uint64_t fileSize, bool isXtr, ByteSpan header);

// WAV files by their RIFF header: the recorder's own layout by the rules
// above, other files by their decoded samples at 8000 Hz (by the declared
// byte rate when the program has no decoder for them), 0 when the header is
// damaged.
unsigned WavRecordingSecondsRoundedUp(const WavLayout& layout, std::uint64_t fileSize);
unsigned WavRecordingSeconds(const WavLayout& layout, std::uint64_t fileSize);

unsigned RecordingSecondsRoundedUp(const std::filesystem::path& path);
unsigned RecordingSeconds(const std::filesystem::path& path);

}  // namespace lk
