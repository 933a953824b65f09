// The player pane in the window: loading from the list, the row highlight,
// previous and next, the resize reload and the missing sound device.

#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <atomic>
#include <thread>

#include "GuiFixture.h"
#include "app/Settings.h"
#include "export/RecordingWriter.h"
#include "playback/AudioOutput.h"
#include "playback/G711.h"
#include "playback/XtrFormat.h"
#include "player/CPlayerDlg.h"
#include "player/CTimeRuler.h"
#include "player/CWaveView.h"
#include "support/Commands.h"
#include "support/GuiText.h"
#include "widgets/CSortListCtrl.h"

namespace lk::gui::test {
namespace {

namespace fs = std::filesystem;

const std::vector<CardCall> kCalls = {{Incoming, 0, 1}, {Outgoing, 0, 2}, {Incoming, 0, 3}};

// Every second of the recording of call n holds one level: a piece names its call and second.
std::int16_t Level(int call, int second) {
    return static_cast<std::int16_t>(1000 * call + 100 * (second + 1));
}

class Player : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        WriteCard(card.path(), kCalls);
        // Real recordings in place of the fixture's placeholders (4 seconds each).
        for (const auto& e : fs::recursive_directory_iterator(card.path())) {
            if (e.path().extension() != ".wav") continue;
            const auto name = e.path().stem().string();
            const int call = name.back() - '0';
            std::vector<std::int16_t> pcm;
            for (int s = 0; s < 4; ++s)
                pcm.insert(pcm.end(), 8000, Level(call, s));
            lk::test::WriteFile(e.path().parent_path() / (name + ".xtr"),
                                BuildXtrRecording(lk::kFormatMuLaw, pcm));
            lk::test::WriteFile(e.path(), BuildWavRecording(pcm));
        }
    }
    void Load() {
        // Each piece names its call and second by its level: heard as recorded.
        ASSERT_TRUE(SetPlayLoudness(std::nullopt));
        ASSERT_TRUE(SetPlayRewindSeconds(0));
        ASSERT_TRUE(StartWithCard());
        player().SetManualTimers(true);
        list()->SelectRow(0);
    }
    CPlayerDlg& player() { return *view().PlayerPane(); }
    CSortListCtrl* list() { return pane(PageAll).List(); }
    bool WaitLoaded(std::size_t pieces) {
        return WaitFor([&] { return !player().Loading() && sound->Count() >= pieces; });
    }
    // The call number of the loaded record (from its file name).
    int LoadedCall() {
        const auto p = fs::path(FieldText(player().Record().filePath)).stem().string();
        return p.back() - '0';
    }
    // The IMA ADPCM pieces are PCM; compare each piece's middle with the levels.
    std::vector<int> PieceSeconds(int call) {
        std::vector<int> out;
        std::lock_guard lock(sound->mutex);
        for (const auto& piece : sound->pieces) {
            int found = -1;
            for (int s = 0; s < 4 && piece.size() > 4000; ++s)
                if (std::abs(piece[4000] - Level(call, s)) < 40) found = s;
            out.push_back(found);
        }
        return out;
    }
};

TEST_F(Player, PlayLoadsTheSelectedRowHighlightsItAndPlaysFromTheStart) {
    Load();
    list()->SelectRow(1);
    view().OnCommand(CmdPlay);
    ASSERT_TRUE(WaitLoaded(2));
    EXPECT_EQ(player().Row(), 1);
    EXPECT_EQ(list()->CellBackground(1, 0), CPlayerDlg::kLoadedRow);
    EXPECT_EQ(player().WaveView()->Total(), 4);
    EXPECT_EQ(player().Engine().State(), PlayState::Playing);
    EXPECT_EQ(PieceSeconds(LoadedCall()), (std::vector<int>{0, 1}));
    EXPECT_EQ(player().Button(kCmdPlay)->text(), Lang(191));
    EXPECT_EQ(player().Button(kCmdStop)->text(), Lang(192));
    EXPECT_TRUE(player().TimerActive(10));
    player().OnTimer(10);
    EXPECT_EQ(PieceSeconds(LoadedCall()), (std::vector<int>{0, 1, 2}));

    // Another record replaces the highlight.
    list()->SelectRow(2);
    view().OnCommand(CmdWavePlayer);
    ASSERT_TRUE(WaitFor([&] { return !player().Loading() && player().Row() == 2; }));
    EXPECT_EQ(list()->CellBackground(1, 0), QColor(Qt::white));
    EXPECT_EQ(list()->CellBackground(2, 0), CPlayerDlg::kLoadedRow);
}

