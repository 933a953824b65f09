#include "support/CardEject.h"

#include <QAtomicInteger>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QProcess>
#include <QStandardPaths>
#include <QVariantMap>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "platform/MountInfo.h"
#include "support/GuiText.h"

namespace lk::gui {
namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kManagerPath = QStringLiteral("/org/freedesktop/UDisks2/Manager");
const QString kUDisks = QStringLiteral("org.freedesktop.UDisks2.");

// Unmounting flushes what is still being written: it may take a while.
constexpr int kUnmountTimeoutMs = 120000;
constexpr int kCallTimeoutMs = 10000;

std::optional<MountEntry> MountAt(const std::filesystem::path& mountPoint) {
    std::ifstream in("/proc/self/mountinfo");
    const std::string text(std::istreambuf_iterator<char>(in), {});
    std::optional<MountEntry> found;
    // The last mount on a folder is the one that shows.
    for (auto& e : ParseMountInfo(text))
        if (e.mountPoint == mountPoint.string()) found = std::move(e);
    return found;
}

EjectResult::Outcome OutcomeOfError(const QString& name) {
    if (name.endsWith(QLatin1String(".DeviceBusy"))) return EjectResult::Outcome::Busy;
    if (name.contains(QLatin1String("NotAuthorized")) ||
        name == QLatin1String("org.freedesktop.DBus.Error.AccessDenied"))
        return EjectResult::Outcome::NotPermitted;
    if (name.endsWith(QLatin1String(".NotMounted"))) return EjectResult::Outcome::Removable;
    return EjectResult::Outcome::Failed;
}

// Through udisks2; nullopt when it does not know the device (or does not run).
std::optional<EjectResult> EjectThroughUDisks(const MountEntry& mount, QDBusConnection& bus) {
    if (!bus.isConnected()) return std::nullopt;
    QDBusMessage resolve = QDBusMessage::createMethodCall(kService, kManagerPath,
                                                          kUDisks + "Manager", "ResolveDevice");
    resolve << QVariantMap{{QStringLiteral("path"), QString::fromStdString(mount.source)}}
            << QVariantMap();
    const QDBusMessage found = bus.call(resolve, QDBus::Block, kCallTimeoutMs);
    if (found.type() != QDBusMessage::ReplyMessage || found.arguments().isEmpty())
        return std::nullopt;
    const auto objects = qdbus_cast<QList<QDBusObjectPath>>(found.arguments().at(0));
    if (objects.isEmpty()) return std::nullopt;
    const QString block = objects.first().path();

    EjectResult r;
    r.via = QStringLiteral("udisks2");
    QDBusMessage unmount =
        QDBusMessage::createMethodCall(kService, block, kUDisks + "Filesystem", "Unmount");
    unmount << QVariantMap();
    const QDBusMessage done = bus.call(unmount, QDBus::Block, kUnmountTimeoutMs);
    if (done.type() == QDBusMessage::ErrorMessage) {
        r.outcome = OutcomeOfError(done.errorName());
        r.detail = done.errorMessage();
        if (r.outcome != EjectResult::Outcome::Removable) return r;
    }
    r.outcome = EjectResult::Outcome::Removable;

    // The reader's slot goes dark where the drive allows it; the card is
    // safe to pull either way once unmounted.
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, block, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kUDisks + "Block" << QStringLiteral("Drive");
    const QDBusMessage driveReply = bus.call(get, QDBus::Block, kCallTimeoutMs);
    if (driveReply.type() == QDBusMessage::ReplyMessage && !driveReply.arguments().isEmpty()) {
        const QVariant v = qvariant_cast<QDBusVariant>(driveReply.arguments().at(0)).variant();
        const QString drive = qvariant_cast<QDBusObjectPath>(v).path();
        if (!drive.isEmpty() && drive != QLatin1String("/")) {
            QDBusMessage off =
                QDBusMessage::createMethodCall(kService, drive, kUDisks + "Drive", "PowerOff");
            off << QVariantMap();
            r.poweredOff =
                bus.call(off, QDBus::Block, kCallTimeoutMs).type() == QDBusMessage::ReplyMessage;
        }
    }
    return r;
}

struct Run {
    bool started = false;
    int exitCode = -1;
    QString errors;
};

Run RunTool(const QString& program, const QStringList& arguments) {
    Run r;
    if (QStandardPaths::findExecutable(program).isEmpty()) return r;
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, arguments);
    if (!p.waitForStarted(kCallTimeoutMs)) return r;
    r.started = true;
    if (!p.waitForFinished(kUnmountTimeoutMs)) {
        p.kill();
        p.waitForFinished(kCallTimeoutMs);
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.errors = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
    return r;
}

EjectResult::Outcome OutcomeOfText(const QString& errors) {
    const QString e = errors.toLower();
    if (e.contains(QLatin1String("busy"))) return EjectResult::Outcome::Busy;
    if (e.contains(QLatin1String("not permitted")) || e.contains(QLatin1String("permission")) ||
        e.contains(QLatin1String("superuser")) || e.contains(QLatin1String("not authorized")))
        return EjectResult::Outcome::NotPermitted;
    return EjectResult::Outcome::Failed;
}

}  // namespace

