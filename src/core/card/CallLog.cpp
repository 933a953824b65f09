#include "card/CallLog.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <optional>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

#include "app/Settings.h"
#include "card/RecordingLength.h"
#include "platform/CardPath.h"
#include "platform/Decimal.h"
#include "platform/LetterCase.h"
#include "platform/LinkFreePath.h"
#include "platform/RegularFile.h"
#include "platform/TextCodec.h"

namespace lk {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxNumberRead = 32;
constexpr std::size_t kMaxNameRead = 36;
constexpr std::size_t kMaxDisplayNameUnits = 63;
constexpr std::size_t kMatchSuffix = 6;

bool TypeKeepsPlainNumber(int type) {
    return type == Note || type == Note2 || type == Triggered;
}

int HmsSeconds(ByteSpan raw, std::size_t off) {
    return ReadU8(raw, off) * 3600 + ReadU8(raw, off + 1) * 60 + ReadU8(raw, off + 2);
}

void WriteHms(MutableByteSpan raw, std::size_t off, int seconds) {
    if (seconds < 0) seconds = 0;
    WriteU8(raw, off, static_cast<std::uint8_t>(std::min(seconds / 3600, 255)));
    WriteU8(raw, off + 1, static_cast<std::uint8_t>(seconds % 3600 / 60));
    WriteU8(raw, off + 2, static_cast<std::uint8_t>(seconds % 60));
}

// Bytes of a zero-terminated field (the whole field when no zero ends it).
ByteSpan ZeroTerminated(ByteSpan raw, std::size_t off, std::size_t size) {
    if (off >= raw.size()) return {};
    auto field = raw.subspan(off, std::min(size, raw.size() - off));
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    return field.first(static_cast<std::size_t>(end - field.begin()));
}

// The recorder's header has no seconds; the file name's timestamp supplies
// them. A field is replaced only by a different, non-zero value.
void ApplyFileNameTimestamp(SystemTime& t, std::u16string_view rel, std::size_t start) {
    if (rel.size() < start + 14) return;
    const auto digits = rel.substr(start, 14);
    const int values[6] = {AtoiOf(digits.substr(0, 4)),  AtoiOf(digits.substr(4, 2)),
                           AtoiOf(digits.substr(6, 2)),  AtoiOf(digits.substr(8, 2)),
                           AtoiOf(digits.substr(10, 2)), AtoiOf(digits.substr(12, 2))};
    std::uint16_t* fields[6] = {&t.year, &t.month, &t.day, &t.hour, &t.minute, &t.second};
    for (int i = 0; i < 6; ++i) {
        if (values[i] != 0 && values[i] != *fields[i])
            *fields[i] = static_cast<std::uint16_t>(values[i]);
    }
}

// cardPath in drive form and filePath as the native path under the card root.
// False when the log's path would leave the card.
bool SetPaths(CallRecord& out, const CardVolume& card, const std::u16string& rel) {
    SetFieldText(out.cardPath, MakeDrivePath(card.letter, rel));
    std::string native;
    if (rel.empty()) {
        native = (card.root / "").string();
    } else {
        auto resolved = ResolveUnderRootText(card.root.native(), rel);
        if (!resolved) return false;
        native = card.letterCase
                     ? card.letterCase
                           ->Resolve(card.root,
                                     std::filesystem::path(*resolved).lexically_relative(card.root))
                           .string()
                     : std::move(*resolved);
    }
    SetFieldText(out.filePath, FromUtf8(native));
    return true;
}

void CopyDisplayName(CallRecord& record, const OutlookContact& c) {
    auto name = FieldText(c.displayName);
    if (name.size() > kMaxDisplayNameUnits) name.resize(kMaxDisplayNameUnits);
    SetFieldText(record.name, name);
}

std::string CodePageOf(const CardVolume& card) {
    return card.codePage.empty() ? std::string(kDefaultCardCodePage) : card.codePage;
}

// Card paths are nearly always plain ASCII, which every card code page keeps
// as is; only other text goes through the converter.
std::u16string DecodeCardText(ByteSpan bytes, const CardVolume& card) {
    if (std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b < 0x80; }))
        return std::u16string(bytes.begin(), bytes.end());
    return DecodeCodePage(bytes, CodePageOf(card));
}

// Where the two families keep the fields they share.
struct CardLayout {
    bool family1;
    std::size_t year, numberLength, number, numberSize, callDuration, recordedLength, path,
        pathSize;
};
constexpr CardLayout kLayout128{false,
                                card128::kYear,
                                card128::kNumberLength,
                                card128::kNumber,
                                card128::kNumberSize,
                                card128::kCallDuration,
                                card128::kRecordedLength,
                                card128::kPath,
                                card128::kPathSize};
