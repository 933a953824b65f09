#include "phonebook/PhoneBookFile.h"

#include <fstream>
#include <iterator>
#include <system_error>

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
    std::fstream io(file, std::ios::in | std::ios::out | std::ios::binary);
    if (!io) return PhoneBookWrite::IoError;
    const auto offset =
        static_cast<std::streamoff>(position) * static_cast<std::streamoff>(ContactRecord::kSize);
    std::array<std::uint8_t, ContactRecord::kSize> bytes{};
    io.seekg(offset);
    io.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!io) return PhoneBookWrite::IoError;
    if (!change(bytes, record)) return PhoneBookWrite::Done;
    io.seekp(offset);
    io.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
    io.flush();
    return io ? PhoneBookWrite::Done : PhoneBookWrite::IoError;
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
    std::ifstream in(file, std::ios::binary);
    if (!in) return load;
    const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) return load;
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
    std::ofstream out(file, std::ios::binary | std::ios::app);
    if (!out) return PhoneBookWrite::IoError;
    out.write(reinterpret_cast<const char*>(record.bytes.data()),
              static_cast<std::streamsize>(record.bytes.size()));
    out.flush();
    if (!out) return PhoneBookWrite::IoError;
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
