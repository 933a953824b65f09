// Plays a demonstration card's recording through the real sound output into
// a private PulseAudio server, records what its sink played and compares
// what was heard with what was decoded.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "playback/AudioOutput.h"
#include "playback/GsmCodec.h"
#include "playback/PlayerEngine.h"
#include "playback/RecordingDecoder.h"
#include "playback/XtrFormat.h"
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

TEST(SoundOutput, DemoRecordingPlaysGaplessThroughTheSoundServerOverALateTick) {
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
    // The player decodes GSM through one decoder state that the waveform
    // pass has already run through: decode it the same way.
    std::vector<std::int16_t> want;
    if (decoder->FormatTag() == kFormatGsm) {
        GsmDecoder gsm;
        std::vector<std::int16_t> drawn;
        for (int i = 0; i < total; ++i)
            gsm.DecodeFrames(decoder->RawSecond(static_cast<unsigned>(i)), drawn);
        for (int i = 0; i < total; ++i)
            gsm.DecodeFrames(decoder->RawSecond(static_cast<unsigned>(i)), want);
    } else {
        want = decoder->DecodeAll();
    }
    want.resize(static_cast<std::size_t>(total) * 8000);

    AudioOutput output(std::make_unique<gui::QtAudioSink>());
    ASSERT_TRUE(output.Open(OutputFormatType::ImaAdpcm))
        << "the test sink is not the default output";
    TimerView view;
    PlayerEngine engine(output, view, dir / "temp");
    // The user interface is busy at the first tick: it comes 600 ms late.
    // The second queued ahead must carry the sound over it.
    bool late = true;
    QObject::connect(&view.timer, &QTimer::timeout, [&] {
        if (late) std::this_thread::sleep_for(std::chrono::milliseconds(600));
        late = false;
        engine.Tick();
    });
    ASSERT_TRUE(engine.Open(path));
    ASSERT_TRUE(output.IsOpen());
    ASSERT_TRUE(engine.Load({}, nullptr));
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
    // Align the onsets, then refine on the whole recording: the synthetic
    // voice repeats itself, so a short window alone is ambiguous.
    const auto onset = [](const std::vector<std::int16_t>& x) {
        for (std::size_t i = 0; i < x.size(); ++i)
            if (std::abs(x[i]) > 200) return static_cast<long>(i);
        return 0L;
    };
    const long rough = onset(heard) - onset(want);
    std::size_t lag = 0;
    double best = -1;
    for (long l = std::max(0L, rough - 400); l <= rough + 400; ++l) {
        const auto ul = static_cast<std::size_t>(l);
        if (ul + want.size() > heard.size()) break;
        const double c = Correlation(want, heard, ul, want.size());
        if (c > best) {
            best = c;
            lag = ul;
        }
    }
    ASSERT_LE(lag + want.size(), heard.size());
    EXPECT_GE(best, 0.9) << "lag " << lag << " samples";

    // A gap: a 20 ms stretch heard silent where the recording has sound.
    std::size_t gaps = 0, firstGap = 0;
    constexpr std::size_t kWindow = 160;
    for (std::size_t i = 0; i + kWindow <= want.size(); i += 16) {
        int wantPeak = 0, heardPeak = 0;
        for (std::size_t k = i; k < i + kWindow; ++k) {
            wantPeak = std::max(wantPeak, std::abs(static_cast<int>(want[k])));
            heardPeak = std::max(heardPeak, std::abs(static_cast<int>(heard[lag + k])));
        }
        if (wantPeak > 500 && heardPeak <= 1 && gaps++ == 0) firstGap = i;
    }
    EXPECT_EQ(gaps, 0u) << "silence heard from sample " << firstGap << " of " << want.size();
    if (const char* keep = std::getenv("LK_KEEP_HEARD")) {
        fs::copy_file(raw, keep, fs::copy_options::overwrite_existing);
        std::vector<std::uint8_t> bytes;
        for (auto v : want) {
            bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
        }
        test::WriteFile(std::string(keep) + ".want", bytes);
    }
}

}  // namespace
}  // namespace lk

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