constexpr CardLayout kLayout256{true,
                                card256::kYear,
                                card256::kNumberLength,
                                card256::kNumber,
                                card256::kNumberSize,
                                card256::kCallDuration,
                                card256::kRecordedLength,
                                card256::kPath,
                                card256::kPathSize};
// Family 1 keeps its remark in cardBytes behind "RM:".
constexpr std::size_t kRemarkMarkerByte = 5;
constexpr std::size_t kRemarkCopyByte = 8;

// Flags, date, number, durations and paths; the relative path read, or
// nullopt when it would leave the card.
std::optional<std::u16string> ParseCommonFields(ByteSpan raw, CallRecord& out,
                                                const CardVolume& card, const CardLayout& l) {
    out.inUse = raw[card128::kInUse] != 0 ? 1 : 0;
    out.type = raw[card128::kType];
    out.status = raw[card128::kStatus];
    out.marked = raw[card128::kMark];
    out.time = SystemTime{};
    out.time.year = static_cast<std::uint16_t>(raw[l.year] + 2000);
    out.time.month = raw[l.year + 1];
    out.time.day = raw[l.year + 2];
    out.time.hour = raw[l.year + 3];
    out.time.minute = raw[l.year + 4];

    std::u16string number;
    const std::size_t n = std::min<std::size_t>(raw[l.numberLength], kMaxNumberRead);
    const bool plain = l.family1 || TypeKeepsPlainNumber(out.type);
    for (std::size_t i = 0; i < n; ++i) {
        const auto b = raw[l.number + i];
        number.push_back(plain ? static_cast<char16_t>(b) : DecodeDialDigit(b));
    }
    SetFieldText(out.number, number);

    out.callSeconds = HmsSeconds(raw, l.callDuration);
    out.recordSeconds = HmsSeconds(raw, l.recordedLength);

    auto rel = DecodeCardText(ZeroTerminated(raw, l.path, l.pathSize), card);
    if (!SetPaths(out, card, rel)) return std::nullopt;
    return rel;
}

std::uint64_t FileSizeOf(const fs::path& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? 0 : size;
}

// Writes one byte of record `index` in place; nothing when out of range.
bool WriteCardLogByte(const CardVolume& card, int devType, int index, std::size_t offset,
                      std::uint8_t value) {
    if (index < 0) return false;
    const auto path = card.root / kCallLogFileName;
    const auto recordSize = static_cast<std::uint64_t>(RecordSize(devType, true));
    const auto count = FileSizeOf(path) / recordSize;
    if (count == 0 || static_cast<std::uint64_t>(index) >= count) return false;
    // The log on a card is a plain file; a link would write somewhere else.
    const int fd = OpenRegularFdWithoutLinks(card.root, path, O_WRONLY);
    if (fd < 0) return false;
    const auto at = static_cast<off_t>(static_cast<std::uint64_t>(index) * recordSize + offset);
    const bool written = ::pwrite(fd, &value, 1, at) == 1;
    return ::close(fd) == 0 && written;
}

}  // namespace

int RecordSize(int devType, bool fromCard) {
    if (!fromCard) return static_cast<int>(CallRecord::kSize);
    return devType == 1 ? static_cast<int>(card256::kSize) : static_cast<int>(card128::kSize);
}

char16_t DecodeDialDigit(std::uint8_t code) {
    static constexpr char16_t kDigits[] = u"0123456789*#ABCD";
    return code <= 15 ? kDigits[code] : u'*';
}

std::uint8_t EncodeDialDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return static_cast<std::uint8_t>(c - u'0');
    switch (c) {
        case u'#':
            return 11;
        case u'A':
        case u'a':
            return 12;
        case u'B':
        case u'b':
            return 13;
        case u'C':
        case u'c':
            return 14;
        case u'D':
        case u'd':
            return 15;
        default:
            return 10;
    }
}

bool ParseCardRecord128(ByteSpan raw, CallRecord& out, const CardVolume& card,
                        const ContactList& contacts) {
    using namespace card128;
    if (raw.size() < kSize || raw[kInUse] != 1) return false;
    std::copy_n(raw.begin(), kSize, out.cardBytes.begin());
    const auto rel = ParseCommonFields(raw, out, card, kLayout128);
    if (!rel) return false;

    std::u16string name;
    const std::size_t nameLength = std::min<std::size_t>(raw[kNameLength], kMaxNameRead);
    for (std::size_t i = 0; i < nameLength; ++i)
        name.push_back(static_cast<char16_t>(raw[kName + i]));
    SetFieldText(out.name, name);

    if (FieldText(out.cardPath).size() > 24) {
        const std::size_t s = rel->size() > 9 && (*rel)[6] == u'/' && (*rel)[9] == u'/' ? 10 : 7;
        ApplyFileNameTimestamp(out.time, *rel, s);
    }
    MatchContactName(out, contacts, true);
    return true;
}

