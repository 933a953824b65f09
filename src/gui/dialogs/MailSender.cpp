#include "dialogs/MailSender.h"

#include <QDesktopServices>
#include <QStringList>
#include <QUrl>

#include "mail/MailMessage.h"
#include "platform/TextCodec.h"
#include "support/ActionAudit.h"
#include "support/GuiText.h"
#include "support/MailPortal.h"
#include "support/MessageBox.h"

namespace lk::gui {

namespace {

constexpr int kMailCaption = 112;
constexpr int kNoMailProgram = 113;
constexpr int kMailFailed = 116;
constexpr int kMailRunning = 207;
constexpr int kInfoCaption = 160;
constexpr int kDraftSaved = 370;
constexpr int kShowFolder = 371;
constexpr int kDraftOpened = 372;

}  // namespace

std::vector<MailSender::Way> MailSender::DesktopWays(const std::filesystem::path& scratch) {
    return {
        // The portal hands over open descriptors: the copies may go at once.
        {[](const MailMessage& m) { return ComposeWithPortal(m); }, false},
        {[](const MailMessage& m) { return SendWithXdgEmail(m); }, true},
        {[scratch](const MailMessage& m) {
             std::filesystem::path draft;
             return SendAsEmlDraft(m, scratch, draft);
         },
         true},
    };
}

MailSender::MailSender(QWidget* parent, std::filesystem::path scratch)
    : QObject(parent),
      parent_(parent),
      scratch_(std::move(scratch)),
      ways_(DesktopWays(scratch_)),
      link_(std::make_shared<Link>()) {
    link_->owner = this;
}

MailSender::~MailSender() {
    {
        std::lock_guard<std::mutex> g(link_->lock);
        link_->owner = nullptr;
    }
    // A mail program started by xdg-email may keep the worker waiting as
    // long as it runs; the worker then finishes on its own.
    if (worker_.joinable()) {
        if (running_)
            worker_.detach();
        else
            worker_.join();
    }
    RemoveTemporaryFiles(kept_);
}

bool MailSender::Running() const {
    return running_;
}

void MailSender::Start(std::vector<CallRecord> records, MailAttachAs attachedAs, int devType,
                       std::vector<MailCallNote> notes) {
    if (running_) {
        ShowMessage(parent_, Lang(kMailRunning), Lang(kInfoCaption), QMessageBox::Information);
        return;
    }
    if (records.empty()) return;
    if (worker_.joinable()) worker_.join();
    mailed_.clear();
    for (const CallRecord& r : records)
        mailed_.push_back(ToUtf8(FieldText(r.filePath)));
    // The copies of the last mail have served their time.
    RemoveTemporaryFiles(kept_);
    kept_.clear();

    running_ = true;
    startedAt_ = std::filesystem::file_time_type::clock::now();
    const MailLabels labels = MailLabels::Load(devType);
    worker_ =
        std::thread([link = link_, ways = ways_, scratch = scratch_, records = std::move(records),
                     attachedAs, labels, notes = std::move(notes)] {
            auto outcome = std::make_shared<Outcome>();
            std::error_code ec;
            std::filesystem::create_directories(scratch, ec);
            MailAttachments attachments = PrepareMailAttachments(records, attachedAs, scratch);
            outcome->message.body = BuildMailBody(records, labels, notes);
            outcome->message.attachments = attachments.files;
            outcome->leftOut = attachments.leftOut;
            bool keep = false;
            for (const Way& way : ways) {
                outcome->result = way.send(outcome->message);
                if (outcome->result == HandoverResult::Unavailable) continue;
                keep = way.readsFilesLater && outcome->result == HandoverResult::Accepted;
                break;
            }
            if (keep)
                outcome->keep = attachments.temporary;
            else
                RemoveTemporaryFiles(attachments.temporary);
            std::lock_guard<std::mutex> g(link->lock);
            if (link->owner == nullptr) {
                RemoveTemporaryFiles(outcome->keep);
                return;
            }
            MailSender* owner = link->owner;
            QMetaObject::invokeMethod(
                owner, [owner, outcome] { owner->OnDone(outcome); }, Qt::QueuedConnection);
        });
}

void MailSender::OnDone(const std::shared_ptr<Outcome>& outcome) {
    if (worker_.joinable()) worker_.join();
    running_ = false;
    kept_ = outcome->keep;
    // The last way leaves an unsent draft; whether or not a program opened
    // it, the user is told where it is.
    const std::filesystem::path draft = scratch_ / kDraftFileName;
    std::error_code ec;
    const bool draftWritten = std::filesystem::is_regular_file(draft, ec) &&
                              std::filesystem::last_write_time(draft, ec) >= startedAt_ && !ec;
    const QString draftText = QString::fromStdString(draft.string());
    // Whatever became of the message, the recordings it could not carry are named.
    if (!outcome->leftOut.empty()) {
        QString text = QStringLiteral("These recordings are not in the mail:");
        for (const auto& left : outcome->leftOut)
            text += QStringLiteral("\n%1: %2")
                        .arg(QString::fromStdString(left.recording.filename().string()),
                             QString::fromStdString(left.reason));
        ShowMessage(nullptr, text, Lang(kMailCaption), QMessageBox::Warning);
    }
    switch (outcome->result) {
        case HandoverResult::Unavailable:
            if (draftWritten) {
                if (ShowMessage(parent_,
                                QStringLiteral("%1\n%2\n%3\n\n%4")
                                    .arg(Lang(kNoMailProgram), Lang(kDraftSaved), draftText,
                                         Lang(kShowFolder)),
                                Lang(kMailCaption), QMessageBox::Warning,
                                QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes)
                    QDesktopServices::openUrl(
                        QUrl::fromLocalFile(QString::fromStdString(draft.parent_path().string())));
                break;
            }
            ShowMessage(nullptr, Lang(kNoMailProgram), Lang(kMailCaption), QMessageBox::Critical);
            break;
        case HandoverResult::Accepted:
            if (draftWritten)
                ShowMessage(parent_, QStringLiteral("%1\n%2").arg(Lang(kDraftOpened), draftText),
                            Lang(kMailCaption), QMessageBox::Information);
            break;
        case HandoverResult::Failed:
            ShowMessage(nullptr, Lang(kMailFailed), Lang(kMailCaption), QMessageBox::Critical);
            break;
        default:
            break;
    }
    if (outcome->result == HandoverResult::Accepted ||
        (outcome->result == HandoverResult::Unavailable && draftWritten))
        LogUserAction(parent_, "mailed", mailed_,
                      outcome->result == HandoverResult::Accepted ? "to the mail program"
                                                                  : "draft " + draft.string());
    emit Finished(outcome->result, outcome->message);
}

}  // namespace lk::gui
