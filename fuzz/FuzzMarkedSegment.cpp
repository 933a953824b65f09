#include <cstddef>
#include <cstdint>

#include "playback/MarkedSegment.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto segment = lk::ParseMarkedSegment(lk::ByteSpan(data, size));
    if (segment && segment->end <= segment->start) __builtin_trap();
    return 0;
}
