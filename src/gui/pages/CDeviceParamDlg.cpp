#include "pages/CDeviceParamDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/Decimal.h"
#include "support/DeviceLibraryLoader.h"
#include "support/GuiText.h"
#include "support/MessageBox.h"

namespace lk::gui {
namespace {

using namespace DeviceParam;

// Which control shows which field of the block.
struct FieldControl {
    std::size_t offset;
    int control;  // 0: one of the pickers
};
constexpr FieldControl kFieldControls[] = {
    {kClockFromCalls, 1015},       {kLanguage, 1045},
    {kTriggerLevel, 1030},         {kTriggerEndSeconds, 1032},
    {kLineRecordingMode, 1028},    {kMicRecordingMode, 1026},
    {kLongestRecording, 1034},     {kShortestRecording, 1036},
    {kLoopRecording, 1041},        {kStorageReminderHours, 1042},
    {kSpaceKeptFreePercent, 1043}, {kNoticeTone, 1044},
    {kDateFormat, 1010},           {kTimeFormat, 1013},
    {kBrightness, 1021},           {kDialOutWaitSeconds, 1019},
    {kOffHookVolts, 1065},         {kAnsweringMachine, 1050},
    {kMonitoring, 1074},           {kLongestMessage, 1052},
    {kRingsBeforeAnswer, 1058},    {kRemoteRings, 1060},
    {kRemoteCode1, 1068},          {kRemoteCode2, 1070},
    {kRemoteCode3, 1072},          {kManualRecordingMode, 1048},
};

int ControlOf(std::size_t offset) {
    for (const FieldControl& f : kFieldControls)
        if (f.offset == offset) return f.control;
    return 0;
}

QStringList Texts(std::initializer_list<int> numbers) {
    QStringList l;
    for (int n : numbers)
        l << Lang(n);
    return l;
}

QStringList Numbers(int from, int to) {
    QStringList l;
    for (int i = from; i <= to; ++i)
        l << QString::number(i);
    return l;
}

QStringList ListItems(int id) {
    switch (id) {
        case 1015:
        case 1044:
        case 1074:
            return Texts({56, 55});
        case 1045:
            return Texts({64, 65, 66, 171});
        case 1028:
            return Texts({59, 60, 23});
        case 1026:
            return Texts({59, 60});
        case 1034:
            return Texts({67, 68, 69, 70, 71, 72, 73});
        case 1036:
            return Texts({67, 74, 75, 76, 77, 78});
        case 1041:
            return Texts({55, 56});
        case 1010:
            return Texts({61, 62, 63});
        case 1013:
            return Texts({57, 58});
        case 1021:
            return Numbers(1, 6);
        case 1050:
            return Texts({118, 117});
        case 1052:
            return Texts({119, 120, 121});
        case 1058:
            return QStringList{Lang(122)} + Numbers(2, 7);
        case 1060:
            return Numbers(5, 20);
        case 1068:
        case 1070:
        case 1072:
            return Numbers(0, 9);
        case 1048:
            return Texts({224, 225});
        default:
            return {};
    }
}

bool IsEdit(int id) {
    switch (id) {
        case 1030:
        case 1032:
        case 1042:
        case 1043:
        case 1019:
        case 1065:
            return true;
        default:
            return false;
    }
}

// The number fields: their label and the values the recorder takes.
struct EditRange {
    int control;
    int label;
    int low, high;
};
constexpr EditRange kEditRanges[] = {
    {1019, 37, 0, 20}, {1065, 41, 15, 30}, {1030, 45, 1, 10},
    {1032, 46, 5, 55}, {1042, 50, 5, 99},  {1043, 51, 5, 40},
};

// One row of a group: label text, control id, unit text.
struct Row {
    int label;  // string number
    int control;
    QString unit;
};

}  // namespace

QString DeviceDateFormat(int index) {
    switch (index) {
        case 1:
            return QStringLiteral("MM / dd / yyyy");
        case 2:
            return QStringLiteral("dd / MM / yyyy");
        default:
            return QStringLiteral("yyyy / MM / dd");
    }
}

QString DeviceTimeFormat(int index) {
    // The 12-hour form names its half of the day: without it an afternoon
    // could not be told from the morning, nor set.
    return index == 1 ? QStringLiteral("HH:mm") : QStringLiteral("hh:mm AP");
}

CDeviceParamDlg::CDeviceParamDlg(DeviceLibraryLoader& device, QWidget* parent)
    : CScrollDlg(parent), device_(device) {
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::Base, Qt::white);
    setPalette(white);
    viewport()->setAutoFillBackground(true);
    viewport()->setPalette(white);

