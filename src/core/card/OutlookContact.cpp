#include "card/OutlookContact.h"

namespace lk {

namespace {

template <std::size_t N>
void ReadField(ByteSpan bytes, std::size_t offset, WideField<N>& field) {
    for (std::size_t i = 0; i < N; ++i)
        field[i] = ReadU16(bytes, offset + 2 * i);
}

template <std::size_t N>
void WriteField(MutableByteSpan bytes, std::size_t offset, const WideField<N>& field) {
    for (std::size_t i = 0; i < N; ++i)
        WriteU16(bytes, offset + 2 * i, field[i]);
}

}  // namespace

OutlookContact OutlookContact::FromBytes(ByteSpan bytes) {
    OutlookContact c;
    ReadField(bytes, kDisplayNameOffset, c.displayName);
    for (std::size_t n = 0; n < kNumberCount; ++n)
        ReadField(bytes, kNumberOffsets[n], c.numbers[n]);
    return c;
}

std::array<std::uint8_t, OutlookContact::kSize> OutlookContact::ToBytes() const {
    std::array<std::uint8_t, kSize> out{};
    WriteField(out, kDisplayNameOffset, displayName);
    for (std::size_t n = 0; n < kNumberCount; ++n)
        WriteField(out, kNumberOffsets[n], numbers[n]);
    return out;
}

}  // namespace lk