bool ParseCardRecord256(ByteSpan raw, CallRecord& out, const CardVolume& card,
                        const ContactList& contacts) {
    using namespace card256;
    if (raw.size() < kSize || raw[kInUse] != 1) return false;
    out.cardBytes.fill(0);
    std::copy_n(raw.begin(), kExtra + 1, out.cardBytes.begin());
    if (raw[kRemark] != 0) {
        out.cardBytes[kRemarkMarkerByte] = 'R';
        out.cardBytes[kRemarkMarkerByte + 1] = 'M';
        out.cardBytes[kRemarkMarkerByte + 2] = ':';
        std::copy_n(raw.begin() + kRemark, kRemarkSize, out.cardBytes.begin() + kRemarkCopyByte);
    }
    const auto rel = ParseCommonFields(raw, out, card, kLayout256);
    if (!rel) return false;
    if (FieldText(out.cardPath).size() > 28) ApplyFileNameTimestamp(out.time, *rel, 14);
    MatchContactName(out, contacts, false);
    return true;
}

void MatchContactName(CallRecord& record, const ContactList& contacts, bool family0Card) {
    if (record.name[0] != 0 || record.number[0] == 0) return;
    auto m = FieldText(record.number);
    if (family0Card && !m.empty() && (m.back() == u'*' || m.back() == u'#')) m.pop_back();
    if (m.empty()) return;
    const std::u16string_view mv(m);
    const auto tail = mv.substr(mv.size() > kMatchSuffix ? mv.size() - kMatchSuffix : 0);

    // Compared in place: this runs for every record against every contact.
    auto text = [](const WideField<OutlookContact::kNumberUnits>& f) {
        std::size_t n = 0;
        while (n < f.size() && f[n] != 0)
            ++n;
        return std::u16string_view(f.data(), n);
    };
    for (const auto& contact : contacts) {
        if (mv.size() > kMatchSuffix) {
            for (std::size_t k = 0; k < OutlookContact::kNumberCount; ++k) {
                // The first number is always tried; the others only while no name is set.
                if (k > 0 && record.name[0] != 0) break;
                const auto candidate = text(contact.numbers[k]);
                if (candidate.size() >= kMatchSuffix &&
                    candidate.substr(candidate.size() - kMatchSuffix) == tail) {
                    CopyDisplayName(record, contact);
                }
            }
        } else {
            for (const auto& num : contact.numbers) {
                if (text(num) == mv) {
                    CopyDisplayName(record, contact);
                    break;
                }
            }
        }
    }
}

std::vector<std::uint8_t> BuildCardRecord(const CardRecordFields& f, int devType,
                                          std::string_view codePageIn) {
    const bool family1 = devType == 1;
    const CardLayout& l = family1 ? kLayout256 : kLayout128;
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(RecordSize(devType, true)), 0);
    MutableByteSpan b(raw);
    auto byte = [](int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); };
    auto charByte = [](char16_t c) {
        return c <= 0xFF ? static_cast<std::uint8_t>(c) : std::uint8_t{'?'};
    };
    const std::string codePage =
        codePageIn.empty() ? std::string(kDefaultCardCodePage) : std::string(codePageIn);
    // Writes text into a field and keeps a terminating zero.
    auto putText = [&](std::size_t off, std::size_t size, std::u16string_view text,
                       bool terminate) {
        const auto bytes = EncodeCodePage(text, codePage);
        const std::size_t n = std::min(bytes.size(), terminate ? size - 1 : size);
        for (std::size_t i = 0; i < n; ++i)
            WriteU8(b, off + i, static_cast<std::uint8_t>(bytes[i]));
    };

    WriteU8(b, card128::kInUse, 1);
    WriteU8(b, card128::kType, byte(f.type));
    WriteU8(b, card128::kStatus, byte(f.status));
    WriteU8(b, card128::kMark, byte(f.mark));
    WriteU8(b, l.year, byte(f.year - 2000));
    WriteU8(b, l.year + 1, byte(f.month));
    WriteU8(b, l.year + 2, byte(f.day));
    WriteU8(b, l.year + 3, byte(f.hour));
    WriteU8(b, l.year + 4, byte(f.minute));
    // Number bytes: plain characters (byte value = character code) for family 1
    // and for notes and triggered recordings, else the recorder's dial-digit codes.
    const bool plain = family1 || TypeKeepsPlainNumber(f.type);
    const std::size_t n = std::min(f.number.size(), l.numberSize);
    WriteU8(b, l.numberLength, static_cast<std::uint8_t>(n));
    for (std::size_t i = 0; i < n; ++i)
        WriteU8(b, l.number + i, plain ? charByte(f.number[i]) : EncodeDialDigit(f.number[i]));
    WriteHms(b, l.callDuration, f.callSeconds);
    WriteHms(b, l.recordedLength, f.recordSeconds);
    putText(l.path, l.pathSize, f.relativePath, true);

    if (family1) {
        WriteU8(b, card256::kExtra, byte(f.extra));
        putText(card256::kRemark, card256::kRemarkSize, f.remark, false);
    } else {
        const std::size_t nameLength = std::min(f.name.size(), card128::kNameSize);
        WriteU8(b, card128::kNameLength, static_cast<std::uint8_t>(nameLength));
        for (std::size_t i = 0; i < nameLength; ++i)
            WriteU8(b, card128::kName + i, charByte(f.name[i]));
    }
    return raw;
}

