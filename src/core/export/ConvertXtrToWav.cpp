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

// GSM is decoded a second at a time and each second re-encoded at once: a
// second is 50 frames, a whole number of 65-byte blocks, so the file is the
// same as encoding the whole decoded recording in one go, without holding it.
// As in the whole-recording form, a tail shorter than one frame is dropped.
ConvertResult ConvertGsm(std::ifstream& in, std::uint64_t n,
                         const std::filesystem::path& destination) {
    const std::uint64_t tail = n % kGsmPiece;
    const std::uint64_t samples =
        n / kGsmPiece * 8000 +
        (tail >= kGsmFrameSize ? (tail + kGsmFrameSize - 1) / kGsmFrameSize * kGsmFrameSamples : 0);
    if (samples < kGsmWavMinimumSamples) return ConvertResult::WriteFailed;
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
    in.close();
    const auto len = static_cast<std::uint32_t>(payload.size());

    if (tag == kFormatImaAdpcm) {
        const auto h = ConvertedImaAdpcmWavHeader(len);
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
