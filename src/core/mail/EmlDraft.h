#pragma once
// A mail as an unsent RFC 5322 draft (multipart/mixed, base64 attachments,
// "X-Unsent: 1"), which desktop mail programs open as a new message.

#include <ctime>
#include <filesystem>
#include <string>

#include "mail/MailMessage.h"

namespace lk {

enum class EmlResult { Written, AttachmentUnreadable, WriteFailed };

// The whole draft; `boundary` must not occur in the parts (a random one is
// made when empty). Attachments are read from disk; false when one cannot be.
bool BuildEmlDraft(const MailMessage& message, std::time_t date, std::string boundary,
                   std::string& out);

// Written under a temporary name and renamed when complete.
EmlResult WriteEmlDraft(const std::filesystem::path& path, const MailMessage& message);

// Base64 in lines of 76 characters, each ended by CR LF.
std::string Base64Lines(std::string_view bytes);

// A header value: as it is when plain ASCII, else an RFC 2047 encoded word.
std::string HeaderText(std::string_view utf8);

}  // namespace lk
