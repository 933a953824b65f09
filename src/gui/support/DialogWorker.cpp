#include "support/DialogWorker.h"

#include <system_error>

namespace lk::gui {

DialogWorker::DialogWorker(QObject* parent) : QObject(parent) {}

DialogWorker::~DialogWorker() {
    StopAndJoin();
}

bool DialogWorker::Start(std::function<void()> job) {
    if (running_) return false;
    if (thread_.joinable()) thread_.join();
    stop_ = 0;
    try {
        thread_ = std::thread([this, job = std::move(job)] {
            job();
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (thread_.joinable()) thread_.join();
                    running_ = false;
                    emit Finished();
                },
                Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        return false;
    }
    running_ = true;
    return true;
}

void DialogWorker::StopAndJoin() {
    stop_ = 1;
    if (thread_.joinable()) thread_.join();
    running_ = false;
}

}  // namespace lk::gui
