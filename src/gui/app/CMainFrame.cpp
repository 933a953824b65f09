#include "app/CMainFrame.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <filesystem>

#include "app/CRecorderApp.h"
#include "app/CardWatchDriver.h"
#include "dialogs/CAboutDlg.h"
#include "dialogs/ProgressDialog.h"
#include "pages/CVX310View.h"
#include "records/CRecordListPane.h"
#include "records/PaneFill.h"
#include "support/Commands.h"
#include "support/DiskSpaceText.h"
#include "support/GuiText.h"
#include "support/MessageBox.h"

namespace lk::gui {

CMainFrame::CMainFrame(CRecorderApp& app)
    : app_(app),
      timer10_(new QTimer(this)),
      timer20_(new QTimer(this)),
      timer30_(new QTimer(this)) {
    setWindowIcon(QIcon(QStringLiteral(":/icons/linekeeper.svg")));
    resize(1180, 720);
    setMinimumSize(640, 420);

    // Status bar: connection, rebuild, category, free space (1/8, 1/8, 1/4, 1/2).
    static constexpr int kStretch[4] = {1, 1, 2, 4};
    for (std::size_t i = 0; i < status_.size(); ++i) {
        status_[i] = new QLabel(this);
        status_[i]->setMinimumWidth(20);
        status_[i]->setTextFormat(Qt::PlainText);
        statusBar()->addWidget(status_[i], kStretch[i]);
    }
    status_[0]->setText(Lang(91));

    CreateMenus();
    progress_ = new ProgressDialog(this);
    app_.Filler().SetProgress(progress_);
    view_ = new CVX310View(app_.State(), app_.Panes(), this);
    connect(view_, &CVX310View::CategoryStatusChanged, this, &CMainFrame::SetCategoryStatus);
    connect(view_, &CVX310View::RefreshRequested, this, &CMainFrame::RefreshRecords);
    setCentralWidget(view_);
    view_->FinishCreation();

    ApplyLanguageToFrame();
    UpdateDiskSpaceStatus();

    for (auto [t, id] : {std::pair{timer10_, 10}, {timer20_, 20}, {timer30_, 30}})
        connect(t, &QTimer::timeout, this, [this, id = id] {
            if (!timersFrozen_) OnTimer(id);
        });
    StartTimer(TimerStartup, 1000);
}

CMainFrame::~CMainFrame() {
    StopWork();
}

void CMainFrame::CreateMenus() {
    menuBar()->setNativeMenuBar(false);
    auto add = [this](QMenu* m, int command) {
        QAction* a = m->addAction(QString());
        connect(a, &QAction::triggered, this, [this, command] { OnCommand(command); });
        actions_.emplace_back(command, a);
        return a;
    };
    popups_[0] = menuBar()->addMenu(QString());
    add(popups_[0], CmdExit);
    popups_[1] = menuBar()->addMenu(QString());
    add(popups_[1], CmdRescan);
    add(popups_[1], CmdRepair);
    popups_[1]->addSeparator();
    for (int c : {int(CmdViewCard), int(CmdViewBackup0), int(CmdViewBackup1)})
        add(popups_[1], c)->setCheckable(true);
    popups_[1]->addSeparator();
    add(popups_[1], CmdAutoBackup)->setCheckable(true);
    add(popups_[1], CmdSetBackupPath);
    popups_[2] = menuBar()->addMenu(QString());
    add(popups_[2], CmdAbout);
    connect(popups_[1], &QMenu::aboutToShow, this, &CMainFrame::UpdateChecks);
}

QAction* CMainFrame::Action(int command) const {
    for (const auto& [c, a] : actions_)
        if (c == command) return a;
    return nullptr;
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
    for (int c : {int(CmdAutoBackup), int(CmdViewCard), int(CmdViewBackup0), int(CmdViewBackup1)})
        if (QAction* a = Action(c)) a->setChecked(CommandChecked(c));
}

void CMainFrame::ApplyLanguageToFrame() {
    popups_[0]->setTitle(Lang(81));
    popups_[1]->setTitle(Lang(149));
    popups_[2]->setTitle(Lang(82));
    static const std::pair<int, int> kTexts[] = {
        {CmdExit, 84},        {CmdRescan, 83},         {CmdRepair, 218}, {CmdViewCard, 150},
        {CmdAutoBackup, 141}, {CmdSetBackupPath, 152}, {CmdAbout, 85}};
    for (auto [c, n] : kTexts)
        if (QAction* a = Action(c)) a->setText(Lang(n));
    Action(CmdViewBackup0)->setText(QStringLiteral("%1(%2)").arg(Lang(151), DeviceName(0)));
    Action(CmdViewBackup1)->setText(QStringLiteral("%1(%2)").arg(Lang(151), DeviceName(1)));
    status_[0]->setText(Lang(deviceConnected_ ? 90 : 91));
    const RecorderState& st = app_.State();
    if (st.rebuildRunning) SetDriveStatus(st.rebuildDrive, true);
    UpdateDiskSpaceStatus();
    SetCategoryStatus(lastCategory_, lastCount_);
    update();
    for (int c = 1; c <= 10; ++c)
        if (CRecordListPane* p = app_.Panes().Pane(c)) p->Relabel();
}

void CMainFrame::UpdateDiskSpaceStatus() {
    const RecorderState& st = app_.State();
    std::filesystem::path folder;
    QString label;
    if (st.viewingBackup != 0) {
        folder = BackupPath();
        label = Lang(144);
    } else {
        if (auto v = st.volumes.Find(st.cardDrive)) folder = v->root;
        label = Lang(143);
    }
    std::optional<std::uint64_t> freeBytes;
    std::error_code ec;
    if (!folder.empty()) {
        // The whole volume's free space, not what this user may still write.
        const auto info = std::filesystem::space(folder, ec);
        if (!ec) freeBytes = info.free;
    }
    status_[3]->setText(DiskSpaceText(freeBytes, st.devType, label));
}

void CMainFrame::SetCategoryStatus(int page, int count) {
    lastCategory_ = page;
    lastCount_ = count;
    QString text;
    auto withCount = [count](int n) { return QStringLiteral("%1:  %2").arg(Lang(n)).arg(count); };
    switch (page) {
        case 0:
            text = DeviceName(app_.State().devType != 0 ? 1 : 0);
            break;
        case 1:
            text = withCount(2);
            break;
        case 2:
            text = withCount(3);
            break;
        case 3:
            text = withCount(4);
            break;
        case 4:
            text = withCount(5);
            break;
        case 6:
            text = withCount(25);
            break;
        case 7:
            text = withCount(105);
            break;
        case 8:
            text = withCount(106);
            break;
        case 9:
            text = withCount(156);
            break;
        case 10:
            text = withCount(215);
            break;
        case 11:
            text = Lang(6);
            break;
        default:
            break;
    }
    status_[2]->setText(text);
}

void CMainFrame::SetDriveStatus(char drive, bool active) {
    status_[1]->setText(active ? QStringLiteral("%1: %2").arg(QChar(drive)).arg(Lang(172))
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
    RecorderState& st = app_.State();
    if (st.viewingBackup == 1) {
        StopTimer(TimerCardWatch);
        StartTimer(TimerBackupReload, 1000);
    } else {
        st.cardDrive = 0;
        StartTimer(TimerCardWatch, 1000);
    }
    UpdateDiskSpaceStatus();
}

void CMainFrame::OnDeviceNotify(unsigned w, unsigned l) {
    // Only the connection state matters until the device page exists.
    if (w != 0) return;
    deviceConnected_ = l == 1 ? 1 : 0;
    status_[0]->setText(Lang(deviceConnected_ ? 90 : 91));
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
    CardWatchDriver watch(app_, *this);
    switch (id) {
        case TimerStartup:
            watch.StartupTick();
            break;
        case TimerCardWatch:
            watch.CardWatchTick();
            break;
        case TimerBackupReload:
            watch.BackupReloadTick();
            break;
        default:
            break;
    }
}

bool CMainFrame::RefuseWhileLoading() {
    if (app_.State().loaderBusy == 0) return false;
    ShowMessage(this, Lang(159), Lang(160), QMessageBox::Information);
    return true;
}

void CMainFrame::OnCommand(int command) {
    switch (command) {
        case CmdExit:
            close();
            break;
        case CmdAbout: {
            CAboutDlg dlg(this);
            dlg.exec();
            break;
        }
        case CmdAutoBackup:
            SetAutoBackup(!AutoBackup());
            break;
        case CmdRepair:
            // The repair dialog comes with the card repair feature.
            break;
        case CmdRescan:
            CardWatchDriver(app_, *this).ManualRescan();
            break;
        case CmdSetBackupPath:
            if (RefuseWhileLoading()) return;
            // The backup-path dialog comes with the backup feature.
            break;
        case CmdViewCard:
            if (RefuseWhileLoading()) return;
            OnViewCardRecords();
            break;
        case CmdViewBackup0:
        case CmdViewBackup1:
            if (RefuseWhileLoading()) return;
            OnViewBackupRecords(command == CmdViewBackup1 ? 1 : 0);
            break;
        default:
            break;
    }
}

void CMainFrame::OnViewCardRecords() {
    RecorderState& st = app_.State();
    if (st.viewingBackup == 0) return;
    st.viewingBackup = 0;
    st.devType = CardWatchDriver(app_, *this).CardHasPhoneBook() ? 1 : 0;
    view_->SetRemarkColumnWidth(st.devType == 1 ? 120 : 0);
    view_->SetDeviceName(DeviceName(st.devType));
    UpdateDiskSpaceStatus();
    app_.PopulatePanes();
}

void CMainFrame::OnViewBackupRecords(int family) {
    RecorderState& st = app_.State();
    if (st.viewingBackup == 1 && st.devType == family) return;
    st.viewingBackup = 1;
    st.devType = family;
    UpdateDiskSpaceStatus();
    view_->SetRemarkColumnWidth(family == 1 ? 120 : 0);
    view_->SetDeviceName(DeviceName(family));
    SetDevType(family);
    StopTimer(TimerCardWatch);
    StopTimer(TimerBackupReload);
    StartTimer(TimerBackupReload, 1000);
}

void CMainFrame::StopWork() {
    if (stopped_) return;
    stopped_ = true;
    app_.State().quitting = 1;
    for (int c = 1; c <= 9; ++c)
        if (CRecordListPane* p = app_.Panes().Pane(c)) p->StopRelabel();
    timer10_->stop();
    timer20_->stop();
    timer30_->stop();
    // The workers poll `quitting` per record; waiting for them (rather than a
    // fixed pause) guarantees none outlives the records it reads.
    app_.JoinWorkers();
}

void CMainFrame::closeEvent(QCloseEvent* e) {
    StopWork();
    e->accept();
}

void CMainFrame::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
}

}  // namespace lk::gui
