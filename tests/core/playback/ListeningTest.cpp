// Playing faster or slower, levelled and at a volume: what the listener
// hears must keep its pitch, its length in recorded time and never clip.

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <utility>

#include "TestSignal.h"
#include "playback/PlaybackGain.h"
#include "playback/TimeStretcher.h"

namespace lk {
namespace {

constexpr double kPi = 3.14159265358979;

std::vector<float> Tone(double hz, std::size_t count, double amplitude) {
    std::vector<float> out(count);
    for (std::size_t i = 0; i < count; ++i)
        out[i] =
            static_cast<float>(amplitude * std::sin(2 * kPi * hz * static_cast<double>(i) / 8000));
    return out;
}

// The frequency of a steady tone from its rising zero crossings.
double ToneHz(const std::vector<float>& x) {
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

TEST(TimeStretcher, SpeedsKeepThePitchAndScaleTheLength) {
    for (int tenths : {5, 8, 13, 15, 20}) {
        SCOPED_TRACE(tenths);
        TimeStretcher s;
        s.SetTenths(tenths);
        const auto tone = Tone(440.0, 8000, 8000);
        std::vector<float> heard;
        // Fed as the player feeds it: one recorded second at a time.
        for (int k = 0; k < 6; ++k) {
            const auto out = s.Process(tone);
            heard.insert(heard.end(), out.begin(), out.end());
        }
        const auto tail = s.Flush();
        heard.insert(heard.end(), tail.begin(), tail.end());
        const double want = 6 * 8000 * 10.0 / tenths;
        EXPECT_NEAR(static_cast<double>(heard.size()), want, want * 0.02);
        // Away from the edges the tone is as recorded.
        const std::vector<float> middle(heard.begin() + 2000, heard.end() - 2000);
        EXPECT_NEAR(ToneHz(middle), 440.0, 440.0 * 0.02);
    }
}

TEST(TimeStretcher, NormalSpeedIsUntouchedAndSpeedsAreKeptInRange) {
    TimeStretcher s;
    EXPECT_TRUE(s.Bypassed());
    const auto tone = Tone(300.0, 8000, 5000);
    EXPECT_EQ(s.Process(tone), tone);
    s.SetTenths(1);
    EXPECT_EQ(s.Tenths(), TimeStretcher::kMinTenths);
    s.SetTenths(99);
    EXPECT_EQ(s.Tenths(), TimeStretcher::kMaxTenths);
    // Back to normal speed mid-stream: the held tail comes first, nothing is lost.
    s.SetTenths(20);
    const auto fast = s.Process(tone);
    s.SetTenths(10);
    const auto back = s.Process(tone);
    EXPECT_NEAR(static_cast<double>(fast.size() + back.size()), 4000.0 + 8000.0, 200.0);
}

TEST(PlaybackGain, LevelIsTheDistanceToTheTargetWithinBounds) {
    struct Case {
        const char* name;
        std::optional<double> lufs;
        std::optional<int> target;
        double want;
    };
    const Case cases[] = {
        {"quiet line lifted", -43.0, -23, 20.0},
        {"loud line lowered", -12.5, -23, -10.5},
        {"levelling off", -43.0, std::nullopt, 0.0},
        {"silence left alone", std::nullopt, -23, 0.0},
        {"below the gate left alone", -80.0, -23, 0.0},
        {"near-silent line lifted no more than the cap", -65.0, -23, PlaybackGain::kMaxLiftDb},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_DOUBLE_EQ(PlaybackGain::LevelDb(c.lufs, c.target), c.want);
    }
}

TEST(PlaybackGain, NothingClipsAtAnyLevelAndVolume) {
    // A full-scale square with spikes: the worst a card can hold.
    std::vector<float> loud(8000);
    for (std::size_t i = 0; i < loud.size(); ++i)
        loud[i] = (i / 20) % 2 ? 32767.0f : -32768.0f;
    const auto voice = test::VoiceLike(8000, 12000);
    const std::vector<float> speech(voice.begin(), voice.end());
    for (double db : {0.0, 6.0, 20.0, 30.0, 60.0})
        for (int volume : {0, 50, 100}) {
            SCOPED_TRACE(testing::Message() << db << " dB at " << volume << "%");
            PlaybackGain g;
            g.SetLevelDb(db);
            g.SetVolume(volume);
            for (const std::vector<float>* in : {&std::as_const(loud), &speech}) {
                const auto out = g.Apply(*in);
                ASSERT_EQ(out.size(), in->size());
                const auto peak =
                    std::accumulate(out.begin(), out.end(), 0, [](int m, std::int16_t v) {
                        return std::max(m, std::abs(static_cast<int>(v)));
                    });
                // Louder than recorded stays under the ceiling; softer can't clip.
                const bool louder = std::pow(10.0, db / 20) * volume / 100 > 1.0;
                EXPECT_LE(peak, louder ? static_cast<int>(PlaybackGain::kCeiling) + 1 : 32768);
                if (volume == 0) {
                    EXPECT_EQ(peak, 0);
                }
            }
        }
}

TEST(PlaybackGain, UnityAndVolumeScaleExactlyWithoutTheLimiter) {
    const auto voice = test::VoiceLike(4000, 30000);
    const std::vector<float> in(voice.begin(), voice.end());
    PlaybackGain g;
    EXPECT_EQ(g.Apply(in), voice);
    g.SetVolume(50);
    const auto half = g.Apply(in);
    for (std::size_t i = 0; i < half.size(); i += 97)
        EXPECT_NEAR(half[i], voice[i] / 2.0, 1.0);
}

TEST(PlaybackGain, LiftedSpeechKeepsItsShapeBelowTheCeiling) {
    // 20 dB of lift on quiet speech: the limiter must not touch it.
    const auto quiet = test::VoiceLike(8000, 1500);
    const std::vector<float> in(quiet.begin(), quiet.end());
    PlaybackGain g;
    g.SetLevelDb(20.0);
    const auto out = g.Apply(in);
    for (std::size_t i = 0; i < out.size(); i += 37)
        EXPECT_NEAR(out[i], quiet[i] * 10.0, 2.0) << i;
}

// A level refined while the recording plays (its whole loudness measured
// after playback started) glides there: no step a listener hears as a
// click, and still nothing clips.
TEST(PlaybackGain, ALevelChangedWhilePlayingGlidesWithoutAStepOrAClip) {
    struct Case {
        const char* name;
        double from, to;
        float input;
    };
    const Case cases[] = {
        {"lifted further", 0.0, 6.0, 8000.0f},
        {"brought down", 12.0, 0.0, 2000.0f},
        {"lifted into the limiter", 0.0, 30.0, 1000.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PlaybackGain g;
        g.SetLevelDb(c.from);
        const std::vector<float> steady(800, c.input);
        const auto before = g.Apply(steady);
        g.GlideToLevelDb(c.to);
        EXPECT_DOUBLE_EQ(g.LevelDb(), c.to);
        std::vector<std::int16_t> out;
        for (int k = 0; k < 4; ++k) {
            const auto piece = g.Apply(steady);
            out.insert(out.end(), piece.begin(), piece.end());
        }
        // Within one sample of the old level at the start, no jumps on the way.
        EXPECT_NEAR(out.front(), before.back(), std::abs(before.back()) * 0.01 + 2);
        int step = 0, peak = 0;
        for (std::size_t i = 1; i < out.size(); ++i) {
            step = std::max(step, std::abs(out[i] - out[i - 1]));
            peak = std::max(peak, std::abs(static_cast<int>(out[i])));
        }
        EXPECT_LT(step, 200);
        EXPECT_LE(peak, static_cast<int>(PlaybackGain::kCeiling) + 1);
        // At the new level once the glide is over, as a level set at once gives.
        PlaybackGain direct;
        direct.SetLevelDb(c.to);
        EXPECT_NEAR(out.back(), direct.Apply(steady).back(), 2);
    }
}

}  // namespace
}  // namespace lk
