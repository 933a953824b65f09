#include "export/DecodeToWav.h"

#include <bit>
#include <cstdint>
#include <fstream>
#include <vector>

#include "export/AtomicFile.h"
#include "export/WavHeaders.h"
#include "platform/ByteIo.h"
#include "playback/RecordingDecoder.h"
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
    }
    return "cannot read";
}

DecodeToWavResult DecodeRecordingToWav(const std::filesystem::path& source,
                                       const std::filesystem::path& destination) {
    std::error_code ec;
    if (std::filesystem::is_directory(source, ec)) return DecodeToWavResult::CannotRead;
    std::ifstream in(source, std::ios::binary);
    if (!in) return DecodeToWavResult::CannotRead;
    in.seekg(0, std::ios::end);
    const auto end = in.tellg();
    if (end < 0) return DecodeToWavResult::CannotRead;
    const auto size = static_cast<std::uint64_t>(end);
    if (size == 0) return DecodeToWavResult::Empty;

    XtrHeader header{static_cast<std::uint32_t>(kWavRecordingHeaderSize), kFormatImaAdpcm};
    if (IsXtrPath(source.string())) {
        std::array<std::uint8_t, xtr::kHeaderSize> bytes{};
        in.seekg(0);
        in.read(reinterpret_cast<char*>(bytes.data()), bytes.size());
        const auto h = ReadXtrHeader(ByteSpan(bytes));
        if (!in || !h) return DecodeToWavResult::NoHeader;
        header = *h;
    }
    if (header.dataOffset > size) return DecodeToWavResult::DataOffsetBeyond;
    const auto samples = PayloadDecoder::SampleCount(header.formatTag, size - header.dataOffset);
    if (samples > (UINT32_MAX - 64) / 2) return DecodeToWavResult::TooLong;

    AtomicFileWriter out;
    if (!out.Open(destination)) return DecodeToWavResult::WriteFailed;
    const auto wavHeader = Pcm16WavHeader(static_cast<std::uint32_t>(samples));
    if (!out.Write(wavHeader)) return DecodeToWavResult::WriteFailed;

    PayloadDecoder decoder(header.formatTag);
    std::vector<std::uint8_t> piece(kPiece);
    std::vector<std::int16_t> pcm;
    std::vector<std::uint8_t> bytes;
    std::uint64_t written = 0;
    in.seekg(static_cast<std::streamoff>(header.dataOffset));
    while (in) {
        in.read(reinterpret_cast<char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got == 0) break;
        pcm.clear();
        decoder.Decode(ByteSpan(piece.data(), got), pcm);
        written += pcm.size();
        bool ok;
        if constexpr (std::endian::native == std::endian::little) {
            ok = out.Write(
                ByteSpan(reinterpret_cast<const std::uint8_t*>(pcm.data()), pcm.size() * 2));
        } else {
            bytes.resize(pcm.size() * 2);
            for (std::size_t i = 0; i < pcm.size(); ++i)
                WriteI16(bytes, 2 * i, pcm[i]);
            ok = out.Write(bytes);
        }
        if (!ok) return DecodeToWavResult::WriteFailed;
    }
    // A file that changed size while being read would make the header lie.
    if (written != samples) return DecodeToWavResult::CannotRead;
    return out.Commit() ? DecodeToWavResult::Written : DecodeToWavResult::WriteFailed;
}

}  // namespace lk
