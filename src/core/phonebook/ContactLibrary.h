#pragma once
// The contact library: the user's address book, read from a vCard file or a
// folder of vCard files (the setting "ContactsFile"), delivered contact by
// contact as 2176-byte OutlookContact blocks in file order. Its C-style entry
// point keeps the shape of the recorder maker's library so callers can hand
// it a plain callback.
//
// Numbers are delivered as they are matched: without the visual separators
// of the address book ("(555) 555-0188" becomes "5555550188"), see
// NormalizeContactNumber.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "card/OutlookContact.h"

namespace lk {

// Receives one contact: `contact` points at a 2176-byte block valid only during
// the call; `context` is the caller's. Returns 1 when the contact was stored,
// 0 when it could not be (the delivery goes on with the next one).
using ContactDeliveryCallback = int (*)(const std::uint8_t* contact, void* context,
                                        std::uintptr_t reserved1, std::uintptr_t reserved2);

enum class ContactSourceStatus {
    Read,            // every file read (an empty address book is read too)
    NotSet,          // "ContactsFile" is empty
    Missing,         // no such file or folder
    Unreadable,      // it cannot be opened or read to the end
    NotAddressBook,  // a file with no vCard in it
};

// What a delivery found, for a status line or a command's exit code.
struct ContactReadResult {
    ContactSourceStatus status = ContactSourceStatus::Read;
    int contacts = 0;      // delivered
    int filesSkipped = 0;  // of a folder: files that could not be read
    std::string message;   // one line for people; empty when all went well

    bool Ok() const { return status == ContactSourceStatus::Read; }
};

// Delivers every contact of the file or folder named by "ContactsFile",
// returning when all have been delivered. A missing or unreadable source
// delivers none.
void VX860_GetOutLookContactList(ContactDeliveryCallback callback, void* context);

// The same delivery from a given vCard file, or from a folder of .vcf files
// (as vdirsyncer and khard keep them; read in file-name order, links not
// followed). The file is read as a stream: its size does not matter.
ContactReadResult DeliverVCardContacts(const std::filesystem::path& source,
                                       ContactDeliveryCallback callback, void* context);

// vCard 2.1, 3.0 and 4.0 text (folded lines, quoted-printable, base64, CHARSET,
// FN with N as fallback, TEL with any parameters; first seven numbers kept).
std::vector<OutlookContact> ParseVCardText(std::string_view text);
// Empty for a missing or unreadable file or folder.
std::vector<OutlookContact> ReadVCardFile(const std::filesystem::path& source);

// The match command's fetch: empties `contacts`, then appends what the library
// delivers. The counts of contacts stored; the results also say what went wrong.
int FetchContacts(ContactList& contacts);
int FetchContactsFrom(const std::filesystem::path& source, ContactList& contacts);
ContactReadResult LoadContacts(ContactList& contacts);
ContactReadResult LoadContactsFrom(const std::filesystem::path& source, ContactList& contacts);

}  // namespace lk
