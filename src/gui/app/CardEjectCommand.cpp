// The main frame's eject command: nothing of the program may hold a file on
// the card when it goes, and the unmount (which flushes the card) runs on a
// worker so the window stays responsive.

#include "app/CMainFrame.h"
#include "app/CRecorderApp.h"
#include "app/CardWatchDriver.h"
#include "app/MountWatch.h"
#include "pages/CVX310View.h"
#include "player/CPlayerDlg.h"
#include "support/CardEject.h"
#include "support/GuiText.h"
#include "support/MessageBox.h"

namespace lk::gui {

void CMainFrame::OnEjectCard() {
    if (ejecting_) return;
    const RecorderState& st = app_.State();
    const QString caption = Lang(391).remove(QLatin1Char('&'));
    const auto volume = st.cardDrive != 0 ? st.volumes.Find(st.cardDrive) : std::nullopt;
    if (!volume) {
        ShowMessage(this, Lang(396), caption, QMessageBox::Information);
        return;
    }
    if (CPlayerDlg* player = view_->PlayerPane()) player->CloseRecordingUnder(volume->root);
    // A watch on the card's folder would not hold it, but nothing need look there now.
    watch_->Events().WatchFolders({});
    ejecting_ = true;
    // The unmount is not cut short: it is flushing the card.
    const bool started = ejector_.Start(
        [this, root = volume->root, bus = ejectBus_](ProgressReporter&, std::stop_token) {
            const EjectResult r = EjectVolume(root, bus);
            ejector_.Post([this, r] {
                ejecting_ = false;
                if (stopped_) return;
                const bool removable = r.outcome == EjectResult::Outcome::Removable;
                ShowMessage(this, EjectResultText(r), Lang(391).remove(QLatin1Char('&')),
                            removable ? QMessageBox::Information : QMessageBox::Warning);
                // The mount event says so too; a missed one must not keep the rows.
                if (removable && !timersFrozen_ && TimerActive(TimerCardWatch))
                    watch_->CardWatchTick();
                emit EjectFinished(removable);
            });
        });
    if (!started) ejecting_ = false;
}

}  // namespace lk::gui
