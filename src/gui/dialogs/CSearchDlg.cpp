#include "dialogs/CSearchDlg.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/TextCodec.h"
#include "support/GuiText.h"
#include "support/SettingsWrite.h"

namespace lk::gui {
namespace {

SystemTime ToSystemTime(const QDateTime& t) {
    const QDate d = t.date();
    const QTime h = t.time();
    SystemTime s;
    s.year = static_cast<std::uint16_t>(d.year());
    s.month = static_cast<std::uint16_t>(d.month());
    s.day = static_cast<std::uint16_t>(d.day());
    s.hour = static_cast<std::uint16_t>(h.hour());
    s.minute = static_cast<std::uint16_t>(h.minute());
    s.second = static_cast<std::uint16_t>(h.second());
    return s;
}

// Text numbers of the five type boxes.
constexpr int kTypeText[kSearchTypeBoxCount] = {18, 20, 19, 21, 24};

}  // namespace

namespace {

// Every field at its full width ("d" as "dd", "yy" as "yyyy"): typed digits
// then fill a field and move on to the next, and a year is typed whole.
QString FullWidthFields(const QString& format) {
    QString out;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        qsizetype run = 1;
        while (i + run < format.size() && format[i + run] == c)
            ++run;
        const bool field = c == QLatin1Char('d') || c == QLatin1Char('M') ||
                           c == QLatin1Char('h') || c == QLatin1Char('H') ||
                           c == QLatin1Char('m') || c == QLatin1Char('s');
        if (c == QLatin1Char('y'))
            out += QStringLiteral("yyyy");
        else if (field && run == 1)
            out += QString(2, c);
        else
            out += format.mid(i, run);
        i += run;
    }
    return out;
}

}  // namespace

QString PickerFormat(const QLocale& locale) {
    const QString date = FullWidthFields(locale.dateFormat(QLocale::ShortFormat));
    QString time = FullWidthFields(locale.timeFormat(QLocale::LongFormat));
    // The picker cannot edit a time zone; a search needs seconds.
    time.remove(QLatin1Char('t')).replace(QLatin1String("  "), QLatin1String(" "));
    time = time.trimmed();
    const bool usable = date.contains(QLatin1Char('y')) && date.contains(QLatin1Char('M')) &&
                        date.contains(QLatin1Char('d')) && time.contains(QLatin1Char('m')) &&
                        (time.contains(QLatin1Char('h')) || time.contains(QLatin1Char('H')));
    if (!usable) return QStringLiteral("yyyy/MM/dd hh:mm:ss");
    return date + QLatin1Char(' ') + time;
}

