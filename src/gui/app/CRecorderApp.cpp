#include "app/CRecorderApp.h"

#include "app/CMainFrame.h"
#include "card/LogRebuild.h"
#include "dialogs/ProgressDialog.h"
#include "pages/CVX310View.h"
#include "records/PaneFill.h"
#include "records/RecordPages.h"
#include "support/GuiText.h"
#include "support/QtAudioSink.h"
#include "support/ViewPage.h"

#include <system_error>

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

CRecorderApp::CRecorderApp(int& argc, char** argv) : QApplication(argc, argv) {
    InitIconResources();
    setApplicationName(QStringLiteral("linekeeper"));
    setWindowIcon(ProgramIconOrEmpty());
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
    State().devType = DevType();
    // Every pane drops its rows of a record before the record is freed.
    recordsListener_ = State().records.Listen(
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
        if (session_) State().quitting = 1;
        frame_->StopWork();
        JoinWorkers();
        delete frame_;
        frame_ = nullptr;
    }
    audio_->Close();
    JoinWorkers();
    fill_.reset();
    offerClaim_.Release();
    if (session_) {
        session_->Clear();
        State().records.StopListening(recordsListener_);
        session_.reset();
    }
    instance_.Release();
    return 0;
}

void CRecorderApp::JoinWorkers() {
    if (fill_) fill_->Join();
    if (loader_.joinable()) loader_.join();
    if (rebuild_.joinable()) rebuild_.join();
}

ProgressDialog* CRecorderApp::Progress() const {
    return frame_ ? frame_->Progress() : nullptr;
}

void CRecorderApp::PopulatePanes(SessionClaim claim) {
    fill_->Populate(std::move(claim));
}

bool CRecorderApp::RunRecordLoader() {
    if (loader_.joinable()) loader_.join();  // the previous run has ended (it gave its claim back)
    SessionClaim claim = session_->AdoptPendingClaim();
    if (!claim) return false;
    LoadRequest request;
    request.source = State().loadFromCard != 0 ? LoadSource::Card : LoadSource::Store;
    request.backupPath = BackupPath();
    const int caption =
        request.source == LoadSource::Card ? kCaptionCardRecords : kCaptionBackupRecords;
    // The progress window lives on the UI thread: the worker posts to it, and
    // only every few hundred records, so that a large store does not flood the queue.
    request.progress.begin = [this, caption](int, int range) {
        QMetaObject::invokeMethod(
            this,
            [this, caption, range] {
                if (ProgressDialog* p = Progress()) {
                    p->setWindowTitle(Lang(caption));
                    p->SetRange(range);
                    p->SetPos(0);
                    p->SetText(QString());
                    p->ShowCentered();
                }
            },
            Qt::QueuedConnection);
    };
    request.progress.step = [this](int position, int range, const std::string& text) {
        if (position % 256 != 0 && position != range) return;
        QMetaObject::invokeMethod(
            this,
            [this, position, t = QString::fromStdString(text)] {
                if (ProgressDialog* p = Progress()) {
                    p->SetPos(position);
                    p->SetText(t);
                }
            },
            Qt::QueuedConnection);
    };
    request.progress.end = [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (ProgressDialog* p = Progress()) p->hide();
            },
            Qt::QueuedConnection);
    };
    // The claim travels with the load and comes back in its outcome.
    auto held = std::make_shared<SessionClaim>(std::move(claim));
    try {
        loader_ = std::thread([this, request = std::move(request), held] {
            auto outcome = std::make_shared<LoadOutcome>(session_->Load(request, std::move(*held)));
            QMetaObject::invokeMethod(
                this, [this, outcome] { OnLoaderFinished(std::move(*outcome)); },
                Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CRecorderApp::OnLoaderFinished(LoadOutcome r) {
    if (r.stopped || !session_ || State().quitting != 0) return;  // closing
    if (r.startRebuildWorker) StartRebuildWorker();
    if (!frame_) return;
    frame_->UpdateDiskSpaceStatus();
    if (!r.refill) return;
    // The automatic backup is offered now that the load is over; the panes
    // are filled once its window closed, so its rows show where each
    // recording went. The load's claim keeps the card watch away meanwhile.
    if (r.offerAutoBackup) {
        offerClaim_ = std::move(r.claim);
        frame_->OfferAutoBackup([this] {
            if (!session_ || State().quitting != 0 || !frame_) return;
            frame_->View()->ShowPage(PageAll);
            PopulatePanes(std::move(offerClaim_));
        });
        return;
    }
    frame_->View()->ShowPage(PageAll);
    PopulatePanes(std::move(r.claim));
}

void CRecorderApp::StartRebuildWorker() {
    if (rebuild_.joinable()) rebuild_.join();
    try {
        rebuild_ = std::thread([this] {
            LogRebuildThread(State(), [this](char drive, bool active) {
                QMetaObject::invokeMethod(
                    this,
                    [this, drive, active] {
                        if (frame_) frame_->SetDriveStatus(drive, active);
                    },
                    Qt::QueuedConnection);
            });
        });
    } catch (const std::system_error&) {
        State().rebuildRunning = 0;
    }
}

}  // namespace lk::gui
