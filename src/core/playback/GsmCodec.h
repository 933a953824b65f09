#pragma once
// GSM 06.10 full rate through libgsm: 33-byte frames of 160 samples.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/ByteIo.h"

struct gsm_state;

namespace lk {

inline constexpr std::size_t kGsmFrameSize = 33;
inline constexpr std::size_t kGsmFrameSamples = 160;
// Microsoft's packing: two frames in 65 bytes.
inline constexpr std::size_t kGsmWav49BlockSize = 65;
inline constexpr std::size_t kGsmWav49BlockSamples = 320;

// One decoder state; frames decoded in sequence share it.
class GsmDecoder {
  public:
    // `wav49`: frames come in the 65-byte two-frame packing of WAV files.
    explicit GsmDecoder(bool wav49 = false);
    ~GsmDecoder();
    GsmDecoder(const GsmDecoder&) = delete;
    GsmDecoder& operator=(const GsmDecoder&) = delete;

    bool Valid() const { return state_ != nullptr; }
    // Decodes one frame (a shorter one is padded with zero bytes). A frame the
    // decoder rejects gives 160 zero samples and false.
    bool DecodeFrame(ByteSpan frame, std::span<std::int16_t, kGsmFrameSamples> out);
    // Decodes `bytes` frame by frame (a last partial frame padded), appending
    // ((size + 32) / 33) * 160 samples.
    void DecodeFrames(ByteSpan bytes, std::vector<std::int16_t>& out);
    // WAV49 mode: decodes each whole 65-byte block into 320 samples; a
    // partial block at the end is not decoded.
    void DecodeWav49Blocks(ByteSpan bytes, std::vector<std::int16_t>& out);

  private:
    gsm_state* state_;
};

class GsmEncoder {
  public:
    // `wav49`: the two-frame 65-byte packing used in WAV files.
    explicit GsmEncoder(bool wav49 = false);
    ~GsmEncoder();
    GsmEncoder(const GsmEncoder&) = delete;
    GsmEncoder& operator=(const GsmEncoder&) = delete;

    bool Valid() const { return state_ != nullptr; }
    // Encodes whole frames of 160 samples (the last one padded with zeros).
    // Plain mode appends 33 bytes per frame; wav49 mode appends 65 bytes per
    // two frames, padding an odd frame count with a silent frame.
    void Encode(std::span<const std::int16_t> samples, std::vector<std::uint8_t>& out);

  private:
    gsm_state* state_;
    bool wav49_;
};

}  // namespace lk
