#include "player/CPlayerDlg.h"

#include <algorithm>

#include <QFontMetrics>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <chrono>
#include <cmath>

#include <fcntl.h>

#include "app/Settings.h"
#include "card/RecordCommands.h"
#include "playback/AudioOutput.h"
#include "player/CTimeRuler.h"
#include "player/CWaveView.h"
#include "support/GuiText.h"
#include "support/MessageBox.h"
#include "support/SettingsWrite.h"
#include "widgets/CSortListCtrl.h"

namespace lk::gui {

namespace {
// Left to right, with their captions.
constexpr std::array<std::pair<int, int>, 6> kButtons{{
    {kCmdPrevious, 88},
    {kCmdPlay, 189},
    {kCmdPlaySelection, 162},
    {kCmdPlayMarked, 190},
    {kCmdStop, 192},
    {kCmdNext, 89},
}};
// The row above them: skip back and forward, slower and faster.
constexpr std::array<int, 4> kExtras{kCmdSkipBack, kCmdSkipForward, kCmdSlower, kCmdFaster};
constexpr int kRowHeight = 25;
constexpr int kVolumeStep = 10;
constexpr int kTickTimer = 10;
constexpr int kDeferredTimer = 11;

int CaptionOf(int id) {
    for (auto [b, caption] : kButtons)
        if (b == id) return caption;
    return 0;
}
}  // namespace

CPlayerDlg::CPlayerDlg(AudioOutput& output, std::filesystem::path scratch, QWidget* parent)
    : QWidget(parent), output_(output), engine_(output, *this, std::move(scratch)) {
    setObjectName(QStringLiteral("playerPane"));
    wave_ = new CWaveView(this);
    ruler_ = new CTimeRuler(this);
    for (std::size_t k = 0; k < kButtons.size(); ++k) {
        auto* b = new QPushButton(Lang(kButtons[k].second), this);
        b->setToolTip(b->text());
        // Reached by Tab, but a click leaves the focus on the list.
        b->setFocusPolicy(Qt::TabFocus);
        b->installEventFilter(this);
        const int id = kButtons[k].first;
        connect(b, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
        buttons_[k] = b;
    }
    for (std::size_t k = 0; k < kExtras.size(); ++k) {
        const int id = kExtras[k];
        auto* b = new QPushButton(this);
        b->setFocusPolicy(Qt::TabFocus);
        b->installEventFilter(this);
        connect(b, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
        extras_[k] = b;
    }
    speedLabel_ = new QLabel(this);
    speedLabel_->setAlignment(Qt::AlignCenter);
    volumeLabel_ = new QLabel(Lang(617), this);
    volumeLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    volume_ = new QSlider(Qt::Horizontal, this);
    volume_->setRange(0, 100);
    volume_->setPageStep(kVolumeStep);
    volume_->setFocusPolicy(Qt::TabFocus);
    volume_->setAccessibleName(Lang(617));

    // What the user chose last time.
    skip_ = PlaySkipSeconds();
    engine_.SetRewindOnResume(PlayRewindSeconds());
    engine_.SetLevelTarget(PlayLoudness());
    engine_.SetSpeedTenths(PlaySpeedTenths());
    engine_.SetVolume(PlayVolume());
    volume_->setValue(engine_.Volume());
    connect(volume_, &QSlider::valueChanged, this, &CPlayerDlg::ChangeVolume);
    connect(volume_, &QSlider::sliderReleased, this,
            [this] { (void)ReportSettingsWrite(SetPlayVolume(engine_.Volume()), this); });
    ShowSpeed();

    wave_->SetHint(Lang(366));
    connect(wave_, &CWaveView::WaveSeek, this, &CPlayerDlg::OnWaveSeek);
    connect(wave_, &CWaveView::ViewChanged, ruler_, &CTimeRuler::SetSpan);
    connect(this, &CPlayerDlg::LoadThreadDone, this, &CPlayerDlg::OnLoadThreadDone,
            Qt::QueuedConnection);
    connect(this, &CPlayerDlg::LoadPlayable, this, &CPlayerDlg::OnLoadPlayable,
            Qt::QueuedConnection);
    tick_.setInterval(1000);
    deferred_.setInterval(1000);
    connect(&tick_, &QTimer::timeout, this, [this] { OnTimer(kTickTimer); });
    connect(&deferred_, &QTimer::timeout, this, [this] { OnTimer(kDeferredTimer); });
    clock_.setInterval(100);
    connect(&clock_, &QTimer::timeout, this, &CPlayerDlg::OnClock);
}

CPlayerDlg::~CPlayerDlg() {
    StopTimer(kTickTimer);
    StopTimer(kDeferredTimer);
    loader_.StopAndJoin();
    output_.Reset();
    Unhighlight();
}

QPushButton* CPlayerDlg::Button(int id) const {
    for (std::size_t k = 0; k < kButtons.size(); ++k)
        if (kButtons[k].first == id) return buttons_[k];
    for (std::size_t k = 0; k < kExtras.size(); ++k)
        if (kExtras[k] == id) return extras_[k];
    return nullptr;
}

QString CPlayerDlg::SpeedText() const {
    const int t = engine_.SpeedTenths();
    return QStringLiteral("%1 %2.%3\u00D7").arg(Lang(616)).arg(t / 10).arg(t % 10);
}

void CPlayerDlg::ShowSpeed() {
    // A narrow row shows the speed without its word; the tip says it whole.
    const int t = engine_.SpeedTenths();
    const QString full = SpeedText();
    speedLabel_->setToolTip(full);
    speedLabel_->setText(speedLabel_->fontMetrics().horizontalAdvance(full) >
                                 speedLabel_->width() - 4
                             ? QStringLiteral("%1.%2\u00D7").arg(t / 10).arg(t % 10)
                             : full);
    const QString seconds = QStringLiteral(" %1 s").arg(skip_);
    SetCaption(extras_[0], QStringLiteral("\u00AB") + seconds);
    SetCaption(extras_[1], seconds.trimmed() + QStringLiteral(" \u00BB"));
    SetCaption(extras_[2], QStringLiteral("\u2212"));
    SetCaption(extras_[3], QStringLiteral("+"));
    extras_[0]->setToolTip(Lang(607));
    extras_[1]->setToolTip(Lang(608));
    extras_[2]->setToolTip(Lang(609));
    extras_[3]->setToolTip(Lang(610));
    extras_[2]->setEnabled(engine_.SpeedTenths() > TimeStretcher::kMinTenths);
    extras_[3]->setEnabled(engine_.SpeedTenths() < TimeStretcher::kMaxTenths);
}

void CPlayerDlg::ChangeSpeed(int step) {
    const int before = engine_.SpeedTenths();
    changingSpeed_ = true;
    engine_.SetSpeedTenths(before + step);
    changingSpeed_ = false;
    if (engine_.SpeedTenths() == before) return;
    ShowSpeed();
    (void)ReportSettingsWrite(SetPlaySpeedTenths(engine_.SpeedTenths()), this);
}

void CPlayerDlg::ChangeVolume(int percent) {
    if (percent == engine_.Volume()) return;
    engine_.SetVolume(percent);
    if (volume_->value() != engine_.Volume()) volume_->setValue(engine_.Volume());
    // A drag is kept once, where it ends.
    if (!volume_->isSliderDown()) (void)ReportSettingsWrite(SetPlayVolume(engine_.Volume()), this);
}

bool CPlayerDlg::TimerActive(int id) const {
    return id == kTickTimer ? tickArmed_ : id == kDeferredTimer ? deferredArmed_ : false;
}

void CPlayerDlg::StartTimer(int id) {
    QTimer& t = id == kTickTimer ? tick_ : deferred_;
    // A recorded second lasts less or more than one at other speeds.
    if (id == kTickTimer) tick_.setInterval(engine_.TickMs());
    (id == kTickTimer ? tickArmed_ : deferredArmed_) = true;
    if (!manualTimers_) t.start();
}

void CPlayerDlg::StopTimer(int id) {
    QTimer& t = id == kTickTimer ? tick_ : deferred_;
    (id == kTickTimer ? tickArmed_ : deferredArmed_) = false;
    t.stop();
}

void CPlayerDlg::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    const int cx = width(), cy = height();
    ruler_->setGeometry(2, 2, std::max(0, cx - 4), CTimeRuler::kHeight);
    wave_->setGeometry(2, 2 + CTimeRuler::kHeight, std::max(0, cx - 4),
                       std::max(0, cy - 31 - kRowHeight - CTimeRuler::kHeight));
    // The row above the buttons: skip, speed, volume.
    const int rowY = cy - 28 - kRowHeight;
    const int unit = std::max(0, (cx - 16) / 12);
    int x = 2;
    const auto place = [&](QWidget* w, int width) {
        w->setGeometry(x, rowY, width, kRowHeight);
        x += width + 3;
    };
    place(extras_[0], unit * 2);
    place(extras_[1], unit * 2);
    place(extras_[2], unit);
    place(speedLabel_, unit * 2);
    place(extras_[3], unit);
    place(volumeLabel_, unit * 2);
    place(volume_, std::max(0, cx - 2 - x));
    ShowSpeed();
    // Each button as wide as its longest caption needs, the rest of the row
    // shared evenly: a narrow window cuts no caption while there is room
    // for all of them.
    const QFontMetrics fm(buttons_[0]->font());
    std::array<int, 6> need{};
    int needed = 0;
    for (std::size_t k = 0; k < buttons_.size(); ++k) {
        const int id = kButtons[k].first;
        int text = fm.horizontalAdvance(Lang(CaptionOf(id)));
        if (id == kCmdPlay || id == kCmdPlaySelection || id == kCmdPlayMarked)
            text = std::max(text, fm.horizontalAdvance(Lang(191)));
        need[k] = text + 14;
        needed += need[k];
    }
    const int room = std::max(0, cx - 4 - 3 * 5);
    int bx = 2;
    for (std::size_t k = 0; k < buttons_.size(); ++k) {
        const int w =
            needed <= room ? need[k] + (room - needed) / 6 : room * need[k] / std::max(1, needed);
        buttons_[k]->setGeometry(bx, cy - 26, w, 25);
        bx += w + 3;
        SetCaption(buttons_[k], buttons_[k]->toolTip());
    }
    // The waveform is drawn for one width: a new size loads it again.
    if (hasRecord_ && !FieldText(record_.filePath).empty()) {
        StopTimer(kTickTimer);
        output_.Reset();
        playable_ = false;
        settling_ = false;
        ++generation_;  // the load being stopped reports to no one
        loader_.RequestStop();
        WaitForLoad();
        StartTimer(kDeferredTimer);
    }
}

void CPlayerDlg::WaitForLoad() {
    for (int i = 0; i < 50 && loading_.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void CPlayerDlg::Unhighlight() {
    if (list_ && hasRecord_ && row_ >= 0 && row_ < list_->RowCount())
        list_->SetRowBackground(row_, -1, Qt::white);
}

void CPlayerDlg::PlayListSelection(CSortListCtrl* list) {
    Unhighlight();
    list_ = list;
    if (!list) return;
    const auto selected = list->SelectedRows();
    row_ = selected.empty() ? 0 : selected.front();
    if (row_ < list->RowCount())
        if (const CallRecord* r = list->RowData(row_)) LoadRecord(*r);
}

bool CPlayerDlg::CloseRecordingUnder(const std::filesystem::path& root) {
    if (!hasRecord_) return false;
    const std::filesystem::path path(FieldText(record_.filePath));
    const std::filesystem::path rel = path.lexically_normal().lexically_relative(root);
    if (root.empty() || rel.empty() || *rel.begin() == "..") return false;
    StopTimer(kTickTimer);
    StopTimer(kDeferredTimer);
    output_.Reset();
    playable_ = false;
    settling_ = false;
    ++generation_;  // the load being stopped reports to no one
    loader_.RequestStop();
    loader_.Wait();
    loading_ = false;
    engine_.Close();
    Unhighlight();
    hasRecord_ = false;
    wave_->Clear();
    wave_->SetHint(Lang(366));
    return true;
}

void CPlayerDlg::LoadRecord(const CallRecord& record) {
    record_ = record;
    hasRecord_ = true;
    StopTimer(kTickTimer);
    StopTimer(kDeferredTimer);
    output_.Reset();
    // Nothing of the recording before plays on, nor takes a command.
    playable_ = false;
    clock_.stop();
    if (list_ && row_ >= 0 && row_ < list_->RowCount())
        list_->SetRowBackground(row_, -1, kLoadedRow);
    if (!loading_.load() && !loader_.Running()) {
        OpenRecording();
        return;
    }
    loader_.RequestStop();
    WaitForLoad();
    if (!loading_.load()) {
        // Stopped at its next second: the new one need not wait for the timer.
        loader_.Wait();
        OpenRecording();
        return;
    }
    StartTimer(kDeferredTimer);
}

bool CPlayerDlg::OpenRecording() {
    std::filesystem::path path(FieldText(record_.filePath));
    // The store's empty marker stands for a call recorded without a recording.
    const bool none = path.empty() || path.extension() == ".tmp";
    QString refusal;
    bool opened = true;
    // A record read from a card or a store plays only a file below it.
    if (record_.origin.file && !none) {
        const RootedPathResult recording = RecordingOf(record_);
        if (!recording.path) {
            refusal = QString::fromStdString(recording.reason);
            path.clear();
        } else if (recording.path->NamesNoFile()) {
            path.clear();
        } else {
            path = recording.path->Full();
            // Opened once link-free first: a link on the way plays nothing.
            opened = recording.path->Open(O_RDONLY).Ok();
        }
    }
    playable_ = false;
    settling_ = false;
    const bool ok = !none && !path.empty() && opened && engine_.Open(path);
    wave_->Clear();
    clock_.stop();
    ruler_->SetSpan(0, ok ? engine_.Total() : 0);
    if (!ok) {
        // A blank view would look like silence: say why there is nothing.
        if (!refusal.isEmpty())
            wave_->SetHint(QStringLiteral("%1\n%2").arg(Lang(367), refusal));
        else
            wave_->SetHint(none || path.empty()
                               ? Lang(368)
                               : QStringLiteral("%1\n%2").arg(
                                     Lang(367), QString::fromStdString(path.string())));
        return false;
    }
    wave_->SetHint(QString());
    wave_->SetTotal(engine_.Total());
    if (const auto m = engine_.Marked(); m && m->end > m->start)
        wave_->SetMarkedSegment(m->start, m->end);
    loader_.Wait();
    loading_ = true;
    const int generation = ++generation_;
    const bool started = loader_.Start([this, generation](ProgressReporter&, std::stop_token stop) {
        const bool done = engine_.Load(
            stop,
            [this](std::span<const std::int16_t> s, int i, int total) {
                wave_->AddSecond(s, i, total);
            },
            [this, generation](std::optional<double> lufs) {
                emit LoadPlayable(lufs.value_or(std::nan("")), generation);
            });
        loading_ = false;
        emit LoadThreadDone(done, generation);
    });
    if (!started) loading_ = false;
    settling_ = started;
    return started;
}

void CPlayerDlg::OnLoadPlayable(double lufs, int generation) {
    if (generation != generation_ || playable_) return;  // a later load has taken over
    playable_ = true;
    // The level of the first seconds, until the whole recording is measured.
    engine_.SetStartLoudness(std::isnan(lufs) ? std::nullopt : std::optional<double>(lufs));
    OnCommand(kCmdPlay);
}

void CPlayerDlg::OnLoadThreadDone(bool completed, int generation) {
    if (generation != generation_) return;  // a later load has taken over
    loader_.Wait();
    settling_ = false;
    // A switch waiting for this load to end opens the next recording itself.
    if (completed && !deferredArmed_) {
        wave_->Redraw();
        if (engine_.State() != PlayState::Stopped)
            wave_->SetPositionTenths(wave_->PositionTenths(), engine_.Total());
        engine_.Loaded();
        if (!playable_) {
            playable_ = true;
            OnCommand(kCmdPlay);
        }
    }
    emit LoadFinished(completed);
}

void CPlayerDlg::OnTimer(int id) {
    if (id == kTickTimer) {
        if (tickArmed_) engine_.Tick();
        return;
    }
    if (id != kDeferredTimer || !deferredArmed_) return;
    // An earlier load still winding down: try again at the next tick, so
    // that two loads never run over each other.
    if (loading_.load()) return;
    StopTimer(kDeferredTimer);
    loader_.Wait();
    OpenRecording();
}

bool CPlayerDlg::RefusePlay() {
    if (output_.IsOpen()) return false;
    ShowMessage(this, Lang(169), Lang(170), QMessageBox::Warning);
    return true;
}

void CPlayerDlg::OnCommand(int id) {
    // Speed and volume are settings: they change during a load too.
    switch (id) {
        case kCmdSlower:
            ChangeSpeed(-1);
            return;
        case kCmdFaster:
            ChangeSpeed(+1);
            return;
        case kCmdVolumeDown:
            volume_->setValue(std::max(0, volume_->value() - kVolumeStep));
            return;
        case kCmdVolumeUp:
            volume_->setValue(std::min(100, volume_->value() + kVolumeStep));
            return;
        case kCmdZoomIn:
            wave_->ZoomIn();
            return;
        case kCmdZoomOut:
            wave_->ZoomOut();
            return;
        case kCmdZoomAll:
            wave_->ZoomAll();
            return;
        default:
            break;
    }
    // While a load has not reached its first seconds, or a switch waits for
    // the load before it to end, nothing plays.
    if ((Loading() && !playable_) || deferredArmed_) return;
    switch (id) {
        case kCmdPlay:
            if (!hasRecord_ || FieldText(record_.filePath).empty() || RefusePlay()) return;
            engine_.PlayPause();
            break;
        case kCmdPlaySelection:
            if (RefusePlay()) return;
            engine_.PlaySelection(wave_->SelectionStart(), wave_->SelectionEnd());
            break;
        case kCmdPlayMarked:
            if (RefusePlay()) return;
            engine_.PlayMarked();
            break;
        case kCmdStop:
            engine_.Stop();
            break;
        case kCmdPrevious:
            Step(-1);
            break;
        case kCmdNext:
            Step(+1);
            break;
        case kCmdSkipBack:
            engine_.Skip(-skip_);
            break;
        case kCmdSkipForward:
            engine_.Skip(skip_);
            break;
        default:
            break;
    }
}

void CPlayerDlg::Step(int step) {
    if (!list_) return;
    StopTimer(kTickTimer);
    output_.Reset();
    Unhighlight();
    row_ = PlayerEngine::StepRow(row_, list_->RowCount(), step);
    if (row_ >= 0 && row_ < list_->RowCount())
        if (const CallRecord* r = list_->RowData(row_)) LoadRecord(*r);
}

void CPlayerDlg::OnWaveSeek(int second) {
    if ((Loading() && !playable_) || deferredArmed_ || RefusePlay()) return;
    engine_.Seek(second);
}

bool CPlayerDlg::eventFilter(QObject* watched, QEvent* e) {
    // A focused button takes Space, Enter and Return for itself, before
    // the view's player keys see them.
    auto* button = qobject_cast<QPushButton*>(watched);
    if (!button || (e->type() != QEvent::ShortcutOverride && e->type() != QEvent::KeyPress))
        return QWidget::eventFilter(watched, e);
    const int key = static_cast<QKeyEvent*>(e)->key();
    if (key != Qt::Key_Space && key != Qt::Key_Return && key != Qt::Key_Enter)
        return QWidget::eventFilter(watched, e);
    if (e->type() == QEvent::ShortcutOverride) {
        e->accept();
        return true;
    }
    if (key == Qt::Key_Space) return QWidget::eventFilter(watched, e);  // the button's own
    button->click();
    return true;
}

void CPlayerDlg::InstallKeys(QWidget* scope) {
    const auto add = [&](QKeySequence keys, auto action) {
        auto* s = new QShortcut(keys, scope);
        s->setContext(Qt::WidgetWithChildrenShortcut);
        connect(s, &QShortcut::activated, this, action);
    };
    add(QKeySequence(Qt::Key_Space), [this] { OnCommand(kCmdPlay); });
    add(QKeySequence(Qt::Key_Escape), [this] { OnCommand(kCmdStop); });
    add(QKeySequence(Qt::CTRL | Qt::Key_Left), [this] { OnCommand(kCmdPrevious); });
    add(QKeySequence(Qt::CTRL | Qt::Key_Right), [this] { OnCommand(kCmdNext); });
    // Enter on a row is the window's Play command (its shortcut).
}

void CPlayerDlg::SetPosition(int second, int total) {
    // A tick reports the second after the one now heard; a (re)start and a
    // move while paused report the one heard.
    heard_ = engine_.State() == PlayState::Playing && !fresh_ ? second - 1 : second;
    fresh_ = false;
    sinceTick_.start();
    if (engine_.State() == PlayState::Playing)
        wave_->SetPositionTenths(heard_ * 10, total);
    else
        wave_->SetPosition(second, total);
}

void CPlayerDlg::OnClock() {
    const qint64 heardMs =
        sinceTick_.isValid() ? sinceTick_.elapsed() * engine_.SpeedTenths() / 10 : 0;
    wave_->SetPositionTenths(heard_ * 10 + static_cast<int>(std::min<qint64>(10, heardMs / 100)),
                             engine_.Total());
    // After the last tick the last second plays out; then the time stands.
    if (engine_.State() != PlayState::Playing && heardMs >= 1000) clock_.stop();
}

void CPlayerDlg::Redraw() {
    clock_.stop();
    wave_->Redraw();
}

void CPlayerDlg::RefreshCaptions() {
    const int active = engine_.Mode() == PlayMode::Selection ? kCmdPlaySelection
                       : engine_.Mode() == PlayMode::Marked  ? kCmdPlayMarked
                                                             : kCmdPlay;
    const bool playing = engine_.State() == PlayState::Playing;
    for (int id : {kCmdPlay, kCmdPlaySelection, kCmdPlayMarked})
        SetCaption(Button(id), Lang(id == active && playing ? 191 : CaptionOf(id)));
}

int CPlayerDlg::CaptionsWidth() const {
    int width = 0;
    for (const QPushButton* b : buttons_)
        width += QFontMetrics(b->font()).horizontalAdvance(b->toolTip()) + 24;
    const int spacing = layout() != nullptr ? layout()->spacing() : 6;
    return width + spacing * static_cast<int>(buttons_.size()) + 12;
}

bool CPlayerDlg::CaptionsWhole() const {
    return std::all_of(buttons_.begin(), buttons_.end(),
                       [](const QPushButton* b) { return b->text() == b->toolTip(); });
}

void CPlayerDlg::SetCaption(QPushButton* button, const QString& caption) {
    // A narrow button shows its caption shortened with "..." (not cut at
    // both ends), and the tip shows it whole.
    button->setToolTip(caption);
    const int room = button->width() - 12;
    const QFontMetrics fm(button->font());
    button->setText(room > 0 && fm.horizontalAdvance(caption) > room
                        ? fm.elidedText(caption, Qt::ElideRight, room)
                        : caption);
}

void CPlayerDlg::SetTickTimer(bool running) {
    if (running) {
        StopTimer(kTickTimer);
        StartTimer(kTickTimer);
        // A restart by a speed change keeps the second heard.
        fresh_ = !changingSpeed_;
        if (!manualTimers_) clock_.start();
    } else {
        StopTimer(kTickTimer);
        if (engine_.State() == PlayState::Paused) clock_.stop();
    }
}

}  // namespace lk::gui
