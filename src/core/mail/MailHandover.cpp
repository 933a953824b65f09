#include "mail/MailHandover.h"

#include "mail/EmlDraft.h"
#include "platform/RunProgram.h"

namespace lk {

HandoverResult SendWithXdgEmail(const MailMessage& message) {
    if (!ProgramOnPath("xdg-email")) return HandoverResult::Unavailable;
    std::vector<std::string> argv{"xdg-email",     "--utf8", "--subject",
                                  message.subject, "--body", message.body};
    for (const auto& a : message.attachments) {
        argv.push_back("--attach");
        argv.push_back(a.string());
    }
    // Exit codes of xdg-utils: 3 no tool for the job, 4 the action failed
    // (typically no mail program configured); both leave the next way open.
    switch (RunProgram(argv)) {
        case 0:
            return HandoverResult::Accepted;
        case 3:
        case 4:
        case 127:
            return HandoverResult::Unavailable;
        default:
            return HandoverResult::Failed;
    }
}

HandoverResult OpenWithDefaultProgram(const std::filesystem::path& file) {
    if (!ProgramOnPath("xdg-open")) return HandoverResult::Unavailable;
    switch (RunProgram({"xdg-open", file.string()})) {
        case 0:
            return HandoverResult::Accepted;
        case 3:
        case 4:
        case 127:
            return HandoverResult::Unavailable;
        default:
            return HandoverResult::Failed;
    }
}

HandoverResult SendAsEmlDraft(const MailMessage& message, const std::filesystem::path& folder,
                              std::filesystem::path& draftPath) {
    draftPath = folder / kDraftFileName;
    if (WriteEmlDraft(draftPath, message) != EmlResult::Written) return HandoverResult::Failed;
    return OpenWithDefaultProgram(draftPath);
}

}  // namespace lk
