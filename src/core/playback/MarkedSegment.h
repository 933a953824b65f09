#pragma once
// The recorder's bookmark inside the note area: a start and an end second.

#include <cstdint>
#include <optional>

#include "platform/ByteIo.h"

namespace lk {

struct MarkedSegment {
    std::int32_t start = 0;
    std::int32_t end = 0;
    bool operator==(const MarkedSegment&) const = default;
};

// `area` is the note area; it is read as a zero-terminated string (nothing
// after its first zero byte, or after its end, is seen). The segment exists
// only when end > start.
std::optional<MarkedSegment> ParseMarkedSegment(ByteSpan area);

}  // namespace lk
