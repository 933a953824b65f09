#include "playback/RecordingDecoder.h"

#include <algorithm>
#include <array>

#include "playback/G711.h"
#include "playback/GsmCodec.h"
#include "playback/ImaAdpcm.h"
#include "playback/XtrHeader.h"

namespace lk {
namespace {

constexpr std::size_t kGsmBytesPerSecond = 1650;
constexpr std::size_t kImaBytesPerSecond = 4055;  // the length rule's rate
constexpr std::size_t kPcmSamplesPerSecond = 8000;
constexpr std::size_t kG711BytesPerSecond = 8000;

// Appends the expansion of each byte through a 256-entry table.
void Expand8(ByteSpan bytes, const std::array<std::int16_t, 256>& table,
             std::vector<std::int16_t>& out) {
    const auto base = out.size();
    out.resize(base + bytes.size());
    std::int16_t* dst = out.data() + base;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        dst[i] = table[bytes[i]];
}

std::vector<std::int16_t> Expand8(ByteSpan bytes, const std::array<std::int16_t, 256>& table) {
    std::vector<std::int16_t> out;
    Expand8(bytes, table, out);
    return out;
}

void AppendImaBlocks(ByteSpan payload, std::vector<std::int16_t>& out) {
    const auto blocks = (payload.size() + kImaBlockSize - 1) / kImaBlockSize;
    const auto base = out.size();
    out.resize(base + blocks * kImaSamplesPerBlock);
    ImaState state;
    for (std::size_t b = 0; b < blocks; ++b) {
        const auto off = b * kImaBlockSize;
        DecodeImaBlock(payload.subspan(off, std::min(kImaBlockSize, payload.size() - off)), state,
                       std::span<std::int16_t, kImaSamplesPerBlock>(
                           out.data() + base + b * kImaSamplesPerBlock, kImaSamplesPerBlock));
    }
}

}  // namespace

std::uint32_t EffectiveFormatTag(std::uint32_t tag) {
    return (tag == kFormatGsm || tag == kFormatImaAdpcm || tag == kFormatALaw) ? tag : kFormatMuLaw;
}

PayloadDecoder::PayloadDecoder(std::uint32_t formatTag) : tag_(EffectiveFormatTag(formatTag)) {
    if (tag_ == kFormatGsm) gsm_ = std::make_unique<GsmDecoder>();
}

PayloadDecoder::~PayloadDecoder() = default;

std::size_t PayloadDecoder::UnitSize(std::uint32_t formatTag) {
    switch (EffectiveFormatTag(formatTag)) {
        case kFormatImaAdpcm:
            return kImaBlockSize;
        case kFormatGsm:
            return kGsmFrameSize;
        default:
            return 1;
    }
}

std::uint64_t PayloadDecoder::SampleCount(std::uint32_t formatTag, std::uint64_t bytes) {
    switch (EffectiveFormatTag(formatTag)) {
        case kFormatImaAdpcm:
            return (bytes + kImaBlockSize - 1) / kImaBlockSize * kImaSamplesPerBlock;
        case kFormatGsm:
            return (bytes + kGsmFrameSize - 1) / kGsmFrameSize * kGsmFrameSamples;
        default:
            return bytes;
    }
}

void PayloadDecoder::Decode(ByteSpan piece, std::vector<std::int16_t>& out) {
    switch (tag_) {
        case kFormatImaAdpcm:
            AppendImaBlocks(piece, out);
            break;
        case kFormatGsm:
            gsm_->DecodeFrames(piece, out);
            break;
        case kFormatALaw:
            Expand8(piece, ALawTable(), out);
            break;
        default:
            Expand8(piece, MuLawTable(), out);
            break;
    }
}

std::vector<std::int16_t> DecodeImaPayload(ByteSpan payload) {
    std::vector<std::int16_t> out;
    AppendImaBlocks(payload, out);
    return out;
}

std::vector<std::int16_t> DecodeGsmPayload(ByteSpan payload) {
    GsmDecoder decoder;
    std::vector<std::int16_t> out;
    decoder.DecodeFrames(payload, out);
    return out;
}

std::vector<std::int16_t> DecodeMuLawPayload(ByteSpan payload) {
    return Expand8(payload, MuLawTable());
}

std::vector<std::int16_t> DecodeALawPayload(ByteSpan payload) {
    return Expand8(payload, ALawTable());
}

std::unique_ptr<RecordingDecoder> RecordingDecoder::FromBytes(std::vector<std::uint8_t> image,
                                                              bool isXtr,
                                                              RecordingOpenError* error) {
    auto fail = [&](RecordingOpenError e) {
        if (error) *error = e;
        return std::unique_ptr<RecordingDecoder>();
    };
    if (image.empty()) return fail(RecordingOpenError::Empty);
    std::unique_ptr<RecordingDecoder> d(new RecordingDecoder());
    d->isXtr_ = isXtr;
    if (isXtr) {
        const auto header = ReadXtrHeader(ByteSpan(image));
        if (!header) return fail(RecordingOpenError::NoHeader);
        d->dataOffset_ = header->dataOffset;
        d->storedTag_ = header->formatTag;
        d->marked_ = ParseMarkedSegment(NoteAreaOf(image));
    } else {
        d->dataOffset_ = static_cast<std::uint32_t>(kWavRecordingHeaderSize);
        d->storedTag_ = kFormatImaAdpcm;
    }
    d->tag_ = EffectiveFormatTag(d->storedTag_);
    if (d->dataOffset_ > image.size()) return fail(RecordingOpenError::DataOffsetBeyond);
    d->image_ = std::move(image);
    if (d->tag_ == kFormatGsm) d->gsm_ = std::make_unique<GsmDecoder>();
    if (error) *error = RecordingOpenError::None;
    return d;
}

std::unique_ptr<RecordingDecoder> RecordingDecoder::Open(const std::filesystem::path& path,
                                                         RecordingOpenError* error) {
    auto image = ReadWholeFile(path);
    if (!image) {
        if (error) *error = RecordingOpenError::CannotRead;
        return nullptr;
    }
    return FromBytes(std::move(*image), IsXtrPath(path.string()), error);
}

RecordingDecoder::~RecordingDecoder() = default;

std::size_t RecordingDecoder::BytesPerSecond() const {
    switch (tag_) {
        case kFormatGsm:
            return kGsmBytesPerSecond;
        case kFormatImaAdpcm:
            return 2 * kPcmSamplesPerSecond;
        default:
            return kG711BytesPerSecond;
    }
}

unsigned RecordingDecoder::TotalSeconds() const {
    const auto rate = tag_ == kFormatImaAdpcm ? kImaBytesPerSecond : BytesPerSecond();
    return static_cast<unsigned>(Payload().size() / rate);
}

ByteSpan RecordingDecoder::Payload() const {
    return ByteSpan(image_).subspan(dataOffset_);
}

ByteSpan RecordingDecoder::RawSecond(unsigned i) const {
    if (tag_ == kFormatImaAdpcm) return {};
    const auto payload = Payload();
    const auto n = BytesPerSecond();
    const auto off = static_cast<std::uint64_t>(i) * n;
    if (off >= payload.size()) return {};
    return payload.subspan(
        static_cast<std::size_t>(off),
        std::min<std::size_t>(n, payload.size() - static_cast<std::size_t>(off)));
}

const std::vector<std::int16_t>& RecordingDecoder::ImaPcm() {
    if (!imaPcm_) imaPcm_ = DecodeImaPayload(Payload());
    return *imaPcm_;
}

std::vector<std::int16_t> RecordingDecoder::DecodeSecond(unsigned i) {
    switch (tag_) {
        case kFormatImaAdpcm: {
            const auto& pcm = ImaPcm();
            const auto off = static_cast<std::uint64_t>(i) * kPcmSamplesPerSecond;
            if (off >= pcm.size()) return {};
            const auto begin = pcm.begin() + static_cast<std::ptrdiff_t>(off);
            const auto n = std::min<std::size_t>(kPcmSamplesPerSecond,
                                                 pcm.size() - static_cast<std::size_t>(off));
            return std::vector<std::int16_t>(begin, begin + static_cast<std::ptrdiff_t>(n));
        }
        case kFormatGsm: {
            std::vector<std::int16_t> out;
            gsm_->DecodeFrames(RawSecond(i), out);
            return out;
        }
        case kFormatALaw:
            return DecodeALawPayload(RawSecond(i));
        default:
            return DecodeMuLawPayload(RawSecond(i));
    }
}

std::vector<std::int16_t> RecordingDecoder::DecodeAll() {
    switch (tag_) {
        case kFormatImaAdpcm:
            return imaPcm_ ? *imaPcm_ : DecodeImaPayload(Payload());
        case kFormatGsm:
            return DecodeGsmPayload(Payload());
        case kFormatALaw:
            return DecodeALawPayload(Payload());
        default:
            return DecodeMuLawPayload(Payload());
    }
}

}  // namespace lk
