#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
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

SingleInstance::SingleInstance() = default;

SingleInstance::~SingleInstance() {
    Release();
}

QString SingleInstance::SocketName() {
    // Short and per lock: socket paths have a small length limit.
    const QByteArray hash =
        QCryptographicHash::hash(LockPath().toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("linekeeper-") + QString::fromLatin1(hash);
}

bool SingleInstance::Listen(std::function<void()> onSecondStart) {
    if (!lock_) return false;
    server_ = std::make_unique<QLocalServer>();
    // Holding the lock, any socket of that name was left by a crashed run.
    QLocalServer::removeServer(SocketName());
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(SocketName())) {
        server_.reset();
        return false;
    }
    QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(),
                     [this, onSecondStart = std::move(onSecondStart)] {
                         while (QLocalSocket* c = server_->nextPendingConnection()) {
                             QObject::connect(c, &QLocalSocket::disconnected, c,
                                              &QObject::deleteLater);
                             c->disconnectFromServer();
                             if (onSecondStart) onSecondStart();
                         }
                     });
    return true;
}

bool SingleInstance::SignalRunning() {
    QLocalSocket socket;
    socket.connectToServer(SocketName());
    if (!socket.waitForConnected(1000)) return false;
    socket.write("show\n");
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    return true;
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
    if (server_) server_->close();
    server_.reset();
    if (lock_) lock_->unlock();
    lock_.reset();
}

}  // namespace lk::gui
