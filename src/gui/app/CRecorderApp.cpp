#include "app/CRecorderApp.h"

#include "app/CMainFrame.h"
#include "app/ExeDir.h"
#include "card/CardWatch.h"
#include "card/LogRebuild.h"
#include "dialogs/ProgressDialog.h"
#include "pages/CVX310View.h"
#include "records/PaneFill.h"
#include "records/RecordPages.h"
#include "support/GuiText.h"
#include "support/QtAudioSink.h"
#include "support/ViewPage.h"

// The icons live in this static library's resources, which the linker would
// otherwise drop.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
    Q_INIT_RESOURCE(lang);
}

namespace lk::gui {

StartOptions ParseStartOptions(const QStringList& arguments) {
    StartOptions o;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--card") && i + 1 < arguments.size())
            o.cardRoots.emplace_back(arguments[++i].toStdString());
        else if (a.startsWith(QLatin1String("--card=")))
            o.cardRoots.emplace_back(a.mid(7).toStdString());
        else if (a == QLatin1String("--page") && i + 1 < arguments.size())
            o.page = arguments[++i].toInt();
    }
    return o;
}

CRecorderApp::CRecorderApp(int& argc, char** argv)
    : QApplication(argc, argv), loader_(this), rebuild_(this) {
    InitIconResources();
    setApplicationName(QStringLiteral("linekeeper"));
    setWindowIcon(ProgramIconOrEmpty());
    // The progress window lives on the UI thread; the loader's reports reach
    // it only every few hundred records, so that a large store does not flood
    // the queue.
    WorkerProgress& progress = loader_.Progress();
    progress.SetStepEvery(256);
    connect(&progress, &WorkerProgress::Began, this, [this](int total) {
        if (ProgressDialog* p = Progress()) {
            p->setWindowTitle(Lang(loaderCaption_));
            p->SetRange(total);
            p->SetPos(0);
            p->SetText(QString());
            p->ShowCentered();
        }
    });
    connect(&progress, &WorkerProgress::Stepped, this, [this](int done, int, const QString& text) {
        if (ProgressDialog* p = Progress()) {
            p->SetPos(done);
            p->SetText(text);
        }
    });
    connect(&progress, &WorkerProgress::Ended, this, [this] {
        if (ProgressDialog* p = Progress()) p->hide();
    });
}

CRecorderApp::~CRecorderApp() {
    ExitInstance();
}

QIcon CRecorderApp::ProgramIconOrEmpty() {
    return QIcon(QStringLiteral(":/icons/linekeeper.svg"));
}

