#pragma once
// Decodes a whole recording, as the player hears it, into a plain 16-bit PCM
// WAV file (8000 Hz, mono), a piece at a time so that long recordings need
// little memory.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace lk {

enum class DecodeToWavResult {
    Written,
    CannotRead,
    Empty,
    NoHeader,          // an .xtr shorter than its 12-byte header
    DataOffsetBeyond,  // the file ends before its payload starts
    TooLong,           // more samples than a WAV file can hold
    WriteFailed,
    UnsupportedWav,  // a WAV format without a decoder here
    BrokenWav,       // a WAV whose RIFF header cannot be read
};

std::string_view DecodeToWavResultText(DecodeToWavResult result);

// .xtr or WAV recording by the path rule. The destination appears only when
// complete. A refused WAV leaves its one-line reason in `reason`.
DecodeToWavResult DecodeRecordingToWav(const std::filesystem::path& source,
                                       const std::filesystem::path& destination,
                                       std::string* reason = nullptr);

// Where a decode goes: `begin` learns the sample count before the first
// piece (may be empty); `piece` takes the PCM in order. Either returning
// false ends the decode with WriteFailed.
struct PcmSink {
    std::function<bool(std::uint64_t samples)> begin;
    std::function<bool(std::span<const std::int16_t> pcm)> piece;
};

// Decodes a recording as DecodeRecordingToWav does, a piece at a time into `sink`.
DecodeToWavResult DecodeRecordingPcm(const std::filesystem::path& source, const PcmSink& sink,
                                     std::string* reason = nullptr);

}  // namespace lk
