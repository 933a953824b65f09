#pragma once
// The RIFF header of a WAV recording: its chunks in any order ("fmt ",
// "fact", "data"; odd sizes padded), the format it declares, where its audio
// lies, and whether the program can play it.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "platform/ByteIo.h"
#include "playback/AudioCodec.h"

namespace lk {

enum class WavVerdict {
    Playable,     // one of the codings below, 8000 Hz, mono
    Unsupported,  // a sound header, but a format the program has no decoder for
    Broken,       // not a readable RIFF WAVE header
};

struct WavLayout {
    WavVerdict verdict = WavVerdict::Broken;
    std::string reason;  // why a file is refused; empty when playable

    // As declared ("fmt "; a WAVE_FORMAT_EXTENSIBLE tag is resolved to its
    // sub-format). Zero when the header does not say.
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t avgBytesPerSecond = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::optional<std::uint32_t> factSamples;

    // The audio: from dataOffset, dataSize bytes (cut to what the file holds).
    std::uint64_t dataOffset = 0;
    std::uint64_t dataSize = 0;

    // The recorder's own layout (IMA ADPCM, 256-byte blocks, audio at byte
    // 60): its audio runs to the end of the file whatever the sizes say.
    bool recorderLayout = false;
    AudioCodec codec;  // meaningful when playable

    bool Playable() const { return verdict == WavVerdict::Playable; }
    // Samples at 8000 Hz when playable.
    std::uint64_t SampleCount() const { return Playable() ? codec.SampleCount(dataSize) : 0; }
};

// Reads `count` bytes at `offset` into `out` (fewer at the end of the file);
// false when the read fails.
using WavByteReader =
    std::function<bool(std::uint64_t offset, std::size_t count, std::vector<std::uint8_t>& out)>;

WavLayout ParseWavLayout(std::uint64_t fileSize, const WavByteReader& read);
WavLayout ParseWavLayout(ByteSpan file);
// Reads only the chunk headers and the small chunks; Broken when unreadable.
WavLayout ReadWavLayout(const std::filesystem::path& path);

// "IMA ADPCM, 8000 Hz, mono, 256-byte blocks" and the like, for `info`.
std::string DescribeWavFormat(const WavLayout& layout);

}  // namespace lk