bool AppendLogRecordFromFile(const CardVolume& card, std::string_view name, int devType) {
    return AppendLogRecord(card, name, devType) == AppendLogResult::Added;
}

AppendLogResult AppendLogRecord(const CardVolume& card, std::string_view name, int devType,
                                int* error) {
    constexpr auto kNotARecording = AppendLogResult::NotARecordingName;
    const auto writeFailed = [error](int e) {
        if (error) *error = e;
        return AppendLogResult::WriteFailed;
    };
    // Steps: shape of the name, type code, timestamp, number; anything off is refused.
    if (name.size() < 21 || name.size() > 45 || name[14] != '-') return kNotARecording;
    const auto lastDash = name.rfind('-');
    if (lastDash == std::string_view::npos || lastDash < 15) return kNotARecording;
    const auto code = name.substr(15, lastDash - 15);
    if (code.size() > 4) return kNotARecording;
    const int type = RecordTypeFromCode(code);
    if (type < 0) return kNotARecording;

    const int year = AtoiOf(name.substr(0, 4));
    const int month = AtoiOf(name.substr(4, 2));
    const int day = AtoiOf(name.substr(6, 2));
    const int hour = AtoiOf(name.substr(8, 2));
    const int minute = AtoiOf(name.substr(10, 2));
    const int second = AtoiOf(name.substr(12, 2));
    if (year < 2000 || year > 2999 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
        minute > 59 || second > 59)
        return kNotARecording;

    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot <= lastDash) return kNotARecording;
    const auto number = name.substr(lastDash + 1, dot - lastDash - 1);
    if (number.size() > 30) return kNotARecording;

    const std::string folder(name.substr(0, 6));
    const std::string rel8 = (devType == 1 ? "RECORD\\" : "") + folder + "\\" + std::string(name);
    const auto rel = FromUtf8(rel8);
    const auto full = ResolveUnderRoot(card.root, rel);
    if (!full) return kNotARecording;
    // A path that does not fit the field would name no file; refuse it
    // rather than write a record that points nowhere.
    const std::size_t pathField = devType == 1 ? card256::kPathSize : card128::kPathSize;
    const auto codePage = CodePageOf(card);
    if (EncodeCodePage(rel, codePage).size() > pathField - 1) return kNotARecording;

    // A recording reached through a link is not the card's own.
    if (!IsReachedWithoutLinks(card.root, *full)) return writeFailed(ELOOP);
    const auto seconds = static_cast<int>(RecordingSecondsRoundedUp(*full));
    CardRecordFields f;
    f.type = type;
    f.status = 1;
    f.year = year;
    f.month = month;
    f.day = day;
    f.hour = hour;
    f.minute = minute;
    f.number = FromUtf8(number);
    f.callSeconds = seconds;
    f.recordSeconds = seconds;
    f.relativePath = rel;
    const auto raw = BuildCardRecord(f, devType, codePage);

    const int fd = OpenRegularFdWithoutLinks(card.root, card.root / kCallLogFileName,
                                             O_WRONLY | O_CREAT | O_APPEND);
    if (fd < 0) return writeFailed(errno);
    const ssize_t n = ::write(fd, raw.data(), raw.size());
    const int writeError = errno;
    if (::close(fd) != 0 && n >= 0) return writeFailed(errno);
    if (n < 0) return writeFailed(writeError);
    if (static_cast<std::size_t>(n) != raw.size()) return writeFailed(ENOSPC);
    return AppendLogResult::Added;
}

bool ClearCardLogEntry(const CardVolume& card, int devType, int index) {
    return WriteCardLogByte(card, devType, index, card128::kInUse, 0);
}

bool WriteCardMark(const CardVolume& card, int devType, int index, int value) {
    return WriteCardLogByte(card, devType, index, card128::kMark,
                            static_cast<std::uint8_t>(value & 0xFF));
}

}  // namespace lk