    QWidget* page = BuildPage();
    page->setAutoFillBackground(true);
    page->setPalette(white);
    page->resize(page->sizeHint());
    SetPage(page);

    timer_.setInterval(kPendingMs);
    connect(&timer_, &QTimer::timeout, this, [this] { OnTimer(TimerPending); });

    SetDateFormat(0);
    SetTimeFormat(0);
    EnableAll(false);
}

QWidget* CDeviceParamDlg::BuildPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("deviceParamsPage"));

    date_ = new QDateEdit(QDate::currentDate(), page);
    date_->setMinimumDate(QDate(1601, 1, 1));
    date_->setMaximumDate(QDate(9999, 12, 31));
    time_ = new QTimeEdit(QTime::currentTime(), page);
    controls_ = {date_, time_};

    // A list cleared for a read keeps the picker's format until its answer.
    auto control = [&](int id) -> QWidget* {
        if (id == IdDatePicker) return date_;
        if (id == IdTimePicker) return time_;
        if (IsEdit(id)) {
            auto* e = new QLineEdit(page);
            e->setObjectName(QStringLiteral("edit%1").arg(id));
            e->setMaximumWidth(90);
            edits_[id] = e;
            controls_.push_back(e);
            return e;
        }
        auto* c = new QComboBox(page);
        c->setObjectName(QStringLiteral("list%1").arg(id));
        c->addItems(ListItems(id));
        c->setCurrentIndex(-1);
        lists_[id] = c;
        controls_.push_back(c);
        if (id == 1010)
            connect(c, &QComboBox::currentIndexChanged, this, [this](int i) {
                if (i >= 0) SetDateFormat(i);
            });
        if (id == 1013)
            connect(c, &QComboBox::currentIndexChanged, this, [this](int i) {
                if (i >= 0) SetTimeFormat(i);
            });
        return c;
    };
    const QString seconds = Lang(80);
    auto group = [&](int title, std::initializer_list<Row> rows) {
        auto* box = new QGroupBox(Lang(title), page);
        auto* grid = new QGridLayout(box);
        grid->setHorizontalSpacing(10);
        int r = 0;
        for (const Row& row : rows) {
            grid->addWidget(new QLabel(Lang(row.label), box), r, 0);
            grid->addWidget(control(row.control), r, 1);
            if (!row.unit.isEmpty()) grid->addWidget(new QLabel(row.unit, box), r, 2);
            ++r;
        }
        grid->setColumnStretch(1, 1);
        grid->setColumnMinimumWidth(1, 150);
        grid->setColumnMinimumWidth(2, 90);
        return box;
    };

    QGroupBox* general = group(32, {{33, IdDatePicker, {}},
                                    {34, IdTimePicker, {}},
                                    {35, 1015, {}},
                                    {36, 1045, {}},
                                    {37, 1019, QStringLiteral("%1 (0-20)").arg(seconds)},
                                    {38, 1021, {}},
                                    {39, 1010, {}},
                                    {40, 1013, {}},
                                    {41, 1065, QStringLiteral("V (15-30)")}});
    QGroupBox* recording = group(42, {{43, 1026, {}},
                                      {44, 1028, {}},
                                      {45, 1030, QStringLiteral("(1-10)")},
                                      {46, 1032, QStringLiteral("%1 (5-55)").arg(seconds)},
                                      {47, 1034, {}},
                                      {48, 1036, {}},
                                      {49, 1041, {}},
                                      {50, 1042, QStringLiteral("%1 (5-99)").arg(Lang(79))},
                                      {51, 1043, QStringLiteral("% (5-40)")},
                                      {52, 1044, {}},
                                      {223, 1048, {}}});
    QGroupBox* machine = group(123, {{125, 1050, {}},
                                     {126, 1074, {}},
                                     {127, 1052, {}},
                                     {128, 1058, {}},
                                     {129, 1060, {}},
                                     {130, 1068, {}},
                                     {131, 1070, {}},
                                     {132, 1072, {}}});

    auto* read = new QPushButton(Lang(53), page);
    auto* update = new QPushButton(Lang(54), page);
    for (auto [id, b] : {std::pair{int(IdRead), read}, {int(IdUpdate), update}}) {
        b->setObjectName(QStringLiteral("button%1").arg(id));
        b->setAutoDefault(false);
        b->setMinimumWidth(110);
        buttons_[id] = b;
        controls_.push_back(b);
    }
    connect(read, &QPushButton::clicked, this, &CDeviceParamDlg::OnRead);
    connect(update, &QPushButton::clicked, this, &CDeviceParamDlg::OnUpdate);

    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(12, 12, 12, 12);
    grid->setSpacing(12);
    grid->addWidget(general, 0, 0);
    grid->addWidget(machine, 1, 0);
    grid->addWidget(recording, 0, 1, 2, 1, Qt::AlignTop);
    auto* buttons = new QHBoxLayout;
    // What became of the last Update, beside the buttons.
    status_ = new QLabel(page);
    status_->setObjectName(QStringLiteral("deviceStatus"));
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);
    buttons->addWidget(status_, 1);
    buttons->addWidget(read);
    buttons->addWidget(update);
    grid->addLayout(buttons, 2, 0, 1, 2);
    grid->setRowStretch(3, 1);

    for (QWidget* w : controls_)
        w->installEventFilter(this);
    page->installEventFilter(this);
    return page;
}

