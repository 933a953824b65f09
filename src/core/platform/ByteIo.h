#pragma once
// Little-endian field access at named offsets. Every byte format of the
// recorder and of the backup store goes through these, never through
// struct casts, so layout and endianness never depend on the compiler.

#include <cstddef>
#include <cstdint>
#include <span>

namespace lk {

using ByteSpan = std::span<const std::uint8_t>;
using MutableByteSpan = std::span<std::uint8_t>;

// Readers return 0 for any part of the field that lies beyond the buffer,
// so a short or damaged buffer can never be read past its end.
inline std::uint8_t ReadU8(ByteSpan b, std::size_t off) {
    return off < b.size() ? b[off] : 0;
}

inline std::uint16_t ReadU16(ByteSpan b, std::size_t off) {
    return static_cast<std::uint16_t>(ReadU8(b, off) | (ReadU8(b, off + 1) << 8));
}

inline std::uint32_t ReadU32(ByteSpan b, std::size_t off) {
    return static_cast<std::uint32_t>(ReadU8(b, off)) |
           (static_cast<std::uint32_t>(ReadU8(b, off + 1)) << 8) |
           (static_cast<std::uint32_t>(ReadU8(b, off + 2)) << 16) |
           (static_cast<std::uint32_t>(ReadU8(b, off + 3)) << 24);
}

inline std::int32_t ReadI32(ByteSpan b, std::size_t off) {
    return static_cast<std::int32_t>(ReadU32(b, off));
}

inline std::int16_t ReadI16(ByteSpan b, std::size_t off) {
    return static_cast<std::int16_t>(ReadU16(b, off));
}

// Writers ignore the parts of the field that lie beyond the buffer.
inline void WriteU8(MutableByteSpan b, std::size_t off, std::uint8_t v) {
    if (off < b.size()) b[off] = v;
}

inline void WriteU16(MutableByteSpan b, std::size_t off, std::uint16_t v) {
    WriteU8(b, off, static_cast<std::uint8_t>(v & 0xFF));
    WriteU8(b, off + 1, static_cast<std::uint8_t>(v >> 8));
}

inline void WriteU32(MutableByteSpan b, std::size_t off, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i)
        WriteU8(b, off + i, static_cast<std::uint8_t>(v >> (8 * i)));
}

inline void WriteI32(MutableByteSpan b, std::size_t off, std::int32_t v) {
    WriteU32(b, off, static_cast<std::uint32_t>(v));
}

inline void WriteI16(MutableByteSpan b, std::size_t off, std::int16_t v) {
    WriteU16(b, off, static_cast<std::uint16_t>(v));
}

}  // namespace lk
