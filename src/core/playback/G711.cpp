#include "playback/G711.h"

namespace lk {
namespace {

constexpr int kMuBias = 0x84;
constexpr int kMuClip = 32635;

constexpr std::int16_t ExpandMuLaw(std::uint8_t u) {
    const int v = ~u & 0xFF;
    int t = ((v & 0x0F) << 3) + kMuBias;
    t <<= (v & 0x70) >> 4;
    return static_cast<std::int16_t>((v & 0x80) ? (kMuBias - t) : (t - kMuBias));
}

constexpr std::int16_t ExpandALaw(std::uint8_t a) {
    const int v = a ^ 0x55;
    int t = (v & 0x0F) << 4;
    const int seg = (v & 0x70) >> 4;
    if (seg == 0) {
        t += 8;
    } else {
        t += 0x108;
        if (seg > 1) t <<= seg - 1;
    }
    return static_cast<std::int16_t>((v & 0x80) ? t : -t);
}

template <typename F>
constexpr std::array<std::int16_t, 256> MakeTable(F expand) {
    std::array<std::int16_t, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[static_cast<std::size_t>(i)] = expand(static_cast<std::uint8_t>(i));
    return t;
}

constexpr auto kMuLaw = MakeTable(ExpandMuLaw);
constexpr auto kALaw = MakeTable(ExpandALaw);

// Position of the highest set bit of a 15-bit magnitude, in segments of the code.
int Segment(int magnitude, int firstShift) {
    int seg = 0;
    for (int m = magnitude >> firstShift; m > 0 && seg < 8; m >>= 1)
        ++seg;
    return seg;
}

}  // namespace

const std::array<std::int16_t, 256>& MuLawTable() {
    return kMuLaw;
}
const std::array<std::int16_t, 256>& ALawTable() {
    return kALaw;
}

std::uint8_t LinearToMuLaw(std::int16_t sample) {
    int s = sample;
    int mask = 0xFF;
    if (s < 0) {
        s = -s;
        mask = 0x7F;
    }
    if (s > kMuClip) s = kMuClip;
    s += kMuBias;
    const int seg = Segment(s, 8);
    const int code = (seg << 4) | ((s >> (seg + 3)) & 0x0F);
    return static_cast<std::uint8_t>(code ^ mask);
}

std::uint8_t LinearToALaw(std::int16_t sample) {
    int s = sample >> 3;  // 13-bit
    int mask = 0xD5;
    if (s < 0) {
        s = -s - 1;
        mask = 0x55;
    }
    const int seg = Segment(s, 5);
    int code = seg << 4;
    if (seg < 2)
        code |= (s >> 1) & 0x0F;
    else
        code |= (s >> seg) & 0x0F;
    return static_cast<std::uint8_t>(code ^ mask);
}

}  // namespace lk