TEST_F(Player, TheEmptyPlayerSaysWhatToDoAndAGoneRecordingSaysSo) {
    Load();
    EXPECT_EQ(player().WaveView()->Hint(), Lang(366));
    view().OnCommand(CmdPlay);
    ASSERT_TRUE(WaitLoaded(2));
    EXPECT_TRUE(player().WaveView()->Hint().isEmpty());
    // The recording went (moved away by another program, say).
    const fs::path gone(FieldText(list()->RowData(1)->filePath));
    ASSERT_TRUE(fs::remove(gone));
    list()->SelectRow(1);
    view().OnCommand(CmdPlay);
    ASSERT_TRUE(WaitFor([&] { return !player().Loading() && player().Row() == 1; }));
    player().OnTimer(11);  // the open after the load that was running
    const QString hint = player().WaveView()->Hint();
    EXPECT_TRUE(hint.startsWith(Lang(367))) << hint.toStdString();
    EXPECT_TRUE(hint.contains(QString::fromStdString(gone.filename().string())));
}

TEST_F(Player, PreviousAndNextWrapAroundTheList) {
    Load();
    view().OnCommand(CmdPlay);
    ASSERT_TRUE(WaitLoaded(2));
    ASSERT_EQ(player().Row(), 0);
    struct Step {
        int command, row;
    };
    const int last = list()->RowCount() - 1;
    const Step steps[] = {{kCmdPrevious, last}, {kCmdNext, 0}, {kCmdNext, 1}, {kCmdPrevious, 0}};
    for (const auto& s : steps) {
        sound->pieces.clear();
        const int before = player().Row();
        player().OnCommand(s.command);
        ASSERT_TRUE(WaitLoaded(2)) << s.command;
        EXPECT_EQ(player().Row(), s.row);
        EXPECT_EQ(list()->CellBackground(s.row, 0), CPlayerDlg::kLoadedRow);
        if (before != s.row) {
            EXPECT_EQ(list()->CellBackground(before, 0), QColor(Qt::white));
        }
        EXPECT_EQ(PieceSeconds(LoadedCall()), (std::vector<int>{0, 1}));
    }
}

TEST_F(Player, ResizeWhilePlayingReloadsAndStartsAgain) {
    Load();
    frame().show();
    // The window's own layout settles first: it would undo the resize below.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame()));
    QTest::qWait(50);
    view().OnCommand(CmdPlay);
    ASSERT_TRUE(WaitLoaded(2));
    player().OnTimer(10);
    player().OnTimer(10);
    ASSERT_EQ(player().Engine().Position(), 3);
    const int before = player().WaveView()->AreaWidth();
    player().resize(player().width() - 100, player().height());
    QCoreApplication::processEvents();
    EXPECT_FALSE(player().TimerActive(10));
    ASSERT_TRUE(player().TimerActive(11));
    sound->pieces.clear();
    player().OnTimer(11);
    ASSERT_TRUE(WaitLoaded(2));
    EXPECT_EQ(player().WaveView()->AreaWidth(), before - 100);
    EXPECT_EQ(PieceSeconds(LoadedCall()), (std::vector<int>{0, 1}));
    EXPECT_EQ(player().Engine().State(), PlayState::Playing);
}