EjectResult EjectVolume(const std::filesystem::path& mountPoint, const QString& busAddress) {
    EjectResult r;
    const auto mount = MountAt(mountPoint);
    if (!mount) {
        r.outcome = EjectResult::Outcome::NotMounted;
        return r;
    }
    if (mount->source.rfind("/dev/", 0) == 0) {
        // A connection of its own: this runs on a worker, and an address
        // given by the caller (another system bus) must not be shared.
        static QAtomicInteger<int> serial;
        const QString name = QStringLiteral("lk-eject-%1").arg(serial.fetchAndAddRelaxed(1));
        std::optional<EjectResult> through;
        {
            QDBusConnection bus =
                busAddress.isEmpty()
                    ? QDBusConnection::connectToBus(QDBusConnection::SystemBus, name)
                    : QDBusConnection::connectToBus(busAddress, name);
            through = EjectThroughUDisks(*mount, bus);
        }
        QDBusConnection::disconnectFromBus(name);
        if (through) return *through;
    }

    // Without udisks2: the desktop's own tool, then the system's.
    const QString at = QString::fromStdString(mountPoint.string());
    struct Tool {
        QString program;
        QStringList arguments;
    };
    std::vector<Tool> tools = {{QStringLiteral("gio"), {QStringLiteral("mount"), "-e", at}},
                               {QStringLiteral("umount"), {at}}};
    if (mount->fsType.rfind("fuse", 0) == 0)
        tools.push_back({QStringLiteral("fusermount"), {QStringLiteral("-u"), at}});
    r.outcome = EjectResult::Outcome::Failed;
    for (const Tool& t : tools) {
        const Run run = RunTool(t.program, t.arguments);
        if (!run.started) continue;
        // gio may report success for a mount it does not manage: the table says.
        const auto still = MountAt(mountPoint);
        if (run.exitCode == 0 &&
            (!still || still->major != mount->major || still->minor != mount->minor)) {
            r.outcome = EjectResult::Outcome::Removable;
            r.via = t.program;
            r.detail.clear();
            return r;
        }
        // A plain refusal (busy, not permitted) says more than "gio does not
        // know this mount": it wins over a failure without a reason.
        const EjectResult::Outcome o = OutcomeOfText(run.errors);
        if (r.via.isEmpty() ||
            (o != EjectResult::Outcome::Failed && r.outcome == EjectResult::Outcome::Failed)) {
            r.outcome = o;
            r.detail = run.errors;
            r.via = t.program;
        }
    }
    return r;
}

QString EjectResultText(const EjectResult& r) {
    switch (r.outcome) {
        case EjectResult::Outcome::Removable:
            return Lang(392);
        case EjectResult::Outcome::Busy:
            return QStringLiteral("%1 %2").arg(Lang(393), Lang(394));
        case EjectResult::Outcome::NotPermitted:
            return QStringLiteral("%1 %2").arg(Lang(393), Lang(395));
        case EjectResult::Outcome::NotMounted:
            return QStringLiteral("%1 %2").arg(Lang(393), Lang(398));
        case EjectResult::Outcome::Failed:
            break;
    }
    return QStringLiteral("%1 %2").arg(Lang(393), r.detail);
}

}  // namespace lk::gui
