#pragma once
// One address-book contact as the contact library delivers it: a 2176-byte
// block with the display name and seven numbers at fixed offsets.

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "card/CallRecord.h"

namespace lk {

struct OutlookContact {
    static constexpr std::size_t kSize = 2176;
    static constexpr std::size_t kDisplayNameOffset = 0;
    static constexpr std::size_t kDisplayNameUnits = 192;
    static constexpr std::size_t kNumberUnits = 64;
    static constexpr std::size_t kNumberCount = 7;
    static constexpr std::array<std::size_t, kNumberCount> kNumberOffsets = {384, 512,  640, 768,
                                                                             896, 1024, 1152};

    WideField<kDisplayNameUnits> displayName{};
    std::array<WideField<kNumberUnits>, kNumberCount> numbers{};

    static OutlookContact FromBytes(ByteSpan bytes);
    std::array<std::uint8_t, kSize> ToBytes() const;
};

using ContactList = std::vector<OutlookContact>;

}  // namespace lk
