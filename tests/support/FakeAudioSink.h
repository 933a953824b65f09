#pragma once
// A sound device stand-in for the player's state machine: it keeps every
// piece it is given, in order, and reports pieces played only when told.

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "playback/AudioSink.h"

namespace lk::test {

struct FakeSinkLog {
    std::mutex mutex;
    std::vector<std::vector<std::int16_t>> pieces;  // every piece ever given
    int pending = 0;                                // given and not yet reported
    int resets = 0;
    int opens = 0;
    bool canOpen = true;
    AudioSink::PlayedFn played;

    std::size_t Count() {
        std::lock_guard lock(mutex);
        return pieces.size();
    }
    // Reports up to n pending pieces as played.
    void Finish(int n) {
        AudioSink::PlayedFn fn;
        {
            std::lock_guard lock(mutex);
            n = std::min(n, pending);
            pending -= n;
            fn = played;
        }
        if (fn && n > 0) fn(n);
    }
};

class FakeAudioSink : public AudioSink {
  public:
    explicit FakeAudioSink(std::shared_ptr<FakeSinkLog> log) : log_(std::move(log)) {}
    bool Open(PlayedFn played) override {
        std::lock_guard lock(log_->mutex);
        if (!log_->canOpen) return false;
        ++log_->opens;
        log_->played = std::move(played);
        log_->pending = 0;
        return true;
    }
    void Close() override {
        std::lock_guard lock(log_->mutex);
        log_->played = nullptr;
        log_->pending = 0;
    }
    bool Reset() override {
        AudioSink::PlayedFn fn;
        int n = 0;
        {
            std::lock_guard lock(log_->mutex);
            ++log_->resets;
            n = log_->pending;
            log_->pending = 0;
            fn = log_->played;
        }
        if (fn && n > 0) fn(n);
        return true;
    }
    bool Play(std::vector<std::int16_t> pcm) override {
        std::lock_guard lock(log_->mutex);
        log_->pieces.push_back(std::move(pcm));
        ++log_->pending;
        return true;
    }

  private:
    std::shared_ptr<FakeSinkLog> log_;
};

}  // namespace lk::test
