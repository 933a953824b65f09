#include "dialogs/CRetentionDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <ctime>

#include "app/Settings.h"
#include "platform/TextCodec.h"
#include "support/GuiText.h"

namespace lk::gui {

CRetentionDlg::CRetentionDlg(std::filesystem::path backupPath, int family, DialogServices services,
                             QWidget* parent)
    : QDialog(parent),
      backupPath_(std::move(backupPath)),
      services_(std::move(services)),
      worker_(this),
      family_(new QComboBox(this)),
      days_(new QSpinBox(this)),
      incoming_(new QCheckBox(Lang(468), this)),
      missed_(new QCheckBox(Lang(469), this)),
      outgoing_(new QCheckBox(Lang(470), this)),
      list_(new QTreeWidget(this)),
      status_(new QLabel(this)),
      listButton_(new QPushButton(Lang(471), this)),
      apply_(new QPushButton(Lang(472), this)) {
    setObjectName(QStringLiteral("retentionDlg"));
    setWindowTitle(Lang(465));
    days_->setObjectName(QStringLiteral("days"));
    list_->setObjectName(QStringLiteral("list"));
    status_->setObjectName(QStringLiteral("status"));
    listButton_->setObjectName(QStringLiteral("listCalls"));
    apply_->setObjectName(QStringLiteral("apply"));

    auto* top = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    family_->addItem(DeviceName(0));
    family_->addItem(DeviceName(1));
    family_->setCurrentIndex(family == 1 ? 1 : 0);
    row->addWidget(family_);
    row->addWidget(new QLabel(Lang(466), this));
    days_->setRange(0, 36500);
    days_->setValue(RetentionDays());
    row->addWidget(days_);
    row->addStretch(1);
    top->addLayout(row);
    auto* types = new QHBoxLayout;
    types->addWidget(new QLabel(Lang(467), this));
    for (QCheckBox* box : {incoming_, missed_, outgoing_}) {
        box->setChecked(true);
        types->addWidget(box);
        connect(box, &QCheckBox::toggled, this, &CRetentionDlg::RuleChanged);
    }
    types->addStretch(1);
    top->addLayout(types);
    list_->setRootIsDecorated(false);
    list_->setHeaderLabels(Lang(473).split(QLatin1Char(';')));
    list_->setMinimumSize(560, 240);
    top->addWidget(list_, 1);
    top->addWidget(status_);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(listButton_, QDialogButtonBox::ActionRole);
    buttons->addButton(apply_, QDialogButtonBox::ActionRole);
    close_ = buttons->addButton(Lang(31), QDialogButtonBox::RejectRole);
    close_->setObjectName(QStringLiteral("close"));
    top->addWidget(buttons);
    apply_->setEnabled(false);

    connect(days_, &QSpinBox::valueChanged, this, &CRetentionDlg::RuleChanged);
    connect(family_, &QComboBox::currentIndexChanged, this, &CRetentionDlg::RuleChanged);
    connect(listButton_, &QPushButton::clicked, this, &CRetentionDlg::OnList);
    connect(apply_, &QPushButton::clicked, this, &CRetentionDlg::OnApply);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    connect(&worker_, &DialogWorker::Finished, this, &CRetentionDlg::OnFinished);
}

CRetentionDlg::~CRetentionDlg() {
    worker_.StopAndJoin();
}

void CRetentionDlg::SetKeepDays(int days) {
    days_->setValue(days);
}
int CRetentionDlg::ListedCount() const {
    return list_->topLevelItemCount();
}
QString CRetentionDlg::StatusText() const {
    return status_->text();
}

// A changed rule was not listed: nothing may go on its word.
void CRetentionDlg::RuleChanged() {
    apply_->setEnabled(false);
}

void CRetentionDlg::OnList() {
    Run(false);
}
void CRetentionDlg::OnApply() {
    Run(true);
}

void CRetentionDlg::Run(bool apply) {
    if (worker_.Running()) return;
    applying_ = apply;
    RetentionRule rule;
    rule.keepDays = days_->value();
    QStringList names;
    if (!(incoming_->isChecked() && missed_->isChecked() && outgoing_->isChecked())) {
        const std::pair<QCheckBox*, std::pair<int, const char*>> boxes[] = {
            {incoming_, {Incoming, "incoming"}},
            {missed_, {Missed, "missed"}},
            {outgoing_, {Outgoing, "outgoing"}}};
        for (const auto& [box, type] : boxes) {
            if (!box->isChecked()) continue;
            rule.types.push_back(type.first);
            names << QString::fromLatin1(type.second);
        }
        if (rule.types.empty()) rule.types.push_back(-1);  // none: nothing goes
    }
    // The days are kept for the next time; a settings file that cannot be
    // written costs only that.
    if (!apply) static_cast<void>(SetRetentionDays(rule.keepDays));
    CleanupOptions o;
    o.backupPath = backupPath_;
    o.devType = family_->currentIndex();
    o.apply = apply;
    const std::time_t now = std::time(nullptr);
    o.select = [rule, now](const CallRecord& r) { return RetentionSelects(r, rule, now); };
    o.action = "retention";
    // The same words as the command line's, so that either's listing counts.
    o.detail =
        "keep " + std::to_string(rule.keepDays) + " days" +
        (names.isEmpty() ? std::string() : ", types " + names.join(QLatin1Char(',')).toStdString());
    listButton_->setEnabled(false);
    apply_->setEnabled(false);
    close_->setEnabled(false);
    const bool ok = worker_.Start([this, o](ProgressReporter& progress, std::stop_token stop) {
        result_ = CleanStore(o, progress, std::move(stop));
    });
    if (!ok) OnFinished();
}

void CRetentionDlg::OnFinished() {
    listButton_->setEnabled(true);
    close_->setEnabled(true);
    list_->clear();
    for (const CleanupItem& item : result_.items) {
        auto* row = new QTreeWidgetItem(list_);
        const SystemTime& t = item.record.time;
        row->setText(0, QString::asprintf("%04d-%02d-%02d %02d:%02d", t.year, t.month, t.day,
                                          t.hour, t.minute));
        row->setText(1, QString::fromStdU16String(FieldText(item.record.number)));
        row->setText(2, QString::fromStdString(item.file));
        if (applying_)
            row->setText(3, item.cleared ? Lang(474) : QString::fromStdString(item.reason));
    }
    list_->header()->resizeSections(QHeaderView::ResizeToContents);
    QString text = applying_ ? Lang(475).arg(result_.taken).arg(result_.failed)
                             : Lang(476).arg(result_.items.size());
    if (!result_.error.empty()) text += QStringLiteral(" ") + QString::fromStdString(result_.error);
    status_->setText(text);
    // Listed and something to take: the user may now let it go.
    apply_->setEnabled(!applying_ && result_.error.empty() && !result_.items.empty());
    if (applying_ && result_.taken > 0 && services_.scheduleBackupReload)
        services_.scheduleBackupReload();
    emit RunFinished();
}

void CRetentionDlg::done(int result) {
    if (worker_.Running()) return;
    QDialog::done(result);
}

}  // namespace lk::gui
