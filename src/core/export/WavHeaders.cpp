#include "export/WavHeaders.h"

#include <algorithm>
#include <cstring>

#include "platform/ByteIo.h"
#include "playback/XtrFormat.h"

namespace lk {
namespace {

constexpr std::uint32_t kRate = 8000;

void Tag(MutableByteSpan b, std::size_t off, const char (&text)[5]) {
    std::memcpy(b.data() + off, text, 4);
}

// RIFF/WAVE and the common part of the "fmt " chunk.
void Fmt(MutableByteSpan b, std::uint32_t riffSize, std::uint32_t fmtSize, std::uint16_t tag,
         std::uint32_t avgBytes, std::uint16_t align, std::uint16_t bits) {
    Tag(b, 0, "RIFF");
    WriteU32(b, 4, riffSize);
    Tag(b, 8, "WAVE");
    Tag(b, 12, "fmt ");
    WriteU32(b, 16, fmtSize);
    WriteU16(b, 20, tag);
    WriteU16(b, 22, 1);
    WriteU32(b, 24, kRate);
    WriteU32(b, 28, avgBytes);
    WriteU16(b, 32, align);
    WriteU16(b, 34, bits);
}

// "fact" with the sample count, then the "data" chunk header, at `off`.
void FactData(MutableByteSpan b, std::size_t off, std::uint32_t samples, std::uint32_t dataSize) {
    Tag(b, off, "fact");
    WriteU32(b, off + 4, 4);
    WriteU32(b, off + 8, samples);
    Tag(b, off + 12, "data");
    WriteU32(b, off + 16, dataSize);
}

}  // namespace

std::array<std::uint8_t, kGsmWavHeaderSize> GsmWavHeader(std::uint32_t payloadLength,
                                                         std::uint32_t sampleCount) {
    std::array<std::uint8_t, kGsmWavHeaderSize> h{};
    Fmt(h, payloadLength + 52, 20, static_cast<std::uint16_t>(kFormatGsm), 1625, 65, 0);
    WriteU16(h, 36, 2);
    WriteU16(h, 38, 320);
    FactData(h, 40, sampleCount, payloadLength);
    return h;
}

std::array<std::uint8_t, kImaWavHeaderSize> ImaAdpcmWavHeader(std::uint32_t dataSize,
                                                              std::uint32_t sampleCount) {
    std::array<std::uint8_t, kImaWavHeaderSize> h{};
    Fmt(h, dataSize + 52, 20, static_cast<std::uint16_t>(kFormatImaAdpcm), 4055, 256, 4);
    WriteU16(h, 36, 2);
    WriteU16(h, 38, 505);
    FactData(h, 40, sampleCount, dataSize);
    return h;
}

std::array<std::uint8_t, kImaWavHeaderSize> ConvertedImaAdpcmWavHeader(std::uint32_t n) {
    const std::uint64_t blocks = (std::uint64_t{n} + 255) / 256;
    const std::uint64_t samples = std::min<std::uint64_t>(blocks * 505, UINT32_MAX);
    return ImaAdpcmWavHeader(static_cast<std::uint32_t>(blocks * 256),
                             static_cast<std::uint32_t>(samples));
}

std::array<std::uint8_t, kG711WavHeaderSize> G711WavHeader(std::uint16_t formatTag,
                                                           std::uint32_t n) {
    std::array<std::uint8_t, kG711WavHeaderSize> h{};
    Fmt(h, n + 50, 18, formatTag, 8000, 1, 8);
    WriteU16(h, 36, 0);
    FactData(h, 38, n, n);
    return h;
}

std::array<std::uint8_t, kPcmWavHeaderSize> Pcm16WavHeader(std::uint32_t sampleCount) {
    std::array<std::uint8_t, kPcmWavHeaderSize> h{};
    const std::uint32_t dataSize = sampleCount * 2;
    Fmt(h, dataSize + 36, 16, 1, kRate * 2, 2, 16);
    Tag(h, 36, "data");
    WriteU32(h, 40, dataSize);
    return h;
}

}  // namespace lk
