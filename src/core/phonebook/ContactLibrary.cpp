#include "phonebook/ContactLibrary.h"

#include <algorithm>
#include <new>
#include <system_error>

#include "app/Settings.h"
#include "phonebook/VCardReader.h"
#include "platform/RegularFile.h"

namespace lk {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kReadPiece = 256 * 1024;

int StoreIntoList(const std::uint8_t* contact, void* context, std::uintptr_t, std::uintptr_t) {
    auto* list = static_cast<ContactList*>(context);
    try {
        list->push_back(OutlookContact::FromBytes(ByteSpan(contact, OutlookContact::kSize)));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

ContactReadResult Failed(ContactSourceStatus status, std::string message) {
    ContactReadResult r;
    r.status = status;
    r.message = std::move(message);
    return r;
}

struct Delivery {
    ContactDeliveryCallback callback;
    void* context;
    int delivered = 0;

    void operator()(const OutlookContact& contact) {
        const auto block = contact.ToBytes();
        if (callback) callback(block.data(), context, 0, 0);
        ++delivered;
    }
};

enum class FileOutcome { Read, Unreadable, NoCard };

// Streams one file through the reader; contacts reach `delivery` as their
// cards end.
FileOutcome StreamFile(const fs::path& file, Delivery& delivery) {
    RegularFileStream in(file);
    if (!in) return FileOutcome::Unreadable;
    VCardReader reader([&delivery](const OutlookContact& c) { delivery(c); });
    std::string piece(kReadPiece, '\0');
    bool any = false;
    while (in) {
        in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got == 0) break;
        any = true;
        reader.Feed(std::string_view(piece.data(), got));
    }
    if (in.bad()) return FileOutcome::Unreadable;
    reader.Finish();
    return (any && !reader.SawCard()) ? FileOutcome::NoCard : FileOutcome::Read;
}

bool IsVcfName(const fs::path& p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
    return ext == ".vcf" || ext == ".vcard";
}

ContactReadResult DeliverFolder(const fs::path& dir, Delivery& delivery) {
    std::error_code ec;
    std::vector<fs::path> files;
    fs::directory_iterator it(dir, ec), end;
    if (ec)
        return Failed(ContactSourceStatus::Unreadable, "cannot read the folder " + dir.string());
    for (; it != end; it.increment(ec)) {
        if (ec) break;
        // A link could lead anywhere: only plain files of the folder itself.
        const auto st = it->symlink_status(ec);
        if (!ec && fs::is_regular_file(st) && IsVcfName(it->path())) files.push_back(it->path());
    }
    if (ec)
        return Failed(ContactSourceStatus::Unreadable, "cannot read the folder " + dir.string());
    std::sort(files.begin(), files.end());
    ContactReadResult r;
    for (const auto& f : files)
        if (StreamFile(f, delivery) == FileOutcome::Unreadable) ++r.filesSkipped;
    r.contacts = delivery.delivered;
    if (r.filesSkipped > 0)
        r.message = std::to_string(r.filesSkipped) + " of " + std::to_string(files.size()) +
                    " vCard files in " + dir.string() + " could not be read";
    return r;
}

}  // namespace

std::vector<OutlookContact> ParseVCardText(std::string_view text) {
    std::vector<OutlookContact> contacts;
    VCardReader reader([&contacts](const OutlookContact& c) { contacts.push_back(c); });
    reader.Feed(text);
    reader.Finish();
    return contacts;
}

ContactReadResult DeliverVCardContacts(const fs::path& source, ContactDeliveryCallback callback,
                                       void* context) {
    Delivery delivery{callback, context};
    std::error_code ec;
    const auto st = fs::status(source, ec);
    if (ec || !fs::exists(st))
        return Failed(ContactSourceStatus::Missing, "no address book at " + source.string());
    if (fs::is_directory(st)) return DeliverFolder(source, delivery);
    switch (StreamFile(source, delivery)) {
        case FileOutcome::Unreadable:
            return Failed(ContactSourceStatus::Unreadable,
                          "cannot read the address book " + source.string());
        case FileOutcome::NoCard:
            return Failed(ContactSourceStatus::NotAddressBook,
                          "no vCard contacts in " + source.string());
        case FileOutcome::Read:
            break;
    }
    ContactReadResult r;
    r.contacts = delivery.delivered;
    return r;
}

std::vector<OutlookContact> ReadVCardFile(const fs::path& source) {
    ContactList contacts;
    LoadContactsFrom(source, contacts);
    return contacts;
}

void VX860_GetOutLookContactList(ContactDeliveryCallback callback, void* context) {
    const std::string source = ContactsFile();
    if (source.empty()) return;
    (void)DeliverVCardContacts(fs::path(source), callback, context);
}

ContactReadResult LoadContacts(ContactList& contacts) {
    contacts.clear();
    const std::string source = ContactsFile();
    if (source.empty())
        return Failed(ContactSourceStatus::NotSet, "no address book is set (\"ContactsFile\")");
    return LoadContactsFrom(fs::path(source), contacts);
}

ContactReadResult LoadContactsFrom(const fs::path& source, ContactList& contacts) {
    contacts.clear();
    auto r = DeliverVCardContacts(source, &StoreIntoList, &contacts);
    r.contacts = static_cast<int>(contacts.size());
    return r;
}

int FetchContacts(ContactList& contacts) {
    return LoadContacts(contacts).contacts;
}

int FetchContactsFrom(const fs::path& source, ContactList& contacts) {
    return LoadContactsFrom(source, contacts).contacts;
}

}  // namespace lk