QComboBox* CDeviceParamDlg::List(int id) const {
    auto it = lists_.find(id);
    return it == lists_.end() ? nullptr : it->second;
}
QLineEdit* CDeviceParamDlg::Edit(int id) const {
    auto it = edits_.find(id);
    return it == edits_.end() ? nullptr : it->second;
}
QPushButton* CDeviceParamDlg::Button(int id) const {
    auto it = buttons_.find(id);
    return it == buttons_.end() ? nullptr : it->second;
}

void CDeviceParamDlg::EnableAll(bool on) {
    for (QWidget* w : controls_)
        w->setEnabled(on);
}

void CDeviceParamDlg::ClearAll() {
    for (auto& [id, c] : lists_)
        c->setCurrentIndex(-1);
    for (auto& [id, e] : edits_)
        e->clear();
}

void CDeviceParamDlg::SetDateFormat(int index) {
    date_->setDisplayFormat(DeviceDateFormat(index));
}
void CDeviceParamDlg::SetTimeFormat(int index) {
    time_->setDisplayFormat(DeviceTimeFormat(index));
}

ClockParts CDeviceParamDlg::Clock() const {
    const QDate d = date_->date();
    const QTime t = time_->time();
    return {d.year(), d.month(), d.day(), t.hour(), t.minute()};
}

void CDeviceParamDlg::SetClock(const ClockParts& c) {
    date_->setDate(QDate(c.year, c.month, c.day));
    time_->setTime(QTime(c.hour, c.minute));
}

void CDeviceParamDlg::OnDeviceNotify(unsigned w, unsigned l) {
    const DeviceNotify n = DecodeDeviceNotify(w, l);
    switch (n.kind) {
        case DeviceNotifyKind::Connection:
            OnConnectionChanged(n.connected);
            break;
        case DeviceNotifyKind::Value:
            OnValue(n.number, n.value);
            break;
        case DeviceNotifyKind::WriteDone:
            OnWriteDone(n.requestId);
            break;
        case DeviceNotifyKind::Other:
            break;
    }
}

void CDeviceParamDlg::OnConnectionChanged(bool connected) {
    timer_.stop();
    EnableAll(connected);
    if (connected) QMetaObject::invokeMethod(this, &CDeviceParamDlg::OnRead, Qt::QueuedConnection);
}

