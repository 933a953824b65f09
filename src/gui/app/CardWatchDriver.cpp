#include "app/CardWatchDriver.h"

#include "app/CMainFrame.h"
#include "app/CRecorderApp.h"
#include "app/Settings.h"
#include "card/CardWatch.h"
#include "support/ViewPage.h"
#include "pages/CPhoneBookDlg.h"
#include "pages/CVX310View.h"
#include "support/GuiText.h"
#include "support/MessageBox.h"
#include "support/SettingsWrite.h"

namespace lk::gui {

void CardWatchDriver::StartupTick() {
    Carry(CardWatch(app_.State()).StartupTick());
    ShowWhenNoBackupFolder();
}
void CardWatchDriver::CardWatchTick() {
    const char before = app_.State().cardDrive;
    Carry(CardWatch(app_.State()).CardWatchTick());
    const char after = app_.State().cardDrive;
    if (after != 0 && after != before) {
        const auto v = app_.State().volumes.Find(after);
        frame_.Announce(QStringLiteral("%1 %2").arg(
            Lang(309), v ? QString::fromStdString(v->root.string()) : QString(QChar(after))));
    } else if (after == 0 && before != 0) {
        frame_.Announce(Lang(310));
    }
}
void CardWatchDriver::BackupReloadTick() {
    Carry(CardWatch(app_.State()).BackupReloadTick());
    ShowWhenNoBackupFolder();
}

void CardWatchDriver::ShowWhenNoBackupFolder() {
    // An empty list would otherwise keep the last card's count.
    if (app_.State().viewingBackup == 1 && BackupPath().empty())
        frame_.SetCategoryStatus(frame_.View()->CurrentPage(), 0);
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
    if (a.clearPanes) app_.Panes().ClearPanes(PageAll, PageSearch);
    if (CPhoneBookDlg* book = frame_.View()->PhoneBookPane()) {
        if (a.disablePhoneBook) book->Enable(false);
        if (a.clearPhoneBook) book->Clear();
        if (a.loadPhoneBook) book->LoadFile(*a.loadPhoneBook);
    }
    if (a.deviceName) frame_.View()->SetDeviceName(QString::fromStdString(*a.deviceName));
    if (a.remarkColumnWidth) frame_.View()->SetRemarkColumnWidth(*a.remarkColumnWidth);
    if (a.refreshDiskSpace) frame_.UpdateDiskSpaceStatus();
    for (const TimerStart& t : a.startTimers)
        frame_.StartTimer(t.id, t.periodMs);
    if (a.showBusyMessage) ShowMessage(&frame_, Lang(159), Lang(160), QMessageBox::Information);
    if (a.settingsNotSaved) ReportSettingsWrite(false, &frame_);
    if (a.startLoader && !app_.RunRecordLoader()) app_.State().loaderBusy = 0;
}

}  // namespace lk::gui
