#pragma once
// The player pane along the bottom of the list pages: the waveform view and
// six buttons. It plays one record at a time from the list the user looks
// at; loading decodes and draws on a worker, and playback starts by itself
// as soon as the first seconds are decoded, while the rest loads behind it.

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>

#include "card/CallRecord.h"
#include "playback/PlayerEngine.h"
#include "support/DialogWorker.h"

class QLabel;
class QPushButton;
class QSlider;

namespace lk {
class AudioOutput;
}

namespace lk::gui {

class CSortListCtrl;
class CTimeRuler;
class CWaveView;

// Button ids of the pane.
enum PlayerCommand {
    kCmdPrevious = 1045,
    kCmdNext = 1046,
    kCmdPlaySelection = 1047,
    kCmdPlay = 1048,
    kCmdPlayMarked = 1050,
    kCmdStop = 1051,
    // Beyond the six buttons: listening comfort.
    kCmdSkipBack = 1060,
    kCmdSkipForward = 1061,
    kCmdSlower = 1062,
    kCmdFaster = 1063,
    kCmdVolumeDown = 1064,
    kCmdVolumeUp = 1065,
    kCmdZoomIn = 1066,
    kCmdZoomOut = 1067,
    kCmdZoomAll = 1068,
};

class CPlayerDlg : public QWidget, private PlayerView {
    Q_OBJECT
  public:
    static inline const QColor kLoadedRow{55, 140, 248};

    // `scratch` holds the decode file.
    CPlayerDlg(AudioOutput& output, std::filesystem::path scratch, QWidget* parent = nullptr);
    ~CPlayerDlg() override;

    // Attaches the list and loads its first selected row (row 0 when none).
    void PlayListSelection(CSortListCtrl* list);
    void LoadRecord(const CallRecord& record);
    // Stops and lets go of a recording below `root` (a card about to be
    // ejected): no file there stays open. False when none was loaded.
    bool CloseRecordingUnder(const std::filesystem::path& root);
    void OnCommand(int id);
    void OnWaveSeek(int second);
    // Space, Escape and Ctrl+Left/Right for the player anywhere in `scope`;
    // Enter there asks for the play command.
    void InstallKeys(QWidget* scope);

    // A load runs, or its end is not handled yet.
    bool Loading() const { return loading_.load() || settling_; }
    // The loaded recording, or the first seconds of the one loading, can be played.
    bool Playable() const { return playable_; }
    int Row() const { return row_; }
    const CallRecord& Record() const { return record_; }
    PlayerEngine& Engine() { return engine_; }
    CWaveView* WaveView() const { return wave_; }
    CTimeRuler* Ruler() const { return ruler_; }
    // The six buttons, and the skip and speed buttons of the row above them.
    QPushButton* Button(int id) const;
    // The width the six buttons need to show their whole captions (they
    // shorten theirs when narrower); a neighbour may give way to it.
    int CaptionsWidth() const;
    // Whether every button shows its whole caption.
    bool CaptionsWhole() const;
    QSlider* VolumeSlider() const { return volume_; }
    QString SpeedText() const;
    bool TimerActive(int id) const;
    // Tests drive the two timers by hand: nothing fires by itself.
    void SetManualTimers(bool on) { manualTimers_ = on; }
    void OnTimer(int id);

  signals:
    // A load ended: true when it completed (playback was then requested).
    void LoadFinished(bool completed);
    void LoadThreadDone(bool completed, int generation);
    // The first seconds of a load can be played; their loudness, NaN for none.
    void LoadPlayable(double lufs, int generation);

  protected:
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    // PlayerView
    void SetPosition(int second, int total) override;
    void Redraw() override;
    void RefreshCaptions() override;
    void SetTickTimer(bool running) override;

    bool OpenRecording();
    void OnLoadThreadDone(bool completed, int generation);
    void OnLoadPlayable(double lufs, int generation);
    void StopTimer(int id);
    void StartTimer(int id);
    void WaitForLoad();
    void Unhighlight();
    void Step(int step);
    bool RefusePlay();
    void SetCaption(QPushButton* button, const QString& caption);
    void ChangeSpeed(int step);
    void ChangeVolume(int percent);
    void ShowSpeed();
    // Moves the shown time on between ticks, to a tenth of a second.
    void OnClock();

    AudioOutput& output_;
    PlayerEngine engine_;
    CWaveView* wave_ = nullptr;
    CTimeRuler* ruler_ = nullptr;
    QTimer clock_;  // the shown time between ticks
    QElapsedTimer sinceTick_;
    int heard_ = 0;  // the second being heard
    bool fresh_ = false;
    bool changingSpeed_ = false;  // playback (re)started: its first position is the one heard
    std::array<QPushButton*, 6> buttons_{};
    std::array<QPushButton*, 4> extras_{};  // skip back, skip forward, slower, faster
    QLabel* speedLabel_ = nullptr;
    QLabel* volumeLabel_ = nullptr;
    QSlider* volume_ = nullptr;
    int skip_ = 5;  // seconds
    QPointer<CSortListCtrl> list_;
    int row_ = 0;
    CallRecord record_{};
    bool hasRecord_ = false;
    QTimer tick_;      // 10: the playback tick
    QTimer deferred_;  // 11: the open after an aborted load
    bool manualTimers_ = false;
    bool tickArmed_ = false, deferredArmed_ = false;
    std::atomic<bool> loading_{false};
    bool playable_ = false;
    bool settling_ = false;      // a started load's end not yet handled
    int generation_ = 0;         // tells a finished load from a later one
    DialogWorker loader_{this};  // last: stops before the members its job uses go
};

}  // namespace lk::gui
