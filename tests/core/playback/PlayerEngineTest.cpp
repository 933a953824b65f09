#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "TestSignal.h"
#include "WavFixture.h"
#include "export/RecordingWriter.h"
#include "playback/G711.h"
#include "playback/PlayerEngine.h"
#include "playback/RecordingDecoder.h"
#include "support/FakeAudioSink.h"
#include "support/TempDir.h"

namespace lk {
namespace {

using test::FakeAudioSink;
using test::FakeSinkLog;

struct FakeView : PlayerView {
    std::vector<int> positions;
    int redraws = 0;
    int captions = 0;
    bool timer = false;
    int timerStarts = 0;
    void SetPosition(int second, int) override { positions.push_back(second); }
    void Redraw() override { ++redraws; }
    void RefreshCaptions() override { ++captions; }
    void SetTickTimer(bool running) override {
        timer = running;
        if (running) ++timerStarts;
    }
};

// Second k of the µ-law fixtures holds one level, so a piece names its second.
std::int16_t Level(int k) {
    return static_cast<std::int16_t>(200 * (k + 1));
}

std::vector<std::int16_t> Steps(int seconds) {
    std::vector<std::int16_t> pcm;
    for (int k = 0; k < seconds; ++k)
        pcm.insert(pcm.end(), 8000, Level(k));
    return pcm;
}

struct Rig {
    test::TempDir dir;
    std::shared_ptr<FakeSinkLog> log = std::make_shared<FakeSinkLog>();
    AudioOutput out{std::make_unique<FakeAudioSink>(log)};
    FakeView view;
    PlayerEngine engine{out, view, dir / "temp"};

