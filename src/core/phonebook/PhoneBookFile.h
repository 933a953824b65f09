#pragma once
// PhoneBook.dat of family-1 cards: 155-byte contact records back to back, no
// header. A record's position is its identity; records are never moved or
// removed, deleting clears the in-use flag, adding always appends.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ByteIo.h"

namespace lk {

struct ContactRecord {
    static constexpr std::size_t kSize = 155;
    static constexpr std::size_t kInUse = 0;
    static constexpr std::size_t kNumberCount = 3;
    static constexpr std::array<std::size_t, kNumberCount> kNumbers = {1, 31, 61};
    static constexpr std::size_t kNumberSize = 30;  // with the terminator
    static constexpr std::size_t kName = 91;
    static constexpr std::size_t kNameSize = 35;  // with the terminator
    static constexpr std::size_t kRecordingType = 126;
    static constexpr std::size_t kReserved = 127;
    static constexpr std::size_t kReservedSize = 28;

    std::array<std::uint8_t, kSize> bytes{};

    bool InUse() const { return bytes[kInUse] == 1; }
    int RecordingType() const { return bytes[kRecordingType]; }
    // Texts decoded from the card code page (up to their terminator).
    std::u16string Name(std::string_view codePage) const;
    std::u16string Number(std::size_t i, std::string_view codePage) const;

    static ContactRecord FromBytes(ByteSpan raw);
};

// A record as the contact window writes it: built from zeros, in use, texts in
// the code page cut (at whole characters) to leave their terminator.
ContactRecord BuildContactRecord(
    std::u16string_view name,
    const std::array<std::u16string, ContactRecord::kNumberCount>& numbers, int recordingType,
    std::string_view codePage);

inline constexpr int kMaxPhoneBookContacts = 50;
// The recording types the window offers (0, 1, 2).
inline constexpr int kRecordingTypeCount = 3;

struct PhoneBookEntry {
    int position = 0;
    ContactRecord record;
};

struct PhoneBookLoad {
    bool found = false;                    // the file could be read
    bool sizeValid = false;                // its size is a multiple of 155 (else nothing is listed)
    int recordCount = 0;                   // whole records in the file, deleted ones included
    std::vector<PhoneBookEntry> contacts;  // records in use, file order
};

PhoneBookLoad LoadPhoneBook(const std::filesystem::path& file);

enum class PhoneBookWrite {
    Done,
    Full,         // 50 contacts in use already
    BadFile,      // size not a multiple of 155: appending would misalign every record
    NoSuchEntry,  // position beyond the end of the file
    IoError,      // missing (where it must exist) or cannot be opened/written
};

// Appends a contact (creating the file when missing) unless 50 are in use.
// `position` receives the new record's position.
PhoneBookWrite AddContact(const std::filesystem::path& file, const ContactRecord& record,
                          int* position = nullptr);
// Writes the record at `position` of an existing file.
PhoneBookWrite ChangeContact(const std::filesystem::path& file, int position,
                             const ContactRecord& record);
// Clears the in-use flag of the record at `position`, leaving its other bytes.
PhoneBookWrite DeleteContact(const std::filesystem::path& file, int position);

// The name box drops trailing characters outside ASCII one by one.
std::u16string DropTrailingNonAscii(std::u16string text);

}  // namespace lk
