#include "records/PaneFill.h"

#include <memory>
#include <system_error>

#include "dialogs/ProgressDialog.h"
#include "records/PaneRegistry.h"
#include "records/RecordPages.h"
#include "support/GuiText.h"

namespace lk::gui {
namespace {
constexpr int kBatchRecords = 2000;
}  // namespace

void PaneFill::SetProgress(ProgressDialog* progress) {
    progress_ = progress;
}

void PaneFill::Join() {
    if (worker_.joinable()) worker_.join();
}

void PaneFill::Deliver(Batch& batch) {
    for (int c = kFirstListPage; c <= kLastListPage; ++c) {
        auto& rows = batch[static_cast<std::size_t>(c)];
        if (rows.empty()) continue;
        if (CRecordListPane* pane = panes_.Pane(c)) pane->AddRecords(rows);
        rows.clear();
    }
}

void PaneFill::Finish() {
    running_ = false;
    if (progress_) progress_->hide();
    claim_.Release();
    emit Finished();
}

void PaneFill::Populate(SessionClaim claim) {
    if (!progress_) return;
    Join();
    // A fill started anew goes on under the claim of the one it replaces.
    if (!claim) claim = std::move(claim_);
    if (!claim) claim = session_.TryClaim();
    if (!claim) return;
    claim_ = std::move(claim);
    const RecorderState& st = session_.State();
    running_ = true;
    panes_.ClearPanes(PageAll, PageSearch);
    const int caption = st.viewingBackup != 0 ? kCaptionBackupRecords : kCaptionCardRecords;
    const RecordList& list = session_.Shown();

    auto fillHere = [&] {
        ProgressDialog* progress = progress_;
        ProgressSink sink;
        sink.begin = [progress](int cap, int range) {
            progress->setWindowTitle(Lang(cap));
            progress->SetRange(range);
            progress->SetPos(0);
            progress->ShowCentered();
        };
        sink.step = [progress](int pos, int, const std::string& text) {
            progress->SetPos(pos);
            progress->SetText(QString::fromStdString(text));
        };
        sink.end = [progress] { progress->hide(); };
        Batch batch;
        PopulatePanes(
            list,
            [&](int category, CallRecord& r) {
                batch[static_cast<std::size_t>(category)].push_back(&r);
            },
            sink, caption, session_.State().quitting);
        Deliver(batch);
        Finish();
    };
    if (list.size() <= kPopulateOnWorkerAbove) {
        fillHere();
        return;
    }

    // Large lists: the worker only reads the list (nothing else changes it
    // while the claim is out) and sorts the records into categories; panes
    // and the progress window are touched on the UI thread only, in batches.
    try {
        worker_ = std::thread([this, &list, caption] {
            auto batch = std::make_shared<Batch>();
            int size = static_cast<int>(list.size());
            auto post = [&](int position, const std::string& text, bool last) {
                QMetaObject::invokeMethod(
                    this,
                    [this, b = std::move(batch), position, size, t = QString::fromStdString(text),
                     last] {
                        Deliver(*b);
                        if (ProgressDialog* p = progress_) {
                            p->SetPos(position);
                            p->SetText(t);
                        }
                        if (last) Finish();
                    },
                    Qt::QueuedConnection);
                batch = std::make_shared<Batch>();
            };
            ProgressSink sink;
            sink.begin = [this](int cap, int range) {
                QMetaObject::invokeMethod(
                    this,
                    [this, cap, range] {
                        if (ProgressDialog* p = progress_) {
                            p->setWindowTitle(Lang(cap));
                            p->SetRange(range);
                            p->SetPos(0);
                            p->ShowCentered();
                        }
                    },
                    Qt::QueuedConnection);
            };
            std::string lastText;
            int lastPos = 0;
            sink.step = [&](int pos, int, const std::string& text) {
                lastPos = pos;
                lastText = text;
                if (pos % kBatchRecords == 0) post(pos, text, false);
            };
            const PopulateResult r = PopulatePanes(
                list,
                [&](int category, CallRecord& rec) {
                    (*batch)[static_cast<std::size_t>(category)].push_back(&rec);
                },
                sink, caption, session_.State().quitting, /*yieldEach=*/true);
            // Closing: the claim stays out and the panes as they are.
            if (r.stopped) return;
            post(lastPos, lastText, true);
        });
    } catch (const std::system_error&) {
        fillHere();
    }
}

}  // namespace lk::gui
