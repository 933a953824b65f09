#pragma once
// The contact library: the user's address book, read from a vCard file (the
// setting "ContactsFile"), delivered contact by contact as 2176-byte
// OutlookContact blocks in file order. Its C-style entry point keeps the shape
// of the recorder maker's library so callers can hand it a plain callback.

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

#include "card/OutlookContact.h"

namespace lk {

// Receives one contact: `contact` points at a 2176-byte block valid only during
// the call; `context` is the caller's. Returns 1 when the contact was stored,
// 0 when it could not be (the delivery goes on with the next one).
using ContactDeliveryCallback = int (*)(const std::uint8_t* contact, void* context,
                                        std::uintptr_t reserved1, std::uintptr_t reserved2);

// Delivers every contact of the file named by "ContactsFile", returning when
// all have been delivered. A missing or unreadable file delivers none.
void VX860_GetOutLookContactList(ContactDeliveryCallback callback, void* context);

// The same delivery from a given vCard file.
void DeliverVCardContacts(const std::filesystem::path& file, ContactDeliveryCallback callback,
                          void* context);

// vCard 2.1, 3.0 and 4.0 text (folded lines, quoted-printable, base64, CHARSET,
// FN with N as fallback, TEL with any parameters; first seven numbers kept).
std::vector<OutlookContact> ParseVCardText(std::string_view text);
// Empty for a missing, unreadable or oversized file.
std::vector<OutlookContact> ReadVCardFile(const std::filesystem::path& file);

// The match command's fetch: empties `contacts`, then appends what the library
// delivers. Returns the number of contacts stored.
int FetchContacts(ContactList& contacts);
int FetchContactsFrom(const std::filesystem::path& file, ContactList& contacts);

}  // namespace lk
