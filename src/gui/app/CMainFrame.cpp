#include "app/CMainFrame.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QToolTip>
#include <filesystem>

#include "app/CRecorderApp.h"
#include "app/CardWatchDriver.h"
#include "card/CallLog.h"
#include "dialogs/CAboutDlg.h"
#include "dialogs/CBackupDlg.h"
#include "dialogs/ProgressDialog.h"
#include "pages/CDeviceParamDlg.h"
#include "pages/CPhoneBookDlg.h"
#include "pages/CVX310View.h"
#include "records/CRecordListPane.h"
#include "records/PaneFill.h"
#include "support/CommandMenus.h"
#include "support/Commands.h"
#include "support/DeviceLibraryLoader.h"
#include "support/DiskSpaceText.h"
#include "support/GuiText.h"
#include "support/MessageBox.h"
#include "support/SettingsWrite.h"
#include "support/WindowGeometry.h"

#include "Version.h"

namespace lk::gui {

CMainFrame::CMainFrame(CRecorderApp& app)
    : app_(app),
      timer10_(new QTimer(this)),
      timer20_(new QTimer(this)),
      timer30_(new QTimer(this)) {
    commands_ = std::make_unique<CommandActions>(
        [this] { return app_.Session().Busy(); },
        [this] { ShowMessage(this, Lang(159), Lang(160), QMessageBox::Information); }, this,
        [this] { app_.Settings().Refresh(); });
    setWindowIcon(QIcon(QStringLiteral(":/icons/linekeeper.svg")));

    // Status bar: connection, rebuild, category, free space (1/8, 1/8, 1/4, 1/2).
    static constexpr int kStretch[4] = {1, 1, 2, 4};
    for (std::size_t i = 0; i < status_.size(); ++i) {
        status_[i] = new StatusPane(this);
        status_[i]->installEventFilter(this);
        statusBar()->addWidget(status_[i], kStretch[i]);
    }
    status_[0]->SetText(Lang(91));

    CreateMenus();
    ConnectCommands();
    progress_ = new ProgressDialog(this);
    device_ = new DeviceLibraryLoader(this);
    connect(device_, &DeviceLibraryLoader::Notified, this, &CMainFrame::OnDeviceNotify);
    services_.scheduleBackupReload = [this] { ScheduleBackupReload(); };
    services_.ejectCard = [this] { OnEjectCard(); };
    backupDlg_ = new CBackupDlg(app_.Session(), services_, this);
    backupDlg_->setModal(false);
    backupDlg_->hide();
    app_.Filler().SetProgress(progress_);
    view_ = new CVX310View(app_.Session(), app_.Panes(), *commands_,
                           {app_.Audio(), *device_, services_, app_.Settings(), progress_}, this);
    // The automatic backup may have moved recordings off the card.
    connect(backupDlg_, &CBackupDlg::RunFinished, view_, &CVX310View::RecheckFiles);
    connect(view_, &CVX310View::CategoryStatusChanged, this, &CMainFrame::SetCategoryStatus);
    connect(view_, &CVX310View::RefreshRequested, this, &CMainFrame::RefreshRecords);
    connect(view_, &CVX310View::Announced, this, &CMainFrame::Announce);
    connect(view_, &CVX310View::StatusText, this,
            [this](const QString& text) { statusBar()->showMessage(text); });
    setCentralWidget(view_);
    view_->FinishCreation();
    PlaceWindow();

    ApplyLanguageToFrame();
    UpdateDiskSpaceStatus();
    ReportLanguageGaps();
    OpenDeviceLibrary();

    for (auto [t, id] : {std::pair{timer10_, 10}, {timer20_, 20}, {timer30_, 30}})
        connect(t, &QTimer::timeout, this, [this, id = id] {
            if (!timersFrozen_) OnTimer(id);
        });
    watch_ = new CardWatchDriver(app_, *this);
    connect(&app_.Filler(), &PaneFill::Finished, watch_, &CardWatchDriver::OnRowsListed);
    StartTimer(TimerStartup, watch_->StartupDelayMs());
}

CMainFrame::~CMainFrame() {
    StopWork();
    device_->Free();
}

void CMainFrame::ReportLanguageGaps() {
    // Said once per start: the texts that stand in are English, whatever the file's language.
    const LanguageGaps gaps = FindLanguageGaps();
    if (gaps.missing == 0) return;
    const QString text = QStringLiteral("%1 %2 (%3)")
                             .arg(Lang(365), QDir::toNativeSeparators(gaps.file))
                             .arg(gaps.missing);
    statusBar()->showMessage(text, 30000);
    qWarning("%s", qUtf8Printable(text));
}

void CMainFrame::OpenDeviceLibrary() {
    const QString file = DeviceLibraryLoader::ResolvePath(SettingText(DeviceLibraryPath()),
                                                          QCoreApplication::applicationDirPath());
    const auto load = device_->Open(file);
    if (load == DeviceLibraryLoader::Load::Loaded)
        device_->Init();
    else if (load != DeviceLibraryLoader::Load::NotConfigured)
        statusBar()->showMessage(QStringLiteral("%1 %2").arg(Lang(242), device_->ErrorText()),
                                 15000);
}

void CMainFrame::CreateMenus() {
    menuBar()->setNativeMenuBar(false);
    FillMenuBar(menuBar(), MainMenuLayout(), *commands_);
    for (QMenu* m : menuBar()->findChildren<QMenu*>())
        connect(m, &QMenu::aboutToShow, this, &CMainFrame::UpdateChecks);
    // Window-wide keys work whether or not the menu that shows them is open.
    for (CommandAction* a : commands_->All())
        if (a->Row().scope == KeyScope::Window) addAction(a);
}

void CMainFrame::ConnectCommands() {
    CommandActions& c = *commands_;
    c.On(CommandId::Exit, this, &QWidget::close);
    c.On(CommandId::About, this, &CMainFrame::OnAbout);
    c.On(CommandId::AutoBackup, this, &CMainFrame::OnToggleAutoBackup);
    c.On(CommandId::Repair, this, &CMainFrame::OnRepair);
    c.On(CommandId::EjectCard, this, &CMainFrame::OnEjectCard);
    c.On(CommandId::CheckStore, this, &CMainFrame::OnCheckStore);
    c.On(CommandId::AuditTrail, this, &CMainFrame::OnAuditTrail);
    c.On(CommandId::Retention, this, &CMainFrame::OnRetention);
    c.On(CommandId::SetBackupPath, this, &CMainFrame::OnSetBackupPath);
    c.On(CommandId::ChooseAddressBook, this, [this] { view_->ChooseAddressBook(); });
    c.On(CommandId::Rescan, this, &CMainFrame::OnRescan);
    c.On(CommandId::ViewCard, this, &CMainFrame::OnViewCardRecords);
    c.On(CommandId::ViewBackup0, this, [this] { OnViewBackupRecords(0); });
    c.On(CommandId::ViewBackup1, this, [this] { OnViewBackupRecords(1); });
}

void CMainFrame::PlaceWindow() {
    const SavedWindow saved = ReadSavedWindow();
    const QScreen* s =
        saved.geometry.isValid() ? QGuiApplication::screenAt(saved.geometry.center()) : nullptr;
    if (!s) s = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect area = s ? s->availableGeometry() : QRect();
    setMinimumSize(MinimumWindowSize(area));
    setGeometry(FitWindowGeometry(saved.geometry, area, QSize(1180, 720)));
    if (saved.maximized) setWindowState(windowState() | Qt::WindowMaximized);
}

void CMainFrame::SaveWindow() {
    const bool window = WriteSavedWindow({normalGeometry(), isMaximized()});
    const bool layout = view_->SaveLayout();
    ReportSettingsWrite(window && layout, this);
}

void CMainFrame::Announce(const QString& text) {
    statusBar()->showMessage(text, 5000);
}

void CMainFrame::ShowWhatIsListed() {
    const bool backup = app_.State().viewingBackup != 0;
    const QString source = Lang(backup ? 306 : 305);
    setWindowTitle(QStringLiteral("%1  %2 - %3")
                       .arg(SettingText(SoftwareName()), QLatin1String(kVersionText), source));
    view_->ShowSource(source);
}

QAction* CMainFrame::Action(int command) const {
    return commands_->Action(CommandId(command));
}

bool CMainFrame::CommandChecked(int command) const {
    const RecorderState& st = app_.State();
    switch (command) {
        case CmdAutoBackup:
            return AutoBackup();
        case CmdViewCard:
            return st.viewingBackup == 0;
        case CmdViewBackup0:
            return st.viewingBackup == 1 && st.devType == 0;
        case CmdViewBackup1:
            return st.viewingBackup == 1 && st.devType == 1;
        default:
            return false;
    }
}

void CMainFrame::UpdateChecks() {
    for (CommandAction* a : commands_->All())
        if (a->isCheckable()) a->setChecked(CommandChecked(static_cast<int>(a->Id())));
}

void CMainFrame::ApplyLanguageToFrame() {
    commands_->ApplyTexts([](int family) { return DeviceName(family); });
    RetitleMenus(this);
    status_[0]->SetText(Lang(deviceConnected_ ? 90 : 91));
    const RecorderState& st = app_.State();
    if (st.rebuildRunning) SetDriveStatus(st.rebuildDrive, true);
    UpdateDiskSpaceStatus();
    SetCategoryStatus(lastCategory_, lastCount_, lastTotal_);
    update();
    for (int c = kFirstListPage; c <= kLastListPage; ++c)
        if (CRecordListPane* p = app_.Panes().Pane(c)) p->Relabel();
    if (view_) view_->UpdatePlaceholders();
}

void CMainFrame::UpdateDiskSpaceStatus() {
    const RecorderState& st = app_.State();
    std::filesystem::path folder;
    QString label;
    if (st.viewingBackup != 0) {
        folder = app_.Settings().BackupPath();
        label = Lang(144);
    } else {
        label = Lang(143);
        if (auto v = st.volumes.Find(st.cardDrive)) {
            if (!v->sizeKnown) {
                status_[3]->SetText(UnknownSpaceText(label));
                ShowWhatIsListed();
                return;
            }
            folder = v->root;
        }
    }
    std::optional<std::uint64_t> freeBytes;
    std::error_code ec;
    if (!folder.empty()) {
        // The whole volume's free space, not what this user may still write.
        const auto info = std::filesystem::space(folder, ec);
        if (!ec) freeBytes = info.free;
    }
    status_[3]->SetText(DiskSpaceText(freeBytes, st.devType, label));
    // The space shown follows what is listed, so both change together.
    ShowWhatIsListed();
}

void CMainFrame::SetCategoryStatus(int page, int count, int total) {
    lastCategory_ = page;
    lastCount_ = count;
    lastTotal_ = total;
    QString text;
    const QString shown = total >= 0 ? Lang(832).arg(count).arg(total) : QString::number(count);
    auto withCount = [&shown](int n) { return QStringLiteral("%1:  %2").arg(Lang(n), shown); };
    switch (page) {
        case PageWeb:
            text = DeviceName(app_.State().devType != 0 ? 1 : 0);
            break;
        case PageAll:
            text = withCount(2);
            break;
        case PageOutgoing:
            text = withCount(3);
            break;
        case PageIncoming:
            text = withCount(4);
            break;
        case PageNotes:
            text = withCount(5);
            break;
        case PageMessages:
            text = withCount(25);
            break;
        case PageMarked:
            text = withCount(105);
            break;
        case PageMissed:
            text = withCount(106);
            break;
        case PageSearch:
            text = withCount(156);
            break;
        case PageFolder:
            text = withCount(215);
            break;
        case PageDevice:
            text = Lang(6);
            break;
        default:
            break;
    }
    if (page >= PageAll && page <= PageSearch && app_.State().viewingBackup == 1 &&
        app_.Settings().BackupPath().empty())
        text = Lang(226);
    status_[2]->SetText(text);
}

void CMainFrame::SetDriveStatus(char drive, bool active) {
    status_[1]->SetText(active ? QStringLiteral("%1: %2").arg(QChar(drive)).arg(Lang(172))
                               : QString());
}

QString CMainFrame::StatusText(int pane) const {
    return pane >= 1 && pane <= 4 ? status_[static_cast<std::size_t>(pane - 1)]->text() : QString();
}

void CMainFrame::ScheduleBackupReload() {
    if (app_.State().viewingBackup != 1) return;
    StopTimer(TimerCardWatch);
    StopTimer(TimerBackupReload);
    StartTimer(TimerBackupReload, 1000);
    UpdateDiskSpaceStatus();
}

void CMainFrame::RefreshRecords() {
    const RecorderState& st = app_.State();
    if (st.viewingBackup == 1) {
        StopTimer(TimerCardWatch);
        StartTimer(TimerBackupReload, 1000);
    } else {
        app_.Session().ForgetCard();
        StartTimer(TimerCardWatch, 1000);
    }
    UpdateDiskSpaceStatus();
}

void CMainFrame::OnDeviceNotify(unsigned w, unsigned l) {
    if (CDeviceParamDlg* page = view_ ? view_->DeviceParamsPane() : nullptr)
        page->OnDeviceNotify(w, l);
    if (w != 0) return;
    deviceConnected_ = l == 1 ? 1 : 0;
    status_[0]->SetText(Lang(deviceConnected_ ? 90 : 91));
}

QTimer* CMainFrame::Timer(int id) const {
    switch (id) {
        case TimerStartup:
            return timer10_;
        case TimerCardWatch:
            return timer20_;
        case TimerBackupReload:
            return timer30_;
        default:
            return nullptr;
    }
}

void CMainFrame::StartTimer(int id, int ms) {
    if (stopped_) return;
    if (QTimer* t = Timer(id)) t->start(ms);
}

void CMainFrame::StopTimer(int id) {
    if (QTimer* t = Timer(id)) t->stop();
}

bool CMainFrame::TimerActive(int id) const {
    const QTimer* t = Timer(id);
    return t && t->isActive();
}

int CMainFrame::TimerInterval(int id) const {
    const QTimer* t = Timer(id);
    return t ? t->interval() : -1;
}

void CMainFrame::OnTimer(int id) {
    switch (id) {
        case TimerStartup:
            watch_->StartupTick();
            break;
        case TimerCardWatch:
            watch_->CardWatchTick();
            break;
        case TimerBackupReload:
            watch_->BackupReloadTick();
            break;
        default:
            break;
    }
}

bool CMainFrame::RefuseWhileLoading() {
    if (!app_.Session().Busy()) return false;
    ShowMessage(this, Lang(159), Lang(160), QMessageBox::Information);
    return true;
}

void CMainFrame::OnCommand(int command) {
    commands_->Trigger(CommandId(command));
}

void CMainFrame::OnAbout() {
    CAboutDlg dlg(this);
    dlg.exec();
}

void CMainFrame::OnRescan() {
    const bool busy = app_.Session().Busy();
    watch_->ManualRescan();
    if (!busy) Announce(Lang(308));
}

void CMainFrame::OnViewCardRecords() {
    const RecorderState& st = app_.State();
    if (st.viewingBackup == 0) return;
    app_.Session().ShowCard(watch_->CardHasPhoneBook() ? 1 : 0);
    view_->SetRemarkColumnWidth(st.devType == 1 ? 120 : 0);
    view_->SetDeviceName(DeviceName(st.devType));
    if (st.devType == 1)
        if (const auto v = st.volumes.Find(st.cardDrive))
            view_->PhoneBookPane()->LoadFile(v->root / kPhoneBookFileName);
    UpdateDiskSpaceStatus();
    app_.PopulatePanes();
}

void CMainFrame::OnViewBackupRecords(int family) {
    const RecorderState& st = app_.State();
    if (st.viewingBackup == 1 && st.devType == family) return;
    app_.Session().ShowStore(family);
    UpdateDiskSpaceStatus();
    view_->SetRemarkColumnWidth(family == 1 ? 120 : 0);
    view_->SetDeviceName(DeviceName(family));
    ReportSettingsWrite(SetDevType(family), this);
    StopTimer(TimerCardWatch);
    StopTimer(TimerBackupReload);
    StartTimer(TimerBackupReload, 1000);
}

void CMainFrame::StopWork() {
    if (stopped_) return;
    stopped_ = true;
    SaveWindow();
    app_.Session().Quit();
    timer10_->stop();
    timer20_->stop();
    timer30_->stop();
    // An unmount under way ends by itself (it is flushing the card).
    ejector_.StopAndJoin();
    // The workers poll `quitting` per record; waiting for them (rather than a
    // fixed pause) guarantees none outlives the records it reads.
    app_.JoinWorkers();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* e) {
    // A status pane too narrow for its text shows the whole text as its tip.
    if (e->type() == QEvent::ToolTip)
        for (QLabel* l : status_)
            if (watched == l) {
                const auto* help = static_cast<QHelpEvent*>(e);
                if (l->fontMetrics().horizontalAdvance(l->text()) > l->contentsRect().width())
                    QToolTip::showText(help->globalPos(), l->text(), l);
                else
                    QToolTip::hideText();
                return true;
            }
    return QMainWindow::eventFilter(watched, e);
}

void CMainFrame::closeEvent(QCloseEvent* e) {
    StopWork();
    e->accept();
}

void CMainFrame::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
}

}  // namespace lk::gui
