// From the play request to the first sound at the sink: the player pane
// loads a recording as a double-click on its row does, and a private
// PulseAudio server's pipe sink records what it plays. Prints, for a 10 s
// and a one-hour GSM recording at 1.0x and 1.5x, the median of seven runs
// taken in turn:
//  - "seen": when the first sample above the noise floor reached the
//    recording of the sink (an upper bound: the pipe hands on whole blocks);
//  - "sink clock": how many samples the sink played from the request to it;
//  - "play": when the pane handed its first second to the sound output.
// Runs offscreen; needs pulseaudio: bench_first_sound

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "card/CallRecord.h"
#include "export/RecordingWriter.h"
#include "playback/AudioOutput.h"
#include "playback/PlayerEngine.h"
#include "playback/XtrFormat.h"
#include "player/CPlayerDlg.h"
#include "support/QtAudioSink.h"
#include "support/SoundServer.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using namespace lk;

namespace {

constexpr int kRuns = 7;
constexpr int kNoiseFloor = 300;
constexpr int kSinkRate = 48000;

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

// Reads on through the recording of the sink.
class Capture {
  public:
    explicit Capture(fs::path raw) : raw_(std::move(raw)) {}
    // Samples recorded so far.
    std::size_t Size() const {
        std::error_code ec;
        const auto bytes = fs::file_size(raw_, ec);
        return ec ? 0 : static_cast<std::size_t>(bytes / 2);
    }
    // The index of the first loud sample from `from` on that has arrived, if any.
    std::optional<std::size_t> FirstLoud(std::size_t from) const {
        std::ifstream in(raw_, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(from * 2));
        std::vector<char> bytes(1 << 16);
        std::size_t at = from;
        while (in.read(bytes.data(), static_cast<std::streamsize>(bytes.size())) ||
               in.gcount() > 0) {
            const auto n = static_cast<std::size_t>(in.gcount()) / 2;
            for (std::size_t k = 0; k < n; ++k) {
                const auto s =
                    static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[2 * k]) |
                                              (static_cast<std::uint8_t>(bytes[2 * k + 1]) << 8));
                if (std::abs(static_cast<int>(s)) > kNoiseFloor) return at + k;
            }
            at += n;
            if (in.gcount() < static_cast<std::streamsize>(bytes.size())) break;
        }
        return std::nullopt;
    }

  private:
    fs::path raw_;
};

void Settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? NAN : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // A sink at 48 kHz: its pipe's 4096-byte blocks then last 43 ms, not
    // the 256 ms they last at the recordings' 8000 Hz.
    test::SoundServer server(kSinkRate);
    if (!server.Running()) {
        std::printf("no sound server: %s\n", server.Why().c_str());
        return 1;
    }
    test::TempDir dir;
    struct Case {
        const char* name;
        int seconds;
        int tenths;
        fs::path path;
        std::vector<double> seen, sink, play;
    };
    std::vector<Case> cases = {{"GSM 10 s, 1.0x", 10, 10, {}, {}, {}, {}},
                               {"GSM 10 s, 1.5x", 10, 15, {}, {}, {}, {}},
                               {"GSM 1 h, 1.0x", 3600, 10, {}, {}, {}, {}},
                               {"GSM 1 h, 1.5x", 3600, 15, {}, {}, {}, {}}};
    for (const int seconds : {10, 3600}) {
        const auto path = dir / ("r" + std::to_string(seconds) + ".xtr");
        const auto pcm = Speechlike(8000u * static_cast<unsigned>(seconds));
        if (!WriteRecordingFile(path, BuildXtrRecording(kFormatGsm, pcm))) return 1;
        for (auto& c : cases)
            if (c.seconds == seconds) c.path = path;
    }

    AudioOutput output(std::make_unique<gui::QtAudioSink>());
    if (!output.Open(OutputFormatType::Pcm)) {
        std::printf("the sound output did not open\n");
        return 1;
    }
    gui::CPlayerDlg player(output, dir / "scratch");
    player.resize(1200, 220);
    player.show();
    Settle(200);
    const auto raw = dir / "heard.raw";
    if (!server.StartRecording(raw)) return 1;
    const Capture capture(raw);

    for (int run = 0; run < kRuns; ++run) {
        for (auto& c : cases) {
            player.Engine().SetSpeedTenths(c.tenths);
            CallRecord record;
            SetFieldText(record.filePath, c.path.u16string());
            // The sink is silent again: the last run's tail has played out.
            Settle(500);
            for (int k = 0; k < 50; ++k) {
                const auto size = capture.Size();
                if (size > kSinkRate / 2 && !capture.FirstLoud(size - kSinkRate / 2)) break;
                Settle(100);
            }
            const std::size_t from = capture.Size();
            QElapsedTimer clock;
            clock.start();
            player.LoadRecord(record);
            std::optional<std::size_t> loud;
            double play = NAN;
            while (!loud && clock.elapsed() < 5000) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
                if (std::isnan(play) && player.Engine().State() == PlayState::Playing)
                    play = static_cast<double>(clock.nsecsElapsed()) / 1e6;
                loud = capture.FirstLoud(from);
            }
            const double seen = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            if (!loud) {
                std::printf("%s: nothing heard\n", c.name);
                return 1;
            }
            c.seen.push_back(seen);
            c.sink.push_back(static_cast<double>(*loud - from) * 1000.0 / kSinkRate);
            c.play.push_back(play);
            // The load finishes behind; the next run starts from a quiet sink.
            while (player.Loading() && clock.elapsed() < 20000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            player.OnCommand(gui::kCmdStop);
        }
    }
    server.StopRecording();
    for (const auto& c : cases)
        std::printf(
            "%-16s play %6.1f ms; first sound: seen %6.1f ms, sink clock %6.1f ms (medians of "
            "%d; max seen %6.1f ms)\n",
            c.name, Median(c.play), Median(c.seen), Median(c.sink), kRuns,
            *std::max_element(c.seen.begin(), c.seen.end()));
    return 0;
}