    std::filesystem::path Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const auto p = dir / name;
        test::WriteFile(p, bytes);
        return p;
    }
    bool Load(const std::filesystem::path& p) {
        if (!engine.Open(p)) return false;
        std::stop_source abort;
        if (!engine.Load(abort.get_token(), nullptr)) return false;
        engine.Loaded();
        return true;
    }
    bool LoadMuLaw(int seconds, std::string_view note = {}) {
        return Load(Write("r.xtr", BuildXtrRecording(kFormatMuLaw, Steps(seconds), note)));
    }
    // The seconds of the µ-law pieces handed to the device, in order.
    std::vector<int> Seconds() {
        std::vector<int> seconds;
        for (const auto& piece : log->pieces) {
            int found = -1;
            for (int k = 0; k < 40 && !piece.empty(); ++k)
                if (MuLawToLinear(LinearToMuLaw(Level(k))) == piece[0]) found = k;
            seconds.push_back(found);
        }
        return seconds;
    }
    // The output's worker counts returned pieces asynchronously.
    bool WaitQueued(int want) {
        for (int i = 0; i < 400 && out.Queued() != want; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return out.Queued() == want;
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i)
            engine.Tick();
    }
};

using Seq = std::vector<int>;

TEST(PlayerEngine, TwoSecondRecordingPrimesBothSecondsAndEndsWithoutReset) {
    Rig r;
    ASSERT_TRUE(r.LoadMuLaw(2));
    ASSERT_TRUE(r.engine.PlayPause());
    EXPECT_EQ(r.Seconds(), (Seq{0, 1}));
    EXPECT_EQ(r.engine.Position(), 1);
    EXPECT_TRUE(r.view.timer);
    const int resets = r.log->resets;
    r.engine.Tick();
    EXPECT_EQ(r.engine.Position(), 2);
    EXPECT_EQ(r.engine.State(), PlayState::Stopped);
    EXPECT_FALSE(r.view.timer);
    EXPECT_EQ(r.log->resets, resets);  // the last second plays out
    EXPECT_EQ(r.Seconds(), (Seq{0, 1}));
    EXPECT_EQ(r.view.positions, (Seq{0, 2}));
}

TEST(PlayerEngine, RangesPlayTheirSeconds) {
    struct Case {
        const char* name;
        int seconds;
        int markStart, markEnd;  // bookmark, none when equal
        int selStart, selEnd;    // play selection, play marked when equal
        Seq want;
        int ticksToEnd;
    };
    const Case cases[] = {
        {"selection 3..6 from the second after its start", 10, 0, 0, 3, 6, {4, 5}, 1},
        {"marked 5..10 from its start", 12, 5, 10, 0, 0, {5, 6, 7, 8, 9}, 4},
        {"selection at the end of the recording", 6, 0, 0, 3, 6, {4, 5}, 1},
        {"marked segment past the end is cut at the end", 6, 4, 9, 0, 0, {4, 5}, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        ASSERT_TRUE(r.LoadMuLaw(c.seconds, c.markEnd > c.markStart
                                               ? BookmarkNote(c.markStart, c.markEnd)
                                               : std::string{}));
        if (c.selEnd > c.selStart)
            ASSERT_TRUE(r.engine.PlaySelection(c.selStart, c.selEnd));
        else
            ASSERT_TRUE(r.engine.PlayMarked());
        for (int t = 0; t < c.ticksToEnd; ++t) {
            EXPECT_EQ(r.engine.State(), PlayState::Playing) << "tick " << t;
            r.engine.Tick();
        }
        EXPECT_EQ(r.engine.State(), PlayState::Stopped);
        EXPECT_EQ(r.Seconds(), c.want);
    }
}

TEST(PlayerEngine, PauseAndResumeKeepThePosition) {
    Rig r;
    ASSERT_TRUE(r.LoadMuLaw(10));
    ASSERT_TRUE(r.engine.PlayPause());
    r.Ticks(2);
    EXPECT_EQ(r.engine.Position(), 3);
    ASSERT_TRUE(r.engine.PlayPause());
    EXPECT_EQ(r.engine.State(), PlayState::Paused);
    EXPECT_FALSE(r.view.timer);
    EXPECT_TRUE(r.WaitQueued(0));  // reset returned everything
    r.Ticks(3);                    // a stray tick while paused changes nothing
    EXPECT_EQ(r.engine.Position(), 3);
    const auto before = r.log->Count();
    ASSERT_TRUE(r.engine.PlayPause());
    EXPECT_EQ(r.engine.State(), PlayState::Playing);
    const auto seconds = r.Seconds();
    EXPECT_EQ(Seq(seconds.begin() + static_cast<long>(before), seconds.end()), (Seq{3, 4}));
}

TEST(PlayerEngine, PlaySelectionWhilePlayingRestartsInSelectionMode) {
    Rig r;
    ASSERT_TRUE(r.LoadMuLaw(10));
    ASSERT_TRUE(r.engine.PlayPause());
    r.Ticks(1);
    r.log->pieces.clear();
    ASSERT_TRUE(r.engine.PlaySelection(5, 9));
    EXPECT_EQ(r.engine.Mode(), PlayMode::Selection);
    EXPECT_EQ(r.engine.State(), PlayState::Playing);
    EXPECT_EQ(r.Seconds(), (Seq{6, 7}));
    // Play selection again pauses; play (whole) then restarts from 0.
    ASSERT_TRUE(r.engine.PlaySelection(5, 9));
    EXPECT_EQ(r.engine.State(), PlayState::Paused);
    r.log->pieces.clear();
    ASSERT_TRUE(r.engine.PlayPause());
    EXPECT_EQ(r.engine.Mode(), PlayMode::Whole);
    EXPECT_EQ(r.Seconds(), (Seq{0, 1}));
}

TEST(PlayerEngine, IgnoredCommands) {
    Rig r;
    EXPECT_FALSE(r.engine.PlayPause());  // nothing loaded
    EXPECT_FALSE(r.engine.Seek(3));
    EXPECT_FALSE(r.engine.Stop());
    ASSERT_TRUE(r.LoadMuLaw(10));
    EXPECT_FALSE(r.engine.PlaySelection(4, 4));  // empty selection
    EXPECT_FALSE(r.engine.PlaySelection(6, 2));
    EXPECT_FALSE(r.engine.PlayMarked());  // no bookmark
    EXPECT_FALSE(r.engine.Stop());        // already stopped
    EXPECT_EQ(r.log->Count(), 0u);
}

TEST(PlayerEngine, StopRedrawsAndKeepsTheRecording) {
    Rig r;
    ASSERT_TRUE(r.LoadMuLaw(10));
    ASSERT_TRUE(r.engine.Seek(5));
    EXPECT_EQ(r.Seconds(), (Seq{5, 6}));
    ASSERT_TRUE(r.engine.Stop());
    EXPECT_EQ(r.view.redraws, 1);
    EXPECT_FALSE(r.view.timer);
    EXPECT_TRUE(r.engine.HasRecording());
    r.log->pieces.clear();
    ASSERT_TRUE(r.engine.PlayPause());
    EXPECT_EQ(r.Seconds(), (Seq{0, 1}));
}

TEST(PlayerEngine, DeviceAlwaysHoldsASecondBeyondTheOneHeard) {
    Rig r;
    ASSERT_TRUE(r.LoadMuLaw(8));
    ASSERT_TRUE(r.engine.PlayPause());
    for (int t = 0; t < 6; ++t) {
        // Heard: position - 1; handed over: up to position.
        EXPECT_EQ(r.log->Count(), static_cast<std::size_t>(r.engine.Position() + 1)) << t;
        r.log->Finish(1);  // the device plays one second per tick
        r.engine.Tick();
    }
    EXPECT_EQ(r.Seconds(), (Seq{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST(PlayerEngine, DeviceRunningAheadOfTheTimerIsToppedUp) {
    Rig r;
    ASSERT_TRUE(r.LoadMuLaw(10));
    ASSERT_TRUE(r.engine.PlayPause());
    r.log->Finish(2);  // both primed seconds played before the first tick
    ASSERT_TRUE(r.WaitQueued(0));
    r.engine.Tick();
    EXPECT_EQ(r.Seconds(), (Seq{0, 1, 2, 3}));
}

TEST(PlayerEngine, ImaAdpcmStopThenPlayStartsAgainAtSecondZero) {
    Rig r;
    const auto pcm = test::VoiceLike(8000 * 4);
    const auto path = r.Write("r.xtr", BuildXtrRecording(kFormatImaAdpcm, pcm));
    ASSERT_TRUE(r.Load(path));
    EXPECT_EQ(r.engine.NeededType(), OutputFormatType::Pcm);
    EXPECT_EQ(r.out.Type(), OutputFormatType::Pcm);
    auto decoder = RecordingDecoder::Open(path);
    const auto whole = decoder->DecodeAll();
    const std::vector<std::int16_t> second0(whole.begin(), whole.begin() + 8000);
    ASSERT_TRUE(r.engine.PlayPause());
    r.Ticks(1);
    ASSERT_TRUE(r.engine.Stop());
    r.log->pieces.clear();
    ASSERT_TRUE(r.engine.PlayPause());
    ASSERT_EQ(r.log->Count(), 2u);
    EXPECT_EQ(r.log->pieces[0], second0);
    EXPECT_TRUE(std::filesystem::exists(r.dir / "temp" / "a.tmp"));
}

TEST(PlayerEngine, EncodingsDrawAndPlay) {
    struct Case {
        std::uint32_t tag;
        bool wav;
        OutputFormatType type;
        bool drawn;   // the waveform gets samples
        bool played;  // pieces reach the device
    };
    const Case cases[] = {
        {kFormatMuLaw, false, OutputFormatType::MuLaw, true, true},
        {5, false, OutputFormatType::MuLaw, true, true},
        {kFormatGsm, false, OutputFormatType::Pcm, true, true},
        {kFormatImaAdpcm, false, OutputFormatType::Pcm, true, true},
        {kFormatImaAdpcm, true, OutputFormatType::Pcm, true, true},
        {kFormatALaw, false, OutputFormatType::ALaw, false, false},
    };
    const auto pcm = test::VoiceLike(8000 * 3);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tag << (c.wav ? " wav" : ""));
        Rig r;
        const auto path = c.wav ? r.Write("r.wav", BuildWavRecording(pcm))
                                : r.Write("r.xtr", BuildXtrRecording(c.tag, pcm));
        ASSERT_TRUE(r.engine.Open(path));
        EXPECT_EQ(r.engine.Total(), 3);
        EXPECT_EQ(r.out.Type(), c.type);
        std::stop_source abort;
        std::vector<std::size_t> drawn;
        ASSERT_TRUE(r.engine.Load(abort.get_token(),
                                  [&](std::span<const std::int16_t> s, int i, int total) {
                                      EXPECT_EQ(total, 3);
                                      EXPECT_EQ(i, static_cast<int>(drawn.size()));
                                      drawn.push_back(s.size());
                                  }));
        ASSERT_EQ(drawn.size(), 3u);
        EXPECT_EQ(drawn[0] > 0, c.drawn);
        r.engine.Loaded();
        ASSERT_TRUE(r.engine.PlayPause());
        r.Ticks(2);
        // Silent or not, the position runs to the end.
        EXPECT_EQ(r.engine.Position(), 3);
        EXPECT_EQ(r.engine.State(), PlayState::Stopped);
        EXPECT_EQ(r.log->Count() > 0, c.played);
    }
}

// WAV files of other programs play as the PCM their header declares.
TEST(PlayerEngine, ForeignWavFilesPlayTheirDecodedPcm) {
    const auto pcm = Steps(3);
    std::vector<std::uint8_t> pcmBytes, alaw;
    for (auto s : pcm) {
        pcmBytes.push_back(static_cast<std::uint8_t>(s & 0xFF));
        pcmBytes.push_back(static_cast<std::uint8_t>((s >> 8) & 0xFF));
        alaw.push_back(LinearToALaw(s));
    }
    struct Case {
        const char* name;
        std::vector<std::uint8_t> file;
    };
    test::WavFields pcmFields;
    test::WavFields alawFields;
    alawFields.tag = 6;
    alawFields.blockAlign = 1;
    alawFields.bits = 8;
    const Case cases[] = {
        {"16-bit PCM", test::BuildWav(pcmFields, pcmBytes)},
        {"A-law", test::BuildWav(alawFields, alaw)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        ASSERT_TRUE(r.Load(r.Write("other.wav", c.file)));
        EXPECT_EQ(r.engine.Total(), 3);
        EXPECT_EQ(r.out.Type(), OutputFormatType::Pcm);
        ASSERT_TRUE(r.engine.PlayPause());
        ASSERT_EQ(r.log->Count(), 2u);
        for (int s = 0; s < 2; ++s) {
            ASSERT_EQ(r.log->pieces[static_cast<std::size_t>(s)].size(), 8000u);
            EXPECT_NEAR(r.log->pieces[static_cast<std::size_t>(s)][4000], Level(s), 20) << s;
        }
    }
}

TEST(PlayerEngine, RefusedRecordings) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    };
    const auto oneSecond = std::vector<std::int16_t>(8000, 100);
    auto shortMu = BuildXtrRecording(kFormatMuLaw, oneSecond);
    shortMu.pop_back();
    auto shortGsm = BuildXtrRecording(kFormatGsm, oneSecond);
    shortGsm.resize(shortGsm.size() - 1);
    const Case cases[] = {
        {"empty", {}},
        {"header only", std::vector<std::uint8_t>(12, 0)},
        {"mu-law one byte short of a second", shortMu},
        {"gsm one byte short of a second", shortGsm},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        EXPECT_FALSE(r.engine.Open(r.Write("r.xtr", c.bytes)));
        EXPECT_FALSE(r.engine.HasRecording());
        EXPECT_FALSE(r.engine.PlayPause());
    }
    Rig r;
    EXPECT_FALSE(r.engine.Open(r.dir / "missing.xtr"));
}

TEST(PlayerEngine, AbortEndsTheLoad) {
    Rig r;
    ASSERT_TRUE(r.engine.Open(
        r.Write("r.xtr", BuildXtrRecording(kFormatImaAdpcm, test::VoiceLike(8000 * 5)))));
    std::stop_source abort;
    abort.request_stop();
    int drawn = 0;
    EXPECT_FALSE(r.engine.Load(abort.get_token(), [&](auto, int, int) { ++drawn; }));
    EXPECT_EQ(drawn, 0);
}

// A long GSM recording is drawn by several decoders side by side; each
// second must still be drawn once, with the samples one decoder running
// from the start gives.
TEST(PlayerEngine, LongGsmLoadDrawsEverySecondOnceAsOneDecoderWould) {
    constexpr int kSeconds = 150;
    Rig r;
    const auto bytes = BuildXtrRecording(kFormatGsm, test::VoiceLike(8000u * kSeconds));
    ASSERT_TRUE(r.engine.Open(r.Write("long.xtr", bytes)));
    ASSERT_EQ(r.engine.Total(), kSeconds);
    std::mutex m;
    std::vector<std::vector<std::int16_t>> drawn(kSeconds);
    std::vector<int> times(kSeconds, 0);
    std::stop_source abort;
    ASSERT_TRUE(
        r.engine.Load(abort.get_token(), [&](std::span<const std::int16_t> s, int i, int total) {
            ASSERT_EQ(total, kSeconds);
            ASSERT_TRUE(i >= 0 && i < kSeconds);
            std::lock_guard lock(m);
            drawn[static_cast<std::size_t>(i)].assign(s.begin(), s.end());
            ++times[static_cast<std::size_t>(i)];
        }));
    EXPECT_EQ(times, std::vector<int>(kSeconds, 1));
    auto reference = RecordingDecoder::Open(r.dir / "long.xtr");
    ASSERT_TRUE(reference);
    const auto whole = DecodeGsmPayload(reference->Payload());
    for (int i = 0; i < kSeconds; ++i) {
        const auto from = static_cast<std::size_t>(i) * 8000u;
        const std::vector<std::int16_t> want(
            whole.begin() + static_cast<std::ptrdiff_t>(from),
            whole.begin() + static_cast<std::ptrdiff_t>(std::min(whole.size(), from + 8000u)));
        ASSERT_EQ(drawn[static_cast<std::size_t>(i)], want) << "second " << i;
    }
}

TEST(PlayerEngine, AbortStopsEveryGsmDecoder) {
    Rig r;
    ASSERT_TRUE(r.engine.Open(
        r.Write("long.xtr", BuildXtrRecording(kFormatGsm, test::VoiceLike(8000u * 200)))));
    std::stop_source abort;
    std::atomic<int> drawn{0};
    EXPECT_FALSE(r.engine.Load(abort.get_token(), [&](auto, int, int) {
        if (++drawn == 3) abort.request_stop();
    }));
    // Each decoder notices within the second it is drawing.
    EXPECT_LE(drawn.load(), 3 + PlayerEngine::GsmWorkers(200));
}

// IMA ADPCM is drawn as it is decoded; what is drawn must be what plays:
// the seconds read back from the decode file, the short last one included.
TEST(PlayerEngine, ImaAdpcmDrawsTheSecondsItPlays) {
    const std::pair<const char*, std::size_t> cases[] = {
        {"whole seconds", 8000u * 6},
        {"a short last second", 8000u * 6 + 3100},
        {"one block short", 8000u * 6 - 505},
        {"more than one batch of blocks", 8000u * 70 + 1234},
    };
    for (const auto& [name, samples] : cases) {
        SCOPED_TRACE(name);
        Rig r;
        ASSERT_TRUE(r.engine.Open(
            r.Write("r.xtr", BuildXtrRecording(kFormatImaAdpcm, test::VoiceLike(samples)))));
        std::vector<std::vector<std::int16_t>> drawn;
        std::stop_source abort;
        ASSERT_TRUE(
            r.engine.Load(abort.get_token(), [&](std::span<const std::int16_t> s, int i, int) {
                ASSERT_EQ(i, static_cast<int>(drawn.size()));
                drawn.emplace_back(s.begin(), s.end());
            }));
        ASSERT_EQ(static_cast<int>(drawn.size()), r.engine.Total());
        for (int i = 0; i < r.engine.Total(); ++i)
            EXPECT_EQ(drawn[static_cast<std::size_t>(i)], r.engine.ReadSecond(i, true, false))
                << "second " << i;
    }
}

TEST(PlayerEngine, RowsWrapAround) {
    struct Case {
        int row, count, step, want;
    };
    const Case cases[] = {
        {0, 5, -1, 4}, {4, 5, +1, 0}, {2, 5, +1, 3}, {2, 5, -1, 1}, {0, 1, +1, 0}, {0, 1, -1, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlayerEngine::StepRow(c.row, c.count, c.step), c.want)
            << c.row << " " << c.count << " " << c.step;
}

// Faster or slower, the position and the end stay in recorded time: a tick
// is one recorded second, only coming sooner or later.
TEST(PlayerEngine, SelectionAtAnySpeedEndsAtItsEnd) {
    for (int tenths : {5, 10, 15, 20}) {
        SCOPED_TRACE(tenths);
        Rig r;
        const auto pcm = test::VoiceLike(8000 * 10);
        ASSERT_TRUE(r.Load(r.Write("r.xtr", BuildXtrRecording(kFormatMuLaw, pcm))));
        r.engine.SetSpeedTenths(tenths);
        EXPECT_NEAR(r.engine.TickMs(), 10000.0 / tenths, 0.5);
        ASSERT_TRUE(r.engine.PlaySelection(3, 7));  // plays seconds 4, 5, 6
        int ticks = 0;
        for (; r.engine.State() == PlayState::Playing && ticks < 10; ++ticks)
            r.engine.Tick();
        EXPECT_EQ(ticks, 2);
        EXPECT_EQ(r.engine.Position(), 7);
        EXPECT_EQ(r.view.positions, (Seq{4, 6, 7}));
        // What the device got lasts the selection at that speed.
        std::size_t heard = 0;
        for (const auto& piece : r.log->pieces)
            heard += piece.size();
        const double want = 3 * 8000 * 10.0 / tenths;
        EXPECT_NEAR(static_cast<double>(heard), want, want * 0.03);
    }
}

TEST(PlayerEngine, SpeedChangedWhilePlayingRestartsTheTickAtTheNewPace) {
    Rig r;
    ASSERT_TRUE(r.LoadMuLaw(10));
    ASSERT_TRUE(r.engine.PlayPause());
    const int starts = r.view.timerStarts;
    r.engine.SetSpeedTenths(15);
    EXPECT_EQ(r.view.timerStarts, starts + 1);
    EXPECT_EQ(r.engine.TickMs(), 667);
    EXPECT_EQ(r.engine.Position(), 1);  // the position stays where it was
    r.engine.SetSpeedTenths(15);        // no change, no restart
    EXPECT_EQ(r.view.timerStarts, starts + 1);
}

TEST(PlayerEngine, ResumeRewindsWithinWhatPlays) {
    struct Case {
        const char* name;
        int rewind;
        int selStart, selEnd;  // whole recording when equal
        int ticks;             // before the pause
        int want;              // the first second heard on resume
    };
    const Case cases[] = {
        {"no rewind resumes where it paused", 0, 0, 0, 5, 6},
        {"two seconds back from second 5", 2, 0, 0, 5, 3},
        {"near the start stops at second 0", 2, 0, 0, 1, 0},
        {"at the very start", 5, 0, 0, 0, 0},
        {"a selection never rewinds before its start", 3, 4, 12, 2, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        ASSERT_TRUE(r.LoadMuLaw(20));
        r.engine.SetRewindOnResume(c.rewind);
        if (c.selEnd > c.selStart)
            ASSERT_TRUE(r.engine.PlaySelection(c.selStart, c.selEnd));
        else
            ASSERT_TRUE(r.engine.PlayPause());
        r.Ticks(c.ticks);
        ASSERT_TRUE(c.selEnd > c.selStart ? r.engine.PlaySelection(c.selStart, c.selEnd)
                                          : r.engine.PlayPause());
        ASSERT_EQ(r.engine.State(), PlayState::Paused);
        r.log->pieces.clear();
        ASSERT_TRUE(c.selEnd > c.selStart ? r.engine.PlaySelection(c.selStart, c.selEnd)
                                          : r.engine.PlayPause());
        ASSERT_FALSE(r.log->pieces.empty());
        EXPECT_EQ(r.Seconds().front(), c.want);
    }
}

TEST(PlayerEngine, SkipStaysInsideWhatPlays) {
    struct Case {
        const char* name;
        int selStart, selEnd;  // whole recording when equal
        int ticks;
        int step;
        int want;  // the second heard next
    };
    const Case cases[] = {
        {"forward five", 0, 0, 3, 5, 8},
        {"back five", 0, 0, 8, -5, 3},
        {"back before the start lands on second 0", 0, 0, 2, -5, 0},
        {"forward past the end lands on the last second", 0, 0, 9, 5, 11},
        {"a selection keeps its start", 3, 10, 2, -5, 4},
        {"a selection keeps its end", 3, 10, 2, 30, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        // Twelve seconds: their µ-law levels stay apart.
        ASSERT_TRUE(r.LoadMuLaw(12));
        EXPECT_FALSE(r.engine.Skip(c.step));  // stopped: nothing to move
        if (c.selEnd > c.selStart)
            ASSERT_TRUE(r.engine.PlaySelection(c.selStart, c.selEnd));
        else
            ASSERT_TRUE(r.engine.PlayPause());
        r.Ticks(c.ticks);
        r.log->pieces.clear();
        ASSERT_TRUE(r.engine.Skip(c.step));
        EXPECT_EQ(r.engine.State(), PlayState::Playing);
        ASSERT_FALSE(r.log->pieces.empty());
        EXPECT_EQ(r.Seconds().front(), c.want);
        EXPECT_EQ(r.engine.Position(), c.want + 1);
    }
}

TEST(PlayerEngine, SkipWhilePausedResumesThereWithoutRewind) {
    Rig r;
    ASSERT_TRUE(r.LoadMuLaw(20));
    r.engine.SetRewindOnResume(2);
    ASSERT_TRUE(r.engine.PlayPause());
    r.Ticks(5);
    ASSERT_TRUE(r.engine.PlayPause());
    ASSERT_TRUE(r.engine.Skip(5));
    EXPECT_EQ(r.engine.State(), PlayState::Paused);
    EXPECT_EQ(r.view.positions.back(), 10);
    r.log->pieces.clear();
    ASSERT_TRUE(r.engine.PlayPause());
    EXPECT_EQ(r.Seconds().front(), 10);
}

TEST(PlayerEngine, LevellingBringsAQuietRecordingToTheLoudOnesLevel) {
    const auto loud = test::VoiceLike(8000 * 6, 10000);
    const auto quiet = test::VoiceLike(8000 * 6, 1000);  // 20 dB below
    const auto levelOf = [](const std::vector<std::int16_t>& pcm, std::uint32_t tag) {
        Rig r;
        r.engine.SetLevelTarget(-23);
        EXPECT_TRUE(r.Load(r.Write("r.xtr", BuildXtrRecording(tag, pcm))));
        EXPECT_TRUE(r.engine.Loudness().has_value());
        return std::pair{r.engine.Loudness().value_or(0), r.engine.LevelDb()};
    };
    for (auto tag : {kFormatMuLaw, kFormatGsm, kFormatImaAdpcm}) {
        SCOPED_TRACE(tag);
        const auto [loudLufs, loudDb] = levelOf(loud, tag);
        const auto [quietLufs, quietDb] = levelOf(quiet, tag);
        EXPECT_NEAR(loudLufs - quietLufs, 20.0, 1.0);
        EXPECT_NEAR(loudLufs + loudDb, -23.0, 0.01);
        EXPECT_NEAR(quietLufs + quietDb, -23.0, 0.01);
    }
    // Off plays as recorded; the waveform never sees the gain.
    Rig r;
    r.engine.SetLevelTarget(std::nullopt);
    std::vector<std::int16_t> drawn;
    ASSERT_TRUE(r.engine.Open(r.Write("r.xtr", BuildXtrRecording(kFormatImaAdpcm, quiet))));
    ASSERT_TRUE(r.engine.Load({}, [&](std::span<const std::int16_t> s, int, int) {
        drawn.insert(drawn.end(), s.begin(), s.end());
    }));
    r.engine.Loaded();
    EXPECT_EQ(r.engine.LevelDb(), 0.0);
    r.engine.SetLevelTarget(-23);
    EXPECT_GT(r.engine.LevelDb(), 10.0);
    int peak = 0;
    for (auto v : drawn)
        peak = std::max(peak, std::abs(static_cast<int>(v)));
    EXPECT_LT(peak, 2000);  // drawn as recorded, not lifted
}

// A long recording plays from its first seconds while the load decodes the
// rest on another thread; a seek ahead of the load waits for the seconds it
// needs rather than playing silence or another second.
TEST(PlayerEngine, PlaysFromTheFirstSecondsWhileTheLoadDecodesTheRest) {
    constexpr int kSeconds = 120;
    const auto level = [](int k) { return static_cast<std::int16_t>(100 * (k + 1)); };
    std::vector<std::int16_t> pcm;
    for (int k = 0; k < kSeconds; ++k)
        pcm.insert(pcm.end(), 8000, level(k));
    std::vector<std::uint8_t> pcmBytes;
    for (auto v : pcm) {
        pcmBytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
        pcmBytes.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    }
    struct Case {
        const char* name;
        const char* file;
        std::vector<std::uint8_t> bytes;
        bool levelsKept;  // GSM does not keep a steady level
    };
    const Case cases[] = {
        {"IMA ADPCM", "r.xtr", BuildXtrRecording(kFormatImaAdpcm, pcm), true},
        {"PCM WAV of another program", "other.wav", test::BuildWav({}, pcmBytes), true},
        {"GSM", "r.xtr", BuildXtrRecording(kFormatGsm, pcm), false},
        {"mu-law", "r.xtr", BuildXtrRecording(kFormatMuLaw, pcm), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        ASSERT_TRUE(r.engine.Open(r.Write(c.file, c.bytes)));
        std::atomic<int> drawn{0};
        std::mutex mutex;
        std::condition_variable changed;
        bool playable = false, resume = false;
        int drawnWhenPlayable = 0;
        bool done = false;
        // The load stops where it says it can be played until the test has started playback.
        std::thread load([&] {
            done = r.engine.Load(
                {}, [&](std::span<const std::int16_t>, int, int) { ++drawn; },
                [&](std::optional<double>) {
                    std::unique_lock lock(mutex);
                    drawnWhenPlayable = drawn.load();
                    playable = true;
                    changed.notify_all();
                    changed.wait(lock, [&] { return resume; });
                });
        });
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return playable; });
        }
        EXPECT_GE(drawnWhenPlayable, PlayerEngine::kStartSeconds);
        EXPECT_LT(drawnWhenPlayable, kSeconds);
        EXPECT_TRUE(r.engine.PlayPause());
        {
            std::lock_guard lock(mutex);
            resume = true;
        }
        changed.notify_all();
        EXPECT_TRUE(r.engine.Seek(kSeconds - 2));
        load.join();
        EXPECT_TRUE(done);
        ASSERT_EQ(r.log->Count(), 4u);
        const int heard[] = {0, 1, kSeconds - 2, kSeconds - 1};
        for (std::size_t i = 0; i < 4; ++i) {
            ASSERT_EQ(r.log->pieces[i].size(), 8000u) << i;
            if (c.levelsKept) {
                EXPECT_NEAR(r.log->pieces[i][4000], level(heard[i]), 40) << i;
            }
        }
    }
}

}  // namespace
}  // namespace lk
