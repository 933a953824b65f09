#include "export/DecodeToWav.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

#include "export/WavHeaders.h"
#include "platform/AtomicFile.h"
#include "platform/ByteIo.h"
#include "platform/RegularFile.h"
#include "playback/RecordingDecoder.h"
#include "playback/WavLayout.h"
#include "playback/XtrFormat.h"
#include "playback/XtrHeader.h"

namespace lk {
namespace {

// A whole number of IMA ADPCM blocks and of GSM frames (256 * 33 * 16 bytes).
constexpr std::size_t kPiece = 256 * 33 * 16;

}  // namespace

std::string_view DecodeToWavResultText(DecodeToWavResult result) {
    switch (result) {
        case DecodeToWavResult::Written:
            return "written";
        case DecodeToWavResult::CannotRead:
            return "cannot read";
        case DecodeToWavResult::Empty:
            return "empty file";
        case DecodeToWavResult::NoHeader:
            return "shorter than a recording header";
        case DecodeToWavResult::DataOffsetBeyond:
            return "ends before its audio starts";
        case DecodeToWavResult::TooLong:
            return "too long for a WAV file";
        case DecodeToWavResult::WriteFailed:
            return "cannot write the WAV file";
        case DecodeToWavResult::UnsupportedWav:
            return "WAV format not supported";
        case DecodeToWavResult::BrokenWav:
            return "damaged WAV header";
    }
    return "cannot read";
}

DecodeToWavResult DecodeRecordingPcm(const std::filesystem::path& source, const PcmSink& sink,
                                     std::string* reason) {
    std::error_code ec;
    if (std::filesystem::is_directory(source, ec)) return DecodeToWavResult::CannotRead;
    RegularFileStream in(source);
    if (!in) return DecodeToWavResult::CannotRead;
    in.seekg(0, std::ios::end);
    const auto end = in.tellg();
    if (end < 0) return DecodeToWavResult::CannotRead;
    const auto size = static_cast<std::uint64_t>(end);
    if (size == 0) return DecodeToWavResult::Empty;

    AudioCodec codec;
    std::uint64_t dataOffset = 0, dataSize = 0;
    if (IsXtrPath(source.string())) {
        std::array<std::uint8_t, xtr::kHeaderSize> bytes{};
        in.seekg(0);
        in.read(reinterpret_cast<char*>(bytes.data()), bytes.size());
        const auto h = ReadXtrHeader(ByteSpan(bytes));
        if (!in || !h) return DecodeToWavResult::NoHeader;
        if (h->dataOffset > size) return DecodeToWavResult::DataOffsetBeyond;
        codec = AudioCodec::ForXtrTag(h->formatTag);
        dataOffset = h->dataOffset;
        dataSize = size - dataOffset;
    } else {
        const auto wav = ReadWavLayout(source);
        if (!wav.Playable()) {
            if (reason) *reason = wav.reason;
            return wav.verdict == WavVerdict::Broken ? DecodeToWavResult::BrokenWav
                                                     : DecodeToWavResult::UnsupportedWav;
        }
        codec = wav.codec;
        dataOffset = wav.dataOffset;
        dataSize = wav.dataSize;
    }
    const auto samples = codec.SampleCount(dataSize);
    if (samples > (UINT32_MAX - 64) / 2) return DecodeToWavResult::TooLong;
    if (sink.begin && !sink.begin(samples)) return DecodeToWavResult::WriteFailed;

    PayloadDecoder decoder(codec);
    // Pieces of whole units, so that each decodes as part of the whole.
    const auto unit = std::max<std::size_t>(codec.unitSize, 1);
    std::vector<std::uint8_t> piece((kPiece + unit - 1) / unit * unit);
    std::vector<std::int16_t> pcm;
    std::uint64_t written = 0, left = dataSize;
    in.clear();
    in.seekg(static_cast<std::streamoff>(dataOffset));
    while (in && left > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), left));
        in.read(reinterpret_cast<char*>(piece.data()), static_cast<std::streamsize>(want));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got == 0) break;
        left -= got;
        pcm.clear();
        decoder.Decode(ByteSpan(piece.data(), got), pcm);
        written += pcm.size();
        if (!sink.piece(pcm)) return DecodeToWavResult::WriteFailed;
    }
    // A file that changed size while being read would make a header lie.
    if (written != samples) return DecodeToWavResult::CannotRead;
    return DecodeToWavResult::Written;
}

DecodeToWavResult DecodeRecordingToWav(const std::filesystem::path& source,
                                       const std::filesystem::path& destination,
                                       std::string* reason) {
    AtomicFileWriter out;
    std::vector<std::uint8_t> bytes;
    PcmSink sink;
    sink.begin = [&](std::uint64_t samples) {
        return out.Open(destination) &&
               out.Write(Pcm16WavHeader(static_cast<std::uint32_t>(samples)));
    };
    sink.piece = [&](std::span<const std::int16_t> pcm) {
        if constexpr (std::endian::native == std::endian::little) {
            return out.Write(
                ByteSpan(reinterpret_cast<const std::uint8_t*>(pcm.data()), pcm.size() * 2));
        } else {
            bytes.resize(pcm.size() * 2);
            for (std::size_t i = 0; i < pcm.size(); ++i)
                WriteI16(bytes, 2 * i, pcm[i]);
            return out.Write(bytes);
        }
    };
    const auto result = DecodeRecordingPcm(source, sink, reason);
    if (result != DecodeToWavResult::Written) return result;
    return out.Commit() ? DecodeToWavResult::Written : DecodeToWavResult::WriteFailed;
}

}  // namespace lk
