#include "support/DiskSpaceText.h"

#include "support/GuiText.h"

namespace lk::gui {

DiskSpace ComputeDiskSpace(std::optional<std::uint64_t> freeBytes, int devType) {
    DiskSpace d;
    double rate = devType == 1 ? 5.625 : 14.0;  // megabytes of recording per hour
    if (freeBytes) {
        double free = static_cast<double>(*freeBytes >> 20);
        if (free >= 1048576.0) {
            free /= 1048576.0;
            rate /= 1048576.0;
            d.unit = "TB";
        } else if (free >= 1024.0) {
            free /= 1024.0;
            rate /= 1024.0;
            d.unit = "GB";
        }
        d.amount = free;
        d.hours = free / rate;
    }
    return d;
}

QString DiskSpaceText(std::optional<std::uint64_t> freeBytes, int devType, const QString& label) {
    const DiskSpace d = ComputeDiskSpace(freeBytes, devType);
    return QStringLiteral("%1: %2(%3: %4%5, %6: %7%8)")
        .arg(Lang(142), label, Lang(146), QString::asprintf("%.2f", d.amount),
             QLatin1String(d.unit), Lang(147), QString::asprintf("%.2f", d.hours), Lang(148));
}

QString UnknownSpaceText(const QString& label) {
    return QStringLiteral("%1: %2(%3: %4)").arg(Lang(142), label, Lang(146), Lang(390));
}

}  // namespace lk::gui
