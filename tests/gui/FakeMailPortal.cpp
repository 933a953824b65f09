// A stand-in for the desktop's mail portal on a private bus: it records each
// ComposeEmail call (subject, body, the bytes behind every passed file
// descriptor) into a folder and answers with a chosen response code.
//
//   lk_fake_mail_portal BUS_ADDRESS OUT_DIR RESPONSE_CODE

#include <unistd.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <QVariantMap>
#include <cstdio>

#include "support/MailPortal.h"

class EmailPortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Email")
  public:
    EmailPortal(QDBusConnection bus, QString outDir, uint code)
        : bus_(std::move(bus)), outDir_(std::move(outDir)), code_(code) {}

  public slots:
    QDBusObjectPath ComposeEmail(const QString& parentWindow, const QVariantMap& options) {
        Q_UNUSED(parentWindow);
        QDir dir(outDir_);
        const QString call = QStringLiteral("call%1").arg(calls_++);
        dir.mkpath(call);
        dir.cd(call);
        Write(dir.filePath("subject"), options.value("subject").toString().toUtf8());
        Write(dir.filePath("body"), options.value("body").toString().toUtf8());
        QList<QDBusUnixFileDescriptor> fds;
        const QVariant v = options.value("attachment_fds");
        if (v.canConvert<QDBusArgument>()) v.value<QDBusArgument>() >> fds;
        for (int i = 0; i < fds.size(); ++i) {
            QByteArray bytes;
            char buf[65536];
            ssize_t n;
            ::lseek(fds[i].fileDescriptor(), 0, SEEK_SET);
            while ((n = ::read(fds[i].fileDescriptor(), buf, sizeof buf)) > 0)
                bytes.append(buf, static_cast<qsizetype>(n));
            Write(dir.filePath(QStringLiteral("attachment%1").arg(i)), bytes);
        }
        const QString path = lk::gui::PortalRequestPath(message().service(),
                                                        options.value("handle_token").toString());
        // The answer goes out after the reply, as the real portal's does.
        QTimer::singleShot(50, this, [this, path] {
            QDBusMessage signal = QDBusMessage::createSignal(
                path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
            signal << code_ << QVariantMap();
            bus_.send(signal);
        });
        return QDBusObjectPath(path);
    }

  private:
    static void Write(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    }
    QDBusConnection bus_;
    QString outDir_;
    uint code_;
    int calls_ = 0;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 4) return 2;
    qDBusRegisterMetaType<QList<QDBusUnixFileDescriptor>>();
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromLocal8Bit(argv[1]), "portal");
    if (!bus.isConnected()) return 1;
    EmailPortal portal(bus, QString::fromLocal8Bit(argv[2]),
                       static_cast<uint>(QByteArray(argv[3]).toUInt()));
    if (!bus.registerObject("/org/freedesktop/portal/desktop", &portal,
                            QDBusConnection::ExportAllSlots))
        return 1;
    if (!bus.registerService("org.freedesktop.portal.Desktop")) return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

#include "FakeMailPortal.moc"
