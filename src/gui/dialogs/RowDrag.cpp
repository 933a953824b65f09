#include "dialogs/RowDrag.h"

#include <QMimeData>

#include "mail/MailMessage.h"

namespace lk::gui {

RowDrag::RowDrag(QObject* parent, std::filesystem::path scratch)
    : QObject(parent), folder_(std::move(scratch) / "drag") {}

RowDrag::~RowDrag() {
    RemoveTemporaryFiles(copies_);
}

QList<QUrl> RowDrag::Files(const std::vector<CallRecord>& records, bool asRecorded) {
    RemoveTemporaryFiles(copies_);
    copies_.clear();
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    // The mail's rules: the same files a mail would carry.
    auto files = PrepareMailAttachments(
        records, asRecorded ? MailAttachAs::Recorded : MailAttachAs::Wav, folder_);
    copies_ = std::move(files.temporary);
    QList<QUrl> urls;
    for (const auto& f : files.files)
        urls << QUrl::fromLocalFile(QString::fromStdString(f.string()));
    return urls;
}

QMimeData* RowDrag::Make(const std::vector<CallRecord>& records, bool asRecorded) {
    const QList<QUrl> urls = Files(records, asRecorded);
    if (urls.isEmpty()) return nullptr;
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

}  // namespace lk::gui
