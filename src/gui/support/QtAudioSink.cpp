#include "support/QtAudioSink.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QTimer>
#include <deque>

namespace lk::gui {

namespace {
constexpr qint64 kBytesPerSecond = 16000;
// How often the pump tops up the device and looks for finished pieces.
constexpr int kPumpMs = 10;
}  // namespace

// Owns the QAudioSink on the sink thread. Pieces wait in `pending_` until the
// device has room; `ends_` holds each written piece's end in the byte stream
// so that finished pieces can be reported as the device plays past them.
class SinkPump : public QObject {
  public:
    bool Open(AudioSink::PlayedFn played) {
        QAudioFormat format;
        format.setSampleRate(8000);
        format.setChannelCount(1);
        format.setSampleFormat(QAudioFormat::Int16);
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull() || !device.isFormatSupported(format)) return false;
        sink_ = std::make_unique<QAudioSink>(device, format);
        // A second of room: the pump refills it long before it runs dry.
        sink_->setBufferSize(kBytesPerSecond);
        io_ = sink_->start();
        if (!io_ || sink_->error() != QAudio::NoError) {
            sink_.reset();
            io_ = nullptr;
            return false;
        }
        played_ = std::move(played);
        timer_ = std::make_unique<QTimer>();
        timer_->setTimerType(Qt::PreciseTimer);
        connect(timer_.get(), &QTimer::timeout, this, [this] { Pump(); });
        timer_->start(kPumpMs);
        return true;
    }

    void Close() {
        timer_.reset();
        if (sink_) sink_->stop();
        sink_.reset();
        io_ = nullptr;
        pending_.clear();
        ends_.clear();
        played_ = nullptr;
    }

    bool Reset() {
        if (!sink_) return false;
        const int dropped = static_cast<int>(pending_.size() + ends_.size());
        pending_.clear();
        ends_.clear();
        // Stopping drops whatever the server still holds; a fresh start
        // begins the byte count at zero again.
        sink_->stop();
        io_ = sink_->start();
        written_ = 0;
        offset_ = 0;
        if (dropped > 0 && played_) played_(dropped);
        return io_ != nullptr;
    }

    void Play(std::vector<std::int16_t> pcm) {
        if (!sink_) return;
        pending_.push_back(std::move(pcm));
        Pump();
    }

  private:
    void Pump() {
        if (!sink_ || !io_) return;
        while (!pending_.empty()) {
            const auto& piece = pending_.front();
            const qint64 size = static_cast<qint64>(piece.size() * sizeof(std::int16_t));
            const qint64 room = sink_->bytesFree();
            if (room <= 0) break;
            const qint64 n = std::min(room, size - offset_);
            const qint64 done =
                n > 0 ? io_->write(reinterpret_cast<const char*>(piece.data()) + offset_, n) : 0;
            if (done < 0) break;
            offset_ += done;
            written_ += done;
            if (offset_ < size) {
                if (done == 0) break;
                continue;
            }
            ends_.push_back(written_);
            pending_.pop_front();
            offset_ = 0;
        }
        // Bytes the device has played since start, from its clock; once it
        // runs idle, everything written has been played.
        qint64 playedBytes = sink_->processedUSecs() * kBytesPerSecond / 1000000;
        if (pending_.empty() && sink_->state() == QAudio::IdleState) playedBytes = written_;
        int finished = 0;
        while (!ends_.empty() && ends_.front() <= playedBytes) {
            ends_.pop_front();
            ++finished;
        }
        if (finished > 0 && played_) played_(finished);
    }

    std::unique_ptr<QAudioSink> sink_;
    QIODevice* io_ = nullptr;
    std::unique_ptr<QTimer> timer_;
    std::deque<std::vector<std::int16_t>> pending_;
    std::deque<qint64> ends_;
    qint64 offset_ = 0;   // bytes of pending_.front() already written
    qint64 written_ = 0;  // bytes written since the last start
    AudioSink::PlayedFn played_;
};

QtAudioSink::QtAudioSink() {
    pump_ = new SinkPump;
    pump_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, pump_, &QObject::deleteLater);
    thread_.setObjectName(QStringLiteral("sound output"));
    thread_.start(QThread::TimeCriticalPriority);
}

QtAudioSink::~QtAudioSink() {
    Close();
    thread_.quit();
    thread_.wait();
}

bool QtAudioSink::Open(PlayedFn played) {
    bool ok = false;
    QMetaObject::invokeMethod(
        pump_, [&] { ok = pump_->Open(std::move(played)); }, Qt::BlockingQueuedConnection);
    return ok;
}

void QtAudioSink::Close() {
    QMetaObject::invokeMethod(
        pump_, [this] { pump_->Close(); }, Qt::BlockingQueuedConnection);
}

bool QtAudioSink::Reset() {
    bool ok = false;
    QMetaObject::invokeMethod(
        pump_, [&] { ok = pump_->Reset(); }, Qt::BlockingQueuedConnection);
    return ok;
}

bool QtAudioSink::Play(std::vector<std::int16_t> pcm) {
    return QMetaObject::invokeMethod(
        pump_, [this, p = std::move(pcm)]() mutable { pump_->Play(std::move(p)); },
        Qt::QueuedConnection);
}

}  // namespace lk::gui
