#include "playback/WavLayout.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "platform/RegularFile.h"
#include "playback/XtrFormat.h"

namespace lk {
namespace {

constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagExtensible = 0xFFFE;
constexpr std::uint32_t kPlayedRate = 8000;
// A header walk ends here; real files have a handful of chunks.
constexpr int kMaxChunks = 4096;
// "fmt " and "fact" are small; anything larger is not read whole.
constexpr std::size_t kMaxSmallChunk = 256;

bool IsId(ByteSpan b, std::size_t off, const char (&id)[5]) {
    return b.size() >= off + 4 && std::memcmp(b.data() + off, id, 4) == 0;
}

std::string TagName(std::uint16_t tag) {
    switch (tag) {
        case 1:
            return "PCM";
        case 2:
            return "Microsoft ADPCM";
        case 3:
            return "IEEE float";
        case 6:
            return "A-law";
        case 7:
            return "\xC2\xB5-law";
        case 17:
            return "IMA ADPCM";
        case 49:
            return "GSM 06.10";
        case 0x50:
            return "MPEG audio";
        case 0x55:
            return "MP3";
        default:
            return "format " + std::to_string(tag);
    }
}

WavLayout Refuse(WavLayout w, WavVerdict verdict, std::string reason) {
    w.verdict = verdict;
    w.reason = std::move(reason);
    return w;
}

// Decides whether the declared format is one the program plays.
WavLayout Judge(WavLayout w) {
    const auto name = TagName(w.formatTag);
    if (w.channels != 1)
        return Refuse(std::move(w), WavVerdict::Unsupported,
                      name + " with " + std::to_string(w.channels) +
                          " channels: only mono recordings are played");
    if (w.sampleRate != kPlayedRate)
        return Refuse(std::move(w), WavVerdict::Unsupported,
                      name + " at " + std::to_string(w.sampleRate) +
                          " Hz: only 8000 Hz recordings are played");
    switch (w.formatTag) {
        case kTagPcm:
            if (w.bitsPerSample == 16 && w.blockAlign == 2) {
                w.codec = {AudioCoding::Pcm16, 2};
            } else if (w.bitsPerSample == 8 && w.blockAlign == 1) {
                w.codec = {AudioCoding::Pcm8, 1};
            } else {
                return Refuse(std::move(w), WavVerdict::Unsupported,
                              std::to_string(w.bitsPerSample) +
                                  "-bit PCM: only 8-bit and 16-bit PCM are played");
            }
            break;
        case kFormatMuLaw:
        case kFormatALaw:
            if (w.blockAlign != 1)
                return Refuse(std::move(w), WavVerdict::Unsupported,
                              name + " with " + std::to_string(w.blockAlign) + "-byte samples");
            w.codec = {w.formatTag == kFormatMuLaw ? AudioCoding::MuLaw : AudioCoding::ALaw, 1};
            break;
        case kFormatImaAdpcm:
            if (w.blockAlign < 5 || (w.bitsPerSample != 4 && w.bitsPerSample != 0))
                return Refuse(std::move(w), WavVerdict::Unsupported,
                              "IMA ADPCM with " + std::to_string(w.bitsPerSample) +
                                  "-bit codes in " + std::to_string(w.blockAlign) + "-byte blocks");
            w.codec = AudioCodec::ImaBlocks(w.blockAlign);
            break;
        case kFormatGsm:
            if (w.blockAlign != 65)
                return Refuse(std::move(w), WavVerdict::Unsupported,
                              "GSM 06.10 in " + std::to_string(w.blockAlign) +
                                  "-byte blocks: only the 65-byte packing is played");
            w.codec = {AudioCoding::GsmWav49, 65};
            break;
        default:
            return Refuse(std::move(w), WavVerdict::Unsupported,
                          name + ": no decoder for this format");
    }
    w.verdict = WavVerdict::Playable;
    w.recorderLayout = w.formatTag == kFormatImaAdpcm && w.blockAlign == 256 &&
                       w.dataOffset == kWavRecordingHeaderSize;
    return w;
}

}  // namespace

WavLayout ParseWavLayout(std::uint64_t fileSize, const WavByteReader& read) {
    WavLayout w;
    std::vector<std::uint8_t> b;
    if (fileSize < 12 || !read(0, 12, b) || b.size() < 12 || !IsId(b, 0, "RIFF") ||
        !IsId(b, 8, "WAVE"))
        return Refuse(std::move(w), WavVerdict::Broken, "not a RIFF WAVE file");
    bool haveFmt = false, haveData = false;
    std::uint64_t off = 12;
    for (int n = 0; n < kMaxChunks && off + 8 <= fileSize; ++n) {
        if (!read(off, 8, b) || b.size() < 8)
            return Refuse(std::move(w), WavVerdict::Broken, "cannot read the WAV header");
        const std::uint64_t size = ReadU32(b, 4);
        const std::uint64_t body = off + 8;
        if (IsId(b, 0, "fmt ") && !haveFmt) {
            if (size < 14 || body + size > fileSize)
                return Refuse(std::move(w), WavVerdict::Broken, "damaged format chunk");
            const auto want =
                static_cast<std::size_t>(std::min<std::uint64_t>(size, kMaxSmallChunk));
            if (!read(body, want, b) || b.size() < want)
                return Refuse(std::move(w), WavVerdict::Broken, "cannot read the WAV header");
            w.formatTag = ReadU16(b, 0);
            w.channels = ReadU16(b, 2);
            w.sampleRate = ReadU32(b, 4);
            w.avgBytesPerSecond = ReadU32(b, 8);
            w.blockAlign = ReadU16(b, 12);
            w.bitsPerSample = want >= 16 ? ReadU16(b, 14) : 0;
            if (w.formatTag == kTagExtensible) {
                // The sub-format GUID starts with the ordinary format tag.
                if (want < 26)
                    return Refuse(std::move(w), WavVerdict::Broken, "damaged format chunk");
                w.formatTag = ReadU16(b, 24);
            }
            haveFmt = true;
        } else if (IsId(b, 0, "fact") && size >= 4 && body + 4 <= fileSize) {
            if (read(body, 4, b) && b.size() >= 4) w.factSamples = ReadU32(b, 0);
        } else if (IsId(b, 0, "data") && !haveData) {
            w.dataOffset = body;
            // Writers that cannot seek back leave 0 or a huge size: the audio
            // then runs to the end of the file.
            const std::uint64_t left = fileSize - body;
            w.dataSize = (size == 0 || size > left) ? left : size;
            haveData = true;
            if (size == 0 || size > left) break;
        }
        if (haveFmt && haveData) break;
        off = body + size + (size & 1);
    }
    if (!haveFmt) return Refuse(std::move(w), WavVerdict::Broken, "no format chunk");
    if (!haveData) return Refuse(std::move(w), WavVerdict::Broken, "no data chunk");
    w = Judge(std::move(w));
    if (w.recorderLayout) w.dataSize = fileSize - w.dataOffset;
    return w;
}

WavLayout ParseWavLayout(ByteSpan file) {
    return ParseWavLayout(file.size(), [file](std::uint64_t offset, std::size_t count,
                                              std::vector<std::uint8_t>& out) {
        out.clear();
        if (offset >= file.size()) return true;
        const auto n = std::min<std::uint64_t>(count, file.size() - offset);
        const auto* p = file.data() + offset;
        out.assign(p, p + n);
        return true;
    });
}

WavLayout ReadWavLayout(const std::filesystem::path& path) {
    std::error_code ec;
    WavLayout w;
    if (std::filesystem::is_directory(path, ec))
        return Refuse(std::move(w), WavVerdict::Broken, "cannot read the file");
    const auto size = std::filesystem::file_size(path, ec);
    RegularFileStream in(path);
    if (ec || !in) return Refuse(std::move(w), WavVerdict::Broken, "cannot read the file");
    return ParseWavLayout(
        size, [&in](std::uint64_t offset, std::size_t count, std::vector<std::uint8_t>& out) {
            out.resize(count);
            in.clear();
            in.seekg(static_cast<std::streamoff>(offset));
            if (!in) return false;
            in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(count));
            out.resize(static_cast<std::size_t>(in.gcount()));
            return true;
        });
}

std::string DescribeWavFormat(const WavLayout& w) {
    if (w.verdict == WavVerdict::Broken) return "unreadable WAV header";
    std::string s = w.Playable() ? AudioCodingName(w.codec.coding) : TagName(w.formatTag);
    s += ", " + std::to_string(w.sampleRate) + " Hz, ";
    s += w.channels == 1 ? std::string("mono") : std::to_string(w.channels) + " channels";
    if (w.Playable() && w.codec.coding == AudioCoding::ImaAdpcm)
        s += ", " + std::to_string(w.blockAlign) + "-byte blocks";
    if (w.recorderLayout) s += " (recorder layout)";
    return s;
}

}  // namespace lk
