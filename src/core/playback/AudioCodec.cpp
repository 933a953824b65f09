#include "playback/AudioCodec.h"

#include "playback/XtrFormat.h"

namespace lk {
namespace {

constexpr std::size_t kGsmFrame = 33;
constexpr std::size_t kGsmWav49Block = 65;
constexpr std::size_t kRecorderImaBlock = 256;

}  // namespace

AudioCodec AudioCodec::ForXtrTag(std::uint32_t tag) {
    switch (tag) {
        case kFormatGsm:
            return {AudioCoding::Gsm, kGsmFrame};
        case kFormatImaAdpcm:
            return ImaBlocks(kRecorderImaBlock);
        case kFormatALaw:
            return {AudioCoding::ALaw, 1};
        default:
            return {AudioCoding::MuLaw, 1};  // every unlisted tag plays as µ-law
    }
}

AudioCodec AudioCodec::ImaBlocks(std::size_t blockAlign) {
    return {AudioCoding::ImaAdpcm, blockAlign};
}

std::size_t AudioCodec::SamplesPerUnit() const {
    switch (coding) {
        case AudioCoding::Gsm:
            return 160;
        case AudioCoding::GsmWav49:
            return 320;
        case AudioCoding::ImaAdpcm:
            return unitSize > 4 ? (unitSize - 4) * 2 + 1 : 1;
        default:
            return 1;
    }
}

std::uint64_t AudioCodec::SampleCount(std::uint64_t bytes) const {
    switch (coding) {
        case AudioCoding::Gsm:
        case AudioCoding::ImaAdpcm:
            return (bytes + unitSize - 1) / unitSize * SamplesPerUnit();
        case AudioCoding::GsmWav49:
            return bytes / unitSize * SamplesPerUnit();
        case AudioCoding::Pcm16:
            return bytes / 2;
        default:
            return bytes;
    }
}

std::uint32_t AudioCodec::FormatTag() const {
    switch (coding) {
        case AudioCoding::Gsm:
        case AudioCoding::GsmWav49:
            return kFormatGsm;
        case AudioCoding::ImaAdpcm:
            return kFormatImaAdpcm;
        case AudioCoding::MuLaw:
            return kFormatMuLaw;
        case AudioCoding::ALaw:
            return kFormatALaw;
        default:
            return 1;
    }
}

const char* AudioCodingName(AudioCoding coding) {
    switch (coding) {
        case AudioCoding::Gsm:
        case AudioCoding::GsmWav49:
            return "GSM 06.10";
        case AudioCoding::ImaAdpcm:
            return "IMA ADPCM";
        case AudioCoding::MuLaw:
            return "\xC2\xB5-law";
        case AudioCoding::ALaw:
            return "A-law";
        case AudioCoding::Pcm16:
            return "16-bit PCM";
        case AudioCoding::Pcm8:
            return "8-bit PCM";
    }
    return "";
}

}  // namespace lk