CSearchDlg::CSearchDlg(RecordSession& session, int page, SearchTargets targets,
                       DialogServices services, QWidget* parent)
    : QDialog(parent),
      session_(session),
      page_(page),
      targets_(std::move(targets)),
      services_(std::move(services)),
      worker_(this),
      dateBox_(new QCheckBox(Lang(11), this)),
      from_(new QDateTimeEdit(QDateTime::currentDateTime(), this)),
      to_(new QDateTimeEdit(QDateTime::currentDateTime(), this)),
      numberBox_(new QCheckBox(Lang(12), this)),
      number_(new QLineEdit(this)),
      typeBox_(new QCheckBox(Lang(16), this)),
      search_(new QPushButton(Lang(30), this)),
      exit_(new QPushButton(Lang(31), this)),
      bar_(new QProgressBar(this)) {
    setObjectName(QStringLiteral("searchDlg"));
    setWindowTitle(Lang(7));
    dateBox_->setObjectName(QStringLiteral("dateBox"));
    from_->setObjectName(QStringLiteral("from"));
    to_->setObjectName(QStringLiteral("to"));
    numberBox_->setObjectName(QStringLiteral("numberBox"));
    number_->setObjectName(QStringLiteral("number"));
    typeBox_->setObjectName(QStringLiteral("typeBox"));
    search_->setObjectName(QStringLiteral("search"));
    exit_->setObjectName(QStringLiteral("exit"));
    bar_->setObjectName(QStringLiteral("progress"));

    auto* top = new QVBoxLayout(this);
    // Each condition's box heads its fields, which sit indented below it.
    auto* dateGroup = new QGridLayout;
    dateGroup->setColumnMinimumWidth(0, 14);
    dateGroup->addWidget(dateBox_, 0, 0, 1, 3);
    dateGroup->addWidget(new QLabel(Lang(28), this), 1, 1);
    dateGroup->addWidget(from_, 1, 2);
    dateGroup->addWidget(new QLabel(Lang(29), this), 2, 1);
    dateGroup->addWidget(to_, 2, 2);
    dateGroup->setRowMinimumHeight(3, 6);
    dateGroup->addWidget(numberBox_, 4, 0, 1, 3);
    dateGroup->addWidget(new QLabel(Lang(12), this), 5, 1);
    dateGroup->addWidget(number_, 5, 2);
    dateGroup->setRowMinimumHeight(6, 6);
    dateGroup->setColumnStretch(2, 1);
    top->addLayout(dateGroup);
    top->addWidget(typeBox_);
    auto* typeRow = new QGridLayout;
    typeRow->setContentsMargins(14, 0, 0, 0);
    for (std::size_t i = 0; i < kSearchTypeBoxCount; ++i) {
        types_[i] = new QCheckBox(Lang(kTypeText[i]), this);
        types_[i]->setObjectName(QStringLiteral("type%1").arg(i));
        typeRow->addWidget(types_[i], static_cast<int>(i / 3), static_cast<int>(i % 3));
    }
    top->addLayout(typeRow);
    bar_->setTextVisible(false);
    bar_->hide();
    top->addWidget(bar_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    search_->setDefault(true);
    buttons->addWidget(search_);
    buttons->addWidget(exit_);
    top->addLayout(buttons);

    const QString format = PickerFormat(QLocale());
    for (QDateTimeEdit* p : {from_, to_}) {
        p->setDisplayFormat(format);
        // Typed, or picked from a calendar.
        p->setCalendarPopup(true);
        p->setMinimumWidth(240);
    }
    number_->setMaxLength(50);

    ApplyTypeBoxes(InitialTypeBoxes(page_));
    types_[BoxMessage]->setEnabled(false);
    typeBox_->setChecked(true);
    const SearchSettings saved = ReadSearchSettings();
    dateBox_->setChecked(saved.dateCond);
    numberBox_->setChecked(saved.numberCond);
    number_->setText(QString::fromStdU16String(saved.number));
    OnDateBox();
    OnNumberBox();

    connect(dateBox_, &QCheckBox::clicked, this, &CSearchDlg::OnDateBox);
    connect(numberBox_, &QCheckBox::clicked, this, &CSearchDlg::OnNumberBox);
    connect(typeBox_, &QCheckBox::clicked, this, &CSearchDlg::OnTypeBox);
    connect(search_, &QPushButton::clicked, this, &CSearchDlg::OnSearch);
    connect(exit_, &QPushButton::clicked, this, &CSearchDlg::reject);
    connect(&worker_, &DialogWorker::Finished, this, &CSearchDlg::OnFinished);
    connect(&worker_.Progress(), &WorkerProgress::Began, this,
            [this](int total) { bar_->setRange(0, std::max(0, total)); });
    connect(&worker_.Progress(), &WorkerProgress::Stepped, this,
            [this](int done, int, const QString&) { bar_->setValue(done); });
    worker_.Progress().SetStepEvery(64);
    worker_.Progress().SetStepHook(services_.workerStep);
}

CSearchDlg::~CSearchDlg() {
    worker_.StopAndJoin();
}

TypeBoxState CSearchDlg::CurrentTypeBoxes() const {
    TypeBoxState s;
    for (std::size_t i = 0; i < kSearchTypeBoxCount; ++i) {
        s.enabled[i] = types_[i]->isEnabled();
        s.ticked[i] = types_[i]->isChecked();
    }
    return s;
}

void CSearchDlg::ApplyTypeBoxes(const TypeBoxState& s) {
    for (std::size_t i = 0; i < kSearchTypeBoxCount; ++i) {
        types_[i]->setEnabled(s.enabled[i] && i != BoxMessage);
        types_[i]->setChecked(s.ticked[i]);
    }
}

void CSearchDlg::OnDateBox() {
    from_->setEnabled(dateBox_->isChecked());
    to_->setEnabled(dateBox_->isChecked());
}

void CSearchDlg::OnNumberBox() {
    number_->setEnabled(numberBox_->isChecked());
}

void CSearchDlg::OnTypeBox() {
    ApplyTypeBoxes(TypeBoxesAfterGroupClick(page_, typeBox_->isChecked(), CurrentTypeBoxes()));
}

SearchConditions CSearchDlg::ConditionsFromControls() const {
    SearchConditions c;
    c.dateCond = dateBox_->isChecked();
    c.start = ToSystemTime(from_->dateTime());
    c.end = ToSystemTime(to_->dateTime());
    c.numberCond = numberBox_->isChecked();
    c.number = number_->text().toStdU16String();
    c.typeCond = typeBox_->isChecked();
    for (std::size_t i = 0; i < kSearchTypeBoxCount; ++i)
        c.boxes[i] = types_[i]->isChecked();
    return c;
}

void CSearchDlg::SetSearching(bool searching) {
    for (QWidget* w : std::initializer_list<QWidget*>{dateBox_, from_, to_, numberBox_, number_,
                                                      typeBox_, search_})
        w->setEnabled(!searching);
    for (std::size_t i = 0; i < BoxMessage; ++i)
        types_[i]->setEnabled(!searching);
    exit_->setEnabled(!worker_.ClosePending());
}

void CSearchDlg::OnSearch() {
    if (worker_.Running()) return;
    if (targets_.showResultsPage) targets_.showResultsPage();
    // The controls are read here, on the UI thread, and handed over.
    const SearchConditions conditions = EffectiveConditions(ConditionsFromControls());
    // The search runs all the same; only its conditions are not kept for next time.
    ReportSettingsWrite(WriteSearchSettings(conditions), this);
    if (!AnyCondition(conditions)) return;
    // The card watch must not free the list while it is walked.
    claim_ = session_.TryClaim();
    if (!claim_) return;
    if (targets_.clearResults) targets_.clearResults();
    bar_->setRange(0, 0);
    bar_->setValue(0);
    bar_->show();
    SetSearching(true);
    const bool ok =
        worker_.Start([this, conditions](ProgressReporter& progress, std::stop_token stop) {
            result_ = SearchThread(
                session_.Shown(), conditions,
                [this](const CallRecord& r) {
                    // The list owns its records as mutable; the walk only reads.
                    auto* record = const_cast<CallRecord*>(&r);
                    worker_.Post([this, record] {
                        if (targets_.addResult) targets_.addResult(record);
                    });
                },
                progress, stop);
        });
    if (!ok) {
        claim_.Release();
        QDialog::done(Accepted);
    }
}

void CSearchDlg::OnFinished() {
    claim_.Release();
    emit SearchFinished();
    if (worker_.ClosePending()) return;
    bar_->hide();
    SetSearching(false);
}

void CSearchDlg::done(int result) {
    if (worker_.StopThen([this, result] { done(result); })) {
        exit_->setEnabled(false);
        return;
    }
    QDialog::done(result);
}

}  // namespace lk::gui