bool CRecorderApp::InitInstance(StartOptions options) {
    // A second instance brings the first one forward and ends; a start that
    // cannot take the lock otherwise says why.
    refusal_.clear();
    if (!instance_.Acquire()) {
        if (!instance_.HeldElsewhere() || !SingleInstance::SignalRunning())
            refusal_ = QStringLiteral("LineKeeper cannot start. ") + instance_.Problem();
        return false;
    }

    auto probe = options.probe ? std::move(options.probe)
                               : MakeSystemVolumeProbe(std::move(options.cardRoots));
    session_ = std::make_unique<RecordSession>(std::move(probe));
    settings_.Refresh();
    session_->SetFamily(DevType());
    // Every pane drops its rows of a record before the record is freed.
    recordsListener_ = session_->Listen(
        [this](const LeavingRecords& leaving) { panes_.DropRowsOf(leaving.records); });
    fill_ = std::make_unique<PaneFill>(*session_, panes_);
    connect(fill_.get(), &PaneFill::Finished, this, [this] {
        if (frame_) frame_->View()->ShowPage(PageAll);
    });
    audio_ = std::make_unique<AudioOutput>(options.sink ? std::move(options.sink)
                                                        : std::make_unique<QtAudioSink>());

    frame_ = new CMainFrame(*this);
    // Without a sound device the play commands say so; nothing else changes.
    (void)audio_->Open(OutputFormatType::ImaAdpcm);
    frame_->ShowWhatIsListed();
    // A second start asks this one to come to the front.
    instance_.Listen([this] {
        if (!frame_) return;
        frame_->show();
        frame_->setWindowState((frame_->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        frame_->raise();
        frame_->activateWindow();
    });
    if (options.showWindow) frame_->show();
    if (options.page >= 0) frame_->View()->ShowPage(options.page);
    return true;
}

int CRecorderApp::ExitInstance() {
    if (frame_) {
        if (session_) session_->Quit();
        frame_->StopWork();
        JoinWorkers();
        delete frame_;
        frame_ = nullptr;
    }
    audio_->Close();
    JoinWorkers();
    fill_.reset();
    // A load's outcome still queued holds a claim: it goes while the session lives.
    QCoreApplication::removePostedEvents(&loader_);
    if (session_) {
        session_->Clear();
        session_->StopListening(recordsListener_);
        session_.reset();
    }
    instance_.Release();
    return 0;
}

void CRecorderApp::JoinWorkers() {
    if (fill_) fill_->Join();
    loader_.StopAndJoin();
    rebuild_.StopAndJoin();
}

ProgressDialog* CRecorderApp::Progress() const {
    return frame_ ? frame_->Progress() : nullptr;
}

void CRecorderApp::PopulatePanes(SessionClaim claim) {
    fill_->Populate(std::move(claim));
}

bool CRecorderApp::RunRecordLoader(LoadSource source) {
    loader_.Wait();  // the previous run has ended (it gave its claim back)
    SessionClaim claim = session_->TryClaim();
    if (!claim) return false;
    LoadRequest request;
    request.source = source;
    request.backupPath = settings_.BackupPath();
    request.codePage = settings_.CodePage();
    loaderCaption_ =
        request.source == LoadSource::Card ? kCaptionCardRecords : kCaptionBackupRecords;
    // The claim travels with the load and comes back in its outcome; a job
    // that never ran gives it back when it goes.
    auto held = std::make_shared<SessionClaim>(std::move(claim));
    return loader_.Start([this, request = std::move(request), held](ProgressReporter& progress,
                                                                    std::stop_token stop) {
        auto outcome = std::make_shared<LoadOutcome>(
            session_->Load(request, progress, stop, std::move(*held)));
        loader_.Post([this, outcome] { OnLoaderFinished(std::move(*outcome)); });
    });
}

void CRecorderApp::OnLoaderFinished(LoadOutcome r) {
    if (r.stopped || !session_ || State().quitting != 0) return;  // closing
    // The prompt sounds sit beside the settings (seeded there on an installed copy).
    if (r.promptFilesFor) CopyBeepFiles(*r.promptFilesFor, ShippedConfigDir());
    if (r.startRebuildWorker) StartRebuildWorker();
    if (!frame_) return;
    frame_->UpdateDiskSpaceStatus();
    if (!r.refill) return;
    // The automatic backup is offered now that the load is over; the panes
    // are filled once its window closed, so its rows show where each
    // recording went. The load's claim keeps the card watch away meanwhile.
    if (r.offerAutoBackup) {
        frame_->OfferAutoBackup(std::move(r.claim), [this](SessionClaim claim) {
            if (!session_ || State().quitting != 0 || !frame_) return;
            frame_->View()->ShowPage(PageAll);
            PopulatePanes(std::move(claim));
        });
        return;
    }
    frame_->View()->ShowPage(PageAll);
    PopulatePanes(std::move(r.claim));
}

void CRecorderApp::StartRebuildWorker() {
    rebuild_.Wait();
    const bool started =
        rebuild_.Start([this, codePage = settings_.CodePage()](ProgressReporter&, std::stop_token) {
            session_->RebuildLogs(codePage, [this](char drive, bool active) {
                rebuild_.Post([this, drive, active] {
                    if (frame_) frame_->SetDriveStatus(drive, active);
                });
            });
        });
    if (!started) session_->RebuildNotStarted();
}

}  // namespace lk::gui
