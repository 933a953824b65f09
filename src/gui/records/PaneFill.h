#pragma once
// Distributes the shown record list into the list panes, newest first: up to
// 1000 records on the UI thread, more on a worker that sorts them into
// categories and hands them over in batches through queued calls.

#include <QObject>
#include <QPointer>
#include <array>
#include <atomic>
#include <vector>

#include "session/RecordSession.h"
#include "support/DialogWorker.h"
#include "support/ViewPage.h"

namespace lk::gui {

class PaneRegistry;
class ProgressDialog;

class PaneFill : public QObject {
    Q_OBJECT
  public:
    PaneFill(RecordSession& session, PaneRegistry& panes);
    ~PaneFill() override;

    // The window's progress dialog; without one (no window) nothing is filled.
    void SetProgress(ProgressDialog* progress);

    // Clears panes 1-9 and fills them from the shown list, under `claim` (a
    // load's) or a claim of its own; nothing when the records are claimed
    // by someone else. The claim is given back when the panes are full.
    void Populate(SessionClaim claim = {});
    bool Running() const { return running_.load(); }
    void Join();

  signals:
    // The panes are full (page 1 is then shown) and the claim given back.
    void Finished();

  private:
    using Batch = std::array<std::vector<CallRecord*>, kLastListPage + 1>;
    void Deliver(Batch& batch);
    void Finish();

    RecordSession& session_;
    PaneRegistry& panes_;
    SessionClaim claim_;
    QPointer<ProgressDialog> progress_;
    int caption_ = 0;
    std::atomic<bool> running_{false};
    DialogWorker worker_;  // last: it stops before the members its job uses go
};

}  // namespace lk::gui
