#pragma once
// The in-memory call record: the 1076-byte record of the backup index files,
// field for field. Its text fields keep what the image holds, so that a
// record read from a file is written back unchanged.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "card/TextField.h"
#include "platform/ByteIo.h"

namespace lk {

enum RecordType : int {
    Incoming = 2,
    Missed = 3,
    Outgoing = 4,
    Note = 5,
    Note2 = 6,
    Triggered = 7,
    Message = 8,
};

// Layout of the Win32 SYSTEMTIME, as stored in the record.
struct SystemTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t dayOfWeek = 0;
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;
    bool operator==(const SystemTime&) const = default;
};

// The file a record was read from: a card's call log or a store's month
// index, and the root (card root, store root) that the record's paths must
// stay under. Shared by all records of one file.
struct RecordSourceFile {
    enum class Kind { CardLog, StoreIndex };
    Kind kind = Kind::StoreIndex;
    std::filesystem::path root;
    std::filesystem::path file;  // below root
    int recordSize = 1076;       // 1076, or 128 / 256 for a card log
};

// Where in its file a record was read from. In memory only: the record image
// does not hold it, and two records of the same image are equal wherever
// they were read from.
struct RecordOrigin {
    std::shared_ptr<const RecordSourceFile> file;
    std::int64_t position = -1;  // record number in the file
    bool Known() const { return file != nullptr && position >= 0; }
    bool operator==(const RecordOrigin&) const { return true; }
};

template <std::size_t N>
using WideField = std::array<char16_t, N>;

struct CallRecord {
    static constexpr std::size_t kSize = 1076;

    static constexpr std::size_t kIndexOffset = 0;
    static constexpr std::size_t kCardBytesOffset = 4;
    static constexpr std::size_t kCardBytesSize = 128;
    static constexpr std::size_t kInUseOffset = 132;
    static constexpr std::size_t kTypeOffset = 136;
    static constexpr std::size_t kStatusOffset = 140;
    static constexpr std::size_t kMarkedOffset = 144;
    static constexpr std::size_t kTimeOffset = 148;
    static constexpr std::size_t kNumberOffset = 164;
    static constexpr std::size_t kNumberUnits = 64;
    static constexpr std::size_t kNameOffset = 292;
    static constexpr std::size_t kNameUnits = 64;
    static constexpr std::size_t kCallSecondsOffset = 420;
    static constexpr std::size_t kRecordSecondsOffset = 424;
    static constexpr std::size_t kCardPathOffset = 428;
    static constexpr std::size_t kCardPathUnits = 64;
    static constexpr std::size_t kFilePathOffset = 556;
    static constexpr std::size_t kFilePathUnits = 260;

    // Positions inside cardBytes that the loaders, list fill and writers use.
    static constexpr std::size_t kCardInUseByte = 0;  // record byte 4
    static constexpr std::size_t kCardMarkByte = 3;   // record byte 7

    std::int32_t index = 0;
    std::array<std::uint8_t, kCardBytesSize> cardBytes{};
    std::int32_t inUse = 0;
    std::int32_t type = 0;
    std::int32_t status = 0;
    std::int32_t marked = 0;
    SystemTime time;
    TextField<kNumberUnits> number;
    TextField<kNameUnits> name;
    std::int32_t callSeconds = 0;
    std::int32_t recordSeconds = 0;
    TextField<kCardPathUnits> cardPath;
    TextField<kFilePathUnits> filePath;
    RecordOrigin origin;

    // Reads a record image; a short buffer reads as zeros past its end.
    static CallRecord FromBytes(ByteSpan bytes);
    void ToBytes(MutableByteSpan out) const;
    std::array<std::uint8_t, kSize> ToBytes() const;

    // The in-use byte copied from the card record (record byte 4).
    bool IsLive() const { return cardBytes[kCardInUseByte] == 1; }

    // The same two facts read straight from a record image, for scans of a
    // whole index that need nothing else of each record.
    static std::u16string FilePathTextOf(ByteSpan bytes);
    static bool IsLiveImage(ByteSpan bytes) {
        return ReadU8(bytes, kCardBytesOffset + kCardInUseByte) == 1;
    }

    bool operator==(const CallRecord&) const = default;
};

// Text of a zero-terminated wide field (up to the first zero, or the whole field).
template <std::size_t N>
std::u16string FieldText(const WideField<N>& f) {
    std::size_t n = 0;
    while (n < N && f[n] != 0)
        ++n;
    return std::u16string(f.data(), n);
}

// Stores text zero-padded over the whole field; cut so that a zero always ends it.
template <std::size_t N>
void SetFieldText(WideField<N>& f, std::u16string_view text) {
    f.fill(0);
    const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    for (std::size_t i = 0; i < n; ++i)
        f[i] = text[i];
}

template <std::size_t N>
std::u16string FieldText(const TextField<N>& f) {
    return std::u16string(f.Text());
}

template <std::size_t N>
void SetFieldText(TextField<N>& f, std::u16string_view text) {
    f.Assign(text.substr(0, std::min(text.size(), N - 1)));
}

// Cuts the text of a field to at most `units` units (zeros from there on).
template <std::size_t N>
void CutFieldText(TextField<N>& f, std::size_t units) {
    if (units < f.Units().size()) f.Assign(f.Units().substr(0, units));
}

}  // namespace lk
