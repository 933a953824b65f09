#include "phonebook/PhoneBookFile.h"

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

#include "platform/LinkFreePath.h"
#include "platform/RegularFile.h"
#include "platform/TextCodec.h"

namespace lk {
namespace {

namespace fs = std::filesystem;

std::u16string DecodeField(const std::array<std::uint8_t, ContactRecord::kSize>& b,
                           std::size_t offset, std::size_t size, std::string_view codePage) {
    std::size_t n = 0;
    while (n < size && b[offset + n] != 0)
        ++n;
    return DecodeCodePage(ByteSpan(b.data() + offset, n), codePage);
}

// Encodes as many whole characters as fit in `maxBytes` bytes (a double-byte
// character is never split, a surrogate pair never halved).
std::string EncodeCut(std::u16string_view text, std::size_t maxBytes, std::string_view codePage) {
    std::string full = EncodeCodePage(text, codePage);
    if (full.size() <= maxBytes) return full;
    std::string best;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t next = i + 1;
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF && next < text.size()) ++next;
        std::string candidate = EncodeCodePage(text.substr(0, next), codePage);
        if (candidate.size() > maxBytes) break;
        best = std::move(candidate);
        i = next;
    }
    return best;
}

void PutText(std::array<std::uint8_t, ContactRecord::kSize>& b, std::size_t offset,
             std::size_t size, std::u16string_view text, std::string_view codePage) {
    const std::string bytes = EncodeCut(text, size - 1, codePage);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        b[offset + i] = static_cast<std::uint8_t>(bytes[i]);
}

std::uintmax_t FileSize(const fs::path& file, bool* exists) {
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    *exists = !ec;
    return ec ? 0 : size;
}

// The phone book lies in the card root and is a plain file there: one that is
// a link is never opened, so no write lands outside the card.
int OpenPhoneBook(const fs::path& file, int flags) {
    return OpenRegularFdWithoutLinks(file.parent_path(), file, flags);
}

