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

void AppendImaBlocks(ByteSpan payload, std::size_t blockSize, std::vector<std::int16_t>& out) {
    if (blockSize < 5) return;
    const auto perBlock = (blockSize - 4) * 2 + 1;
    const auto blocks = (payload.size() + blockSize - 1) / blockSize;
    const auto base = out.size();
    out.resize(base + blocks * perBlock);
    ImaState state;
    for (std::size_t b = 0; b < blocks; ++b) {
        const auto off = b * blockSize;
        DecodeImaBlockOfSize(payload.subspan(off, std::min(blockSize, payload.size() - off)),
                             blockSize, state,
                             std::span<std::int16_t>(out.data() + base + b * perBlock, perBlock));
    }
}

void AppendPcm16(ByteSpan bytes, std::vector<std::int16_t>& out) {
    const auto n = bytes.size() / 2;
    const auto base = out.size();
    out.resize(base + n);
    for (std::size_t i = 0; i < n; ++i)
        out[base + i] = ReadI16(bytes, 2 * i);
}

void AppendPcm8(ByteSpan bytes, std::vector<std::int16_t>& out) {
    const auto base = out.size();
    out.resize(base + bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i)
        out[base + i] = static_cast<std::int16_t>((bytes[i] - 128) * 256);
}

// Bytes of payload per second of sound for the codings read in place.
std::size_t RawBytesPerSecond(AudioCoding coding) {
    switch (coding) {
        case AudioCoding::Gsm:
            return kGsmBytesPerSecond;
        case AudioCoding::GsmWav49:
            return 1625;
        case AudioCoding::Pcm16:
            return 2 * kPcmSamplesPerSecond;
        default:
            return kG711BytesPerSecond;
    }
}

void AppendWith(const AudioCodec& codec, GsmDecoder* gsm, ByteSpan piece,
                std::vector<std::int16_t>& out) {
    switch (codec.coding) {
        case AudioCoding::ImaAdpcm:
            AppendImaBlocks(piece, codec.unitSize, out);
            break;
        case AudioCoding::Gsm:
            gsm->DecodeFrames(piece, out);
            break;
        case AudioCoding::GsmWav49:
            gsm->DecodeWav49Blocks(piece, out);
            break;
        case AudioCoding::ALaw:
            Expand8(piece, ALawTable(), out);
            break;
        case AudioCoding::MuLaw:
            Expand8(piece, MuLawTable(), out);
            break;
        case AudioCoding::Pcm16:
            AppendPcm16(piece, out);
            break;
        case AudioCoding::Pcm8:
            AppendPcm8(piece, out);
            break;
    }
}

std::unique_ptr<GsmDecoder> GsmDecoderFor(const AudioCodec& codec) {
    if (codec.coding == AudioCoding::Gsm) return std::make_unique<GsmDecoder>();
    if (codec.coding == AudioCoding::GsmWav49) return std::make_unique<GsmDecoder>(true);
    return nullptr;
}

}  // namespace

std::string_view RecordingOpenErrorText(RecordingOpenError error) {
    switch (error) {
        case RecordingOpenError::None:
            return "opened";
        case RecordingOpenError::CannotRead:
            return "cannot read";
        case RecordingOpenError::Empty:
            return "empty file";
        case RecordingOpenError::NoHeader:
            return "shorter than a recording header";
        case RecordingOpenError::DataOffsetBeyond:
            return "ends before its audio starts";
        case RecordingOpenError::UnsupportedWav:
            return "WAV format not supported";
        case RecordingOpenError::BrokenWav:
            return "damaged WAV header";
    }
    return "cannot read";
}

std::uint32_t EffectiveFormatTag(std::uint32_t tag) {
    return (tag == kFormatGsm || tag == kFormatImaAdpcm || tag == kFormatALaw) ? tag : kFormatMuLaw;
}

PayloadDecoder::PayloadDecoder(std::uint32_t formatTag)
    : PayloadDecoder(AudioCodec::ForXtrTag(formatTag)) {}

PayloadDecoder::PayloadDecoder(const AudioCodec& codec)
    : codec_(codec), gsm_(GsmDecoderFor(codec)) {}

PayloadDecoder::~PayloadDecoder() = default;

std::size_t PayloadDecoder::UnitSize(std::uint32_t formatTag) {
    return AudioCodec::ForXtrTag(formatTag).unitSize;
}

std::uint64_t PayloadDecoder::SampleCount(std::uint32_t formatTag, std::uint64_t bytes) {
    return AudioCodec::ForXtrTag(formatTag).SampleCount(bytes);
}

void PayloadDecoder::Decode(ByteSpan piece, std::vector<std::int16_t>& out) {
    AppendWith(codec_, gsm_.get(), piece, out);
}

void DecodePayload(const AudioCodec& codec, ByteSpan payload, std::vector<std::int16_t>& out) {
    const auto gsm = GsmDecoderFor(codec);
    AppendWith(codec, gsm.get(), payload, out);
}

