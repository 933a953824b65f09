#pragma once
// G.711 companding: µ-law and A-law bytes to and from 16-bit linear samples.

#include <array>
#include <cstdint>

namespace lk {

// The standard expansion tables (256 values each; µ-law 0x7F and 0xFF give 0).
const std::array<std::int16_t, 256>& MuLawTable();
const std::array<std::int16_t, 256>& ALawTable();

inline std::int16_t MuLawToLinear(std::uint8_t b) {
    return MuLawTable()[b];
}
inline std::int16_t ALawToLinear(std::uint8_t b) {
    return ALawTable()[b];
}

std::uint8_t LinearToMuLaw(std::int16_t sample);
std::uint8_t LinearToALaw(std::int16_t sample);

}  // namespace lk
