#pragma once
// Distributes the shown record list into the list panes, newest first: up to
// 1000 records on the UI thread, more on a worker that prepares the rows and
// hands them over in batches through queued calls.

#include <QObject>
#include <array>
#include <atomic>
#include <thread>
#include <vector>

#include "widgets/CSortListCtrl.h"

namespace lk::gui {

class CRecorderApp;

class PaneFill : public QObject {
    Q_OBJECT
  public:
    static constexpr std::size_t kWorkerThreshold = 1000;

    explicit PaneFill(CRecorderApp& app) : app_(app) {}
    ~PaneFill() override { Join(); }

    // Clears panes 1-9 and fills them from the current list.
    void Populate();
    bool Running() const { return running_.load(); }
    void Join();

  signals:
    void Finished();

  private:
    using Batch = std::array<std::vector<ListRow>, 11>;
    void Deliver(Batch& batch);
    void Finish();

    CRecorderApp& app_;
    std::thread worker_;
    std::atomic<bool> running_{false};
};

}  // namespace lk::gui
