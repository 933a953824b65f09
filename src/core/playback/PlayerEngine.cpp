#include "playback/PlayerEngine.h"

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <system_error>
#include <thread>

#include "playback/G711.h"
#include "playback/GsmCodec.h"
#include "playback/ImaAdpcm.h"
#include "playback/LoudnessMeter.h"
#include "playback/RecordingDecoder.h"

namespace lk {

namespace {
constexpr std::size_t kChunkBytes = 4096;
constexpr std::size_t kPcmBytesPerSecond = 16000;
constexpr std::size_t kBlocksPerChunk = kChunkBytes / kImaBlockSize;
// IMA ADPCM is decoded this much at a time, in two halves side by side.
constexpr std::size_t kBatchBytes = 64 * kChunkBytes;
// Seconds handed to the output ahead of the one being heard, so that a late
// tick never leaves the device empty.
constexpr int kLeadPieces = 2;
constexpr std::size_t kSamplesPerSecond = 8000;
// Seconds of GSM that are worth a decoder of their own in a load.
constexpr int kSecondsPerWorker = 30;
constexpr int kMaxWorkers = 4;

void AppendLe(std::vector<std::uint8_t>& out, std::span<const std::int16_t> pcm) {
    out.reserve(out.size() + pcm.size() * 2);
    for (auto s : pcm) {
        const auto u = static_cast<std::uint16_t>(s);
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    }
}
// Decodes the 256-byte blocks of `batch` into `pcm`. The blocks stand
// alone, so the second half is decoded on a thread of its own; `stop` is
// polled per 4096-byte chunk.
bool DecodeImaBatch(ByteSpan batch, std::vector<std::int16_t>& pcm, std::stop_token stop) {
    const std::size_t blocks = (batch.size() + kImaBlockSize - 1) / kImaBlockSize;
    pcm.assign(blocks * kImaSamplesPerBlock, 0);
    const auto decode = [&](std::size_t from, std::size_t to) {
        for (std::size_t b = from; b < to; ++b) {
            if (b % kBlocksPerChunk == 0 && stop.stop_requested()) return false;
            const auto at = b * kImaBlockSize;
            ImaState state;
            DecodeImaBlock(batch.subspan(at, std::min(kImaBlockSize, batch.size() - at)), state,
                           std::span<std::int16_t, kImaSamplesPerBlock>(
                               pcm.data() + b * kImaSamplesPerBlock, kImaSamplesPerBlock));
        }
        return true;
    };
    const std::size_t half = blocks / 2;
    bool second = true;
    std::thread helper;
    if (half >= kBlocksPerChunk && std::thread::hardware_concurrency() > 1) {
        try {
            helper = std::thread([&] { second = decode(half, blocks); });
        } catch (const std::system_error&) {
            // No thread to be had: this one decodes it all.
        }
    }
    const bool first = decode(0, helper.joinable() ? half : blocks);
    if (helper.joinable()) helper.join();
    return first && second && !stop.stop_requested();
}

// The decode file holds 16-bit little-endian PCM.
void WritePcm(std::fstream& file, std::span<const std::int16_t> pcm) {
    if constexpr (std::endian::native == std::endian::little) {
        file.write(reinterpret_cast<const char*>(pcm.data()),
                   static_cast<std::streamsize>(pcm.size() * 2));
    } else {
        std::vector<std::uint8_t> bytes;
        AppendLe(bytes, pcm);
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
}
}  // namespace

PlayerEngine::PlayerEngine(AudioOutput& output, PlayerView& view, std::filesystem::path scratch)
    : output_(output), view_(view), scratch_(std::move(scratch)) {}

PlayerEngine::~PlayerEngine() = default;

void PlayerEngine::Close() {
    decoder_.reset();
    {
        std::lock_guard lock(fileMutex_);
        if (decodeFile_.is_open()) decodeFile_.close();
        fileSamples_ = 0;
        loadRunning_ = false;
        measured_.reset();
    }
    total_ = 0;
    position_ = queuedTo_ = 0;
    rangeStart_ = 0;
    skippedWhilePaused_ = false;
    loudness_.reset();
    gain_.SetLevelDb(0);
    marked_.reset();
    mode_ = PlayMode::Whole;
    state_ = PlayState::Stopped;
}

bool PlayerEngine::Open(const std::filesystem::path& path) {
    Close();
    RecordingOpenError error = RecordingOpenError::None;
    auto decoder = RecordingDecoder::Open(path, &error);
    if (!decoder) return false;

    // The decode file is made for every recording, though only IMA ADPCM uses it.
    std::error_code ec;
    std::filesystem::create_directories(scratch_, ec);
    const auto tmp = scratch_ / "a.tmp";
    std::filesystem::remove(tmp, ec);
    std::lock_guard lock(fileMutex_);
    decodeFile_.open(tmp, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
    if (!decodeFile_.is_open()) return false;

    tag_ = decoder->FormatTag();
    // WAV files of other programs (PCM, their own GSM or IMA ADPCM blocks,
    // G.711) are decoded whole into the decode file and played as PCM.
    const bool recorderLayout =
        decoder->IsXtr() || (decoder->Wav() && decoder->Wav()->recorderLayout);
    wholeWav_ = !recorderLayout;
    if (wholeWav_) tag_ = kFormatImaAdpcm;
    switch (tag_) {
        case kFormatGsm:
            type_ = OutputFormatType::Pcm;
            break;
        case kFormatALaw:
            type_ = OutputFormatType::ALaw;
            break;
        case kFormatImaAdpcm:
            type_ = OutputFormatType::Pcm;
            break;
        default:
            tag_ = kFormatMuLaw;
            type_ = OutputFormatType::MuLaw;
            break;
    }
    if (!gsm_) gsm_ = std::make_unique<GsmDecoder>();
    if (output_.Type() != type_ || !output_.IsOpen()) {
        output_.Close();
        (void)output_.Open(type_);  // a closed output is reported at play time
    }
    marked_ = decoder->Marked();
    total_ = static_cast<int>(decoder->TotalSeconds());
    if (total_ <= 0) {
        total_ = 0;
        decodeFile_.close();
        return false;
    }
    decoder_ = std::move(decoder);
    return true;
}

bool PlayerEngine::Load(std::stop_token stop, const DrawFn& draw, const PlayableFn& playable) {
    if (!decoder_) return false;
    bool throughFile = false;
    {
        std::lock_guard lock(fileMutex_);
        throughFile = decodeFile_.is_open() && (wholeWav_ || tag_ == kFormatImaAdpcm);
        fileSamples_ = 0;
        loadRunning_ = true;
        measured_.reset();
    }
    // The loudness is measured from the seconds decoded for the waveform.
    // Playback need not wait for all of it: the first seconds give the
    // level it starts at (GSM and G.711 play from the payload itself, IMA
    // ADPCM from the part of the decode file written so far).
    LoudnessMeter meter(total_);
    const int startSeconds = std::min(total_, kStartSeconds);
    LoudnessMeter start(startSeconds);
    std::atomic<int> startDrawn{0};
    std::atomic<bool> told{false};
    const auto tell = [&] {
        if (playable && !told.exchange(true)) playable(start.Lufs());
    };
    const DrawFn measure = [&](std::span<const std::int16_t> samples, int i, int total) {
        meter.AddSecond(i, samples);
        if (draw) draw(samples, i, total);
        if (i < startSeconds) {
            start.AddSecond(i, samples);
            if (startDrawn.fetch_add(1) + 1 == startSeconds) tell();
        }
    };
    const bool done = LoadSeconds(stop, throughFile, measure);
    {
        std::lock_guard lock(fileMutex_);
        loadRunning_ = false;
        if (done) measured_ = meter.Lufs();
    }
    fileWritten_.notify_all();
    if (!done) return false;
    tell();
    return true;
}

bool PlayerEngine::LoadSeconds(std::stop_token stop, bool throughFile, const DrawFn& measure) {
    bool done = false;
    if (throughFile) {
        done = LoadThroughDecodeFile(stop, measure);
    } else if (tag_ == kFormatGsm) {
        done = LoadGsm(stop, measure);
    } else {
        done = true;
        for (int i = 0; i < total_ && done; ++i) {
            if (stop.stop_requested())
                done = false;
            else
                measure(ReadSecond(i, true, false), i, total_);
        }
    }
    return done;
}

void PlayerEngine::SetStartLoudness(std::optional<double> lufs) {
    loudness_ = lufs;
    gain_.SetLevelDb(PlaybackGain::LevelDb(loudness_, levelTarget_));
}

void PlayerEngine::Loaded() {
    {
        std::lock_guard lock(fileMutex_);
        loudness_ = measured_;
    }
    const double db = PlaybackGain::LevelDb(loudness_, levelTarget_);
    // A jump in level mid-word would be heard as a click.
    if (state_ == PlayState::Playing)
        gain_.GlideToLevelDb(db);
    else
        gain_.SetLevelDb(db);
}

void PlayerEngine::SetLevelTarget(std::optional<int> lufs) {
    levelTarget_ = lufs;
    gain_.SetLevelDb(PlaybackGain::LevelDb(loudness_, levelTarget_));
}

void PlayerEngine::SetSpeedTenths(int tenths) {
    if (tenths == stretcher_.Tenths()) return;
    stretcher_.SetTenths(tenths);
    // The seconds already queued play out at the old speed; the tick
    // follows the new one from now on.
    if (state_ == PlayState::Playing) view_.SetTickTimer(true);
}

int PlayerEngine::TickMs() const {
    return (10000 + stretcher_.Tenths() / 2) / stretcher_.Tenths();
}

bool PlayerEngine::LoadThroughDecodeFile(std::stop_token stop, const DrawFn& draw) {
    // The waveform is drawn from the samples as they are made: the same
    // seconds the decode file holds, without reading them back.
    std::vector<std::int16_t> pending;
    int next = 0;
    const auto take = [&](std::span<const std::int16_t> pcm) {
        {
            // Playback reads through the same stream: the write goes where
            // the last one ended, whatever it read in between.
            std::lock_guard lock(fileMutex_);
            decodeFile_.seekp(static_cast<std::streamoff>(fileSamples_ * 2));
            WritePcm(decodeFile_, pcm);
            fileSamples_ += pcm.size();
        }
        fileWritten_.notify_all();
        if (!draw) return true;
        pending.insert(pending.end(), pcm.begin(), pcm.end());
        std::size_t used = 0;
        for (; pending.size() - used >= kSamplesPerSecond && next < total_;
             used += kSamplesPerSecond) {
            if (stop.stop_requested()) return false;
            draw(std::span(pending).subspan(used, kSamplesPerSecond), next++, total_);
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(used));
        return true;
    };
    if (wholeWav_) {
        // Decoded piece by piece, so that the first seconds play while the
        // rest is decoded.
        PayloadDecoder pieces(decoder_->Codec());
        const auto payload = decoder_->Payload();
        const std::size_t unit = std::max<std::size_t>(1, decoder_->Codec().unitSize);
        const std::size_t step = std::max<std::size_t>(1, kBatchBytes / unit) * unit;
        std::vector<std::int16_t> pcm;
        for (std::size_t off = 0; off < payload.size(); off += step) {
            if (stop.stop_requested()) return false;
            pcm.clear();
            pieces.Decode(payload.subspan(off, std::min(step, payload.size() - off)), pcm);
            if (!take(pcm)) return false;
        }
    } else {
        const auto payload = decoder_->Payload();
        std::vector<std::int16_t> pcm;
        for (std::size_t off = 0; off < payload.size(); off += kBatchBytes) {
            const auto batch = payload.subspan(off, std::min(kBatchBytes, payload.size() - off));
            if (!DecodeImaBatch(batch, pcm, stop) || !take(pcm)) return false;
        }
    }
    {
        std::lock_guard lock(fileMutex_);
        decodeFile_.flush();
    }
    // The short last second, and seconds the payload does not reach.
    for (; draw && next < total_; ++next) {
        if (stop.stop_requested()) return false;
        draw(pending, next, total_);
        pending.clear();
    }
    return true;
}

int PlayerEngine::GsmWorkers(int total) {
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(cores, 1, std::clamp(total / kSecondsPerWorker, 1, kMaxWorkers));
}

bool PlayerEngine::LoadGsm(std::stop_token stop, const DrawFn& draw) {
    // GSM decoding is the whole cost of a long load, so contiguous stretches
    // of seconds are decoded side by side, each by a decoder of its own.
    // A decoder that starts mid-recording first decodes the second before
    // its stretch: its state then matches the one of a decoder that ran
    // from the start, to the sample on speech, within a few frames anyway.
    const int workers = GsmWorkers(total_);
    std::atomic<bool> failed{false};
    const auto stretch = [&](int w) {
        return std::pair{total_ * w / workers, total_ * (w + 1) / workers};
    };
    const auto run = [&](GsmDecoder& gsm, int w) {
        const auto [from, to] = stretch(w);
        std::vector<std::int16_t> samples;
        if (from > 0)
            gsm.DecodeFrames(decoder_->RawSecond(static_cast<unsigned>(from - 1)), samples);
        for (int i = from; i < to; ++i) {
            if (stop.stop_requested() || failed.load()) return false;
            samples.clear();
            gsm.DecodeFrames(decoder_->RawSecond(static_cast<unsigned>(i)), samples);
            draw(samples, i, total_);
        }
        return true;
    };
    std::vector<std::thread> helpers;
    std::vector<int> leftOver;  // stretches no thread could be started for
    for (int w = 1; w < workers; ++w) {
        try {
            helpers.emplace_back([&, w] {
                GsmDecoder own;
                if (!own.Valid() || !run(own, w)) failed = true;
            });
        } catch (const std::system_error&) {
            leftOver.push_back(w);
        }
    }
    // Not the player's own decoder: that one plays meanwhile.
    GsmDecoder first;
    bool ok = first.Valid() && run(first, 0);
    for (int w : leftOver) {
        GsmDecoder own;
        ok = ok && own.Valid() && run(own, w);
    }
    for (auto& t : helpers)
        t.join();
    return ok && !failed.load() && !stop.stop_requested();
}

std::vector<std::int16_t> PlayerEngine::ReadSecond(int i, bool draw, bool play) {
    std::vector<std::int16_t> samples;
    if (!decoder_ || i < 0 || i >= total_) return samples;
    const auto second = static_cast<unsigned>(i);
    switch (tag_) {
        case kFormatALaw:
            // Left silent: the recorder's A-law payloads are neither drawn nor played.
            break;
        case kFormatImaAdpcm: {
            std::vector<std::uint8_t> bytes(kPcmBytesPerSecond);
            std::unique_lock lock(fileMutex_);
            if (!decodeFile_.is_open()) break;
            // A second the load has not reached yet (a seek far ahead)
            // waits for it; the load decodes many times faster than real time.
            const std::size_t need = (second + 1) * kSamplesPerSecond;
            fileWritten_.wait_for(lock, std::chrono::seconds(10),
                                  [&] { return fileSamples_ >= need || !loadRunning_; });
            decodeFile_.clear();
            decodeFile_.seekg(static_cast<std::streamoff>(second * kPcmBytesPerSecond));
            decodeFile_.read(reinterpret_cast<char*>(bytes.data()),
                             static_cast<std::streamsize>(bytes.size()));
            bytes.resize(
                static_cast<std::size_t>(std::max<std::streamsize>(0, decodeFile_.gcount())));
            decodeFile_.clear();
            lock.unlock();
            if (play) (void)output_.Write(bytes);
            samples.resize(bytes.size() / 2);
            for (std::size_t k = 0; k < samples.size(); ++k)
                samples[k] = static_cast<std::int16_t>(ReadU16(bytes, 2 * k));
            break;
        }
        case kFormatGsm: {
            gsm_->DecodeFrames(decoder_->RawSecond(second), samples);
            if (play) {
                std::vector<std::uint8_t> bytes;
                AppendLe(bytes, samples);
                (void)output_.Write(bytes);
            }
            break;
        }
        default: {
            const auto raw = decoder_->RawSecond(second);
            if (play) (void)output_.Write(raw);
            if (draw) {
                samples.reserve(raw.size());
                for (auto b : raw)
                    samples.push_back(MuLawToLinear(b));
            }
            break;
        }
    }
    return samples;
}

int PlayerEngine::EndSecond() const {
    switch (mode_) {
        case PlayMode::Selection:
            return selectionEnd_;
        case PlayMode::Marked:
            return markedEnd_;
        case PlayMode::Whole:
            break;
    }
    return total_;
}

void PlayerEngine::QueueAhead() {
    const int end = std::min(EndSecond(), total_);
    if (queuedTo_ >= end) return;
    const auto pcm = ReadSecond(queuedTo_, true, false);
    ++queuedTo_;
    if (pcm.empty()) return;  // a second with nothing to hear
    const std::vector<float> recorded(pcm.begin(), pcm.end());
    auto heard = stretcher_.Process(recorded);
    if (queuedTo_ >= end) {
        // The end of what plays: the stretcher's tail belongs to it.
        const auto tail = stretcher_.Flush();
        heard.insert(heard.end(), tail.begin(), tail.end());
    }
    if (!heard.empty()) (void)output_.WritePcm(gain_.Apply(heard));
}

void PlayerEngine::StartPlayback() {
    view_.RefreshCaptions();
    view_.SetTickTimer(true);
    output_.Reset();
    stretcher_.Clear();
    gain_.Reset();
    skippedWhilePaused_ = false;
    view_.SetPosition(position_, total_);
    // The second heard now and the next one: each tick then adds one more,
    // so the device always holds a second beyond the one playing.
    queuedTo_ = position_;
    for (int k = 0; k < kLeadPieces; ++k)
        QueueAhead();
    ++position_;
}

void PlayerEngine::Tick() {
    if (state_ != PlayState::Playing) return;
    QueueAhead();
    // The device's clock may run ahead of the timer's; top up when it does.
    if (output_.Queued() < kLeadPieces) QueueAhead();
    ++position_;
    view_.SetPosition(position_, total_);
    if (position_ >= EndSecond()) {
        // Not reset: the last queued second plays out.
        state_ = PlayState::Stopped;
        view_.RefreshCaptions();
        view_.SetTickTimer(false);
    }
}

void PlayerEngine::Pause() {
    state_ = PlayState::Paused;
    view_.RefreshCaptions();
    view_.SetTickTimer(false);
    output_.Reset();
    stretcher_.Clear();
}

bool PlayerEngine::PlayPause() {
    if (!decoder_) return false;
    if (mode_ != PlayMode::Whole) {
        mode_ = PlayMode::Whole;
        state_ = PlayState::Playing;
        position_ = rangeStart_ = 0;
        StartPlayback();
        return true;
    }
    switch (state_) {
        case PlayState::Stopped:
            state_ = PlayState::Playing;
            position_ = rangeStart_ = 0;
            StartPlayback();
            break;
        case PlayState::Paused:
            state_ = PlayState::Playing;
            position_ = ResumeFrom();
            StartPlayback();
            break;
        case PlayState::Playing:
            Pause();
            break;
    }
    return true;
}

int PlayerEngine::ResumeFrom() {
    // The second being heard at the pause, less the rewind: a resume
    // always repeats at least the rewind, never from before the range.
    if (rewind_ <= 0 || skippedWhilePaused_) return position_;
    return std::max(rangeStart_, position_ - 1 - rewind_);
}

bool PlayerEngine::Skip(int seconds) {
    if (!decoder_ || state_ == PlayState::Stopped) return false;
    const int end = std::min(EndSecond(), total_);
    const int last = std::max(rangeStart_, end - 1);
    const int heard = std::clamp(position_ - 1, rangeStart_, last);
    position_ = std::clamp(heard + seconds, rangeStart_, last);
    if (state_ == PlayState::Playing) {
        StartPlayback();
    } else {
        skippedWhilePaused_ = true;
        view_.SetPosition(position_, total_);
    }
    return true;
}

bool PlayerEngine::PlaySelection(int start, int end) {
    if (!decoder_ || start >= end) return false;
    // A selection plays from the second after its start.
    PlayRange(PlayMode::Selection, start + 1, end);
    return true;
}

bool PlayerEngine::PlayMarked() {
    if (!decoder_ || !marked_ || marked_->start >= marked_->end) return false;
    PlayRange(PlayMode::Marked, marked_->start, marked_->end);
    return true;
}

void PlayerEngine::PlayRange(PlayMode mode, int from, int end) {
    int& rangeEnd = mode == PlayMode::Selection ? selectionEnd_ : markedEnd_;
    if (mode_ == mode) {
        switch (state_) {
            case PlayState::Stopped:
                state_ = PlayState::Playing;
                position_ = rangeStart_ = from;
                rangeEnd = end;
                StartPlayback();
                break;
            case PlayState::Paused:
                state_ = PlayState::Playing;
                position_ = ResumeFrom();
                StartPlayback();
                break;
            case PlayState::Playing:
                Pause();
                break;
        }
        return;
    }
    rangeEnd = end;
    mode_ = mode;
    state_ = PlayState::Playing;
    position_ = rangeStart_ = from;
    StartPlayback();
}

bool PlayerEngine::Stop() {
    if (state_ == PlayState::Stopped) return false;
    state_ = PlayState::Stopped;
    view_.RefreshCaptions();
    view_.Redraw();
    view_.SetTickTimer(false);
    output_.Reset();
    return true;
}

bool PlayerEngine::Seek(int second) {
    if (!decoder_) return false;
    mode_ = PlayMode::Whole;
    state_ = PlayState::Playing;
    position_ = second;
    rangeStart_ = 0;
    StartPlayback();
    return true;
}

int PlayerEngine::StepRow(int row, int count, int step) {
    row += step;
    if (row < 0) return count - 1;
    if (row >= count) return 0;
    return row;
}

}  // namespace lk
