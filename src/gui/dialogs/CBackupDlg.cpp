#include "dialogs/CBackupDlg.h"

#include <ctime>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <utility>

#include "card/BackupStore.h"
#include "dialogs/BackupSummary.h"
#include "dialogs/CBackupPathDlg.h"
#include "notes/CallNotes.h"
#include "support/GuiText.h"
#include "support/MessageBox.h"
#include "support/SettingsWrite.h"
#include "widgets/CSortListCtrl.h"

namespace lk::gui {

CBackupDlg::CBackupDlg(RecordSession& session, DialogServices services, QWidget* parent,
                       CSortListCtrl* selectedFrom)
    : QDialog(parent),
      session_(session),
      state_(session.State()),
      services_(std::move(services)),
      list_(selectedFrom),
      worker_(this),
      path_(new QLineEdit(this)),
      browse_(new QPushButton(QStringLiteral("..."), this)),
      current_(new QLineEdit(this)),
      bar_(new QProgressBar(this)),
      choice_(new QComboBox(this)),
      auto_(new QCheckBox(this)),
      start_(new QPushButton(this)),
      stop_(new QPushButton(this)) {
    setObjectName(QStringLiteral("backupDlg"));
    setWindowTitle(Lang(SelectedMode() ? 194 : 99));
    path_->setObjectName(QStringLiteral("path"));
    browse_->setObjectName(QStringLiteral("browse"));
    current_->setObjectName(QStringLiteral("current"));
    bar_->setObjectName(QStringLiteral("progress"));
    choice_->setObjectName(QStringLiteral("deleteChoice"));
    auto_->setObjectName(QStringLiteral("autoBackup"));
    start_->setObjectName(QStringLiteral("start"));
    stop_->setObjectName(QStringLiteral("stop"));

    auto* grid = new QGridLayout(this);
    grid->setColumnStretch(1, 1);
    grid->addWidget(new QLabel(Lang(100), this), 0, 0);
    path_->setReadOnly(true);
    path_->setMinimumWidth(380);
    grid->addWidget(path_, 0, 1);
    browse_->setFixedWidth(32);
    grid->addWidget(browse_, 0, 2);
    grid->addWidget(new QLabel(Lang(101), this), 1, 0);
    current_->setReadOnly(true);
    grid->addWidget(current_, 1, 1, 1, 2);
    grid->addWidget(new QLabel(Lang(102), this), 2, 0);
    bar_->setTextVisible(false);
    grid->addWidget(bar_, 2, 1, 1, 2);
    grid->addWidget(new QLabel(Lang(134), this), 3, 0);
    choice_->addItem(Lang(136));
    choice_->addItem(Lang(135));
    grid->addWidget(choice_, 3, 1, 1, 2);
    auto_->setText(Lang(138));
    grid->addWidget(auto_, 4, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    start_->setText(Lang(103));
    start_->setDefault(true);
    stop_->setText(Lang(137));
    buttons->addWidget(start_);
    buttons->addWidget(stop_);
    grid->addLayout(buttons, 5, 0, 1, 3);

    connect(start_, &QPushButton::clicked, this, &CBackupDlg::OnStart);
    connect(stop_, &QPushButton::clicked, this, &CBackupDlg::OnStop);
    connect(browse_, &QPushButton::clicked, this, &CBackupDlg::OnBrowse);
    // Only the user's choice is stored; a "No" to the move question is not.
    connect(choice_, &QComboBox::activated, this,
            [this](int index) { ReportSettingsWrite(SetBackupMovesFiles(index == 1), this); });
    connect(auto_, &QCheckBox::clicked, this, [this](bool on) {
        if (on && EnsureBackupPath().empty()) {
            auto_->setChecked(false);
            return;
        }
        if (!ReportSettingsWrite(SetAutoBackup(on), this)) auto_->setChecked(AutoBackup());
    });
    connect(&worker_, &DialogWorker::Finished, this, &CBackupDlg::OnFinished);
    connect(&worker_.Progress(), &WorkerProgress::Began, this,
            [this](int total) { bar_->setRange(0, std::max(0, total)); });
    connect(&worker_.Progress(), &WorkerProgress::Stepped, this,
            [this](int done, int, const QString& text) {
                bar_->setValue(done);
                if (!text.isEmpty()) current_->setText(text);
            });
    worker_.Progress().SetStepHook(services_.workerStep);
    InitFromSettings();
}

CBackupDlg::~CBackupDlg() {
    worker_.StopAndJoin();
}

void CBackupDlg::InitFromSettings() {
    choice_->setCurrentIndex(BackupMovesFiles() ? 1 : 0);
    auto_->setChecked(AutoBackup());
    path_->setText(SettingText(BackupPath().string()));
    current_->clear();
    bar_->setRange(0, 100);
    bar_->setValue(0);
    SetRunning(false);
}

void CBackupDlg::SetRunning(bool running) {
    for (QWidget* w : std::initializer_list<QWidget*>{start_, browse_, choice_, auto_})
        w->setEnabled(!running);
    stop_->setEnabled(!worker_.ClosePending());
}

std::filesystem::path CBackupDlg::EnsureBackupPath() {
    // A run into no folder would end at once without a word.
    if (auto store = BackupPath(); !store.empty()) return store;
    OnBrowse();
    return BackupPath();
}

void CBackupDlg::OnBrowse() {
    CBackupPathDlg dlg(services_, this);
    if (dlg.exec() == QDialog::Accepted) path_->setText(SettingText(BackupPath().string()));
}

void CBackupDlg::OnStart() {
    if (worker_.Running()) return;
    // Read once here and handed to the run: the setting may change meanwhile.
    const std::filesystem::path store = EnsureBackupPath();
    if (store.empty()) return;
    bool move = choice_->currentIndex() == 1;
    if (move && ShowMessage(this, Lang(140), Lang(134), QMessageBox::Information,
                            QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
        move = false;
        choice_->setCurrentIndex(0);  // this run only; the setting stays
    }
    // A run keeps the card watch from freeing the records it walks: the
    // automatic one under the claim of the load that offered it, a manual
    // one under its own.
    if (!offered_) {
        claim_ = session_.TryClaim();
        if (!claim_) {
            ShowMessage(this, Lang(159), Lang(160), QMessageBox::Information);
            return;
        }
    }
    selection_.clear();
    if (list_)
        for (int row : list_->SelectedRows())
            if (CallRecord* r = list_->RowData(row)) selection_.push_back(r);

    BackupOptions o;
    o.backupPath = store;
    o.devType = state_.devType;
    o.move = move;
    o.files = services_.backupFiles;
    if (const auto v = state_.volumes.Find(state_.cardDrive)) o.cardRoot = v->root;
    lastOptions_ = o;

    SetRunning(true);
    started_ = 1;
    const bool selected = SelectedMode();
    const SessionClaim* under = offered_ ? &offered_ : &claim_;
    const bool ok = worker_.Start([this, o = std::move(o), selected, under](
                                      ProgressReporter& progress, std::stop_token stop) {
        result_ = (selected ? session_.BackupSelected(*under, selection_, o, progress, stop)
                            : session_.BackupAll(*under, o, progress, stop))
                      .value_or(BackupResult{});
        // The store's retention rule, where the user turned it on for
        // after each backup; not after a stopped run.
        retention_ = {};
        if (!stop.stop_requested())
            retention_ = ApplyRetentionAfterBackup(
                o.backupPath, o.devType, std::time(nullptr),
                TaggedCallsOf(StoreRoot(o.backupPath, o.devType)), progress, stop);
    });
    if (!ok) {
        claim_.Release();
        SetRunning(false);
    }
}

void CBackupDlg::OnStop() {
    done(Rejected);
}

void CBackupDlg::done(int result) {
    if (worker_.StopThen([this, result] { done(result); })) {
        SetRunning(true);
        return;
    }
    QDialog::done(result);
    TellClosed();
}

void CBackupDlg::OnFinished() {
    claim_.Release();
    // The worker appended to the backup records; only now may they be shown.
    if (services_.scheduleBackupReload) services_.scheduleBackupReload();
    emit RunFinished();
    if (worker_.ClosePending()) return;
    if (!result_.started) {
        SetRunning(false);
        return;
    }
    // Every run ends with what it did; failures are listed with their reasons.
    BackupSummary summary = SummarizeBackup(result_);
    if (retention_.ran) {
        summary.text += QStringLiteral("\n") + Lang(846)
                                                   .arg(QString::fromStdString(retention_.rule))
                                                   .arg(retention_.result.taken)
                                                   .arg(retention_.result.failed);
        if (!retention_.result.error.empty())
            summary.details += Lang(847) + QStringLiteral(" ") +
                               QString::fromStdString(retention_.result.error) +
                               QStringLiteral("\n");
    }
    if (summary.failed > 0) {
        // The bar shows what is safe, not how far the walk got.
        const int total = static_cast<int>(result_.items.size());
        bar_->setRange(0, std::max(1, total));
        bar_->setValue(std::max(0, total - summary.failed));
    }
    // A card backed up in full may go: the summary offers to eject it.
    const bool offerEject = summary.failed == 0 && result_.indexWriteFailures == 0 &&
                            state_.cardDrive != 0 && state_.viewingBackup == 0 &&
                            static_cast<bool>(services_.ejectCard);
    const bool eject =
        ShowReport(this, summary.text, Lang(340),
                   summary.failed > 0 || result_.cardNotCleared > 0 ? QMessageBox::Warning
                                                                    : QMessageBox::Information,
                   summary.details, offerEject ? Lang(391).remove(QLatin1Char('&')) : QString());
    if (eject) {
        // After this window has closed: the eject reports in a box of its own.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [eject = services_.ejectCard] { eject(); },
            Qt::QueuedConnection);
    }
    // A run that left recordings behind says so rather than closing as if
    // everything were safe; Start tries them again.
    const int missed = result_.failed + result_.indexWriteFailures;
    if (missed > 0 || result_.cardNotCleared > 0) {
        // The count, then the error behind it ("no space left on the store's
        // device"), or why a move could not clear the card.
        QString text = missed > 0 ? QStringLiteral("%1 %2").arg(Lang(227)).arg(missed) : QString();
        const std::string& why = missed > 0 ? result_.failureReason : result_.cardClearReason;
        if (!why.empty())
            text +=
                (text.isEmpty() ? QString() : QStringLiteral(": ")) + QString::fromStdString(why);
        current_->setText(text);
        current_->setToolTip(text);
        SetRunning(false);
        return;
    }
    done(Accepted);
}

void CBackupDlg::TellClosed() {
    if (auto closed = std::exchange(closed_, nullptr)) closed(std::move(offered_));
}

void CBackupDlg::Offer(SessionClaim loadClaim, std::function<void(SessionClaim)> closed) {
    // One offer at a time: the load's claim keeps the next load away.
    started_ = 0;
    offered_ = std::move(loadClaim);
    closed_ = std::move(closed);
    InitFromSettings();
    show();
    raise();
    activateWindow();
}

}  // namespace lk::gui
