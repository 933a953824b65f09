#include <filesystem>
#include <iostream>
#include <memory>

#include "CliAudit.h"
#include "CliCard.h"
#include "CliNotes.h"
#include "Command.h"
#include "app/ExeDir.h"
#include "app/LangString.h"
#include "mail/EmlDraft.h"
#include "mail/MailHandover.h"
#include "mail/MailMessage.h"
#include "platform/TextCodec.h"

namespace lk::cli {
namespace fs = std::filesystem;

namespace {

struct MailOptions {
    std::string card;
    std::string store;
    int family = -1;
    std::vector<std::string> recordings;
    bool asRecorded = false;
    std::string attachAs;  // empty: WAV, or as recorded with --as-recorded
    std::string eml;
};

// A recording is named by its path as the list shows it, or by its file name.
const CallRecord* FindRecording(const RecordList& records, const std::string& name) {
    const CallRecord* byName = nullptr;
    for (const auto& r : records) {
        const std::string path = ToUtf8(FieldText(r->filePath));
        if (path == name) return r.get();
        if (byName == nullptr && fs::path(path).filename() == name) byName = r.get();
    }
    return byName;
}

int RunMail(const MailOptions& o) {
    if (o.card.empty() == o.store.empty())
        throw CLI::ValidationError("mail", "give either --card DIR or --store DIR --family N");
    if (!o.store.empty() && o.family != 0 && o.family != 1)
        throw CLI::ValidationError("--family", "--store needs --family 0 or 1");
    auto loaded = LoadCardOrStore({o.card, o.store, o.family, {}});
    if (!loaded) return kExitFailure;

    std::vector<CallRecord> records;
    for (const auto& name : o.recordings) {
        const CallRecord* r = FindRecording(loaded->Records(), name);
        if (r == nullptr) {
            PrintError("no record names the recording " + name);
            return kExitFailure;
        }
        records.push_back(*r);
    }

    const fs::path scratch = ScratchDir();
    MailAttachments attachments = PrepareMailAttachments(
        records,
        o.attachAs.empty() ? (o.asRecorded ? MailAttachAs::Recorded : MailAttachAs::Wav)
                           : MailAttachAsByName(o.attachAs),
        scratch);
    MailMessage message;
    CallNotes notes = NotesFor({o.card, o.store, o.family, {}}, loaded->devType);
    std::vector<MailCallNote> callNotes;
    for (const CallRecord& r : records) {
        const CallAnnotation a = notes.Of(r);
        MailCallNote n{a.note.value_or(""), {}};
        for (const auto& tag : a.tags)
            n.tags += (n.tags.empty() ? "" : ", ") + tag;
        callNotes.push_back(std::move(n));
    }
    ReportNotesProblem(notes);
    message.body = BuildMailBody(records, MailLabels::Load(loaded->devType), callNotes);
    message.attachments = attachments.files;

    // The rest still goes; the recordings left out are named and make the
    // command fail, so that a script notices a mail short of a recording.
    int exitCode = kExitOk;
    for (const auto& left : attachments.leftOut) {
        PrintError("left out of the mail: " + left.recording.string() + ": " + left.reason);
        exitCode = kExitFailure;
    }
    bool handedOver = false;
    std::string where;
    if (!o.eml.empty()) {
        if (WriteEmlDraft(o.eml, message) != EmlResult::Written) {
            PrintError("cannot write " + o.eml);
            exitCode = kExitFailure;
        } else {
            std::cout << o.eml << ": " << message.attachments.size() << " attachments\n";
            handedOver = true;
            where = "draft " + o.eml;
        }
    } else {
        HandoverResult result = SendWithXdgEmail(message);
        if (result == HandoverResult::Unavailable) {
            fs::path draft;
            result = SendAsEmlDraft(message, scratch, draft);
            if (result != HandoverResult::Failed) std::cout << "draft: " << draft.string() << '\n';
            where = "draft " + draft.string();
            // The draft still points at its attachments' copies: keep them.
            if (result == HandoverResult::Accepted) attachments.temporary.clear();
        }
        if (result == HandoverResult::Unavailable) {
            PrintError(LangString(113));
            exitCode = kExitFailure;
        } else if (result == HandoverResult::Failed) {
            PrintError(LangString(116));
            exitCode = kExitFailure;
        } else {
            // The mail program may still read the copies after xdg-email returned.
            attachments.temporary.clear();
            handedOver = true;
            if (where.empty()) where = "to the mail program";
        }
    }
    RemoveTemporaryFiles(attachments.temporary);
    if (!handedOver) return exitCode;
    std::vector<std::string> mailed;
    for (const CallRecord& r : records)
        mailed.push_back(ToUtf8(FieldText(r.filePath)));
    const int logged = AuditAfter(
        o.store, o.family, "mailed", mailed,
        where + ", " + std::to_string(message.attachments.size()) + " attachments", kExitOk);
    return exitCode != kExitOk ? exitCode : logged;
}

}  // namespace

void AddMailCommand(CLI::App& app, CommandContext& ctx) {
    auto opts = std::make_shared<MailOptions>();
    auto* cmd = app.add_subcommand("mail", "Mail recordings: a draft file, or to the mail program");
    cmd->add_option("--card", opts->card, "Folder of a recorder's card");
    cmd->add_option("--store", opts->store, "Backup folder (holds the store folders)");
    cmd->add_option("--family", opts->family, "Device family of the store (0 or 1)");
    cmd->add_option("RECORDING", opts->recordings, "Recordings, by path or file name")->required();
    cmd->add_flag("--as-recorded", opts->asRecorded, "Attach the recordings unchanged");
    cmd->add_option("--attach-as", opts->attachAs, "wav, recorded, mp3 or opus")
        ->check(CLI::IsMember({"wav", "recorded", "mp3", "opus"}))
        ->excludes("--as-recorded");
    cmd->add_option("--eml", opts->eml, "Write the message as a draft file instead");
    cmd->callback([opts, &ctx] { ctx.exitCode = RunMail(*opts); });
}

}  // namespace lk::cli
