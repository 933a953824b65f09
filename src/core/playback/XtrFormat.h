#pragma once
// Layout constants of the recorder's .xtr container and the path rule that
// tells an .xtr recording from a WAV recording.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lk {

namespace xtr {
inline constexpr std::size_t kHeaderSize = 12;      // XtrHeader: three uint32
inline constexpr std::size_t kDataOffsetField = 4;  // dataOffset
inline constexpr std::size_t kFormatTagField = 8;   // formatTag
inline constexpr std::size_t kNoteAreaOffset = 144;
inline constexpr std::size_t kNoteAreaSize = 1024;
inline constexpr std::size_t kConversionPayloadOffset = 1440;
}  // namespace xtr

// Payload encodings (formatTag).
inline constexpr std::uint32_t kFormatGsm = 49;
inline constexpr std::uint32_t kFormatImaAdpcm = 17;
inline constexpr std::uint32_t kFormatMuLaw = 7;
inline constexpr std::uint32_t kFormatALaw = 6;

// WAV recordings carry a fixed 60-byte IMA ADPCM header that is skipped unread.
inline constexpr std::size_t kWavRecordingHeaderSize = 60;

// A path names an .xtr recording when it contains ".xtr" (exact case) anywhere.
inline bool IsXtrPath(std::string_view path) {
    return path.find(".xtr") != std::string_view::npos;
}

}  // namespace lk
