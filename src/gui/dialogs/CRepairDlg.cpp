#include "dialogs/CRepairDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStorageInfo>
#include <QVBoxLayout>
#include <algorithm>

#include "support/GuiText.h"
#include "support/MessageBox.h"

namespace lk::gui {

QString RepairDriveText(const Volume& volume) {
    const QString root = QString::fromStdString(volume.root.string());
    QString text = QStringLiteral("%1:\\   %2").arg(QChar(volume.letter), root);
    // The card's label as the desktop shows it; only a mount point has one of
    // its own (a folder acting as a card would show its disk's label).
    const QStorageInfo info(root);
    if (info.isValid() && QDir::cleanPath(info.rootPath()) == QDir::cleanPath(root) &&
        !info.name().isEmpty())
        text += QStringLiteral("   ") + info.name();
    return text;
}

CRepairDlg::CRepairDlg(RecordSession& session, DialogServices services,
                       std::function<void(char)> repaired, QWidget* parent)
    : QDialog(parent),
      session_(session),
      services_(std::move(services)),
      repaired_(std::move(repaired)),
      worker_(this),
      drives_(new QComboBox(this)),
      bar_(new QProgressBar(this)),
      status_(new QLabel(this)),
      start_(new QPushButton(Lang(220), this)) {
    setObjectName(QStringLiteral("repairDlg"));
    setWindowTitle(Lang(218));
    drives_->setObjectName(QStringLiteral("drives"));
    bar_->setObjectName(QStringLiteral("progress"));
    status_->setObjectName(QStringLiteral("status"));
    start_->setObjectName(QStringLiteral("start"));

    auto* top = new QVBoxLayout(this);
    top->addWidget(new QLabel(Lang(219), this));
    drives_->setMinimumWidth(360);
    top->addWidget(drives_);
    bar_->setTextVisible(false);
    bar_->hide();
    top->addWidget(bar_);
    status_->setMinimumHeight(status_->fontMetrics().height() + 4);
    top->addWidget(status_);
    auto* buttons = new QDialogButtonBox(this);
    start_->setDefault(true);
    buttons->addButton(start_, QDialogButtonBox::ActionRole);
    close_ = buttons->addButton(Lang(31), QDialogButtonBox::RejectRole);
    close_->setObjectName(QStringLiteral("close"));
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    top->addWidget(buttons);

    volumes_ = session_.State().volumes.Volumes();
    std::erase_if(volumes_, [](const Volume& v) { return !v.removable || v.letter < 'C'; });
    std::sort(volumes_.begin(), volumes_.end(),
              [](const Volume& a, const Volume& b) { return a.letter < b.letter; });
    for (const Volume& v : volumes_)
        drives_->addItem(RepairDriveText(v));
    if (!volumes_.empty()) drives_->setCurrentIndex(0);

    connect(start_, &QPushButton::clicked, this, &CRepairDlg::OnStart);
    connect(&worker_, &DialogWorker::Finished, this, &CRepairDlg::OnFinished);
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

CRepairDlg::~CRepairDlg() {
    worker_.StopAndJoin();
}

int CRepairDlg::DriveCount() const {
    return drives_->count();
}
QString CRepairDlg::DriveText(int index) const {
    return drives_->itemText(index);
}
QString CRepairDlg::StatusText() const {
    return status_->text();
}

void CRepairDlg::OnStart() {
    const int index = drives_->currentIndex();
    if (index < 0 || index >= static_cast<int>(volumes_.size()) || worker_.Running()) return;
    claim_ = session_.TryClaim();
    if (!claim_) {
        ShowMessage(this, Lang(159), Lang(160), QMessageBox::Information);
        return;
    }
    const Volume v = volumes_[static_cast<std::size_t>(index)];
    letter_ = v.letter;
    start_->setEnabled(false);
    // A repair is never cut short: Close waits for its end.
    close_->setEnabled(false);
    bar_->show();
    const CardVolume card(v.letter, v.root, CardCodePage());
    const bool ok = worker_.Start([this, card](ProgressReporter& progress, std::stop_token stop) {
        result_ = RepairCardLog(card, progress, stop);
    });
    if (!ok) {
        claim_.Release();
        start_->setEnabled(true);
        close_->setEnabled(true);
    }
}

void CRepairDlg::OnFinished() {
    // Given back first: the caller reads the repaired log again.
    claim_.Release();
    start_->setEnabled(true);
    close_->setEnabled(true);
    emit RepairFinished();
    if (repaired_) repaired_(letter_);
}

void CRepairDlg::done(int result) {
    // A repair appends to the card's log; it is never cut short.
    if (worker_.Running()) return;
    QDialog::done(result);
}

}  // namespace lk::gui
