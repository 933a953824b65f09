#pragma once
// The sound device behind AudioOutput: Qt Multimedia's QAudioSink on the
// desktop's sound server, 16-bit mono PCM at 8000 Hz. The sink lives on a
// thread of its own so that a busy user interface never starves the device.

#include <QThread>
#include <memory>

#include "playback/AudioSink.h"

namespace lk::gui {

class SinkPump;

class QtAudioSink : public AudioSink {
  public:
    QtAudioSink();
    ~QtAudioSink() override;
    QtAudioSink(const QtAudioSink&) = delete;
    QtAudioSink& operator=(const QtAudioSink&) = delete;

    bool Open(PlayedFn played) override;
    void Close() override;
    bool Reset() override;
    bool Play(std::vector<std::int16_t> pcm) override;

  private:
    QThread thread_;
    SinkPump* pump_ = nullptr;  // lives on thread_, deleted there
};

}  // namespace lk::gui
