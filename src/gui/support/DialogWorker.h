#pragma once
// One worker thread of a dialog: runs a core engine off the UI thread and
// reports its end on the UI thread. The owner keeps the dialog alive until
// Finished arrives (the destructor joins as a last guard), so no worker ever
// reports into a destroyed window.

#include <QObject>
#include <atomic>
#include <functional>
#include <thread>

namespace lk::gui {

class DialogWorker : public QObject {
    Q_OBJECT
  public:
    explicit DialogWorker(QObject* parent = nullptr);
    ~DialogWorker() override;

    // Clears the stop flag and runs `job` on a new thread; false when one
    // runs already or no thread can be made.
    bool Start(std::function<void()> job);
    // From Start until Finished was emitted.
    bool Running() const { return running_; }
    void RequestStop() { stop_ = 1; }
    bool StopRequested() const { return stop_ != 0; }
    const std::atomic<int>& StopFlag() const { return stop_; }
    // Sets the stop flag and waits for the thread (shut-down only).
    void StopAndJoin();

  signals:
    // On the owner's thread, after the job returned.
    void Finished();

  private:
    std::thread thread_;
    std::atomic<int> stop_{0};
    bool running_ = false;
};

}  // namespace lk::gui
