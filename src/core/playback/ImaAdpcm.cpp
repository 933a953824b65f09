#include "playback/ImaAdpcm.h"

#include <algorithm>
#include <vector>

namespace lk {
namespace {

constexpr std::array<std::int16_t, 89> kSteps = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

constexpr std::array<int, 16> kIndexAdjust = {-1, -1, -1, -1, 2, 4, 6, 8,
                                              -1, -1, -1, -1, 2, 4, 6, 8};

constexpr int ClampIndex(int i) {
    return std::clamp(i, 0, 88);
}

// The difference and the next step index of every (step index, code) pair,
// worked out once: the decoder's chain from one sample to the next is then
// two table reads and a clamp.
struct StepTables {
    std::array<std::array<int, 16>, 89> delta{};
    std::array<std::array<std::uint8_t, 16>, 89> next{};
};

constexpr StepTables MakeStepTables() {
    StepTables t;
    for (int index = 0; index < 89; ++index) {
        const int step = kSteps[static_cast<std::size_t>(index)];
        for (int code = 0; code < 16; ++code) {
            int diff = step >> 3;
            if (code & 4) diff += step;
            if (code & 2) diff += step >> 1;
            if (code & 1) diff += step >> 2;
            const auto i = static_cast<std::size_t>(index), c = static_cast<std::size_t>(code);
            t.delta[i][c] = (code & 8) ? -diff : diff;
            t.next[i][c] = static_cast<std::uint8_t>(ClampIndex(index + kIndexAdjust[c]));
        }
    }
    return t;
}

constexpr StepTables kStepTables = MakeStepTables();

// One code through the decoder; returns the new sample.
inline int Step(ImaState& s, int code) {
    const auto i = static_cast<std::size_t>(s.stepIndex), c = static_cast<std::size_t>(code);
    s.predicted = std::clamp(s.predicted + kStepTables.delta[i][c], -32768, 32767);
    s.stepIndex = kStepTables.next[i][c];
    return s.predicted;
}

// The code whose reconstruction comes nearest the sample, as the reference encoder picks it.
inline int Quantize(const ImaState& s, int sample) {
    const int step = kSteps[static_cast<std::size_t>(s.stepIndex)];
    int diff = sample - s.predicted;
    int code = 0;
    if (diff < 0) {
        code = 8;
        diff = -diff;
    }
    int threshold = step;
    for (int bit = 4; bit > 0; bit >>= 1) {
        if (diff >= threshold) {
            code |= bit;
            diff -= threshold;
        }
        threshold >>= 1;
    }
    return code;
}

}  // namespace

const std::array<std::int16_t, 89>& ImaStepTable() {
    return kSteps;
}

void DecodeImaBlock(ByteSpan block, ImaState& state,
                    std::span<std::int16_t, kImaSamplesPerBlock> out) {
    DecodeImaBlockOfSize(block, kImaBlockSize, state, out);
}

void DecodeImaBlockOfSize(ByteSpan block, std::size_t blockSize, ImaState& state,
                          std::span<std::int16_t> out) {
    std::vector<std::uint8_t> padded;
    if (block.size() < blockSize) {
        // A short last block reads as if padded with zero bytes.
        padded.assign(blockSize, 0);
        std::copy(block.begin(), block.end(), padded.begin());
        block = padded;
    }
    if (blockSize < 4 || out.empty()) return;
    state.predicted = ReadI16(block, 0);
    state.stepIndex = ClampIndex(block[2]);
    out[0] = static_cast<std::int16_t>(state.predicted);
    std::size_t o = 1;
    ImaState s = state;  // in registers for the loop
    for (std::size_t i = 4; i < blockSize && o + 2 <= out.size(); ++i) {
        out[o++] = static_cast<std::int16_t>(Step(s, block[i] & 0x0F));
        out[o++] = static_cast<std::int16_t>(Step(s, block[i] >> 4));
    }
    state = s;
}

void EncodeImaBlock(std::span<const std::int16_t> samples, ImaState& state,
                    std::span<std::uint8_t, kImaBlockSize> out) {
    auto at = [&](std::size_t i) -> int { return i < samples.size() ? samples[i] : 0; };
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    state.stepIndex = ClampIndex(state.stepIndex);
    state.predicted = at(0);
    WriteI16(out, 0, static_cast<std::int16_t>(state.predicted));
    out[2] = static_cast<std::uint8_t>(state.stepIndex);
    std::size_t s = 1;
    for (std::size_t i = 4; i < kImaBlockSize; ++i) {
        const int lo = Quantize(state, at(s++));
        Step(state, lo);
        const int hi = Quantize(state, at(s++));
        Step(state, hi);
        out[i] = static_cast<std::uint8_t>(lo | (hi << 4));
    }
}

}  // namespace lk
