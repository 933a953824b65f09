// Loads a one-hour recording of each encoding into the player's engine with
// the waveform drawn at 1200 pixels, as the pane's load does, and prints the
// median of five loads in milliseconds. Runs offscreen: bench_player_load

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "export/RecordingWriter.h"
#include "playback/AudioOutput.h"
#include "playback/PlayerEngine.h"
#include "playback/RecordingDecoder.h"
#include "playback/XtrFormat.h"
#include "player/CWaveView.h"

namespace fs = std::filesystem;
using namespace lk;

namespace {

// A sound device that plays nothing.
class SilentSink : public AudioSink {
  public:
    bool Open(PlayedFn) override { return true; }
    void Close() override {}
    bool Reset() override { return true; }
    bool Play(std::vector<std::int16_t>) override { return true; }
};

struct NoView : PlayerView {
    void SetPosition(int, int) override {}
    void Redraw() override {}
    void RefreshCaptions() override {}
    void SetTickTimer(bool) override {}
};

std::vector<std::int16_t> Speechlike(std::size_t n) {
    std::vector<std::int16_t> pcm(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / 8000.0;
        const double v = std::sin(2 * M_PI * 180 * t) + 0.5 * std::sin(2 * M_PI * 720 * t) +
                         0.25 * std::sin(2 * M_PI * 1900 * t);
        pcm[i] = static_cast<std::int16_t>(6000 * v * (0.6 + 0.4 * std::sin(2 * M_PI * 1.5 * t)));
    }
    return pcm;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const fs::path dir = fs::temp_directory_path() / "lk-bench-player";
    fs::create_directories(dir);
    const auto pcm = Speechlike(8000u * 3600u);

    struct Kind {
        const char* name;
        std::uint32_t tag;
        bool wav;
    };
    const Kind kinds[] = {{"GSM 06.10", kFormatGsm, false},
                          {"IMA ADPCM", kFormatImaAdpcm, false},
                          {"IMA ADPCM WAV", kFormatImaAdpcm, true},
                          {"mu-law", kFormatMuLaw, false},
                          {"A-law", kFormatALaw, false}};
    AudioOutput output(std::make_unique<SilentSink>());
    NoView view;
    for (const auto& k : kinds) {
        const auto path = dir / (k.wav ? "hour.wav" : "hour.xtr");
        const auto bytes = k.wav ? BuildWavRecording(pcm) : BuildXtrRecording(k.tag, pcm);
        if (!WriteRecordingFile(path, bytes)) return 1;
        std::vector<double> ms;
        for (int run = 0; run < 5; ++run) {
            gui::CWaveView wave;
            wave.resize(1200, 151);
            PlayerEngine engine(output, view, dir / "temp");
            QElapsedTimer t;
            t.start();
            if (!engine.Open(path)) return 1;
            wave.Clear();
            wave.SetTotal(engine.Total());
            if (!engine.Load({}, [&](std::span<const std::int16_t> s, int i, int total) {
                    wave.AddSecond(s, i, total);
                }))
                return 1;
            // The window follows the image through the queued per-second signals.
            QCoreApplication::processEvents();
            wave.Redraw();
            ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        }
        std::sort(ms.begin(), ms.end());
        // The decoder alone, for scale.
        std::vector<double> dec;
        for (int run = 0; run < 5; ++run) {
            QElapsedTimer t;
            t.start();
            auto d = RecordingDecoder::Open(path);
            if (!d) return 1;
            const auto all = d->DecodeAll();
            dec.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6 + 0 * all.size());
        }
        std::sort(dec.begin(), dec.end());
        std::printf("%-14s %8.1f ms load, %8.1f ms decode alone (medians of 5; %zu bytes)\n",
                    k.name, ms[2], dec[2], bytes.size());
    }
    fs::remove_all(dir);
    return 0;
}
