// Each payload decoder on untrusted bytes; the first byte picks the decoder.
#include <array>
#include <cstddef>
#include <cstdint>

#include "playback/GsmCodec.h"
#include "playback/ImaAdpcm.h"
#include "playback/RecordingDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const lk::ByteSpan payload(data + 1, size - 1);
    switch (data[0] % 5) {
        case 0: {
            const auto pcm = lk::DecodeImaPayload(payload);
            if (pcm.size() != (payload.size() + 255) / 256 * 505) __builtin_trap();
            break;
        }
        case 1: {
            const auto pcm = lk::DecodeGsmPayload(payload);
            if (pcm.size() != (payload.size() + 32) / 33 * 160) __builtin_trap();
            break;
        }
        case 2:
            (void)lk::DecodeMuLawPayload(payload);
            break;
        case 3:
            (void)lk::DecodeALawPayload(payload);
            break;
        case 4: {
            // One block of any length with a carried state.
            lk::ImaState state{static_cast<int>(data[0]) * 100 - 12800, data[0] % 200};
            std::array<std::int16_t, lk::kImaSamplesPerBlock> out{};
            lk::DecodeImaBlock(payload, state, out);
            if (state.stepIndex < 0 || state.stepIndex > 88) __builtin_trap();
            break;
        }
    }
    return 0;
}
