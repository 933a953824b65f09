#pragma once
// The one way the window runs a core engine off the UI thread: a worker
// thread with a stop token and a progress reporter whose reports arrive on
// the UI thread. Its owner (a dialog, the player, the record loader) outlives
// it: the destructor asks for a stop and waits, so no worker ever reports into
// a destroyed window. A dialog closed while its worker runs asks for a stop
// and closes once the worker has ended (StopThen).

#include <QObject>
#include <atomic>
#include <functional>
#include <stop_token>
#include <thread>

#include "support/WorkerProgress.h"

namespace lk::gui {

class DialogWorker : public QObject {
    Q_OBJECT
  public:
    using Job = std::function<void(ProgressReporter& progress, std::stop_token stop)>;

    explicit DialogWorker(QObject* parent = nullptr);
    ~DialogWorker() override;

    // Runs `job` on a new thread with a fresh stop token; false when one runs
    // already or no thread can be made. A job that returned but whose
    // Finished is still queued counts as ended: Finished is emitted first.
    bool Start(Job job);
    // From Start until Finished was emitted.
    bool Running() const { return running_; }
    void RequestStop() { thread_.request_stop(); }
    bool StopRequested() const { return thread_.get_stop_token().stop_requested(); }
    // Asks for a stop and waits for the thread (shut-down only).
    void StopAndJoin();
    // Waits for the job to return without asking it to stop, and reports its
    // end (Finished) at once.
    void Wait();

    // While a worker runs: asks it to stop and runs `then` on the UI thread
    // after Finished (a later call replaces an earlier `then`); true. Without a
    // worker: false, and `then` is not run.
    bool StopThen(std::function<void()> then);
    // Between StopThen and its `then`: Finished handlers leave the closing to it.
    bool ClosePending() const { return static_cast<bool>(then_); }

    // Runs `fn` on the UI thread, unless this worker is gone by then (results
    // handed over part way, in order with the progress).
    void Post(std::function<void()> fn);

    WorkerProgress& Progress() { return progress_; }

  signals:
    // On the owner's thread, after the job returned.
    void Finished();

  private:
    void OnJobReturned(unsigned generation);

    WorkerProgress progress_;
    std::jthread thread_;
    bool running_ = false;
    std::atomic<bool> returned_{false};
    unsigned generation_ = 0;  // of the latest run, so a stale end is ignored
    std::function<void()> then_;
};

}  // namespace lk::gui
