#include "export/ConvertXtrToWav.h"

#include <algorithm>
#include <array>
#include <istream>
#include <new>
#include <optional>
#include <vector>

#include <fcntl.h>

#include "export/GsmWavWriter.h"
#include "export/WavHeaders.h"
#include "platform/AtomicFile.h"
#include "platform/ByteIo.h"
#include "playback/GsmCodec.h"
#include "playback/GsmFramePacking.h"
#include "playback/XtrFormat.h"
#include "playback/XtrHeader.h"

namespace lk {
namespace {

constexpr std::uint64_t kMinimumPayload = 33;  // 32 bytes or fewer are refused
constexpr std::size_t kGsmPiece = 1650;        // read and decoded one second at a time

ConvertResult WriteWithHeader(const std::filesystem::path& destination, ByteSpan header,
                              ByteSpan payload) {
    return WriteFileAtomically(destination, {header, payload}) ? ConvertResult::Converted
                                                               : ConvertResult::WriteFailed;
}

// The samples a GSM payload of n bytes stands for: it is read a second
// (1650 bytes) at a time, a last partial frame counts whole (padded with zero
// bytes), and a tail shorter than one frame is dropped.
std::uint64_t GsmSampleCount(std::uint64_t n) {
    const std::uint64_t tail = n % kGsmPiece;
    return n / kGsmPiece * 8000 +
           (tail >= kGsmFrameSize ? (tail + kGsmFrameSize - 1) / kGsmFrameSize * kGsmFrameSamples
                                  : 0);
}

// Hands each frame of the payload, in order, to `frame` (33 bytes, a last
// partial one padded). Stops early when `frame` returns false. Returns the
// number of frames handed over, or nothing when the source cannot be read.
template <typename OnFrame>
std::optional<std::uint64_t> ForEachGsmFrame(std::istream& in, OnFrame&& frame) {
    std::vector<std::uint8_t> piece(kGsmPiece);
    std::array<std::uint8_t, kGsmFrameSize> padded{};
    std::uint64_t frames = 0;
    in.clear();
    in.seekg(static_cast<std::streamoff>(xtr::kConversionPayloadOffset));
    if (!in) return std::nullopt;
    while (in) {
        in.read(reinterpret_cast<char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got < kGsmFrameSize) break;
        for (std::size_t off = 0; off < got; off += kGsmFrameSize) {
            ByteSpan f(piece.data() + off, std::min(kGsmFrameSize, got - off));
            if (f.size() < kGsmFrameSize) {
                padded.fill(0);
                std::copy(f.begin(), f.end(), padded.begin());
                f = padded;
            }
            ++frames;
            if (!frame(f)) return frames;
        }
    }
    return frames;
}

// The recorder's frames already are GSM 06.10 frames: they are moved into
// the WAV's 65-byte pairs bit for bit, so the file decodes to exactly what the
// recording decodes to. An odd last frame is paired with a silent one.
// Nothing when a frame is damaged (the decoder would give silence for it,
// which only decoding and encoding again can reproduce).
std::optional<ConvertResult> RepackGsm(std::istream& in, std::uint64_t samples,
                                       const std::filesystem::path& destination) {
    const auto frames = samples / kGsmFrameSamples;
    const auto blocks = (frames + 1) / 2;
    AtomicFileWriter out;
    if (!out.Open(destination)) return ConvertResult::WriteFailed;
    const auto header = GsmWavHeader(static_cast<std::uint32_t>(blocks * kGsmWav49BlockSize),
                                     static_cast<std::uint32_t>(samples));
    if (!out.Write(header)) return ConvertResult::WriteFailed;

    std::array<std::uint8_t, kGsmFrameSize> pending{};
    bool havePending = false, damaged = false, writeFailed = false;
    std::vector<std::uint8_t> buffer;
    buffer.reserve(kGsmPiece);
    std::array<std::uint8_t, kGsmWav49PairSize> pair{};
    auto flush = [&] {
        if (!buffer.empty() && !out.Write(buffer)) writeFailed = true;
        buffer.clear();
        return !writeFailed;
    };
    const auto seen = ForEachGsmFrame(in, [&](ByteSpan frame) {
        if (!IsStandardGsmFrame(frame)) {
            damaged = true;
            return false;
        }
        if (!havePending) {
            std::copy(frame.begin(), frame.end(), pending.begin());
            havePending = true;
            return true;
        }
        PackWav49Pair(pending, frame, pair);
        havePending = false;
        buffer.insert(buffer.end(), pair.begin(), pair.end());
        return buffer.size() < kGsmPiece || flush();
    });
    if (damaged) return std::nullopt;
    if (writeFailed) return ConvertResult::WriteFailed;
    if (!seen || *seen != frames) return ConvertResult::SourceOpenFailed;  // changed under us
    if (havePending) {
        PackWav49Pair(pending, SilentGsmFrame(), pair);
        buffer.insert(buffer.end(), pair.begin(), pair.end());
    }
    if (!flush()) return ConvertResult::WriteFailed;
    return out.Commit() ? ConvertResult::Converted : ConvertResult::WriteFailed;
}

// A recording with damaged frames is decoded (those frames give silence) and
// encoded again, a second at a time: a second is 50 frames, a whole number of
// 65-byte blocks, so the file is the same as encoding the whole decoded
// recording in one go, without holding it.
ConvertResult ReencodeGsm(std::istream& in, std::uint64_t samples,
                          const std::filesystem::path& destination) {
    const auto blocks = (samples + kGsmWav49BlockSamples - 1) / kGsmWav49BlockSamples;
    GsmDecoder decoder;
    GsmEncoder encoder(true);
    if (!decoder.Valid() || !encoder.Valid()) return ConvertResult::OutOfMemory;
    AtomicFileWriter out;
    if (!out.Open(destination)) return ConvertResult::WriteFailed;
    const auto header = GsmWavHeader(static_cast<std::uint32_t>(blocks * kGsmWav49BlockSize),
                                     static_cast<std::uint32_t>(samples));
    if (!out.Write(header)) return ConvertResult::WriteFailed;

    std::vector<std::uint8_t> piece(kGsmPiece);
    std::vector<std::int16_t> pcm;
    std::vector<std::uint8_t> encoded;
    std::uint64_t decoded = 0;
    in.clear();
    in.seekg(static_cast<std::streamoff>(xtr::kConversionPayloadOffset));
    while (in) {
        in.read(reinterpret_cast<char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got < kGsmFrameSize) break;
        pcm.clear();
        decoder.DecodeFrames(ByteSpan(piece.data(), got), pcm);
        decoded += pcm.size();
        encoded.clear();
        encoder.Encode(pcm, encoded);
        if (!out.Write(encoded)) return ConvertResult::WriteFailed;
    }
    if (decoded != samples) return ConvertResult::SourceOpenFailed;  // the file changed under us
    return out.Commit() ? ConvertResult::Converted : ConvertResult::WriteFailed;
}

ConvertResult ConvertGsm(std::istream& in, std::uint64_t n,
                         const std::filesystem::path& destination) {
    const auto samples = GsmSampleCount(n);
    if (samples < kGsmWavMinimumSamples) return ConvertResult::WriteFailed;
    if (const auto repacked = RepackGsm(in, samples, destination)) return *repacked;
    return ReencodeGsm(in, samples, destination);
}

}  // namespace

std::string_view ConvertResultName(ConvertResult result) {
    switch (result) {
        case ConvertResult::Converted:
            return "Converted";
        case ConvertResult::SourceOpenFailed:
            return "SourceOpenFailed";
        case ConvertResult::SourceTooSmall:
            return "SourceTooSmall";
        case ConvertResult::OutOfMemory:
            return "OutOfMemory";
        case ConvertResult::WriteFailed:
            return "WriteFailed";
        case ConvertResult::NotConverted:
            return "NotConverted";
    }
    return "NotConverted";
}

ConvertResult ConvertXtrToWav(const std::filesystem::path& source,
                              const std::filesystem::path& destination) {
    // Read-only: recordings on a write-protected card convert too.
    return ConvertXtrToWav(OpenRegularFile(source, O_RDONLY), destination);
}

ConvertResult ConvertXtrToWav(RegularFileOpen source, const std::filesystem::path& destination) {
    RegularFileStream in(std::move(source));
    if (!in) return ConvertResult::SourceOpenFailed;
    in.seekg(0, std::ios::end);
    const auto end = in.tellg();
    if (end < 0) return ConvertResult::SourceOpenFailed;
    const auto size = static_cast<std::uint64_t>(end);
    const std::uint64_t n =
        size > xtr::kConversionPayloadOffset ? size - xtr::kConversionPayloadOffset : 0;
    if (n < kMinimumPayload) return ConvertResult::SourceTooSmall;
    if (n > UINT32_MAX - 512) return ConvertResult::OutOfMemory;  // no WAV header can hold it

    std::array<std::uint8_t, xtr::kHeaderSize> headerBytes{};
    in.seekg(0);
    in.read(reinterpret_cast<char*>(headerBytes.data()), headerBytes.size());
    const auto header = ReadXtrHeader(ByteSpan(headerBytes));
    if (!in || !header) return ConvertResult::SourceOpenFailed;
    const auto tag = header->formatTag;
    if (tag != kFormatGsm && tag != kFormatImaAdpcm && tag != kFormatMuLaw && tag != kFormatALaw)
        return ConvertResult::NotConverted;

    if (tag == kFormatGsm) return ConvertGsm(in, n, destination);

    std::vector<std::uint8_t> payload;
    try {
        payload.resize(static_cast<std::size_t>(n));
    } catch (const std::bad_alloc&) {
        return ConvertResult::OutOfMemory;
    }
    in.seekg(static_cast<std::streamoff>(xtr::kConversionPayloadOffset));
    in.read(reinterpret_cast<char*>(payload.data()), static_cast<std::streamsize>(n));
    payload.resize(static_cast<std::size_t>(in.gcount()));
    const auto len = static_cast<std::uint32_t>(payload.size());

    if (tag == kFormatImaAdpcm) {
        // A short last block is padded as the player reads it (zero bytes),
        // so the data chunk holds whole blocks and declares what it holds.
        const auto h = ConvertedImaAdpcmWavHeader(len);
        payload.resize(ReadU32(h, 56), 0);
        return WriteWithHeader(destination, h, payload);
    }
    const auto h = G711WavHeader(static_cast<std::uint16_t>(tag), len);
    return WriteWithHeader(destination, h, payload);
}

std::string ExportDestination(std::string_view folder, std::string_view source) {
    const auto slash = source.find_last_of("\\/");
    std::string name(slash == std::string_view::npos ? source : source.substr(slash + 1));
    for (std::size_t pos = 0; (pos = name.find(".xtr", pos)) != std::string::npos; pos += 4)
        name.replace(pos, 4, ".wav");
    return std::string(folder) + name;
}

}  // namespace lk