void CDeviceParamDlg::OnValue(int number, int value) {
    const auto slot = SlotForAnswer(number);
    if (!slot) return;
    switch (slot->shape) {
        case ParamShape::Year:
        case ParamShape::Month:
        case ParamShape::Day:
        case ParamShape::Hour:
        case ParamShape::Minute:
            SetClock(ApplyClockAnswer(Clock(), slot->shape, value));
            break;
        default: {
            const int id = ControlOf(slot->offset);
            const std::int32_t shown = ShownFromDeviceValue(slot->shape, value);
            if (QLineEdit* e = Edit(id)) {
                e->setText(QString::number(shown));
            } else if (QComboBox* c = List(id)) {
                // A position the list does not have leaves it without a selection.
                c->setCurrentIndex(shown >= 0 && shown < c->count() ? shown : -1);
            }
            break;
        }
    }
    if (number == kLastReadAnswer) {
        timer_.stop();
        EnableAll(true);
    }
}

void CDeviceParamDlg::OnWriteDone(std::uint32_t requestId) {
    if (requestId != requestId_) return;
    timer_.stop();
    EnableAll(true);
    if (writing_) SetStatus(Lang(356));
    writing_ = false;
}

QString CDeviceParamDlg::StatusText() const {
    return status_->text();
}

void CDeviceParamDlg::SetStatus(const QString& text) {
    status_->setText(text);
    status_->setToolTip(text);
}

std::optional<CDeviceParamDlg::Problem> CDeviceParamDlg::RangeProblem() const {
    for (const EditRange& r : kEditRanges) {
        const QLineEdit* e = Edit(r.control);
        if (!e) continue;
        bool ok = false;
        const int v = e->text().trimmed().toInt(&ok);
        if (ok && v >= r.low && v <= r.high) continue;
        return Problem{r.control, QStringLiteral("%1 %2\n%3 %4-%5")
                                      .arg(Lang(359), Lang(r.label))
                                      .arg(Lang(360))
                                      .arg(r.low)
                                      .arg(r.high)};
    }
    return std::nullopt;
}

void CDeviceParamDlg::OnRead() {
    if (device_.ReadAll() == 0) return;
    ClearAll();
    EnableAll(false);
    timer_.start(kPendingMs);
}

tagDeviceParameters CDeviceParamDlg::CollectParameters() const {
    tagDeviceParameters p{};
    const ClockParts clock = Clock();
    for (const DeviceParamSlot& s : DeviceParamSlots()) {
        std::int32_t shown = 0;
        switch (s.shape) {
            case ParamShape::Year:
                shown = clock.year;
                break;
            case ParamShape::Month:
                shown = clock.month;
                break;
            case ParamShape::Day:
                shown = clock.day;
                break;
            case ParamShape::Hour:
                shown = clock.hour;
                break;
            case ParamShape::Minute:
                shown = clock.minute;
                break;
            default: {
                const int id = ControlOf(s.offset);
                if (const QLineEdit* e = Edit(id)) {
                    const QString text = e->text();
                    shown =
                        AtoiOf(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                                   static_cast<std::size_t>(text.size())));
                } else if (const QComboBox* c = List(id)) {
                    shown = c->currentIndex();
                }
                break;
            }
        }
        SetDeviceParameter(p, s.offset, DeviceValueFromShown(s.shape, shown));
    }
    return p;
}

void CDeviceParamDlg::OnUpdate() {
    // A value outside what the recorder takes is never sent: it would be
    // stored as some other value (an empty field as 0).
    if (const auto problem = RangeProblem()) {
        SetStatus(Lang(358));
        ShowMessage(this, problem->text, Lang(54), QMessageBox::Warning);
        if (QLineEdit* e = Edit(problem->control)) {
            e->setFocus();
            e->selectAll();
        }
        return;
    }
    tagDeviceParameters p = CollectParameters();
    if (device_.WriteAll(p, requestId_) == 0 || requestId_ == kNoDeviceRequest) {
        SetStatus(Lang(357));
        return;
    }
    writing_ = true;
    SetStatus(QString());
    EnableAll(false);
    timer_.start(kPendingMs);
}

void CDeviceParamDlg::OnTimer(int id) {
    if (id != TimerPending) return;
    timer_.stop();
    EnableAll(true);
    // No acknowledgement: the recorder may or may not hold the new values.
    if (writing_) SetStatus(Lang(361));
    writing_ = false;
}

bool CDeviceParamDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) return true;
    }
    return CScrollDlg::eventFilter(watched, event);
}

void CDeviceParamDlg::keyPressEvent(QKeyEvent* e) {
    const int key = e->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
        e->accept();
        return;
    }
    CScrollDlg::keyPressEvent(e);
}

}  // namespace lk::gui
