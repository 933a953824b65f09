#pragma once
// Converts an .xtr recording into a standard WAV file: GSM frames are moved
// into the GSM WAV packing unchanged (a recording with damaged frames is
// decoded and encoded again); IMA ADPCM, µ-law and A-law payloads are copied
// behind a fixed header.

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/RegularFile.h"

namespace lk {

enum class ConvertResult {
    Converted,
    SourceOpenFailed,
    SourceTooSmall,
    OutOfMemory,
    WriteFailed,
    NotConverted,  // an encoding without a WAV form here
};

std::string_view ConvertResultName(ConvertResult result);

// The payload is taken from byte 1440 whatever the header's data offset says.
// The source is only read. The destination appears only when complete.
ConvertResult ConvertXtrToWav(const std::filesystem::path& source,
                              const std::filesystem::path& destination);
// The same from a source already opened (a recording reached below its root).
ConvertResult ConvertXtrToWav(RegularFileOpen source, const std::filesystem::path& destination);

// The export's destination: `folder` (text, used as given) followed by the
// source's file name (after its last '\' or '/') with every ".xtr" made ".wav".
std::string ExportDestination(std::string_view folder, std::string_view source);

}  // namespace lk
