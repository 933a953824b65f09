#include "dialogs/BackupSummary.h"

#include <QStringList>

#include "support/GuiText.h"

namespace lk::gui {

BackupSummary SummarizeBackup(const BackupResult& result) {
    BackupSummary s;
    QStringList failures;
    for (const BackupItem& item : result.items) {
        QString reason;
        switch (item.outcome) {
            case BackupOutcome::Copied:
            case BackupOutcome::Moved:
                ++s.copied;
                continue;
            case BackupOutcome::Marker:
                ++s.markers;
                continue;
            case BackupOutcome::AlreadyHeld:
                // Held, but with no index entry naming it, it is not safe yet.
                if (item.indexed) {
                    ++s.held;
                    continue;
                }
                reason = Lang(345);
                break;
            case BackupOutcome::Failed:
            case BackupOutcome::Refused:
                reason = QString::fromStdString(BackupErrorText(item.error, item.errorOnCard));
                if (reason.isEmpty())
                    reason = Lang(item.outcome == BackupOutcome::Refused ? 346 : 347);
                break;
        }
        ++s.failed;
        const QString name = item.destination.empty()
                                 ? QStringLiteral("%1 %2").arg(Lang(348)).arg(item.position + 1)
                                 : QString::fromStdString(item.destination.filename().string());
        failures << QStringLiteral("%1: %2").arg(name, reason);
    }
    s.text = QStringLiteral("%1 %2\n%3 %4\n%5 %6\n%7 %8")
                 .arg(Lang(341))
                 .arg(s.copied)
                 .arg(Lang(342))
                 .arg(s.held)
                 .arg(Lang(343))
                 .arg(s.markers)
                 .arg(Lang(344))
                 .arg(s.failed);
    if (!result.reachedEnd) s.text += QLatin1Char('\n') + Lang(349);
    if (result.cardNotCleared > 0)
        s.text += QStringLiteral("\n%1 %2: %3")
                      .arg(Lang(350))
                      .arg(result.cardNotCleared)
                      .arg(QString::fromStdString(result.cardClearReason));
    if (!failures.isEmpty()) s.details = failures.join(QLatin1Char('\n'));
    return s;
}

}  // namespace lk::gui