std::vector<std::int16_t> DecodeImaPayload(ByteSpan payload) {
    std::vector<std::int16_t> out;
    AppendImaBlocks(payload, kImaBlockSize, out);
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

RecordingOpenResult RecordingDecoder::Load(std::vector<std::uint8_t> image, bool isXtr) {
    RecordingOpenResult r;
    auto fail = [&](RecordingOpenError e, std::string reason = {}) {
        r.error = e;
        r.reason = reason.empty() ? std::string(RecordingOpenErrorText(e)) : std::move(reason);
        return std::move(r);
    };
    if (image.empty()) return fail(RecordingOpenError::Empty);
    std::unique_ptr<RecordingDecoder> d(new RecordingDecoder());
    d->isXtr_ = isXtr;
    if (isXtr) {
        const auto header = ReadXtrHeader(ByteSpan(image));
        if (!header) return fail(RecordingOpenError::NoHeader);
        d->storedTag_ = header->formatTag;
        d->codec_ = AudioCodec::ForXtrTag(header->formatTag);
        if (header->dataOffset > image.size()) return fail(RecordingOpenError::DataOffsetBeyond);
        d->dataOffset_ = header->dataOffset;
        d->payloadSize_ = image.size() - header->dataOffset;
        d->marked_ = ParseMarkedSegment(NoteAreaOf(image));
    } else {
        // Never guess: a WAV file is played only as what its header declares.
        auto wav = ParseWavLayout(ByteSpan(image));
        if (wav.verdict == WavVerdict::Broken)
            return fail(RecordingOpenError::BrokenWav, "damaged WAV header: " + wav.reason);
        if (wav.verdict == WavVerdict::Unsupported)
            return fail(RecordingOpenError::UnsupportedWav, wav.reason);
        if (wav.dataOffset > UINT32_MAX)
            return fail(RecordingOpenError::BrokenWav, "damaged WAV header: audio beyond 4 GB");
        d->storedTag_ = wav.formatTag;
        d->codec_ = wav.codec;
        d->dataOffset_ = static_cast<std::uint32_t>(wav.dataOffset);
        d->payloadSize_ = static_cast<std::size_t>(wav.dataSize);
        d->wav_ = std::move(wav);
    }
    d->image_ = std::move(image);
    d->gsm_ = GsmDecoderFor(d->codec_);
    r.decoder = std::move(d);
    return r;
}

RecordingOpenResult RecordingDecoder::Load(const std::filesystem::path& path) {
    auto image = ReadWholeFile(path);
    if (!image) {
        RecordingOpenResult r;
        r.error = RecordingOpenError::CannotRead;
        r.reason = std::string(RecordingOpenErrorText(r.error));
        return r;
    }
    return Load(std::move(*image), IsXtrPath(path.string()));
}

std::unique_ptr<RecordingDecoder> RecordingDecoder::FromBytes(std::vector<std::uint8_t> image,
                                                              bool isXtr,
                                                              RecordingOpenError* error) {
    auto r = Load(std::move(image), isXtr);
    if (error) *error = r.error;
    return std::move(r.decoder);
}

std::unique_ptr<RecordingDecoder> RecordingDecoder::Open(const std::filesystem::path& path,
                                                         RecordingOpenError* error) {
    auto r = Load(path);
    if (error) *error = r.error;
    return std::move(r.decoder);
}

RecordingDecoder::~RecordingDecoder() = default;

std::size_t RecordingDecoder::BytesPerSecond() const {
    switch (codec_.coding) {
        case AudioCoding::ImaAdpcm:
        case AudioCoding::Pcm8:
            return 2 * kPcmSamplesPerSecond;
        default:
            return RawBytesPerSecond(codec_.coding);
    }
}

unsigned RecordingDecoder::TotalSeconds() const {
    if (!RecorderRules())
        return static_cast<unsigned>(codec_.SampleCount(payloadSize_) / kPcmSamplesPerSecond);
    const auto rate =
        codec_.coding == AudioCoding::ImaAdpcm ? kImaBytesPerSecond : BytesPerSecond();
    return static_cast<unsigned>(payloadSize_ / rate);
}

ByteSpan RecordingDecoder::Payload() const {
    return ByteSpan(image_).subspan(dataOffset_, payloadSize_);
}

ByteSpan RecordingDecoder::RawSecond(unsigned i) const {
    if (codec_.coding == AudioCoding::ImaAdpcm || codec_.coding == AudioCoding::Pcm8) return {};
    const auto payload = Payload();
    const auto n = RawBytesPerSecond(codec_.coding);
    const auto off = static_cast<std::uint64_t>(i) * n;
    if (off >= payload.size()) return {};
    return payload.subspan(
        static_cast<std::size_t>(off),
        std::min<std::size_t>(n, payload.size() - static_cast<std::size_t>(off)));
}

const std::vector<std::int16_t>& RecordingDecoder::WholePcm() {
    if (!wholePcm_) {
        wholePcm_.emplace();
        DecodePayload(codec_, Payload(), *wholePcm_);
    }
    return *wholePcm_;
}

std::vector<std::int16_t> RecordingDecoder::DecodeSecond(unsigned i) {
    std::vector<std::int16_t> out;
    switch (codec_.coding) {
        case AudioCoding::ImaAdpcm:
        case AudioCoding::Pcm8: {
            const auto& pcm = WholePcm();
            const auto off = static_cast<std::uint64_t>(i) * kPcmSamplesPerSecond;
            if (off >= pcm.size()) return {};
            const auto begin = pcm.begin() + static_cast<std::ptrdiff_t>(off);
            const auto n = std::min<std::size_t>(kPcmSamplesPerSecond,
                                                 pcm.size() - static_cast<std::size_t>(off));
            return std::vector<std::int16_t>(begin, begin + static_cast<std::ptrdiff_t>(n));
        }
        default:
            AppendWith(codec_, gsm_.get(), RawSecond(i), out);
            return out;
    }
}

std::vector<std::int16_t> RecordingDecoder::DecodeAll() {
    if (wholePcm_) return *wholePcm_;
    std::vector<std::int16_t> out;
    DecodePayload(codec_, Payload(), out);
    return out;
}

}  // namespace lk
