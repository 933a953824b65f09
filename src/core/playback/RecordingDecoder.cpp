#include "playback/RecordingDecoder.h"

#include <algorithm>

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

std::uint32_t EffectiveTag(std::uint32_t tag) {
    return (tag == kFormatGsm || tag == kFormatImaAdpcm || tag == kFormatALaw) ? tag : kFormatMuLaw;
}

template <typename Expand>
std::vector<std::int16_t> Expand8(ByteSpan bytes, Expand expand) {
    std::vector<std::int16_t> out(bytes.size());
    std::transform(bytes.begin(), bytes.end(), out.begin(), expand);
    return out;
}

}  // namespace

std::vector<std::int16_t> DecodeImaPayload(ByteSpan payload) {
    const auto blocks = (payload.size() + kImaBlockSize - 1) / kImaBlockSize;
    std::vector<std::int16_t> out(blocks * kImaSamplesPerBlock);
    ImaState state;
    for (std::size_t b = 0; b < blocks; ++b) {
        const auto off = b * kImaBlockSize;
        DecodeImaBlock(payload.subspan(off, std::min(kImaBlockSize, payload.size() - off)), state,
                       std::span<std::int16_t, kImaSamplesPerBlock>(
                           out.data() + b * kImaSamplesPerBlock, kImaSamplesPerBlock));
    }
    return out;
}

std::vector<std::int16_t> DecodeGsmPayload(ByteSpan payload) {
    GsmDecoder decoder;
    std::vector<std::int16_t> out;
    decoder.DecodeFrames(payload, out);
    return out;
}

std::vector<std::int16_t> DecodeMuLawPayload(ByteSpan payload) {
    return Expand8(payload, MuLawToLinear);
}

std::vector<std::int16_t> DecodeALawPayload(ByteSpan payload) {
    return Expand8(payload, ALawToLinear);
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
    d->tag_ = EffectiveTag(d->storedTag_);
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
