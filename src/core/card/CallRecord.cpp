#include "card/CallRecord.h"

#include <algorithm>

namespace lk {
namespace {

template <std::size_t N>
void ReadWide(ByteSpan b, std::size_t off, TextField<N>& f) {
    std::array<char16_t, N> units;
    if (off + 2 * N > b.size()) {  // a short buffer: zeros past its end
        for (std::size_t i = 0; i < N; ++i)
            units[i] = static_cast<char16_t>(ReadU16(b, off + 2 * i));
        f.Assign(std::u16string_view(units.data(), N));
        return;
    }
    // Only the units up to the last non-zero one are kept, so only those are
    // read: most of a field is zeros, and a store load reads every record.
    const std::uint8_t* field = b.data() + off;
    std::size_t used = N;
    const auto zeros = [field](std::size_t from, std::size_t bytes) {
        return std::all_of(field + from, field + from + bytes,
                           [](std::uint8_t v) { return v == 0; });
    };
    while (used >= 8 && zeros(2 * used - 16, 16))
        used -= 8;
    while (used > 0 && zeros(2 * used - 2, 2))
        --used;
    for (std::size_t i = 0; i < used; ++i)
        units[i] = static_cast<char16_t>(field[2 * i] | (field[2 * i + 1] << 8));
    f.Assign(std::u16string_view(units.data(), used));
}

template <std::size_t N>
void WriteWide(MutableByteSpan b, std::size_t off, const TextField<N>& f) {
    for (std::size_t i = 0; i < N; ++i)
        WriteU16(b, off + 2 * i, static_cast<std::uint16_t>(f[i]));
}

constexpr std::size_t kTimeFieldCount = 8;

}  // namespace

CallRecord CallRecord::FromBytes(ByteSpan b) {
    CallRecord r;
    r.index = ReadI32(b, kIndexOffset);
    if (kCardBytesOffset + kCardBytesSize <= b.size()) {
        std::copy_n(b.data() + kCardBytesOffset, kCardBytesSize, r.cardBytes.begin());
    } else {
        for (std::size_t i = 0; i < kCardBytesSize; ++i)
            r.cardBytes[i] = ReadU8(b, kCardBytesOffset + i);
    }
    r.inUse = ReadI32(b, kInUseOffset);
    r.type = ReadI32(b, kTypeOffset);
    r.status = ReadI32(b, kStatusOffset);
    r.marked = ReadI32(b, kMarkedOffset);
    std::uint16_t* t[kTimeFieldCount] = {&r.time.year,   &r.time.month,       &r.time.dayOfWeek,
                                         &r.time.day,    &r.time.hour,        &r.time.minute,
                                         &r.time.second, &r.time.milliseconds};
    for (std::size_t i = 0; i < kTimeFieldCount; ++i)
        *t[i] = ReadU16(b, kTimeOffset + 2 * i);
    ReadWide(b, kNumberOffset, r.number);
    ReadWide(b, kNameOffset, r.name);
    r.callSeconds = ReadI32(b, kCallSecondsOffset);
    r.recordSeconds = ReadI32(b, kRecordSecondsOffset);
    ReadWide(b, kCardPathOffset, r.cardPath);
    ReadWide(b, kFilePathOffset, r.filePath);
    return r;
}

std::u16string CallRecord::FilePathTextOf(ByteSpan b) {
    if (kFilePathOffset + 2 * kFilePathUnits > b.size())
        return std::u16string(FromBytes(b).filePath.Text());
    const std::uint8_t* field = b.data() + kFilePathOffset;
    std::size_t n = 0;
    while (n < kFilePathUnits && (field[2 * n] != 0 || field[2 * n + 1] != 0))
        ++n;
    std::u16string text(n, u'\0');
    for (std::size_t i = 0; i < n; ++i)
        text[i] = static_cast<char16_t>(field[2 * i] | (field[2 * i + 1] << 8));
    return text;
}

void CallRecord::ToBytes(MutableByteSpan b) const {
    WriteI32(b, kIndexOffset, index);
    for (std::size_t i = 0; i < kCardBytesSize; ++i)
        WriteU8(b, kCardBytesOffset + i, cardBytes[i]);
    WriteI32(b, kInUseOffset, inUse);
    WriteI32(b, kTypeOffset, type);
    WriteI32(b, kStatusOffset, status);
    WriteI32(b, kMarkedOffset, marked);
    const std::uint16_t t[kTimeFieldCount] = {time.year,   time.month,       time.dayOfWeek,
                                              time.day,    time.hour,        time.minute,
                                              time.second, time.milliseconds};
    for (std::size_t i = 0; i < kTimeFieldCount; ++i)
        WriteU16(b, kTimeOffset + 2 * i, t[i]);
    WriteWide(b, kNumberOffset, number);
    WriteWide(b, kNameOffset, name);
    WriteI32(b, kCallSecondsOffset, callSeconds);
    WriteI32(b, kRecordSecondsOffset, recordSeconds);
    WriteWide(b, kCardPathOffset, cardPath);
    WriteWide(b, kFilePathOffset, filePath);
}

std::array<std::uint8_t, CallRecord::kSize> CallRecord::ToBytes() const {
    std::array<std::uint8_t, kSize> out{};
    ToBytes(MutableByteSpan(out));
    return out;
}

}  // namespace lk
