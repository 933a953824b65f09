// A recording image from untrusted bytes: header, note area and the decoder
// API the player uses, for both the .xtr and the WAV recording rule.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "playback/RecordingDecoder.h"
#include "playback/XtrHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const lk::ByteSpan bytes(data, size);
    (void)lk::ReadXtrHeader(bytes);
    (void)lk::NoteAreaOf(bytes);
    for (bool isXtr : {true, false}) {
        auto d =
            lk::RecordingDecoder::FromBytes(std::vector<std::uint8_t>(data, data + size), isXtr);
        if (!d) continue;
        const auto total = d->TotalSeconds();
        if (d->Payload().size() > 64 * 1024) continue;  // keep runs quick
        std::size_t joined = 0;
        for (unsigned i = 0; i <= total + 1; ++i)
            joined += d->DecodeSecond(i).size();
        const auto all = d->DecodeAll();
        if (d->FormatTag() != lk::kFormatGsm && joined != all.size()) __builtin_trap();
    }
    return 0;
}
