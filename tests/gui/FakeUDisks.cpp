// A stand-in for udisks2 on a private bus, for one card: it resolves the
// card's device, unmounts its folder for real (so an open file refuses as it
// would) and records every call into a log file, one line each.
//
//   lk_fake_udisks BUS_ADDRESS DEVICE MOUNT_POINT LOG_FILE [refuse]

#include <sys/mount.h>

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFile>
#include <QVariantMap>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const QString kBlock = QStringLiteral("/org/freedesktop/UDisks2/block_devices/lkcard");
const QString kDrive = QStringLiteral("/org/freedesktop/UDisks2/drives/LK_Card_Reader");

struct Setup {
    QDBusConnection bus{QString()};
    QString device, mountPoint, log;
    bool refuse = false;

    void Log(const QString& line) const {
        QFile f(log);
        if (f.open(QIODevice::Append)) f.write((line + '\n').toUtf8());
    }
};

class Manager : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.UDisks2.Manager")
  public:
    Manager(QObject* parent, const Setup& s) : QDBusAbstractAdaptor(parent), s_(s) {}
  public slots:
    QList<QDBusObjectPath> ResolveDevice(const QVariantMap& devspec, const QVariantMap&) {
        const QString path = devspec.value(QStringLiteral("path")).toString();
        s_.Log(QStringLiteral("ResolveDevice %1").arg(path));
        if (path != s_.device) return {};
        return {QDBusObjectPath(kBlock)};
    }

  private:
    const Setup& s_;
};

class Filesystem : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.UDisks2.Filesystem")
  public:
    Filesystem(QObject* parent, const Setup& s) : QDBusAbstractAdaptor(parent), s_(s) {}
  public slots:
    void Unmount(const QVariantMap&, const QDBusMessage& call) {
        s_.Log(QStringLiteral("Unmount"));
        if (s_.refuse) {
            Error(call, "org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain",
                  "Not authorized to perform operation");
            return;
        }
        if (::umount2(s_.mountPoint.toLocal8Bit().constData(), 0) != 0) {
            const int e = errno;
            Error(call,
                  e == EBUSY ? "org.freedesktop.UDisks2.Error.DeviceBusy"
                             : "org.freedesktop.UDisks2.Error.Failed",
                  QStringLiteral("Error unmounting %1: target is %2")
                      .arg(s_.device, QString::fromLocal8Bit(std::strerror(e))));
        }
    }

  private:
    void Error(const QDBusMessage& call, const char* name, const QString& text) {
        call.setDelayedReply(true);
        s_.bus.send(call.createErrorReply(QString::fromLatin1(name), text));
    }
    const Setup& s_;
};

class Block : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.UDisks2.Block")
    Q_PROPERTY(QDBusObjectPath Drive READ Drive)
  public:
    Block(QObject* parent, const Setup& s) : QDBusAbstractAdaptor(parent), s_(s) {}
    QDBusObjectPath Drive() const {
        s_.Log(QStringLiteral("Drive"));
        return QDBusObjectPath(kDrive);
    }

  private:
    const Setup& s_;
};

class Drive : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.UDisks2.Drive")
  public:
    Drive(QObject* parent, const Setup& s) : QDBusAbstractAdaptor(parent), s_(s) {}
  public slots:
    void PowerOff(const QVariantMap&) { s_.Log(QStringLiteral("PowerOff")); }

  private:
    const Setup& s_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 5) return 2;
    Setup s;
    s.bus = QDBusConnection::connectToBus(QString::fromLocal8Bit(argv[1]), "udisks");
    if (!s.bus.isConnected()) return 1;
    s.device = QString::fromLocal8Bit(argv[2]);
    s.mountPoint = QString::fromLocal8Bit(argv[3]);
    s.log = QString::fromLocal8Bit(argv[4]);
    s.refuse = argc > 5 && QByteArray(argv[5]) == "refuse";
    QObject manager, block, drive;
    new Manager(&manager, s);
    new Filesystem(&block, s);
    new Block(&block, s);
    new Drive(&drive, s);
    const auto all = QDBusConnection::ExportAdaptors;
    if (!s.bus.registerObject(QStringLiteral("/org/freedesktop/UDisks2/Manager"), &manager, all) ||
        !s.bus.registerObject(kBlock, &block, all) || !s.bus.registerObject(kDrive, &drive, all))
        return 1;
    if (!s.bus.registerService(QStringLiteral("org.freedesktop.UDisks2"))) return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

#include "FakeUDisks.moc"