bool ReadAllAt(int fd, std::uint8_t* data, std::size_t size, off_t at) {
    while (size > 0) {
        const ssize_t n = ::pread(fd, data, size, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
        at += n;
    }
    return true;
}

bool WriteAllAt(int fd, const std::uint8_t* data, std::size_t size, off_t at, bool append) {
    while (size > 0) {
        const ssize_t n = append ? ::write(fd, data, size) : ::pwrite(fd, data, size, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
        at += n;
    }
    return true;
}

// Reads or writes the record at `position` of an existing file.
PhoneBookWrite WithRecordAt(const fs::path& file, int position,
                            bool (*change)(std::array<std::uint8_t, ContactRecord::kSize>&,
                                           const ContactRecord*),
                            const ContactRecord* record) {
    bool exists = false;
    const auto size = FileSize(file, &exists);
    if (!exists) return PhoneBookWrite::IoError;
    if (position < 0 || (static_cast<std::uintmax_t>(position) + 1) * ContactRecord::kSize > size)
        return PhoneBookWrite::NoSuchEntry;
    const int fd = OpenPhoneBook(file, O_RDWR);
    if (fd < 0) return PhoneBookWrite::IoError;
    const auto offset = static_cast<off_t>(position) * static_cast<off_t>(ContactRecord::kSize);
    std::array<std::uint8_t, ContactRecord::kSize> bytes{};
    bool ok = ReadAllAt(fd, bytes.data(), bytes.size(), offset);
    const bool write = ok && change(bytes, record);
    if (write) ok = WriteAllAt(fd, bytes.data(), bytes.size(), offset, false);
    ok = ::close(fd) == 0 && ok;
    return ok ? PhoneBookWrite::Done : PhoneBookWrite::IoError;
}

}  // namespace

std::u16string ContactRecord::Name(std::string_view codePage) const {
    return DecodeField(bytes, kName, kNameSize, codePage);
}

std::u16string ContactRecord::Number(std::size_t i, std::string_view codePage) const {
    if (i >= kNumberCount) return {};
    return DecodeField(bytes, kNumbers[i], kNumberSize, codePage);
}

ContactRecord ContactRecord::FromBytes(ByteSpan raw) {
    ContactRecord r;
    for (std::size_t i = 0; i < kSize; ++i)
        r.bytes[i] = ReadU8(raw, i);
    return r;
}

ContactRecord BuildContactRecord(
    std::u16string_view name,
    const std::array<std::u16string, ContactRecord::kNumberCount>& numbers, int recordingType,
    std::string_view codePage) {
    ContactRecord r;
    r.bytes[ContactRecord::kInUse] = 1;
    PutText(r.bytes, ContactRecord::kName, ContactRecord::kNameSize, name, codePage);
    for (std::size_t i = 0; i < ContactRecord::kNumberCount; ++i)
        PutText(r.bytes, ContactRecord::kNumbers[i], ContactRecord::kNumberSize, numbers[i],
                codePage);
    r.bytes[ContactRecord::kRecordingType] = static_cast<std::uint8_t>(recordingType);
    return r;
}

PhoneBookLoad LoadPhoneBook(const fs::path& file) {
    PhoneBookLoad load;
    const int fd = OpenPhoneBook(file, O_RDONLY);
    if (fd < 0) return load;
    std::vector<std::uint8_t> bytes;
    std::uint8_t buf[1 << 14];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        bytes.insert(bytes.end(), buf, buf + n);
    }
    ::close(fd);
    if (!ok) return load;
    load.found = true;
    load.sizeValid = bytes.size() % ContactRecord::kSize == 0;
    if (!load.sizeValid) return load;
    load.recordCount = static_cast<int>(bytes.size() / ContactRecord::kSize);
    for (int i = 0; i < load.recordCount; ++i) {
        const auto record = ContactRecord::FromBytes(
            ByteSpan(bytes.data() + static_cast<std::size_t>(i) * ContactRecord::kSize,
                     ContactRecord::kSize));
        if (record.InUse()) load.contacts.push_back({i, record});
    }
    return load;
}

PhoneBookWrite AddContact(const fs::path& file, const ContactRecord& record, int* position) {
    const PhoneBookLoad load = LoadPhoneBook(file);
    bool exists = false;
    const auto size = FileSize(file, &exists);
    if (exists && !load.found) return PhoneBookWrite::IoError;
    if (exists && size % ContactRecord::kSize != 0) return PhoneBookWrite::BadFile;
    if (static_cast<int>(load.contacts.size()) >= kMaxPhoneBookContacts)
        return PhoneBookWrite::Full;
    const int fd = OpenPhoneBook(file, O_WRONLY | O_CREAT | O_APPEND);
    if (fd < 0) return PhoneBookWrite::IoError;
    bool ok = WriteAllAt(fd, record.bytes.data(), record.bytes.size(), 0, true);
    ok = ::close(fd) == 0 && ok;
    if (!ok) return PhoneBookWrite::IoError;
    if (position) *position = static_cast<int>(size / ContactRecord::kSize);
    return PhoneBookWrite::Done;
}

PhoneBookWrite ChangeContact(const fs::path& file, int position, const ContactRecord& record) {
    return WithRecordAt(
        file, position,
        [](std::array<std::uint8_t, ContactRecord::kSize>& bytes, const ContactRecord* r) {
            bytes = r->bytes;
            return true;
        },
        &record);
}

PhoneBookWrite DeleteContact(const fs::path& file, int position) {
    return WithRecordAt(
        file, position,
        [](std::array<std::uint8_t, ContactRecord::kSize>& bytes, const ContactRecord*) {
            if (bytes[ContactRecord::kInUse] == 0) return false;
            bytes[ContactRecord::kInUse] = 0;
            return true;
        },
        nullptr);
}

std::u16string DropTrailingNonAscii(std::u16string text) {
    while (!text.empty() && text.back() >= 0x80)
        text.pop_back();
    return text;
}

}  // namespace lk
