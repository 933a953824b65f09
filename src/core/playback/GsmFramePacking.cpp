#include "playback/GsmFramePacking.h"

#include <algorithm>
#include <vector>

#include "playback/GsmCodec.h"

namespace lk {
namespace {

// Parameter widths in frame order: LARc[0..7], then per sub-frame Nc, bc, Mc,
// xmaxc and 13 RPE pulses. 260 bits.
constexpr std::array<std::uint8_t, 76> kWidths = [] {
    std::array<std::uint8_t, 76> w{6, 6, 5, 5, 4, 4, 3, 3};
    std::size_t i = 8;
    for (int sub = 0; sub < 4; ++sub) {
        w[i++] = 7;
        w[i++] = 2;
        w[i++] = 2;
        w[i++] = 6;
        for (int p = 0; p < 13; ++p)
            w[i++] = 3;
    }
    return w;
}();

class MsbReader {
  public:
    explicit MsbReader(ByteSpan bytes) : bytes_(bytes) {}
    unsigned Take(unsigned bits) {
        unsigned v = 0;
        for (unsigned i = 0; i < bits; ++i, ++pos_) {
            const unsigned byte = pos_ / 8 < bytes_.size() ? bytes_[pos_ / 8] : 0u;
            v = (v << 1) | ((byte >> (7 - pos_ % 8)) & 1u);
        }
        return v;
    }

  private:
    ByteSpan bytes_;
    std::size_t pos_ = 0;
};

class LsbWriter {
  public:
    explicit LsbWriter(std::span<std::uint8_t> out) : out_(out) {}
    void Put(unsigned value, unsigned bits) {
        for (unsigned i = 0; i < bits; ++i, ++pos_)
            if ((value >> i) & 1u) out_[pos_ / 8] |= static_cast<std::uint8_t>(1u << (pos_ % 8));
    }

  private:
    std::span<std::uint8_t> out_;
    std::size_t pos_ = 0;
};

void MoveFrame(ByteSpan frame, LsbWriter& out) {
    MsbReader in(frame);
    in.Take(4);  // the 0xD nibble has no place in the WAV packing
    for (const auto width : kWidths)
        out.Put(in.Take(width), width);
}

}  // namespace

bool IsStandardGsmFrame(ByteSpan frame) {
    return !frame.empty() && (frame[0] >> 4) == 0xD;
}

void PackWav49Pair(ByteSpan first, ByteSpan second,
                   std::span<std::uint8_t, kGsmWav49PairSize> out) {
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    LsbWriter writer(out);
    MoveFrame(first, writer);
    MoveFrame(second, writer);
}

const std::array<std::uint8_t, kGsmPackedFrameSize>& SilentGsmFrame() {
    static const auto frame = [] {
        std::array<std::uint8_t, kGsmPackedFrameSize> f{};
        GsmEncoder encoder;
        std::vector<std::uint8_t> out;
        const std::array<std::int16_t, kGsmFrameSamples> silence{};
        encoder.Encode(silence, out);
        if (out.size() == f.size()) std::copy(out.begin(), out.end(), f.begin());
        return f;
    }();
    return frame;
}

}  // namespace lk
