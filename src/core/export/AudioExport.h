#pragma once
// One recording written as a file to share: a WAV as the WAV export makes it,
// or the decoded sound (8000 Hz, mono) encoded as MP3, Opus in Ogg, or FLAC.
//
// Bit rates are chosen for telephone speech, which carries nothing above
// 3.4 kHz: MP3 at 24 kb/s constant (MPEG 2.5 Layer III at 8 kHz; below 24
// its low-pass filter starts to cut into the voice band) and Opus at about
// 16 kb/s variable (its speech coder is clear for narrowband voice from 12
// kb/s on; the margin covers line noise). FLAC is lossless 16-bit.
//
// A file already under the destination's name is never replaced, and a
// failed write never leaves a file under that name: the file is written under
// a fresh temporary name beside it and renamed only when complete and only
// while the name is still free.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace lk {

enum class AudioFormat { Wav, Mp3, Opus, Flac };

inline constexpr AudioFormat kAudioFormats[] = {AudioFormat::Wav, AudioFormat::Mp3,
                                                AudioFormat::Opus, AudioFormat::Flac};

// "wav", "mp3", "opus", "flac": the command line's word and the file extension.
std::string_view AudioFormatName(AudioFormat format);
std::optional<AudioFormat> AudioFormatByName(std::string_view name);

// Whether this system's sound-file library can write the format (WAV always).
bool AudioFormatAvailable(AudioFormat format);

enum class ExportStatus {
    Written,
    Exists,        // the destination's name is taken; nothing was written
    CannotDecode,  // the recording cannot be read or decoded
    WriteFailed,   // the folder refused the file, or it ran full
    Unavailable,   // the format cannot be written on this system
    Skipped,       // left out on request (an existing file, a stop)
};

std::string_view ExportStatusName(ExportStatus status);

struct ExportFileResult {
    ExportStatus status = ExportStatus::WriteFailed;
    std::string reason;  // a short English text when not written
    bool Ok() const { return status == ExportStatus::Written; }
};

// Writes `source` (.xtr or WAV) in `format` as `destination`. WAV: an .xtr
// converted as the WAV export converts it, a WAV recording copied unchanged.
[[nodiscard]] ExportFileResult ExportRecordingAs(const std::filesystem::path& source,
                                                 const std::filesystem::path& destination,
                                                 AudioFormat format);

}  // namespace lk
