#include "export/RecordingWriter.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "export/WavHeaders.h"
#include "platform/ByteIo.h"
#include "playback/G711.h"
#include "playback/GsmCodec.h"
#include "playback/ImaAdpcm.h"
#include "playback/XtrFormat.h"

namespace lk {

std::vector<std::uint8_t> EncodeImaPayload(std::span<const std::int16_t> pcm) {
    const auto blocks = (pcm.size() + kImaSamplesPerBlock - 1) / kImaSamplesPerBlock;
    std::vector<std::uint8_t> out(blocks * kImaBlockSize);
    ImaState state;
    for (std::size_t b = 0; b < blocks; ++b) {
        const auto off = b * kImaSamplesPerBlock;
        EncodeImaBlock(
            pcm.subspan(off, std::min(kImaSamplesPerBlock, pcm.size() - off)), state,
            std::span<std::uint8_t, kImaBlockSize>(out.data() + b * kImaBlockSize, kImaBlockSize));
    }
    return out;
}

std::vector<std::uint8_t> EncodeGsmPayload(std::span<const std::int16_t> pcm) {
    GsmEncoder encoder;
    std::vector<std::uint8_t> out;
    encoder.Encode(pcm, out);
    return out;
}

std::vector<std::uint8_t> EncodeMuLawPayload(std::span<const std::int16_t> pcm) {
    std::vector<std::uint8_t> out(pcm.size());
    std::transform(pcm.begin(), pcm.end(), out.begin(), LinearToMuLaw);
    return out;
}

std::vector<std::uint8_t> EncodeALawPayload(std::span<const std::int16_t> pcm) {
    std::vector<std::uint8_t> out(pcm.size());
    std::transform(pcm.begin(), pcm.end(), out.begin(), LinearToALaw);
    return out;
}

std::vector<std::uint8_t> EncodePayload(std::uint32_t formatTag,
                                        std::span<const std::int16_t> pcm) {
    switch (formatTag) {
        case kFormatGsm:
            return EncodeGsmPayload(pcm);
        case kFormatImaAdpcm:
            return EncodeImaPayload(pcm);
        case kFormatALaw:
            return EncodeALawPayload(pcm);
        default:
            return EncodeMuLawPayload(pcm);
    }
}

std::vector<std::uint8_t> BuildXtrImage(std::uint32_t formatTag,
                                        std::span<const std::uint8_t> payload,
                                        std::string_view noteArea) {
    std::vector<std::uint8_t> image(kRecorderDataOffset + payload.size(), 0);
    WriteU32(image, xtr::kDataOffsetField, kRecorderDataOffset);
    WriteU32(image, xtr::kFormatTagField, formatTag);
    const auto note = noteArea.substr(0, xtr::kNoteAreaSize - 1);
    std::copy(note.begin(), note.end(),
              image.begin() + static_cast<std::ptrdiff_t>(xtr::kNoteAreaOffset));
    std::copy(payload.begin(), payload.end(),
              image.begin() + static_cast<std::ptrdiff_t>(kRecorderDataOffset));
    return image;
}

std::vector<std::uint8_t> BuildXtrRecording(std::uint32_t formatTag,
                                            std::span<const std::int16_t> pcm,
                                            std::string_view noteArea) {
    return BuildXtrImage(formatTag, EncodePayload(formatTag, pcm), noteArea);
}

std::vector<std::uint8_t> BuildWavRecording(std::span<const std::int16_t> pcm) {
    const auto payload = EncodeImaPayload(pcm);
    const auto blocks = payload.size() / kImaBlockSize;
    const auto header = ImaAdpcmWavHeader(static_cast<std::uint32_t>(payload.size()),
                                          static_cast<std::uint32_t>(blocks * kImaSamplesPerBlock));
    std::vector<std::uint8_t> image(header.size() + payload.size());
    std::copy(header.begin(), header.end(), image.begin());
    std::copy(payload.begin(), payload.end(),
              image.begin() + static_cast<std::ptrdiff_t>(header.size()));
    return image;
}

bool WriteRecordingFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::error_code ec;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.flush();
    return static_cast<bool>(out);
}

std::string BookmarkNote(int startSecond, int endSecond) {
    auto hms = [](int s) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", s / 3600 % 100, s / 60 % 60, s % 60);
        return std::string(buf);
    };
    return "<bookmark><bstart>" + hms(startSecond) + "</bstart><bend>" + hms(endSecond) +
           "</bend><bookmark>";
}

}  // namespace lk
