#include "support/WorkerProgress.h"

namespace lk::gui {

void WorkerProgress::Begin(int total) {
    QMetaObject::invokeMethod(
        this, [this, total] { emit Began(total); }, Qt::QueuedConnection);
}

void WorkerProgress::Step(int done, int total, const std::string& message) {
    if (done % every_ == 0 || done >= total)
        QMetaObject::invokeMethod(
            this,
            [this, done, total, text = QString::fromStdString(message)] {
                emit Stepped(done, total, text);
            },
            Qt::QueuedConnection);
    if (hook_) hook_();
}

void WorkerProgress::End() {
    QMetaObject::invokeMethod(
        this, [this] { emit Ended(); }, Qt::QueuedConnection);
}

}  // namespace lk::gui
