#include "dialogs/CStoreCheckDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "support/GuiText.h"

namespace lk::gui {

QString StoreCheckReport(const VerifyResult& r, bool repaired) {
    QStringList lines;
    if (!r.storeFound) return QString::fromStdString(r.error);
    lines << (r.Clean() ? Lang(457) : r.stopped ? Lang(464) : Lang(458));
    lines << QStringLiteral(
                 "%1 months, %2 entries, %3 files read, %4 checksums match, %5 without a "
                 "checksum")
                 .arg(r.months)
                 .arg(r.liveEntries)
                 .arg(r.filesChecked)
                 .arg(r.checksumsMatched)
                 .arg(r.withoutChecksum);
    if (repaired)
        lines << QStringLiteral("Adopted %1, dropped %2 duplicate entries, wrote %3 checksums")
                     .arg(r.adopted)
                     .arg(r.duplicatesDropped)
                     .arg(r.checksumsWritten);
    if (r.damagedChecksumLines > 0)
        lines << QStringLiteral("%1 damaged checksum lines skipped").arg(r.damagedChecksumLines);
    lines << QString();
    for (const StoreProblem& p : r.problems) {
        QString line = QString::fromStdString(p.file) + QStringLiteral(": ") +
                       QString::fromUtf8(StoreProblemText(p.kind));
        if (p.entry >= 0) line += QStringLiteral(" (entry %1)").arg(p.entry);
        if (!p.detail.empty()) line += QStringLiteral(" - ") + QString::fromStdString(p.detail);
        if (p.repaired) line += QStringLiteral(" [") + Lang(459) + QStringLiteral("]");
        lines << line;
    }
    if (!r.error.empty()) lines << QString::fromStdString(r.error);
    return lines.join(QLatin1Char('\n'));
}

CStoreCheckDlg::CStoreCheckDlg(std::filesystem::path backupPath, int family,
                               DialogServices services, QWidget* parent)
    : QDialog(parent),
      backupPath_(std::move(backupPath)),
      services_(std::move(services)),
      worker_(this),
      family_(new QComboBox(this)),
      bar_(new QProgressBar(this)),
      status_(new QLabel(this)),
      report_(new QPlainTextEdit(this)),
      check_(new QPushButton(Lang(454), this)),
      repair_(new QPushButton(Lang(455), this)),
      stop_(new QPushButton(Lang(456), this)) {
    setObjectName(QStringLiteral("storeCheckDlg"));
    setWindowTitle(Lang(452));
    family_->setObjectName(QStringLiteral("family"));
    bar_->setObjectName(QStringLiteral("progress"));
    status_->setObjectName(QStringLiteral("status"));
    report_->setObjectName(QStringLiteral("report"));
    check_->setObjectName(QStringLiteral("check"));
    repair_->setObjectName(QStringLiteral("repair"));
    stop_->setObjectName(QStringLiteral("stop"));

    auto* top = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(Lang(453), this));
    family_->addItem(DeviceName(0));
    family_->addItem(DeviceName(1));
    family_->setCurrentIndex(family == 1 ? 1 : 0);
    row->addWidget(family_, 1);
    top->addLayout(row);
    bar_->setTextVisible(false);
    top->addWidget(bar_);
    top->addWidget(status_);
    report_->setReadOnly(true);
    report_->setMinimumSize(560, 240);
    top->addWidget(report_, 1);
    auto* note = new QLabel(Lang(460), this);
    note->setWordWrap(true);
    top->addWidget(note);
    auto* buttons = new QDialogButtonBox(this);
    check_->setDefault(true);
    buttons->addButton(check_, QDialogButtonBox::ActionRole);
    buttons->addButton(repair_, QDialogButtonBox::ActionRole);
    buttons->addButton(stop_, QDialogButtonBox::ActionRole);
    close_ = buttons->addButton(Lang(31), QDialogButtonBox::RejectRole);
    close_->setObjectName(QStringLiteral("close"));
    top->addWidget(buttons);
    repair_->setEnabled(false);
    stop_->setEnabled(false);

    connect(check_, &QPushButton::clicked, this, &CStoreCheckDlg::OnCheck);
    connect(repair_, &QPushButton::clicked, this, &CStoreCheckDlg::OnRepair);
    connect(stop_, &QPushButton::clicked, this, &CStoreCheckDlg::OnStop);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    connect(&worker_, &DialogWorker::Finished, this, &CStoreCheckDlg::OnFinished);
    connect(&worker_.Progress(), &WorkerProgress::Began, this, [this](int total) {
        bar_->setRange(0, std::max(0, total));
        bar_->setValue(0);
    });
    connect(&worker_.Progress(), &WorkerProgress::Stepped, this,
            [this](int done, int, const QString& text) {
                bar_->setValue(done);
                status_->setText(text);
            });
    worker_.Progress().SetStepHook(services_.workerStep);
}

CStoreCheckDlg::~CStoreCheckDlg() {
    worker_.StopAndJoin();
}

QString CStoreCheckDlg::ReportText() const {
    return report_->toPlainText();
}

void CStoreCheckDlg::OnCheck() {
    Start(false);
}
void CStoreCheckDlg::OnRepair() {
    Start(true);
}
void CStoreCheckDlg::OnStop() {
    worker_.RequestStop();
}

void CStoreCheckDlg::Start(bool repair) {
    if (worker_.Running()) return;
    repairing_ = repair;
    check_->setEnabled(false);
    repair_->setEnabled(false);
    close_->setEnabled(false);
    family_->setEnabled(false);
    stop_->setEnabled(true);
    report_->clear();
    VerifyOptions options;
    options.backupPath = backupPath_;
    options.devType = family_->currentIndex();
    options.repair = repair;
    options.files = services_.backupFiles;
    const bool ok =
        worker_.Start([this, options](ProgressReporter& progress, std::stop_token stop) {
            result_ = VerifyStore(options, progress, std::move(stop));
        });
    if (!ok) OnFinished();
}

void CStoreCheckDlg::OnFinished() {
    check_->setEnabled(true);
    close_->setEnabled(true);
    family_->setEnabled(true);
    stop_->setEnabled(false);
    status_->clear();
    const bool repairable =
        std::any_of(result_.problems.begin(), result_.problems.end(), [](const StoreProblem& p) {
            return !p.repaired && (p.kind == StoreProblemKind::Orphan ||
                                   p.kind == StoreProblemKind::DuplicateEntry ||
                                   p.kind == StoreProblemKind::MarkerBesideRecording ||
                                   p.kind == StoreProblemKind::PartialRecord);
        });
    repair_->setEnabled(repairable || (result_.withoutChecksum > 0 && !repairing_));
    report_->setPlainText(StoreCheckReport(result_, repairing_));
    if (repairing_ && services_.scheduleBackupReload) services_.scheduleBackupReload();
    emit CheckFinished();
}

void CStoreCheckDlg::done(int result) {
    if (worker_.Running()) return;
    QDialog::done(result);
}

}  // namespace lk::gui
