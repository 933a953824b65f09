#pragma once
// How a payload turns into 16-bit PCM at 8000 Hz, mono: the coding and the
// size of its unit (a GSM frame, a two-frame WAV block, an IMA ADPCM block,
// a sample).

#include <cstddef>
#include <cstdint>

namespace lk {

enum class AudioCoding {
    Gsm,       // 33-byte GSM 06.10 frames of 160 samples (the recorder's own)
    GsmWav49,  // GSM 06.10 in WAV files: two frames packed in 65 bytes
    ImaAdpcm,  // IMA ADPCM mono blocks, 4-byte header, low nibble first
    MuLaw,
    ALaw,
    Pcm16,  // signed little-endian
    Pcm8,   // unsigned, 128 is silence
};

struct AudioCodec {
    AudioCoding coding = AudioCoding::MuLaw;
    std::size_t unitSize = 1;  // bytes per unit

    static AudioCodec ForXtrTag(std::uint32_t formatTag);  // the stored .xtr tag
    static AudioCodec ImaBlocks(std::size_t blockAlign);

    std::size_t SamplesPerUnit() const;
    // Samples a payload of that many bytes decodes to. A last partial unit
    // counts whole for the recorder's codings (it is decoded padded with
    // zero bytes); a partial WAV GSM block or PCM sample is not decoded.
    std::uint64_t SampleCount(std::uint64_t payloadBytes) const;
    // The WAV format tag of the coding: 49, 17, 7, 6 or 1.
    std::uint32_t FormatTag() const;

    friend bool operator==(const AudioCodec&, const AudioCodec&) = default;
};

// A short name for people: "GSM 06.10", "IMA ADPCM", "µ-law", ...
const char* AudioCodingName(AudioCoding coding);

}  // namespace lk
