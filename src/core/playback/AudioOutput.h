#pragma once
// The program's single sound output. The player hands it one second of audio
// at a time in the encoding of the open format type; it converts the piece to
// PCM, queues it on the device and forgets it. A worker thread takes the
// device's reports of finished pieces and keeps the queued count.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/ByteIo.h"
#include "playback/AudioSink.h"

namespace lk {

class GsmDecoder;

enum class OutputFormatType : std::int32_t {
    ImaAdpcm = 0,
    MuLaw = 1,
    ALaw = 2,
    Pcm = 3,
    Gsm = 4,
};

// The wave format each type stands for (mono, 8000 samples per second).
struct WaveFormat {
    std::uint16_t formatTag = 0;
    std::uint32_t avgBytesPerSecond = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint16_t samplesPerBlock = 0;  // 0 when the format has no extra bytes
};
WaveFormat WaveFormatOf(OutputFormatType type);

// Turns pieces in one type's encoding into PCM. GSM keeps its decoder state
// from piece to piece, as consecutive seconds of one stream.
class PieceConverter {
  public:
    explicit PieceConverter(OutputFormatType type);
    ~PieceConverter();
    PieceConverter(const PieceConverter&) = delete;
    PieceConverter& operator=(const PieceConverter&) = delete;

    std::vector<std::int16_t> ToPcm(ByteSpan bytes);

  private:
    OutputFormatType type_;
    std::unique_ptr<GsmDecoder> gsm_;
};

class AudioOutput {
  public:
    // Pieces beyond this many queued are dropped.
    static constexpr int kMaxQueued = 600;

    explicit AudioOutput(std::unique_ptr<AudioSink> sink);
    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // Stores the type, starts the worker and opens the device; on a device
    // failure the worker is stopped again. False also when already open.
    [[nodiscard]] bool Open(OutputFormatType type);
    bool Close();
    // Stops playback at once; the device stays open and empty.
    bool Reset();
    // Queues one piece: false when not open or the device refuses it; true
    // without queueing when more than kMaxQueued pieces wait.
    [[nodiscard]] bool Write(ByteSpan bytes);
    // The same for a piece already in PCM, whatever the open type.
    [[nodiscard]] bool WritePcm(std::vector<std::int16_t> pcm);
    bool IsOpen() const { return open_; }
    OutputFormatType Type() const { return type_; }
    int Queued() const { return queued_.load(); }
    bool WorkerRunning() const { return worker_.joinable(); }

  private:
    void StartWorker();
    void StopWorker();
    void WorkerLoop();
    void Post(int pieces);

    std::unique_ptr<AudioSink> sink_;
    std::unique_ptr<PieceConverter> converter_;
    OutputFormatType type_ = OutputFormatType::ImaAdpcm;
    bool open_ = false;
    std::atomic<int> queued_{0};

    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<int> done_;  // finished-piece reports waiting for the worker
    bool quit_ = false;
};

}  // namespace lk
