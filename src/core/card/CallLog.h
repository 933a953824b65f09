#pragma once
// The recorder's CallLog.dat: fixed-size records (128 bytes for family 0,
// 256 for family 1) in the card root, changed in place by position.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "card/CallRecord.h"
#include "card/OutlookContact.h"
#include "card/RecordFileCode.h"
#include "platform/ByteIo.h"

namespace lk {

class LetterCaseIndex;

inline constexpr char kCallLogFileName[] = "CallLog.dat";
inline constexpr char kPhoneBookFileName[] = "PhoneBook.dat";

// A card as the call log code sees it: its drive letter (what cardPath holds)
// and its native root (where the files are).
struct CardVolume {
    CardVolume() = default;
    CardVolume(char driveLetter, std::filesystem::path nativeRoot, std::string cardCodePage = {})
        : letter(driveLetter), root(std::move(nativeRoot)), codePage(std::move(cardCodePage)) {}

    char letter = 0;
    std::filesystem::path root;
    // Code page of the card's texts (the "CodePage" setting, read by whoever
    // starts the command); empty: kDefaultCardCodePage.
    std::string codePage;
    // Set on a card whose file system ignores letter case: paths from the log
    // are taken in the case the card's folders list them. Not owned.
    LetterCaseIndex* letterCase = nullptr;
};

// Family-0 card record (128 bytes).
namespace card128 {
inline constexpr std::size_t kSize = 128;
inline constexpr std::size_t kInUse = 0, kType = 1, kStatus = 2, kMark = 3, kReserved = 4;
inline constexpr std::size_t kYear = 5, kMonth = 6, kDay = 7, kHour = 8, kMinute = 9;
inline constexpr std::size_t kNumberLength = 10, kNumber = 11, kNumberSize = 30;
inline constexpr std::size_t kNameLength = 41, kName = 42, kNameSize = 35;
inline constexpr std::size_t kCallDuration = 77, kRecordedLength = 80;
inline constexpr std::size_t kPath = 83, kPathSize = 45;
}  // namespace card128

// Family-1 card record (256 bytes).
namespace card256 {
inline constexpr std::size_t kSize = 256;
inline constexpr std::size_t kInUse = 0, kType = 1, kStatus = 2, kMark = 3, kExtra = 4;
inline constexpr std::size_t kYear = 10, kMonth = 11, kDay = 12, kHour = 13, kMinute = 14;
inline constexpr std::size_t kNumberLength = 15, kNumber = 16, kNumberSize = 66;
inline constexpr std::size_t kCallDuration = 82, kRecordedLength = 85;
inline constexpr std::size_t kPath = 88, kPathSize = 64;
inline constexpr std::size_t kRemark = 152, kRemarkSize = 32;
}  // namespace card256

// 1076 for a backup index record; else 256 (family 1) or 128 (family 0).
int RecordSize(int devType, bool fromCard);
char16_t DecodeDialDigit(std::uint8_t code);
std::uint8_t EncodeDialDigit(char16_t c);

// Fill `out` (zeroed by the caller) from a card record. False when raw byte 0
// is not 1 or the buffer is too short. The caller sets `index`.
bool ParseCardRecord128(ByteSpan raw, CallRecord& out, const CardVolume& card,
                        const ContactList& contacts);
bool ParseCardRecord256(ByteSpan raw, CallRecord& out, const CardVolume& card,
                        const ContactList& contacts);

// Fills an empty name from the contacts. `family0Card` removes one trailing
// '*' or '#' from the number before comparing.
void MatchContactName(CallRecord& record, const ContactList& contacts, bool family0Card);

// The fields of one card record to write. Text is stored one byte per
// character for number and name (the recorder's way); the path and the
// remark go through the card code page.
struct CardRecordFields {
    int type = Incoming;
    int status = 1;
    int mark = 0;
    int extra = 0;  // family 1 only
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0;
    std::u16string number;  // family 0: dial digits, or plain characters for types 5 to 7
    std::u16string name;    // family 0 only
    int callSeconds = 0;
    int recordSeconds = 0;
    std::u16string relativePath;  // "201601\x.wav" or "RECORD\201601\x.wav"
    std::u16string remark;        // family 1 only
};

// A live card record of RecordSize(devType, true) bytes. An empty code page
// means kDefaultCardCodePage.
std::vector<std::uint8_t> BuildCardRecord(const CardRecordFields& fields, int devType,
                                          std::string_view codePage = {});

// Appends one card record built from a recording's bare file name.
bool AppendLogRecordFromFile(const CardVolume& card, std::string_view fileName, int devType);

enum class AppendLogResult {
    Added,
    NotARecordingName,  // the name does not read as a recording's; nothing to do
    WriteFailed,        // a recording, but the log could not take its record
};
// The same, telling a name that is no recording's from a log that cannot be
// written (errno in `error`: a read-only card, a log that is a link).
AppendLogResult AppendLogRecord(const CardVolume& card, std::string_view fileName, int devType,
                                int* error = nullptr);

// In-place changes of one card record; false (nothing written) when the log is
// missing, empty or shorter than `index`.
[[nodiscard]] bool ClearCardLogEntry(const CardVolume& card, int devType, int index);
[[nodiscard]] bool WriteCardMark(const CardVolume& card, int devType, int index, int value);

}  // namespace lk
