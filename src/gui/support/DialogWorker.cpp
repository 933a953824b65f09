#include "support/DialogWorker.h"

#include <system_error>

namespace lk::gui {

DialogWorker::DialogWorker(QObject* parent) : QObject(parent) {}

DialogWorker::~DialogWorker() {
    StopAndJoin();
}

bool DialogWorker::Start(Job job) {
    // A job that has returned but whose end is still queued is reported now,
    // so the next run need not wait for the event loop.
    if (running_ && returned_.load()) OnJobReturned(generation_);
    if (running_) return false;
    if (thread_.joinable()) thread_.join();
    const unsigned generation = ++generation_;
    returned_ = false;
    try {
        thread_ = std::jthread([this, generation, job = std::move(job)](std::stop_token stop) {
            job(progress_, std::move(stop));
            returned_ = true;
            QMetaObject::invokeMethod(
                this, [this, generation] { OnJobReturned(generation); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        return false;
    }
    running_ = true;
    return true;
}

void DialogWorker::OnJobReturned(unsigned generation) {
    if (!running_ || generation != generation_) return;  // reported by Start already
    if (thread_.joinable()) thread_.join();
    running_ = false;
    emit Finished();
    if (then_) {
        auto then = std::move(then_);
        then_ = nullptr;
        then();
    }
}

void DialogWorker::Wait() {
    if (thread_.joinable()) thread_.join();
    if (running_) OnJobReturned(generation_);
}

void DialogWorker::StopAndJoin() {
    thread_.request_stop();
    if (thread_.joinable()) thread_.join();
    running_ = false;
    then_ = nullptr;
}

bool DialogWorker::StopThen(std::function<void()> then) {
    if (!running_) return false;
    thread_.request_stop();
    then_ = std::move(then);
    return true;
}

void DialogWorker::Post(std::function<void()> fn) {
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

}  // namespace lk::gui
