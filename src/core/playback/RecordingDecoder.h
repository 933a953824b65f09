#pragma once
// One recording opened for listening: its header facts, its length, and the
// 16-bit PCM (8000 Hz, mono) of any second or of the whole payload, laid out
// per second as the player reads it.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ByteIo.h"
#include "playback/AudioCodec.h"
#include "playback/MarkedSegment.h"
#include "playback/WavLayout.h"
#include "playback/XtrFormat.h"

namespace lk {

class GsmDecoder;

enum class RecordingOpenError {
    None,
    CannotRead,        // missing or unreadable file
    Empty,             // 0 bytes
    NoHeader,          // an .xtr shorter than its 12-byte header
    DataOffsetBeyond,  // the file ends before its payload starts
    UnsupportedWav,    // a WAV in a format the program has no decoder for
    BrokenWav,         // a WAV whose RIFF header cannot be read
};

// A short text for the error ("cannot read", "empty file", ...).
std::string_view RecordingOpenErrorText(RecordingOpenError error);

class RecordingDecoder;

// What opening a recording gave: a decoder, or the error and a one-line
// reason that a player, an export row or a command line can show.
struct RecordingOpenResult {
    std::unique_ptr<RecordingDecoder> decoder;
    RecordingOpenError error = RecordingOpenError::None;
    std::string reason;  // empty when opened
};

class RecordingDecoder {
  public:
    // `isXtr` chooses between the .xtr container and a WAV file (RIFF header
    // read; the recorder's own layout keeps its fixed 60-byte header).
    static RecordingOpenResult Load(std::vector<std::uint8_t> image, bool isXtr);
    static RecordingOpenResult Load(const std::filesystem::path& path);
    static std::unique_ptr<RecordingDecoder> FromBytes(std::vector<std::uint8_t> image, bool isXtr,
                                                       RecordingOpenError* error = nullptr);
    static std::unique_ptr<RecordingDecoder> Open(const std::filesystem::path& path,
                                                  RecordingOpenError* error = nullptr);
    ~RecordingDecoder();
    RecordingDecoder(const RecordingDecoder&) = delete;
    RecordingDecoder& operator=(const RecordingDecoder&) = delete;

    bool IsXtr() const { return isXtr_; }
    // The tag as stored (the WAV header's for WAV files) and the encoding
    // actually decoded: 49, 17, 6, 1 (PCM), or 7 for µ-law and every unlisted
    // .xtr tag.
    std::uint32_t StoredFormatTag() const { return storedTag_; }
    std::uint32_t FormatTag() const { return codec_.FormatTag(); }
    const AudioCodec& Codec() const { return codec_; }
    // The RIFF header facts of a WAV file.
    const std::optional<WavLayout>& Wav() const { return wav_; }
    std::uint32_t DataOffset() const { return dataOffset_; }
    // Bytes per played second: 1650 (recorder GSM), 1625 (WAV GSM), 16000
    // (decoded IMA ADPCM and PCM), 8000 (G.711).
    std::size_t BytesPerSecond() const;
    // Whole seconds of payload: for the recorder's files by the list's length
    // rule (payload / 4055 for IMA ADPCM, else / bytes per second), for other
    // WAV files decoded samples / 8000.
    unsigned TotalSeconds() const;
    std::optional<MarkedSegment> Marked() const { return marked_; }

    ByteSpan Image() const { return image_; }
    ByteSpan Payload() const;
    // The payload bytes of second i (GSM, µ-law, A-law; empty past the end).
    ByteSpan RawSecond(unsigned i) const;

    // PCM of second i: at most 8000 samples; GSM gives ((bytes + 32) / 33) * 160.
    // Empty past the end. GSM seconds run through this instance's decoder state.
    std::vector<std::int16_t> DecodeSecond(unsigned i);
    // PCM of the whole payload (GSM with a fresh decoder state).
    std::vector<std::int16_t> DecodeAll();

  private:
    RecordingDecoder() = default;
    const std::vector<std::int16_t>& WholePcm();
    bool RecorderRules() const { return isXtr_ || (wav_ && wav_->recorderLayout); }

    std::vector<std::uint8_t> image_;
    bool isXtr_ = true;
    std::uint32_t storedTag_ = 0;
    AudioCodec codec_;
    std::optional<WavLayout> wav_;
    std::uint32_t dataOffset_ = 0;
    std::size_t payloadSize_ = 0;
    std::optional<MarkedSegment> marked_;
    std::unique_ptr<GsmDecoder> gsm_;
    std::optional<std::vector<std::int16_t>> wholePcm_;
};

// The encoding decoded for a stored tag: 49, 17, 6, or 7 for µ-law and every unlisted tag.
std::uint32_t EffectiveFormatTag(std::uint32_t storedTag);

// Decodes a payload piece by piece with the same result as decoding it whole.
// Every piece but the last must hold whole units (the codec's unit size).
class PayloadDecoder {
  public:
    explicit PayloadDecoder(std::uint32_t formatTag);  // an .xtr tag
    explicit PayloadDecoder(const AudioCodec& codec);
    ~PayloadDecoder();
    PayloadDecoder(const PayloadDecoder&) = delete;
    PayloadDecoder& operator=(const PayloadDecoder&) = delete;

    // 256 (IMA ADPCM), 33 (GSM) or 1.
    static std::size_t UnitSize(std::uint32_t formatTag);
    // Samples that a payload of that many bytes decodes to.
    static std::uint64_t SampleCount(std::uint32_t formatTag, std::uint64_t payloadBytes);
    // Appends the samples of the piece to `out`.
    void Decode(ByteSpan piece, std::vector<std::int16_t>& out);

  private:
    AudioCodec codec_;
    std::unique_ptr<GsmDecoder> gsm_;
};

// Appends the PCM of a whole payload (GSM with a fresh decoder state).
void DecodePayload(const AudioCodec& codec, ByteSpan payload, std::vector<std::int16_t>& out);
// PCM of a whole IMA ADPCM payload: one 505-sample run per started block.
std::vector<std::int16_t> DecodeImaPayload(ByteSpan payload);
// PCM of a whole GSM payload with a fresh decoder state.
std::vector<std::int16_t> DecodeGsmPayload(ByteSpan payload);
std::vector<std::int16_t> DecodeMuLawPayload(ByteSpan payload);
std::vector<std::int16_t> DecodeALawPayload(ByteSpan payload);

}  // namespace lk
