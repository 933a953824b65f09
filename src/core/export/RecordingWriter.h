#pragma once
// Writes recordings the way the recorder does: .xtr files (12-byte header,
// note area at 144, payload at 1440) and WAV recordings (60-byte IMA ADPCM
// header, 256-byte blocks). Used for prompt sounds, demo cards and tests.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

namespace lk {

inline constexpr std::uint32_t kRecorderDataOffset = 1440;

// Payloads from 16-bit PCM at 8000 Hz.
std::vector<std::uint8_t> EncodeImaPayload(std::span<const std::int16_t> pcm);
std::vector<std::uint8_t> EncodeGsmPayload(std::span<const std::int16_t> pcm);
std::vector<std::uint8_t> EncodeMuLawPayload(std::span<const std::int16_t> pcm);
std::vector<std::uint8_t> EncodeALawPayload(std::span<const std::int16_t> pcm);
// The payload of an encoding (49, 17, 7, 6); µ-law for any other tag.
std::vector<std::uint8_t> EncodePayload(std::uint32_t formatTag, std::span<const std::int16_t> pcm);

// An .xtr image around a ready payload; `noteArea` text is cut to 1023 bytes.
std::vector<std::uint8_t> BuildXtrImage(std::uint32_t formatTag,
                                        std::span<const std::uint8_t> payload,
                                        std::string_view noteArea = {});
// An .xtr image of PCM in the given encoding.
std::vector<std::uint8_t> BuildXtrRecording(std::uint32_t formatTag,
                                            std::span<const std::int16_t> pcm,
                                            std::string_view noteArea = {});
// A WAV recording (IMA ADPCM) of PCM.
std::vector<std::uint8_t> BuildWavRecording(std::span<const std::int16_t> pcm);

// Writes bytes to a file, creating its folder. False on failure.
bool WriteRecordingFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// The recorder's bookmark text for a marked segment, seconds to HH:MM:SS.
std::string BookmarkNote(int startSecond, int endSecond);

}  // namespace lk
