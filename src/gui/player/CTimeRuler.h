#pragma once
// The time ruler above the waveform: ticks and times of the stretch of the
// recording the waveform shows, at a spacing that keeps the labels apart.

#include <QWidget>

namespace lk::gui {

class CTimeRuler : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kHeight = 17;

    explicit CTimeRuler(QWidget* parent = nullptr);

    // The seconds shown from the left edge to the right one; nothing when
    // the span is empty.
    void SetSpan(double from, double to);
    double From() const { return from_; }
    double To() const { return to_; }

    // Seconds between labelled ticks for a span over `width` pixels: the
    // smallest of 1, 2, 5, 10, 15, 30 s, 1, 2, 5, 10, 15, 30 min, 1 h that
    // leaves `minPixels` between labels.
    static int LabelStep(double span, int width, int minPixels);
    // "m:ss", or "h:mm:ss" from an hour on.
    static QString Label(int seconds);

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    double from_ = 0, to_ = 0;
};

}  // namespace lk::gui
