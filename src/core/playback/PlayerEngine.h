#pragma once
// The player's heart without its window: one recording opened for playing,
// the play modes and states, and the one-second feed of the sound output.
// The pane drives it from its buttons and its one-second timer and shows
// what it reports through PlayerView.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stop_token>
#include <vector>

#include "playback/AudioOutput.h"
#include "playback/MarkedSegment.h"
#include "playback/PlaybackGain.h"
#include "playback/TimeStretcher.h"

namespace lk {

class GsmDecoder;
class RecordingDecoder;

// What the engine asks of the pane around it.
class PlayerView {
  public:
    virtual ~PlayerView() = default;
    virtual void SetPosition(int second, int total) = 0;
    // Shows the plain waveform again: no position line, no selection shading.
    virtual void Redraw() = 0;
    virtual void RefreshCaptions() = 0;
    // Starts (restarting it when it runs) or stops the tick: one recorded
    // second each, every PlayerEngine::TickMs().
    virtual void SetTickTimer(bool running) = 0;
};

enum class PlayMode { Whole = 0, Selection = 1, Marked = 2 };
enum class PlayState { Stopped = 0, Paused = 1, Playing = 2 };

class PlayerEngine {
  public:
    // Draws one second: its samples, its index and the total.
    using DrawFn = std::function<void(std::span<const std::int16_t>, int, int)>;
    // Told once per load, on the load's thread, as soon as the first seconds
    // can be played: with their loudness (nullopt when silent).
    using PlayableFn = std::function<void(std::optional<double>)>;
    // The seconds whose loudness sets the level playback starts at, before
    // the whole recording is measured.
    static constexpr int kStartSeconds = 10;

    // `scratch` holds the decode file a.tmp.
    PlayerEngine(AudioOutput& output, PlayerView& view, std::filesystem::path scratch);
    ~PlayerEngine();
    PlayerEngine(const PlayerEngine&) = delete;
    PlayerEngine& operator=(const PlayerEngine&) = delete;

    // Opens the recording and switches the output to the type it needs.
    // False when nothing can be played: unreadable, empty, shorter than its
    // header or than one second, or no decode file.
    [[nodiscard]] bool Open(const std::filesystem::path& path);
    // Unloads (the path of a refused recording stays unplayable).
    void Close();
    // Decodes IMA ADPCM to the decode file in 4096-byte chunks and draws
    // every second. `stop` is polled per chunk and per second; false when
    // it ended the load. `draw` is called once per second; for a long GSM
    // recording from several threads at once and out of order.
    // Runs on a worker while the recording already plays: it touches nothing
    // the commands use but the decode file, which it shares under a lock.
    [[nodiscard]] bool Load(std::stop_token stop, const DrawFn& draw,
                            const PlayableFn& playable = {});
    // Playback may start before the load ends: at the level of the first
    // seconds' loudness (as recorded when they are silent).
    void SetStartLoudness(std::optional<double> lufs);
    // After a completed load, on the thread that plays: the level follows
    // the whole recording's loudness, gliding there if it plays.
    void Loaded();

    // Commands. Each returns false when it was ignored.
    bool PlayPause();
    bool PlaySelection(int start, int end);
    bool PlayMarked();
    bool Stop();
    bool Seek(int second);
    // The tick of the timer: one recorded second.
    void Tick();
    // Moves what plays or is paused by `seconds` (back when negative), kept
    // within the recording, selection or marked segment being played.
    // False when stopped.
    bool Skip(int seconds);

    // Speed in tenths, 5..20 (10 as recorded); the pitch stays.
    void SetSpeedTenths(int tenths);
    int SpeedTenths() const { return stretcher_.Tenths(); }
    // Milliseconds between ticks: a recorded second lasts this long.
    int TickMs() const;
    // 0..100 percent.
    void SetVolume(int percent) { gain_.SetVolume(percent); }
    int Volume() const { return gain_.Volume(); }
    // The loudness (LUFS) recordings are played at; nullopt: as recorded.
    void SetLevelTarget(std::optional<int> lufs);
    // The open recording's loudness, measured by its load.
    std::optional<double> Loudness() const { return loudness_; }
    double LevelDb() const { return gain_.LevelDb(); }
    // Seconds a resume after a pause goes back first; 0 resumes where it
    // paused.
    void SetRewindOnResume(int seconds) { rewind_ = std::max(0, seconds); }

    bool HasRecording() const { return decoder_ != nullptr; }
    int Total() const { return total_; }
    int Position() const { return position_; }
    PlayMode Mode() const { return mode_; }
    PlayState State() const { return state_; }
    std::optional<MarkedSegment> Marked() const { return marked_; }
    std::uint32_t FormatTag() const { return tag_; }
    OutputFormatType NeededType() const { return type_; }

    // PCM of second i for drawing and/or its piece written to the output.
    std::vector<std::int16_t> ReadSecond(int i, bool draw, bool play);

    // Wraps a list row by one step: below 0 to the last, past the end to 0.
    static int StepRow(int row, int count, int step);

    // Decoders that draw a GSM recording of `total` seconds side by side.
    static int GsmWorkers(int total);

  private:
    bool LoadSeconds(std::stop_token stop, bool throughFile, const DrawFn& measure);
    bool LoadThroughDecodeFile(std::stop_token stop, const DrawFn& draw);
    bool LoadGsm(std::stop_token stop, const DrawFn& draw);
    // Plays the selection or the marked segment from `from` to before
    // `end`; pauses or resumes it when it is already the one playing.
    void PlayRange(PlayMode mode, int from, int end);
    void StartPlayback();
    void Pause();
    void QueueAhead();
    int EndSecond() const;
    int ResumeFrom();

    AudioOutput& output_;
    PlayerView& view_;
    std::filesystem::path scratch_;
    std::unique_ptr<RecordingDecoder> decoder_;
    std::unique_ptr<GsmDecoder> gsm_;  // shared by every recording, as the device streams it
    // The load writes the decode file while playback reads it: both under
    // fileMutex_, a reader of a second not yet written waits for it.
    std::fstream decodeFile_;
    std::mutex fileMutex_;
    std::condition_variable fileWritten_;
    std::size_t fileSamples_ = 0;     // samples the decode file holds
    bool loadRunning_ = false;        // more may come
    std::optional<double> measured_;  // by the last completed load
    bool wholeWav_ = false;           // a WAV file not in the recorder's layout
    std::uint32_t tag_ = 7;
    OutputFormatType type_ = OutputFormatType::MuLaw;
    std::optional<MarkedSegment> marked_;
    int total_ = 0;
    int position_ = 0;  // the second after the one being heard
    int queuedTo_ = 0;  // the next second to hand to the output
    int selectionEnd_ = 0;
    int markedEnd_ = 0;
    int rangeStart_ = 0;  // the first second of what plays
    int rewind_ = 0;
    bool skippedWhilePaused_ = false;
    std::optional<int> levelTarget_;
    std::optional<double> loudness_;
    TimeStretcher stretcher_;
    PlaybackGain gain_;
    PlayMode mode_ = PlayMode::Whole;
    PlayState state_ = PlayState::Stopped;
};

}  // namespace lk
