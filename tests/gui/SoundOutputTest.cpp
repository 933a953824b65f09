// Plays a demonstration card's recording through the real sound output into
// a private PulseAudio null sink, records the sink's monitor and compares
// what was heard with what was decoded.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "playback/AudioOutput.h"
#include "playback/PlayerEngine.h"
#include "playback/RecordingDecoder.h"
#include "support/QtAudioSink.h"
#include "support/RunCli.h"
#include "support/SoundServer.h"
#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;

// The pane's timer, as the player runs it: one tick per second.
struct TimerView : PlayerView {
    QTimer timer;
    std::vector<int> positions;
    TimerView() {
        timer.setInterval(1000);
        timer.setTimerType(Qt::PreciseTimer);
    }
    void SetPosition(int second, int) override { positions.push_back(second); }
    void Redraw() override {}
    void RefreshCaptions() override {}
    void SetTickTimer(bool running) override {
        if (running)
            timer.start();
        else
            timer.stop();
    }
};

// The demo card's shortest recording of at least `minSeconds`.
fs::path ShortRecording(const fs::path& card, unsigned minSeconds) {
    fs::path best;
    unsigned bestSeconds = 0;
    for (const auto& e : fs::recursive_directory_iterator(card)) {
        if (!e.is_regular_file()) continue;
        const auto ext = e.path().extension();
        if (ext != ".xtr" && ext != ".wav") continue;
        auto d = RecordingDecoder::Open(e.path());
        if (!d) continue;
        const auto s = d->TotalSeconds();
        if (s >= minSeconds && (best.empty() || s < bestSeconds)) {
            best = e.path();
            bestSeconds = s;
        }
    }
    return best;
}

std::vector<std::int16_t> ReadRaw(const fs::path& p) {
    const auto bytes = test::ReadFile(p);
    std::vector<std::int16_t> out(bytes.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return out;
}

double Correlation(const std::vector<std::int16_t>& want, const std::vector<std::int16_t>& got,
                   std::size_t lag, std::size_t count) {
    double sw = 0, sg = 0, sx = 0;
    for (std::size_t i = 0; i < count && i < want.size() && lag + i < got.size(); ++i) {
        const double w = want[i], g = got[lag + i];
        sw += w * w;
        sg += g * g;
        sx += w * g;
    }
    return sw > 0 && sg > 0 ? sx / std::sqrt(sw * sg) : 0.0;
}

TEST(SoundOutput, DemoRecordingPlaysGaplessThroughTheSoundServer) {
    test::SoundServer server;
    if (!server.Running()) GTEST_SKIP() << "no sound server could start: " << server.Why();

    test::TempDir dir;
    const auto run = test::RunCli({"demo-card", (dir / "card").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto path = ShortRecording(dir / "card", 4);
    ASSERT_FALSE(path.empty());
    auto decoder = RecordingDecoder::Open(path);
    ASSERT_TRUE(decoder);
    const int total = static_cast<int>(decoder->TotalSeconds());
    auto want = decoder->DecodeAll();
    want.resize(static_cast<std::size_t>(total) * 8000);

    AudioOutput output(std::make_unique<gui::QtAudioSink>());
    ASSERT_TRUE(output.Open(OutputFormatType::ImaAdpcm))
        << "the null sink is not the default output";
    TimerView view;
    PlayerEngine engine(output, view, dir / "temp");
    QObject::connect(&view.timer, &QTimer::timeout, [&] { engine.Tick(); });
    ASSERT_TRUE(engine.Open(path));
    ASSERT_TRUE(output.IsOpen());
    std::atomic<bool> abort{false};
    ASSERT_TRUE(engine.Load(abort, nullptr));
    engine.Loaded();

    const auto raw = dir / "heard.raw";
    ASSERT_TRUE(server.StartRecording(raw));
    ASSERT_TRUE(engine.PlayPause());
    QElapsedTimer clock;
    clock.start();
    while (engine.State() == PlayState::Playing && clock.elapsed() < (total + 5) * 1000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(engine.State(), PlayState::Stopped);
    // The last second plays out after the final tick.
    QElapsedTimer tail;
    tail.start();
    while (tail.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    server.StopRecording();
    output.Close();

    const auto heard = ReadRaw(raw);
    ASSERT_GT(heard.size(), want.size()) << "the monitor recorded too little";
    // Align on the first half second, then compare the whole recording.
    std::size_t lag = 0;
    double best = -1;
    const std::size_t window = 4000;
    for (std::size_t l = 0; l + want.size() <= heard.size() && l < 3 * 8000; ++l) {
        const double c = Correlation(want, heard, l, window);
        if (c > best) {
            best = c;
            lag = l;
        }
    }
    const double whole = Correlation(want, heard, lag, want.size());
    EXPECT_GE(whole, 0.9) << "lag " << lag << " samples";

    // A gap is heard silence where the recording has sound: no run of more
    // than 20 ms (160 samples) may fall silent that way.
    std::size_t longest = 0, run0 = 0;
    for (std::size_t i = 0; i < want.size(); ++i) {
        const bool silent = std::abs(heard[lag + i]) <= 1;
        const bool sound = std::abs(want[i]) > 64;
        run0 = silent ? run0 + 1 : 0;
        if (silent && sound) longest = std::max(longest, run0);
    }
    EXPECT_LE(longest, 160u) << "a gap of " << longest << " samples";
}

}  // namespace
}  // namespace lk

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
