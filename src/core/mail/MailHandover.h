#pragma once
// Handing a mail to the desktop without a session bus: xdg-email gives it to
// the configured mail program; failing that, an unsent draft is written and
// opened with the default program for .eml files.

#include <filesystem>
#include <string>
#include <vector>

#include "mail/MailMessage.h"

namespace lk {

enum class HandoverResult {
    Accepted,     // a mail program has the message
    Cancelled,    // the user cancelled the message
    Unavailable,  // this way is not available here: try the next
    Failed,       // this way was taken and failed
};

// xdg-email with the subject, body and attachments.
HandoverResult SendWithXdgEmail(const MailMessage& message);

// Writes the draft into `folder` and opens it with xdg-open. `draftPath`
// receives where it was written.
HandoverResult SendAsEmlDraft(const MailMessage& message, const std::filesystem::path& folder,
                              std::filesystem::path& draftPath);

// Opens a file with the desktop's default program for it (xdg-open).
HandoverResult OpenWithDefaultProgram(const std::filesystem::path& file);

// The draft's file name in the scratch folder.
inline constexpr char kDraftFileName[] = "Recordings.eml";

}  // namespace lk
