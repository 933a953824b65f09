// Plays a demonstration card's recording through the real sound output into
// a private PulseAudio server, records what its sink played and compares
// what was heard with what was decoded.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <ebur128.h>

#include "export/RecordingWriter.h"
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

// The pane's timer, as the player runs it: one tick per recorded second.
struct TimerView : PlayerView {
    QTimer timer;
    std::vector<int> positions;
    const PlayerEngine* engine = nullptr;
    TimerView() {
        timer.setInterval(1000);
        timer.setTimerType(Qt::PreciseTimer);
    }
    void SetPosition(int second, int) override { positions.push_back(second); }
    void Redraw() override {}
    void RefreshCaptions() override {}
    void SetTickTimer(bool running) override {
        if (engine) timer.setInterval(engine->TickMs());
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

// One sound server for every case of a run: the sound output stays bound to
// the first server it met, as a desktop program stays bound to its session's.
class SoundOutput : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server = std::make_unique<test::SoundServer>(); }
    static void TearDownTestSuite() { server.reset(); }
    static inline std::unique_ptr<test::SoundServer> server;
};

TEST_F(SoundOutput, DemoRecordingPlaysGaplessThroughTheSoundServerOverALateTick) {
    if (!server->Running()) GTEST_SKIP() << "no sound server could start: " << server->Why();

    test::TempDir dir;
    const auto run = test::RunCli({"demo-card", (dir / "card").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto path = ShortRecording(dir / "card", 4);
    ASSERT_FALSE(path.empty());
    auto decoder = RecordingDecoder::Open(path);
    ASSERT_TRUE(decoder);
    const int total = static_cast<int>(decoder->TotalSeconds());
    // The player decodes GSM second by second through a decoder state of
    // its own, apart from the waveform's: decode it the same way.
    std::vector<std::int16_t> want;
    if (decoder->FormatTag() == kFormatGsm) {
        GsmDecoder gsm;
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
    view.engine = &engine;
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
    ASSERT_TRUE(server->StartRecording(raw));
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
    server->StopRecording();
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

// Plays a generated recording through the sound server as the pane would and
// gives what the sink played.
struct Played {
    std::vector<std::int16_t> heard;
    bool ok = false;
};

Played PlayThroughServer(test::SoundServer& server, const fs::path& dir,
                         const std::vector<std::int16_t>& pcm, int speedTenths,
                         std::optional<int> level) {
    Played result;
    const auto path = dir / "r.xtr";
    test::WriteFile(path, BuildXtrRecording(kFormatImaAdpcm, pcm));
    AudioOutput output(std::make_unique<gui::QtAudioSink>());
    if (!output.Open(OutputFormatType::Pcm)) return result;
    TimerView view;
    PlayerEngine engine(output, view, dir / "temp");
    view.engine = &engine;
    QObject::connect(&view.timer, &QTimer::timeout, [&] { engine.Tick(); });
    engine.SetSpeedTenths(speedTenths);
    engine.SetLevelTarget(level);
    if (!engine.Open(path)) return result;
    if (!engine.Load({}, nullptr)) return result;
    engine.Loaded();
    const auto raw = dir / "heard.raw";
    if (!server.StartRecording(raw)) return result;
    if (!engine.PlayPause()) return result;
    QElapsedTimer clock;
    clock.start();
    const qint64 limit = static_cast<qint64>(pcm.size()) / 8 * 10 / speedTenths + 5000;
    while (engine.State() == PlayState::Playing && clock.elapsed() < limit)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QElapsedTimer tail;
    tail.start();
    while (tail.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    server.StopRecording();
    output.Close();
    result.heard = ReadRaw(raw);
    result.ok = engine.State() == PlayState::Stopped;
    return result;
}

// The first and one past the last sample above the noise floor.
std::pair<std::size_t, std::size_t> SoundSpan(const std::vector<std::int16_t>& x) {
    std::size_t first = x.size(), last = 0;
    for (std::size_t i = 0; i < x.size(); ++i)
        if (std::abs(x[i]) > 300) {
            first = std::min(first, i);
            last = i + 1;
        }
    return {first, std::max(first, last)};
}

// The frequency of a steady tone from its rising zero crossings.
double ToneHz(std::span<const std::int16_t> x) {
    std::size_t first = 0, last = 0, crossings = 0;
    for (std::size_t i = 1; i < x.size(); ++i)
        if (x[i - 1] < 0 && x[i] >= 0) {
            if (crossings++ == 0) first = i;
            last = i;
        }
    return crossings < 2
               ? 0
               : 8000.0 * static_cast<double>(crossings - 1) / static_cast<double>(last - first);
}

double Lufs(std::span<const std::int16_t> x) {
    const auto destroy = [](ebur128_state* st) { ebur128_destroy(&st); };
    std::unique_ptr<ebur128_state, decltype(destroy)> st(ebur128_init(1, 8000, EBUR128_MODE_I),
                                                         destroy);
    double lufs = -HUGE_VAL;
    if (st) {
        (void)ebur128_add_frames_short(st.get(), x.data(), x.size());
        (void)ebur128_loudness_global(st.get(), &lufs);
    }
    return lufs;
}

TEST_F(SoundOutput, OneAndAHalfTimesFasterKeepsThePitchAndLastsTwoThirds) {
    if (!server->Running()) GTEST_SKIP() << "no sound server could start: " << server->Why();
    test::TempDir dir;
    // A minute of a steady 500 Hz tone.
    std::vector<std::int16_t> tone(60 * 8000);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<std::int16_t>(
            8000 * std::sin(2 * 3.14159265358979 * 500.0 * static_cast<double>(i) / 8000));
    const auto played = PlayThroughServer(*server, dir.path(), tone, 15, std::nullopt);
    ASSERT_TRUE(played.ok);
    const auto [first, last] = SoundSpan(played.heard);
    ASSERT_LT(first, last) << "nothing was heard";
    const double seconds = static_cast<double>(last - first) / 8000;
    EXPECT_NEAR(seconds, 40.0, 0.5);
    std::printf("heard for %.2f s\n", seconds);
    const std::span<const std::int16_t> middle(played.heard.data() + first + 8000,
                                               last - first - 16000);
    EXPECT_NEAR(ToneHz(middle), 500.0, 500.0 * 0.02);
    std::printf("tone heard at %.1f Hz\n", ToneHz(middle));
}

TEST_F(SoundOutput, AQuietRecordingIsHeardAsLoudAsALoudOne) {
    if (!server->Running()) GTEST_SKIP() << "no sound server could start: " << server->Why();
    test::TempDir dir;
    // Speech-like sound, the second one 20 dB quieter.
    const auto voice = [](double amplitude) {
        std::vector<std::int16_t> out(6 * 8000);
        const double pi = 3.14159265358979;
        for (std::size_t i = 0; i < out.size(); ++i) {
            const double t = static_cast<double>(i) / 8000.0;
            double v = 0;
            for (int h = 1; h <= 6; ++h)
                v += std::sin(2 * pi * 150 * h * t) / h;
            out[i] = static_cast<std::int16_t>(amplitude * 0.5 * v *
                                               (0.6 + 0.4 * std::sin(2 * pi * 2 * t)));
        }
        return out;
    };
    const auto loud = PlayThroughServer(*server, dir.path(), voice(12000), 10, -23);
    const auto quiet = PlayThroughServer(*server, dir.path(), voice(1200), 10, -23);
    ASSERT_TRUE(loud.ok);
    ASSERT_TRUE(quiet.ok);
    const auto peakOf = [](const std::vector<std::int16_t>& x) {
        int peak = 0;
        for (auto v : x)
            peak = std::max(peak, std::abs(static_cast<int>(v)));
        return peak;
    };
    EXPECT_NEAR(Lufs(quiet.heard), Lufs(loud.heard), 1.0);
    std::printf("heard at %.2f and %.2f LUFS\n", Lufs(loud.heard), Lufs(quiet.heard));
    EXPECT_NEAR(Lufs(loud.heard), -23.0, 1.5);
    EXPECT_LT(peakOf(loud.heard), 32767);
    EXPECT_LT(peakOf(quiet.heard), 32767);
}

}  // namespace
}  // namespace lk

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
