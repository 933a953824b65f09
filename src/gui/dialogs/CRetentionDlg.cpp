#include "dialogs/CRetentionDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <ctime>

#include "app/Settings.h"
#include "backup/StoreRetention.h"
#include "platform/TextCodec.h"
#include "support/GuiText.h"
#include "card/BackupStore.h"
#include "notes/CallNotes.h"

namespace lk::gui {

CRetentionDlg::CRetentionDlg(std::filesystem::path backupPath, int family, DialogServices services,
                             QWidget* parent)
    : QDialog(parent),
      backupPath_(std::move(backupPath)),
      services_(std::move(services)),
      worker_(this),
      family_(new QComboBox(this)),
      days_(new QSpinBox(this)),
      unit_(new QComboBox(this)),
      incoming_(new QCheckBox(Lang(468), this)),
      missed_(new QCheckBox(Lang(469), this)),
      outgoing_(new QCheckBox(Lang(470), this)),
      afterBackup_(new QCheckBox(Lang(843), this)),
      list_(new QTreeWidget(this)),
      status_(new QLabel(this)),
      listButton_(new QPushButton(Lang(471), this)),
      apply_(new QPushButton(Lang(472), this)) {
    setObjectName(QStringLiteral("retentionDlg"));
    setWindowTitle(Lang(465));
    days_->setObjectName(QStringLiteral("days"));
    unit_->setObjectName(QStringLiteral("unit"));
    afterBackup_->setObjectName(QStringLiteral("afterBackup"));
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
    row->addWidget(new QLabel(Lang(840), this));
    days_->setRange(0, 36500);
    days_->setValue(RetentionDays());
    row->addWidget(days_);
    unit_->addItem(Lang(841));
    unit_->addItem(Lang(842));
    unit_->setToolTip(Lang(844));
    row->addWidget(unit_);
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
    afterBackup_->setToolTip(Lang(845));
    top->addWidget(afterBackup_);
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
    connect(unit_, &QComboBox::currentIndexChanged, this, &CRetentionDlg::RuleChanged);
    connect(family_, &QComboBox::currentIndexChanged, this, &CRetentionDlg::LoadStoreRule);
    connect(afterBackup_, &QCheckBox::toggled, this, &CRetentionDlg::OnAfterBackupToggled);
    connect(listButton_, &QPushButton::clicked, this, &CRetentionDlg::OnList);
    connect(apply_, &QPushButton::clicked, this, &CRetentionDlg::OnApply);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    connect(&worker_, &DialogWorker::Finished, this, &CRetentionDlg::OnFinished);
    LoadStoreRule();
}

CRetentionDlg::~CRetentionDlg() {
    worker_.StopAndJoin();
}

void CRetentionDlg::SetKeepDays(int days) {
    unit_->setCurrentIndex(0);
    days_->setValue(days);
}
void CRetentionDlg::SetKeepMonths(int months) {
    unit_->setCurrentIndex(1);
    days_->setValue(months);
}
void CRetentionDlg::SetAfterBackup(bool on) {
    afterBackup_->setChecked(on);
}
bool CRetentionDlg::AfterBackup() const {
    return afterBackup_->isChecked();
}

// The store's own rule, where it has one; the days last used on this PC
// otherwise.
void CRetentionDlg::LoadStoreRule() {
    loading_ = true;
    const StoreRetentionRead read = ReadStoreRetention(backupPath_, family_->currentIndex());
    const StoreRetention& r = read.retention;
    const RetentionRule& rule = r.afterBackup && r.hasConfirmed ? r.confirmed : r.rule;
    if (r.hasRule || r.hasConfirmed) {
        unit_->setCurrentIndex(rule.keepMonths > 0 ? 1 : 0);
        days_->setValue(rule.keepMonths > 0 ? rule.keepMonths : rule.keepDays);
        const auto has = [&rule](int type) {
            return rule.types.empty() ||
                   std::find(rule.types.begin(), rule.types.end(), type) != rule.types.end();
        };
        incoming_->setChecked(has(Incoming));
        missed_->setChecked(has(Missed));
        outgoing_->setChecked(has(Outgoing));
    }
    afterBackup_->setChecked(r.afterBackup);
    afterBackup_->setEnabled(r.afterBackup);
    if (!read.error.empty()) status_->setText(QString::fromStdString(read.error));
    loading_ = false;
    apply_->setEnabled(false);
}

void CRetentionDlg::OnAfterBackupToggled(bool on) {
    if (loading_) return;
    const StoreRetentionWrite set =
        SetRetentionAfterBackup(backupPath_, family_->currentIndex(), Rule(), on);
    if (!set.ok) {
        status_->setText(QString::fromStdString(set.error));
        if (on) {
            const QSignalBlocker quiet(afterBackup_);
            afterBackup_->setChecked(false);
        }
        return;
    }
    status_->setText(on ? Lang(849).arg(QString::fromStdString(RetentionRuleText(Rule())))
                        : QString());
}
int CRetentionDlg::ListedCount() const {
    return list_->topLevelItemCount();
}
QString CRetentionDlg::StatusText() const {
    return status_->text();
}

// A changed rule was not listed: nothing may go on its word, now or after
// a backup. A rule already running after backups keeps running as it was
// confirmed until a listing of the new one is confirmed.
void CRetentionDlg::RuleChanged() {
    if (loading_) return;
    apply_->setEnabled(false);
    if (!afterBackup_->isChecked()) afterBackup_->setEnabled(false);
}

RetentionRule CRetentionDlg::Rule() const {
    RetentionRule rule;
    if (unit_->currentIndex() == 1)
        rule.keepMonths = days_->value();
    else
        rule.keepDays = days_->value();
    if (!(incoming_->isChecked() && missed_->isChecked() && outgoing_->isChecked())) {
        const std::pair<QCheckBox*, int> boxes[] = {
            {incoming_, Incoming}, {missed_, Missed}, {outgoing_, Outgoing}};
        for (const auto& [box, type] : boxes)
            if (box->isChecked()) rule.types.push_back(type);
        if (rule.types.empty()) rule.types.push_back(-1);  // none: nothing goes
    }
    return rule;
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
    RetentionRule rule = Rule();
    // The rule is kept for the next time, here and in the store; a file that
    // cannot be written costs only that.
    if (!apply) {
        if (rule.keepMonths == 0) static_cast<void>(SetRetentionDays(rule.keepDays));
        static_cast<void>(RememberRetentionRule(backupPath_, family_->currentIndex(), rule));
    }
    CleanupOptions o;
    o.backupPath = backupPath_;
    o.devType = family_->currentIndex();
    o.apply = apply;
    const std::time_t now = std::time(nullptr);
    rule.isTagged = TaggedCallsOf(StoreRoot(backupPath_, o.devType));
    o.select = [rule, now](const CallRecord& r) { return RetentionSelects(r, rule, now); };
    o.action = "retention";
    // The same words as the command line's, so that either's listing counts.
    o.detail = RetentionRuleText(rule);
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
    // Seen listed, the rule may also run after each backup.
    if (!applying_ && result_.storeFound && result_.error.empty()) afterBackup_->setEnabled(true);
    if (applying_ && result_.taken > 0 && services_.scheduleBackupReload)
        services_.scheduleBackupReload();
    emit RunFinished();
}

void CRetentionDlg::done(int result) {
    if (worker_.Running()) return;
    QDialog::done(result);
}

}  // namespace lk::gui