TEST_F(Player, KeysPauseResumeAndStop) {
    Load();
    frame().show();
    view().OnCommand(CmdPlay);
    ASSERT_TRUE(WaitLoaded(2));
    list()->setFocus();
    QTest::keyClick(list(), Qt::Key_Space);
    EXPECT_EQ(player().Engine().State(), PlayState::Paused);
    QTest::keyClick(list(), Qt::Key_Space);
    EXPECT_EQ(player().Engine().State(), PlayState::Playing);
    QTest::keyClick(list(), Qt::Key_Escape);
    EXPECT_EQ(player().Engine().State(), PlayState::Stopped);
    QTest::keyClick(list(), Qt::Key_Right, Qt::ControlModifier);
    ASSERT_TRUE(WaitFor([&] { return !player().Loading() && player().Row() == 1; }));
}

// Speed and volume from their keys and buttons outlast the window; the
// skip buttons move what plays; the ruler spans the recording.
TEST_F(Player, ListeningKeysWorkAndTheirSettingsAreRemembered) {
    Load();
    frame().show();
    view().OnCommand(CmdPlay);
    ASSERT_TRUE(WaitLoaded(2));
    EXPECT_EQ(player().Ruler()->To(), 4.0);
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
    } presses[] = {
        {Qt::Key_BracketRight, Qt::ControlModifier},  // faster
        {Qt::Key_BracketRight, Qt::ControlModifier}, {Qt::Key_BracketRight, Qt::ControlModifier},
        {Qt::Key_BracketLeft, Qt::ControlModifier},  // slower
        {Qt::Key_Down, Qt::ControlModifier},         // volume down, twice
        {Qt::Key_Down, Qt::ControlModifier},
    };
    list()->setFocus();
    for (const auto& p : presses)
        QTest::keyClick(list(), p.key, p.mods);
    EXPECT_EQ(player().Engine().SpeedTenths(), 12);
    EXPECT_EQ(player().SpeedText(), QStringLiteral("%1 1.2\u00D7").arg(Lang(616)));
    EXPECT_EQ(player().Engine().TickMs(), 833);
    EXPECT_EQ(player().Engine().Volume(), 80);
    EXPECT_EQ(PlaySpeedTenths(), 12);
    EXPECT_EQ(PlayVolume(), 80);

    // F9 skips forward within the 4-second recording: to its last second.
    const auto before = sound->Count();
    QTest::keyClick(list(), Qt::Key_F9);
    ASSERT_GT(sound->Count(), before);
    EXPECT_EQ(player().Engine().Position(), 4);
    player().Button(kCmdSkipBack)->click();
    EXPECT_EQ(player().Engine().Position(), 1);

    // Down to the slowest and no further; the button says so.
    for (int i = 0; i < 12; ++i)
        player().OnCommand(kCmdSlower);
    EXPECT_EQ(player().Engine().SpeedTenths(), 5);
    EXPECT_FALSE(player().Button(kCmdSlower)->isEnabled());
    EXPECT_EQ(PlaySpeedTenths(), 5);

    // A new player (a new start of the program) reads them back.
    lk::test::TempDir scratch;
    AudioOutput out(
        std::make_unique<lk::test::FakeAudioSink>(std::make_shared<lk::test::FakeSinkLog>()));
    CPlayerDlg again(out, scratch.path());
    EXPECT_EQ(again.Engine().SpeedTenths(), 5);
    EXPECT_EQ(again.Engine().Volume(), 80);
    EXPECT_EQ(again.VolumeSlider()->value(), 80);
}

TEST_F(Player, WithoutASoundDeviceThePlayCommandsSaySo) {
    sound->canOpen = false;
    Load();
    EXPECT_FALSE(app().AudioIsOpen());
    view().OnCommand(CmdPlay);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, Lang(169));
    EXPECT_EQ(messages[0].caption, Lang(170));
    EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
    EXPECT_FALSE(player().Loading());
    EXPECT_EQ(player().WaveView()->Total(), 0);
    EXPECT_EQ(sound->Count(), 0u);
}

