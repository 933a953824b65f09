#include "playback/AudioOutput.h"

#include <algorithm>

#include "playback/G711.h"
#include "playback/GsmCodec.h"
#include "playback/ImaAdpcm.h"

namespace lk {

WaveFormat WaveFormatOf(OutputFormatType type) {
    switch (type) {
        case OutputFormatType::ImaAdpcm:
            return {17, 4000, 256, 4, 505};
        case OutputFormatType::MuLaw:
            return {7, 8000, 1, 8, 0};
        case OutputFormatType::ALaw:
            return {6, 8000, 1, 8, 0};
        case OutputFormatType::Pcm:
            return {1, 16000, 2, 16, 0};
        case OutputFormatType::Gsm:
            return {49, 1625, 65, 0, 320};
    }
    return {};
}

PieceConverter::PieceConverter(OutputFormatType type) : type_(type) {
    if (type == OutputFormatType::Gsm) gsm_ = std::make_unique<GsmDecoder>(true);
}

PieceConverter::~PieceConverter() = default;

std::vector<std::int16_t> PieceConverter::ToPcm(ByteSpan bytes) {
    std::vector<std::int16_t> pcm;
    switch (type_) {
        case OutputFormatType::ImaAdpcm: {
            const auto blocks = (bytes.size() + kImaBlockSize - 1) / kImaBlockSize;
            pcm.resize(blocks * kImaSamplesPerBlock);
            for (std::size_t b = 0; b < blocks; ++b) {
                const auto off = b * kImaBlockSize;
                ImaState state;
                DecodeImaBlock(bytes.subspan(off, std::min(kImaBlockSize, bytes.size() - off)),
                               state,
                               std::span<std::int16_t, kImaSamplesPerBlock>(
                                   pcm.data() + b * kImaSamplesPerBlock, kImaSamplesPerBlock));
            }
            break;
        }
        case OutputFormatType::MuLaw:
            pcm.reserve(bytes.size());
            for (auto b : bytes)
                pcm.push_back(MuLawToLinear(b));
            break;
        case OutputFormatType::ALaw:
            pcm.reserve(bytes.size());
            for (auto b : bytes)
                pcm.push_back(ALawToLinear(b));
            break;
        case OutputFormatType::Pcm:
            pcm.resize(bytes.size() / 2);
            for (std::size_t i = 0; i < pcm.size(); ++i)
                pcm[i] = static_cast<std::int16_t>(ReadU16(bytes, 2 * i));
            break;
        case OutputFormatType::Gsm:
            if (gsm_) gsm_->DecodeWav49Blocks(bytes, pcm);
            break;
    }
    return pcm;
}

AudioOutput::AudioOutput(std::unique_ptr<AudioSink> sink) : sink_(std::move(sink)) {}

AudioOutput::~AudioOutput() {
    Close();
}

bool AudioOutput::Open(OutputFormatType type) {
    // An open device is never taken over by a second Open: the caller closes first.
    if (open_) return false;
    type_ = type;
    StartWorker();
    if (!sink_ || !sink_->Open([this](int pieces) { Post(pieces); })) {
        StopWorker();
        return false;
    }
    converter_ = std::make_unique<PieceConverter>(type);
    queued_ = 0;
    open_ = true;
    return true;
}

bool AudioOutput::Close() {
    if (open_) {
        sink_->Close();
        open_ = false;
        converter_.reset();
    }
    StopWorker();
    return true;
}

bool AudioOutput::Reset() {
    if (!open_) return false;
    const bool ok = sink_->Reset();
    // A fresh start of the stream: GSM must not carry state over a gap.
    converter_ = std::make_unique<PieceConverter>(type_);
    return ok;
}

bool AudioOutput::Write(ByteSpan bytes) {
    if (!open_) return false;
    if (queued_.load() > kMaxQueued) return true;
    if (!sink_->Play(converter_->ToPcm(bytes))) return false;
    ++queued_;
    return true;
}

bool AudioOutput::WritePcm(std::vector<std::int16_t> pcm) {
    if (!open_) return false;
    if (queued_.load() > kMaxQueued) return true;
    if (!sink_->Play(std::move(pcm))) return false;
    ++queued_;
    return true;
}

void AudioOutput::StartWorker() {
    if (worker_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        quit_ = false;
        done_.clear();
    }
    worker_ = std::thread([this] { WorkerLoop(); });
}

void AudioOutput::StopWorker() {
    if (!worker_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    // The loop only waits on the condition: it ends as soon as it sees quit.
    worker_.join();
}

void AudioOutput::Post(int pieces) {
    {
        std::lock_guard lock(mutex_);
        done_.push_back(pieces);
    }
    wake_.notify_all();
}

void AudioOutput::WorkerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quit_ || !done_.empty(); });
        while (!done_.empty()) {
            const int pieces = done_.front();
            done_.pop_front();
            // Reports can overtake a Reset on the device side; never go below zero.
            int cur = queued_.load();
            while (!queued_.compare_exchange_weak(cur, std::max(0, cur - pieces))) {
            }
        }
        if (quit_) return;
    }
}

}  // namespace lk
