#include "export/ConvertXtrToWav.h"

#include <fstream>
#include <new>
#include <vector>

#include "export/AtomicFile.h"
#include "export/GsmWavWriter.h"
#include "export/WavHeaders.h"
#include "playback/GsmCodec.h"
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
    std::error_code ec;
    if (std::filesystem::is_directory(source, ec)) return ConvertResult::SourceOpenFailed;
    // Read-only: recordings on a write-protected card convert too.
    std::ifstream in(source, std::ios::binary);
    if (!in) return ConvertResult::SourceOpenFailed;
    in.seekg(0, std::ios::end);
    const auto end = in.tellg();
    if (end < 0) return ConvertResult::SourceOpenFailed;
    const auto size = static_cast<std::uint64_t>(end);
    const std::uint64_t n =
        size > xtr::kConversionPayloadOffset ? size - xtr::kConversionPayloadOffset : 0;
    if (n < kMinimumPayload) return ConvertResult::SourceTooSmall;
    if (n > UINT32_MAX - 64) return ConvertResult::OutOfMemory;  // no WAV header can hold it

    std::array<std::uint8_t, xtr::kHeaderSize> headerBytes{};
    in.seekg(0);
    in.read(reinterpret_cast<char*>(headerBytes.data()), headerBytes.size());
    const auto header = ReadXtrHeader(ByteSpan(headerBytes));
    if (!in || !header) return ConvertResult::SourceOpenFailed;
    const auto tag = header->formatTag;
    if (tag != kFormatGsm && tag != kFormatImaAdpcm && tag != kFormatMuLaw && tag != kFormatALaw)
        return ConvertResult::NotConverted;

    std::vector<std::uint8_t> payload;
    try {
        payload.resize(static_cast<std::size_t>(n));
    } catch (const std::bad_alloc&) {
        return ConvertResult::OutOfMemory;
    }
    in.seekg(static_cast<std::streamoff>(xtr::kConversionPayloadOffset));
    in.read(reinterpret_cast<char*>(payload.data()), static_cast<std::streamsize>(n));
    payload.resize(static_cast<std::size_t>(in.gcount()));
    in.close();
    const auto len = static_cast<std::uint32_t>(payload.size());

    if (tag == kFormatImaAdpcm) {
        const auto h = ConvertedImaAdpcmWavHeader(len);
        return WriteWithHeader(destination, h, payload);
    }
    if (tag == kFormatMuLaw || tag == kFormatALaw) {
        const auto h = G711WavHeader(static_cast<std::uint16_t>(tag), len);
        return WriteWithHeader(destination, h, payload);
    }

    std::vector<std::int16_t> pcm;
    try {
        pcm.reserve(payload.size() / kGsmFrameSize * kGsmFrameSamples + 8000);
    } catch (const std::bad_alloc&) {
        return ConvertResult::OutOfMemory;
    }
    GsmDecoder decoder;
    if (!decoder.Valid()) return ConvertResult::OutOfMemory;
    const ByteSpan all(payload);
    for (std::size_t off = 0; off < all.size(); off += kGsmPiece) {
        const auto piece = all.subspan(off, std::min(kGsmPiece, all.size() - off));
        if (piece.size() < kGsmFrameSize) break;  // a short tail is dropped
        decoder.DecodeFrames(piece, pcm);
    }
    return WriteGsmWav(pcm, destination) ? ConvertResult::Converted : ConvertResult::WriteFailed;
}

std::string ExportDestination(std::string_view folder, std::string_view source) {
    const auto slash = source.find_last_of("\\/");
    std::string name(slash == std::string_view::npos ? source : source.substr(slash + 1));
    for (std::size_t pos = 0; (pos = name.find(".xtr", pos)) != std::string::npos; pos += 4)
        name.replace(pos, 4, ".wav");
    return std::string(folder) + name;
}

}  // namespace lk
