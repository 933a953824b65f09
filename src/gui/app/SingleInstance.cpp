#include "app/SingleInstance.h"

#include <QDir>
#include <QStandardPaths>
#include <cstdlib>

namespace lk::gui {

QString SingleInstance::LockPath() {
    QString dir;
    if (const char* home = std::getenv("LINEKEEPER_HOME"); home && *home)
        dir = QString::fromLocal8Bit(home);
    else
        dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    QDir().mkpath(dir);
    return QDir(dir).filePath(QString::fromLatin1(kInstanceMutexName) + QLatin1String(".lock"));
}

bool SingleInstance::Acquire() {
    if (lock_) return true;
    auto lock = std::make_unique<QLockFile>(LockPath());
    // A lock left by a crashed process is taken over at once.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) return false;
    lock_ = std::move(lock);
    return true;
}

void SingleInstance::Release() {
    if (lock_) lock_->unlock();
    lock_.reset();
}

}  // namespace lk::gui
