#include "app/CardWatchDriver.h"

#include <QLoggingCategory>

#include "app/CMainFrame.h"
#include "app/CRecorderApp.h"
#include "app/MountWatch.h"
#include "app/Settings.h"
#include "card/CardWatch.h"
#include "support/ViewPage.h"
#include "pages/CPhoneBookDlg.h"
#include "pages/CVX310View.h"
#include "support/GuiText.h"
#include "support/MessageBox.h"
#include "support/SettingsWrite.h"

// Off unless asked for (QT_LOGGING_RULES="linekeeper.card.info=true"): when a
// card came and when its rows were listed, for measuring the watch.
Q_LOGGING_CATEGORY(lcCard, "linekeeper.card", QtWarningMsg)

namespace lk::gui {

namespace {
constexpr int kRemarkColumnWidthFamily1 = 120;
}

CardWatchDriver::CardWatchDriver(CRecorderApp& app, CMainFrame& frame)
    : QObject(&frame), app_(app), frame_(frame), events_(new MountWatch(this)) {
    connect(events_, &MountWatch::Changed, this, &CardWatchDriver::OnMountChange);
}

CardWatchDriver::~CardWatchDriver() = default;

int CardWatchDriver::StartupDelayMs() const {
    return app_.Session().Watch().FindCard() ? 0 : kStartupMs;
}

CardWatch CardWatchDriver::Watch() {
    // Each step reads the settings once, as a command does.
    app_.Settings().Refresh();
    return app_.Session().Watch({[this] { return app_.Settings().BackupPath(); }});
}

void CardWatchDriver::StartupTick() {
    const char before = app_.State().cardDrive;
    Carry(Watch().StartupTick());
    NoteCardChange(before);
    ShowWhenNoBackupFolder();
}

void CardWatchDriver::CardWatchTick() {
    const char before = app_.State().cardDrive;
    Carry(Watch().CardWatchTick());
    NoteCardChange(before);
}

void CardWatchDriver::BackupReloadTick() {
    Carry(Watch().BackupReloadTick());
    ShowWhenNoBackupFolder();
}

void CardWatchDriver::ManualRescan() {
    Carry(Watch().ManualRescan());
}

void CardWatchDriver::NoteCardChange(char before) {
    const RecorderState& st = app_.State();
    const char after = st.cardDrive;
    if (after != 0 && after != before) {
        const auto v = st.volumes.Find(after);
        found_ = QStringLiteral("%1 %2").arg(
            Lang(309), v ? QString::fromStdString(v->root.string()) : QString(QChar(after)));
        qCInfo(lcCard, "card taken: %s", qUtf8Printable(found_));
    } else if (after == 0 && before != 0) {
        found_.clear();
        qCInfo(lcCard, "card gone");
        frame_.Announce(Lang(310));
    }
    WatchCardFolders();
}

void CardWatchDriver::OnRowsListed() {
    const RecorderState& st = app_.State();
    const bool card = st.viewingBackup == 0;
    qCInfo(lcCard, "rows listed: %s %zu", card ? "card" : "backup", st.CurrentRecordList().size());
    if (card && st.cardDrive != 0 && !found_.isEmpty()) {
        frame_.Announce(found_);
        found_.clear();
    }
    if (missedChange_ && !frame_.TimersFrozen() && !app_.Session().Busy() &&
        frame_.TimerActive(TimerCardWatch)) {
        missedChange_ = false;
        CardWatchTick();
    }
}

void CardWatchDriver::OnMountChange() {
    if (frame_.TimersFrozen()) return;
    // While records load (or the backup is about to be read again) the watch
    // cannot look: the end of the listing does.
    if (frame_.TimerActive(TimerCardWatch) && !app_.Session().Busy())
        CardWatchTick();
    else
        missedChange_ = true;
}

void CardWatchDriver::WatchCardFolders() {
    // Without a card, the removable folders are watched for a call log that
    // appears (card roots given as folders have no mount event).
    QStringList folders;
    const RecorderState& st = app_.State();
    if (st.cardDrive == 0)
        for (const Volume& v : st.volumes.Volumes())
            if (v.removable) folders << QString::fromStdString(v.root.string());
    events_->WatchFolders(folders);
}

void CardWatchDriver::ShowWhenNoBackupFolder() {
    // An empty list would otherwise keep the last card's count.
    if (app_.State().viewingBackup == 1 && app_.Settings().BackupPath().empty())
        frame_.SetCategoryStatus(frame_.View()->CurrentPage(), 0);
}

bool CardWatchDriver::CardHasPhoneBook() const {
    const RecorderState& st = app_.State();
    const auto v = st.volumes.Find(st.cardDrive);
    return v && HasPhoneBook(v->root);
}

void CardWatchDriver::Carry(CardWatchActions&& a) {
    if (a.clearPanes) app_.Panes().ClearPanes(PageAll, PageSearch);
    if (CPhoneBookDlg* book = frame_.View()->PhoneBookPane()) {
        if (a.disablePhoneBook) book->Enable(false);
        if (a.clearPhoneBook) book->Clear();
        if (a.loadPhoneBook) book->LoadFile(*a.loadPhoneBook);
    }
    if (a.cardFamily) {
        frame_.View()->SetDeviceName(DeviceName(*a.cardFamily));
        frame_.View()->SetRemarkColumnWidth(*a.cardFamily == 1 ? kRemarkColumnWidthFamily1 : 0);
    }
    if (a.refreshDiskSpace) frame_.UpdateDiskSpaceStatus();
    switch (a.next) {
        case WatchNext::Unchanged:
            break;
        case WatchNext::Watch:
            frame_.StopTimer(TimerStartup);
            frame_.StopTimer(TimerBackupReload);
            frame_.StartTimer(TimerCardWatch, kPollMs);
            break;
        case WatchNext::ReloadBackup:
            frame_.StopTimer(TimerCardWatch);
            frame_.StopTimer(TimerBackupReload);
            frame_.StartTimer(TimerBackupReload, kAfterRemovalMs);
            break;
        case WatchNext::LookSoon:
            frame_.StopTimer(TimerCardWatch);
            frame_.StartTimer(TimerCardWatch, kLookSoonMs);
            break;
    }
    if (a.showBusyMessage) ShowMessage(&frame_, Lang(159), Lang(160), QMessageBox::Information);
    if (a.settingsNotSaved) ReportSettingsWrite(false, &frame_);
    if (a.startLoader) (void)app_.RunRecordLoader(a.loadSource);
}

}  // namespace lk::gui
