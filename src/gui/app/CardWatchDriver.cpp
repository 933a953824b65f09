#include "app/CardWatchDriver.h"

#include "app/CMainFrame.h"
#include "app/CRecorderApp.h"
#include "card/CardWatch.h"
#include "pages/CVX310View.h"
#include "support/GuiText.h"
#include "support/MessageBox.h"

namespace lk::gui {

void CardWatchDriver::StartupTick() {
    Carry(CardWatch(app_.State()).StartupTick());
}
void CardWatchDriver::CardWatchTick() {
    Carry(CardWatch(app_.State()).CardWatchTick());
}
void CardWatchDriver::BackupReloadTick() {
    Carry(CardWatch(app_.State()).BackupReloadTick());
}
void CardWatchDriver::ManualRescan() {
    Carry(CardWatch(app_.State()).ManualRescan());
}

bool CardWatchDriver::CardHasPhoneBook() const {
    const RecorderState& st = app_.State();
    const auto v = st.volumes.Find(st.cardDrive);
    return v && HasPhoneBook(v->root);
}

void CardWatchDriver::Carry(CardWatchActions&& a) {
    for (int id : a.stopTimers)
        frame_.StopTimer(id);
    if (a.clearPanes) app_.Panes().ClearPanes(1, 9);
    // The phone-book page arrives with the phone-book feature; its actions
    // (disable, clear, load) have nothing to act on yet.
    if (a.deviceName) frame_.View()->SetDeviceName(QString::fromStdString(*a.deviceName));
    if (a.remarkColumnWidth) frame_.View()->SetRemarkColumnWidth(*a.remarkColumnWidth);
    if (a.refreshDiskSpace) frame_.UpdateDiskSpaceStatus();
    for (const TimerStart& t : a.startTimers)
        frame_.StartTimer(t.id, t.periodMs);
    if (a.showBusyMessage) ShowMessage(&frame_, Lang(159), Lang(160), QMessageBox::Information);
    if (a.startLoader && !app_.RunRecordLoader()) app_.State().loaderBusy = 0;
}

}  // namespace lk::gui
