#include "app/MountWatch.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFileSystemWatcher>
#include <QSocketNotifier>

namespace lk::gui {

MountWatch::MountWatch(QObject* parent) : QObject(parent) {
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, [this] {
        if (enabled_) emit Changed();
    });
    // The mount table of this process's namespace: poll() reports POLLPRI
    // (a QSocketNotifier of type Exception) whenever it changes.
    fd_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (fd_ >= 0) {
        mounts_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Exception);
        // The kernel clears the condition as it reports it.
        connect(mounts_.get(), &QSocketNotifier::activated, this, [this] { Note(); });
    }
    folders_ = std::make_unique<QFileSystemWatcher>();
    connect(folders_.get(), &QFileSystemWatcher::directoryChanged, this, [this] { Note(); });
}

MountWatch::~MountWatch() {
    mounts_.reset();
    if (fd_ >= 0) ::close(fd_);
}

void MountWatch::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (mounts_) mounts_->setEnabled(enabled);
    if (!enabled) settle_.stop();
}

void MountWatch::WatchFolders(const QStringList& folders) {
    const QStringList old = folders_->directories();
    if (old == folders) return;
    if (!old.isEmpty()) folders_->removePaths(old);
    if (!folders.isEmpty()) folders_->addPaths(folders);
}

QStringList MountWatch::WatchedFolders() const {
    return folders_->directories();
}

void MountWatch::Note() {
    if (!enabled_) return;
    // The first change starts the wait; later ones in the burst join it, so
    // nothing waits longer than kSettleMs after the first.
    if (!settle_.isActive()) settle_.start();
}

}  // namespace lk::gui
