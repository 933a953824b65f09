#include "records/PaneFill.h"

#include <functional>
#include <memory>

#include "dialogs/ProgressDialog.h"
#include "records/PaneRegistry.h"
#include "records/RecordPages.h"
#include "support/GuiText.h"

namespace lk::gui {
namespace {
constexpr int kBatchRecords = 2000;

// Hands the records walked so far to the UI thread with every batch's step,
// so a pane never shows a position ahead of its rows. Quitting stops the walk
// as the worker's own stop does.
class BatchingProgress final : public ProgressReporter {
  public:
    BatchingProgress(ProgressReporter& shown, std::function<void(bool last)> deliver,
                     const std::atomic<int>& quitting)
        : shown_(shown), deliver_(std::move(deliver)), quitting_(quitting) {}
    void Begin(int total) override { shown_.Begin(total); }
    void Step(int done, int total, const std::string& message) override {
        if (done % kBatchRecords == 0) deliver_(false);
        shown_.Step(done, total, message);
    }
    void End() override {}
    bool Cancelled() const override { return quitting_.load() != 0; }

  private:
    ProgressReporter& shown_;
    std::function<void(bool last)> deliver_;
    const std::atomic<int>& quitting_;
};

// The last step of a fill on the UI thread, shown once it is done: nothing is
// painted while the UI thread fills anyway.
class LastStep final : public ProgressReporter {
  public:
    void Begin(int) override {}
    void Step(int done, int, const std::string& message) override {
        position = done;
        text = message;
    }
    void End() override {}
    int position = 0;
    std::string text;
};
}  // namespace

PaneFill::PaneFill(RecordSession& session, PaneRegistry& panes)
    : session_(session), panes_(panes), worker_(this) {
    WorkerProgress& shown = worker_.Progress();
    shown.SetStepEvery(kBatchRecords);
    connect(&shown, &WorkerProgress::Began, this, [this](int total) {
        if (ProgressDialog* p = progress_) {
            p->setWindowTitle(Lang(caption_));
            p->SetRange(total);
            p->SetPos(0);
            p->ShowCentered();
        }
    });
    connect(&shown, &WorkerProgress::Stepped, this, [this](int done, int, const QString& text) {
        if (ProgressDialog* p = progress_) {
            p->SetPos(done);
            p->SetText(text);
        }
    });
}

PaneFill::~PaneFill() = default;

void PaneFill::SetProgress(ProgressDialog* progress) {
    progress_ = progress;
}

void PaneFill::Join() {
    worker_.StopAndJoin();
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
    caption_ = st.viewingBackup != 0 ? kCaptionBackupRecords : kCaptionCardRecords;
    const RecordList& list = session_.Shown();

    auto fillHere = [&] {
        ProgressDialog* progress = progress_;
        progress->setWindowTitle(Lang(caption_));
        progress->SetRange(static_cast<int>(list.size()));
        progress->SetPos(0);
        progress->ShowCentered();
        Batch batch;
        LastStep last;
        PopulatePanes(list,
                      [&](int category, CallRecord& r) {
                          batch[static_cast<std::size_t>(category)].push_back(&r);
                      },
                      last, {});
        progress->SetPos(last.position);
        progress->SetText(QString::fromStdString(last.text));
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
    const bool started =
        worker_.Start([this, &list](ProgressReporter& shown, std::stop_token stop) {
            auto batch = std::make_shared<Batch>();
            auto deliver = [&](bool last) {
                worker_.Post([this, b = std::move(batch), last] {
                    Deliver(*b);
                    if (last) Finish();
                });
                batch = std::make_shared<Batch>();
            };
            BatchingProgress progress(shown, deliver, session_.State().quitting);
            const PopulateResult r = PopulatePanes(
                list,
                [&](int category, CallRecord& rec) {
                    (*batch)[static_cast<std::size_t>(category)].push_back(&rec);
                },
                progress, stop, /*yieldEach=*/true);
            // Closing: leave the claim out and the panes as they are.
            if (r.stopped) return;
            deliver(true);
        });
    if (!started) fillHere();
}

}  // namespace lk::gui
