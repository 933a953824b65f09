#include "app/SingleInstance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <cstdlib>

#include "platform/PrivateFolder.h"

namespace lk::gui {

namespace {

PrivateFolder Folder() {
    if (const char* home = std::getenv("LINEKEEPER_HOME"); home && *home) {
        QDir().mkpath(QString::fromLocal8Bit(home));
        return {home, {}};
    }
    return InstanceFolder(std::getenv("XDG_RUNTIME_DIR"), QDir::tempPath().toStdString(),
                          "linekeeper", ::getuid());
}

QString FromPath(const std::filesystem::path& p) {
    return QString::fromLocal8Bit(p.c_str());
}

}  // namespace

QString SingleInstance::LockPath() {
    const PrivateFolder folder = Folder();
    if (!folder.problem.empty()) return {};
    return QDir(FromPath(folder.path))
        .filePath(QString::fromLatin1(kInstanceMutexName) + QLatin1String(".lock"));
}

QString SingleInstance::FolderProblem() {
    return QString::fromLocal8Bit(Folder().problem.c_str());
}

SingleInstance::SingleInstance() = default;

SingleInstance::~SingleInstance() {
    Release();
}

QString SingleInstance::SocketName() {
    // A full path beside the lock, so nobody else can take the name. Short:
    // socket paths have a small length limit.
    const QString lock = LockPath();
    if (lock.isEmpty()) return {};
    const QByteArray hash =
        QCryptographicHash::hash(lock.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QFileInfo(lock).dir().filePath(QStringLiteral("linekeeper-") +
                                          QString::fromLatin1(hash));
}

bool SingleInstance::Listen(std::function<void()> onSecondStart) {
    if (!lock_) return false;
    const QString name = SocketName();
    if (name.isEmpty()) return false;
    server_ = std::make_unique<QLocalServer>();
    // Holding the lock, any socket of that name was left by a crashed run.
    QLocalServer::removeServer(name);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name)) {
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
    const QString name = SocketName();
    if (name.isEmpty()) return false;
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(1000)) return false;
    socket.write("show\n");
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::Acquire() {
    if (lock_) return true;
    heldElsewhere_ = false;
    problem_.clear();
    const QString path = LockPath();
    if (path.isEmpty()) {
        problem_ = QStringLiteral("Its folder for the running-program lock is not safe: %1.")
                       .arg(FolderProblem());
        return false;
    }
    auto lock = std::make_unique<QLockFile>(path);
    // A lock left by a crashed process is taken over at once.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        if (lock->error() == QLockFile::LockFailedError) {
            heldElsewhere_ = true;
            qint64 pid = 0;
            QString host, app;
            (void)lock->getLockInfo(&pid, &host, &app);
            problem_ = QStringLiteral(
                           "It is already running (process %1, lock \"%2\") but does "
                           "not answer.")
                           .arg(pid)
                           .arg(path);
        } else {
            problem_ = QStringLiteral("Its lock \"%1\" cannot be created (%2).")
                           .arg(path, lock->error() == QLockFile::PermissionError
                                          ? QStringLiteral("permission denied")
                                          : QStringLiteral("unknown error"));
        }
        return false;
    }
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
