#pragma once
// The application object: owns the record session (record lists, shared
// state, the volume table), the single-instance lock and the main window,
// and knows the list panes the view publishes.

#include <QApplication>
#include <array>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/SingleInstance.h"
#include "card/RecorderState.h"
#include "playback/AudioOutput.h"
#include "records/PaneRegistry.h"
#include "session/RecordSession.h"
#include "support/AppSettings.h"
#include "support/DialogWorker.h"

namespace lk::gui {

class CMainFrame;
class CRecordListPane;
class ProgressDialog;
class PaneFill;

struct StartOptions {
    std::vector<std::filesystem::path> cardRoots;  // --card DIR
    std::unique_ptr<VolumeProbe> probe;            // tests give their own
    bool showWindow = true;
    int page = -1;                    // --page N: the view page to show after start
    std::unique_ptr<AudioSink> sink;  // tests give their own sound device
};

// Parses the program's own options: --card DIR (repeatable), --page N.
StartOptions ParseStartOptions(const QStringList& arguments);

class CRecorderApp : public QApplication {
    Q_OBJECT
  public:
    CRecorderApp(int& argc, char** argv);
    ~CRecorderApp() override;

    // False when another instance runs and was brought forward (end
    // silently), or when this start is refused (StartRefusal says why).
    bool InitInstance(StartOptions options);
    // Why InitInstance refused to start, for the user; empty otherwise.
    QString StartRefusal() const { return refusal_; }
    // Frees the window, every record and the lock; the exit code to return.
    int ExitInstance();

    RecordSession& Session() { return *session_; }
    // The settings as read where the running command or watch step started.
    AppSettings& Settings() { return settings_; }
    const RecorderState& State() const { return session_->State(); }
    CMainFrame* MainFrame() const { return frame_; }
    ProgressDialog* Progress() const;

    PaneRegistry& Panes() { return panes_; }

    // The sound output, opened once the main window exists.
    AudioOutput& Audio() { return *audio_; }
    bool AudioIsOpen() const { return audio_ && audio_->IsOpen(); }

    // Loads the card or the store (as the card watch chose) on a worker,
    // under a claim taken here; false when the records are claimed already
    // or the worker cannot be started (the claim is then given back).
    bool RunRecordLoader(LoadSource source);
    // Fills the panes from the shown list, under `claim` or one of its own.
    void PopulatePanes(SessionClaim claim = {});
    PaneFill& Filler() { return *fill_; }
    // Waits for the workers (they stop on `quitting`).
    void JoinWorkers();

  private:
    static QIcon ProgramIconOrEmpty();
    void OnLoaderFinished(LoadOutcome outcome);
    void StartRebuildWorker();

    std::unique_ptr<RecordSession> session_;
    AppSettings settings_;
    SingleInstance instance_;
    QString refusal_;
    CMainFrame* frame_ = nullptr;
    PaneRegistry panes_;
    int recordsListener_ = 0;
    std::unique_ptr<PaneFill> fill_;
    std::unique_ptr<AudioOutput> audio_ = std::make_unique<AudioOutput>(nullptr);
    int loaderCaption_ = 0;
    DialogWorker loader_;
    DialogWorker rebuild_;
};

}  // namespace lk::gui
