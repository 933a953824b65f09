#pragma once
// E-mail of recordings: on a worker, the selected records' recordings are
// attached (as WAV copies, or as recorded), the body is written, and the
// message goes to the first way to a mail program that takes it: the
// desktop's mail portal, xdg-email, an unsent draft opened as a file.

#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "card/CallRecord.h"
#include "mail/MailHandover.h"

namespace lk::gui {

class MailSender : public QObject {
    Q_OBJECT
  public:
    struct Way {
        std::function<HandoverResult(const MailMessage&)> send;
        // True when the mail program may read the files after `send` returned,
        // so the WAV copies must stay.
        bool readsFilesLater = true;
    };

    // The portal, xdg-email, a draft in `scratch`.
    static std::vector<Way> DesktopWays(const std::filesystem::path& scratch);

    MailSender(QWidget* parent, std::filesystem::path scratch);
    ~MailSender() override;  // removes the WAV copies still kept

    // Mails copies of `records` (their order kept), attached as `attachedAs`. While a
    // mail is being prepared: message 207 instead.
    // `notes` (parallel to `records`) go into the body after each call's lines.
    void Start(std::vector<CallRecord> records, MailAttachAs attachedAs, int devType,
               std::vector<MailCallNote> notes = {});
    bool Running() const;

    void SetWays(std::vector<Way> ways) { ways_ = std::move(ways); }
    const std::vector<std::filesystem::path>& KeptCopies() const { return kept_; }

  signals:
    // After every mail, with how it ended (Unavailable: no way was there).
    void Finished(lk::HandoverResult result, const lk::MailMessage& message);

  private:
    struct Outcome {
        HandoverResult result = HandoverResult::Unavailable;
        MailMessage message;
        std::vector<std::filesystem::path> keep;
        std::vector<MailLeftOut> leftOut;
    };
    void OnDone(const std::shared_ptr<Outcome>& outcome);

    // Shared with a worker that may still run when the window closes.
    struct Link {
        std::mutex lock;
        MailSender* owner = nullptr;
    };

    QWidget* parent_;
    std::filesystem::path scratch_;
    std::vector<std::string> mailed_;  // the recordings of the mail under way
    std::vector<Way> ways_;
    std::shared_ptr<Link> link_;
    std::thread worker_;
    bool running_ = false;
    std::vector<std::filesystem::path> kept_;
    // When the last mail began: a draft older than that is not its own.
    std::filesystem::file_time_type startedAt_{};
};

}  // namespace lk::gui

Q_DECLARE_METATYPE(lk::HandoverResult)
