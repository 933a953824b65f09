#include "support/MailPortal.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <QUuid>
#include <QVariantMap>
#include <atomic>
#include <optional>

#include "platform/RegularFile.h"

namespace lk::gui {

namespace {

constexpr char kService[] = "org.freedesktop.portal.Desktop";
constexpr char kPath[] = "/org/freedesktop/portal/desktop";
constexpr char kInterface[] = "org.freedesktop.portal.Email";
constexpr char kRequest[] = "org.freedesktop.portal.Request";

// Receives the request's Response signal on the calling thread.
class ResponseWaiter : public QObject {
    Q_OBJECT
  public:
    std::optional<uint> response;
    QEventLoop loop;
  public slots:
    void OnResponse(uint code, const QVariantMap&) {
        response = code;
        loop.quit();
    }
};

// One private connection per mail, so that the call works from a worker
// thread and leaves nothing behind.
class Connection {
  public:
    explicit Connection(const QString& busAddress)
        : name_(QStringLiteral("lk-mail-") + QUuid::createUuid().toString(QUuid::Id128)),
          bus_(busAddress.isEmpty()
                   ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, name_)
                   : QDBusConnection::connectToBus(busAddress, name_)) {}
    ~Connection() { QDBusConnection::disconnectFromBus(name_); }
    QDBusConnection& Bus() { return bus_; }

  private:
    QString name_;
    QDBusConnection bus_;
};

}  // namespace

QString PortalRequestPath(const QString& uniqueName, const QString& token) {
    QString sender = uniqueName;
    if (sender.startsWith(QLatin1Char(':'))) sender.remove(0, 1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

HandoverResult ComposeWithPortal(const MailMessage& message, const QString& busAddress,
                                 int timeoutMs) {
    Connection connection(busAddress);
    QDBusConnection& bus = connection.Bus();
    if (!bus.isConnected() ||
        !bus.connectionCapabilities().testFlag(QDBusConnection::UnixFileDescriptorPassing))
        return HandoverResult::Unavailable;

    QList<QDBusUnixFileDescriptor> fds;
    for (const auto& file : message.attachments) {
        const RegularFileOpen opened = OpenRegularFile(file, O_RDONLY);
        if (!opened.Ok()) return HandoverResult::Failed;
        fds.append(QDBusUnixFileDescriptor(opened.file.Get()));  // keeps its own duplicate
    }

    // Listen before calling, so that a quick answer is not missed.
    static std::atomic<unsigned> counter{0};
    const QString token = QStringLiteral("linekeeper%1_%2").arg(::getpid()).arg(counter++);
    const QString requestPath = PortalRequestPath(bus.baseService(), token);
    ResponseWaiter waiter;
    bus.connect(QString(), requestPath, kRequest, QStringLiteral("Response"), &waiter,
                SLOT(OnResponse(uint, QVariantMap)));

    QVariantMap options;
    options.insert(QStringLiteral("handle_token"), token);
    options.insert(QStringLiteral("subject"), QString::fromStdString(message.subject));
    options.insert(QStringLiteral("body"), QString::fromStdString(message.body));
    if (!fds.isEmpty()) options.insert(QStringLiteral("attachment_fds"), QVariant::fromValue(fds));
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("ComposeEmail"));
    call << QString() << options;
    const QDBusMessage reply = bus.call(call, QDBus::Block, 30000);
    // No portal, or one without the mail interface: the next way is tried.
    if (reply.type() != QDBusMessage::ReplyMessage) return HandoverResult::Unavailable;

    if (!waiter.response) {
        QTimer::singleShot(timeoutMs, &waiter.loop, &QEventLoop::quit);
        waiter.loop.exec();
    }
    if (!waiter.response) return HandoverResult::Accepted;
    switch (*waiter.response) {
        case 0:
            return HandoverResult::Accepted;
        case 1:
            return HandoverResult::Cancelled;
        default:
            return HandoverResult::Failed;
    }
}

}  // namespace lk::gui

#include "MailPortal.moc"