// Holds the load thread inside its first drawn second (or second `at`)
// until released, so that a test can act while a load runs.
class LoadGate {
  public:
    explicit LoadGate(CWaveView* wave, int at = 0) {
        // A direct connection runs on the drawing (load) thread.
        connection_ = QObject::connect(
            wave, &CWaveView::SecondDrawn, wave,
            [this, at](int i) {
                if (i < at) return;
                entered_ = true;
                while (held_.load())
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
            },
            Qt::DirectConnection);
    }
    ~LoadGate() {
        Release();
        QObject::disconnect(connection_);
    }
    bool Entered() const { return entered_.load(); }
    void Release() { held_ = false; }

  private:
    QMetaObject::Connection connection_;
    std::atomic<bool> held_{true};
    std::atomic<bool> entered_{false};
};

TEST_F(Player, EveryCommandIsIgnoredWhileLoading) {
    Load();
    frame().show();
    LoadGate gate(player().WaveView());
    view().OnCommand(CmdPlay);
    ASSERT_TRUE(WaitFor([&] { return gate.Entered(); }));
    ASSERT_TRUE(player().Loading());
    for (int id : {kCmdPlay, kCmdPlaySelection, kCmdPlayMarked, kCmdStop, kCmdPrevious, kCmdNext})
        player().OnCommand(id);
    player().OnWaveSeek(2);
    list()->setFocus();
    QTest::keyClick(list(), Qt::Key_Space);
    QTest::keyClick(list(), Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(player().Row(), 0);
    EXPECT_EQ(player().Engine().State(), PlayState::Stopped);
    EXPECT_FALSE(player().TimerActive(10));
    EXPECT_EQ(sound->Count(), 0u);
    EXPECT_TRUE(messages.empty());

    // Once loaded, playback starts by itself from the start of that record.
    gate.Release();
    ASSERT_TRUE(WaitLoaded(2));
    EXPECT_EQ(player().Row(), 0);
    EXPECT_EQ(PieceSeconds(LoadedCall()), (std::vector<int>{0, 1}));
}

// Every call's recording: 5 minutes of IMA ADPCM at a level of its own.
class LongPlayer : public Player {
  protected:
    static std::int16_t CallLevel(int call) { return static_cast<std::int16_t>(-3000 * call); }
    void SetUp() override {
        Player::SetUp();
        for (const auto& e : fs::recursive_directory_iterator(card.path())) {
            if (e.path().extension() != ".wav") continue;
            const auto name = e.path().stem().string();
            const std::vector<std::int16_t> pcm(300 * 8000, CallLevel(name.back() - '0'));
            lk::test::WriteFile(e.path().parent_path() / (name + ".xtr"),
                                BuildXtrRecording(lk::kFormatImaAdpcm, pcm));
            lk::test::WriteFile(e.path(), BuildWavRecording(pcm));
        }
    }
    // The call a piece was played from, by its level.
    int CallOf(std::size_t piece) {
        std::lock_guard lock(sound->mutex);
        const auto& p = sound->pieces.at(piece);
        return p.size() > 4000 ? static_cast<int>(std::lround(-p[4000] / 3000.0)) : -1;
    }
};

// Playback starts from the first seconds while the rest still loads. A
// switch to another record then silences it at once: nothing more of it is
// heard, no command reaches it, and the new record plays from its start.
TEST_F(LongPlayer, PlaysWhileLoadingAndASwitchMidLoadPlaysOnlyTheNewRecord) {
    Load();
    auto gate = std::make_unique<LoadGate>(player().WaveView(), 20);
    view().OnCommand(CmdPlay);
    ASSERT_TRUE(WaitFor(
        [&] { return gate->Entered() && player().Engine().State() == PlayState::Playing; }));
    EXPECT_TRUE(player().Loading());
    EXPECT_TRUE(player().Playable());
    const int first = LoadedCall();
    ASSERT_EQ(sound->Count(), 2u);
    EXPECT_EQ(CallOf(0), first);
    EXPECT_EQ(CallOf(1), first);
    player().OnTimer(10);  // plays on while the load is held
    EXPECT_EQ(sound->Count(), 3u);

    list()->SelectRow(2);
    view().OnCommand(CmdWavePlayer);  // the held load cannot end: the open is deferred
    ASSERT_TRUE(player().TimerActive(11));
    const auto before = sound->Count();
    player().OnTimer(10);
    for (int id : {kCmdPlay, kCmdPlaySelection, kCmdSkipForward, kCmdStop})
        player().OnCommand(id);
    player().OnWaveSeek(100);
    EXPECT_EQ(sound->Count(), before);

    gate->Release();
    ASSERT_TRUE(WaitFor([&] { return !player().Loading(); }));
    gate.reset();
    player().OnTimer(11);
    ASSERT_TRUE(WaitFor([&] { return !player().Loading() && sound->Count() >= before + 2; }));
    EXPECT_EQ(player().Row(), 2);
    EXPECT_NE(LoadedCall(), first);
    for (std::size_t i = before; i < sound->Count(); ++i)
        EXPECT_EQ(CallOf(i), LoadedCall()) << i;
}

// Next and next again while each load is still running: each switch
// stops the load before it (no two run at once, nothing freed under one),
// and only the last record is heard from then on.
TEST_F(LongPlayer, QuickSwitchesDuringLoadsEndOnTheLastRecord) {
    Load();
    view().OnCommand(CmdPlay);
    ASSERT_TRUE(WaitFor([&] { return player().Engine().State() == PlayState::Playing; }));
    for (int k = 0; k < 2; ++k) {
        player().OnCommand(kCmdNext);
        ASSERT_TRUE(WaitFor([&] { return player().Playable() || player().TimerActive(11); }));
    }
    ASSERT_TRUE(WaitFor([&] {
        if (player().TimerActive(11)) player().OnTimer(11);
        return !player().Loading() && player().Playable();
    }));
    EXPECT_EQ(player().Engine().State(), PlayState::Playing);
    // Its start queued two seconds, the tick one more: all of the last record.
    player().OnTimer(10);
    ASSERT_GE(sound->Count(), 3u);
    for (std::size_t i = sound->Count() - 3; i < sound->Count(); ++i)
        EXPECT_EQ(CallOf(i), LoadedCall()) << i;
    EXPECT_NE(player().Row(), 0) << "never switched";
}

// A new record asked for while a load will not end in time is opened by
// the deferred timer, which waits for as many ticks as the earlier load
// needs: two loads never run at once.
TEST_F(Player, DeferredOpenWaitsUntilTheEarlierLoadHasEnded) {
    Load();
    auto gate = std::make_unique<LoadGate>(player().WaveView());
    view().OnCommand(CmdPlay);
    ASSERT_TRUE(WaitFor([&] { return gate->Entered(); }));
    const int firstCall = LoadedCall();

    QSignalSpy finished(&player(), &CPlayerDlg::LoadFinished);
    list()->SelectRow(2);
    view().OnCommand(CmdWavePlayer);  // aborts, waits its half second, defers
    ASSERT_TRUE(player().Loading());
    ASSERT_TRUE(player().TimerActive(11));
    for (int tick = 0; tick < 3; ++tick) {
        player().OnTimer(11);
        EXPECT_TRUE(player().TimerActive(11)) << tick;  // armed again for the next second
        EXPECT_TRUE(player().Loading()) << tick;
    }
    EXPECT_EQ(finished.count(), 0);

    gate->Release();
    ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }));
    EXPECT_FALSE(finished.at(0).at(0).toBool());  // the first load was cut short
    EXPECT_EQ(sound->Count(), 0u);                // and played nothing
    gate.reset();

    player().OnTimer(11);
    EXPECT_FALSE(player().TimerActive(11));
    ASSERT_TRUE(WaitLoaded(2));
    EXPECT_EQ(player().Row(), 2);
    EXPECT_NE(LoadedCall(), firstCall);
    EXPECT_EQ(PieceSeconds(LoadedCall()), (std::vector<int>{0, 1}));
}

}  // namespace
}  // namespace lk::gui::test
