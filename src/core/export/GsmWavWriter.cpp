#include "export/GsmWavWriter.h"

#include "export/WavHeaders.h"
#include "platform/AtomicFile.h"
#include "playback/GsmCodec.h"

namespace lk {

std::vector<std::uint8_t> GsmWavWriter::Encode(std::span<const std::int16_t> samples) {
    GsmEncoder encoder(true);
    std::vector<std::uint8_t> out;
    if (!encoder.Valid()) return out;
    encoder.Encode(samples, out);
    return out;
}

bool GsmWavWriter::WriteGsmWav(std::span<const std::int16_t> samples,
                               const std::filesystem::path& path) {
    if (path.empty() || samples.size() < kGsmWavMinimumSamples) return false;
    if (samples.size() > UINT32_MAX / 2) return false;
    const auto payload = Encode(samples);
    if (payload.empty()) return false;
    const auto header = GsmWavHeader(static_cast<std::uint32_t>(payload.size()),
                                     static_cast<std::uint32_t>(samples.size()));
    return WriteFileAtomically(path, {ByteSpan(header), ByteSpan(payload)});
}

}  // namespace lk
