#pragma once
// The waveform control of the player: an off-screen image of the whole
// recording drawn one second at a time, the recorder's marked segment as a
// band behind it, a mouse selection, the playback position line and a status
// strip with selection, position and length.
//
// The window's own picture is kept in `screen_`, so that the position line
// and the selection shading are drawn over it column by column and restored
// from the waveform image without repainting the rest.

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

namespace lk::gui {

class CWaveView : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kStripHeight = 25;

    explicit CWaveView(QWidget* parent = nullptr);

    // Empty: no recording, no selection, no band; black waveform.
    void Clear();
    void SetTotal(int total) { total_ = total; }
    int Total() const { return total_; }
    void SetMarkedSegment(int start, int end);
    // Draws second i of a recording of `total` seconds. Safe to call from
    // the load thread: it draws into the image only; the window follows.
    void AddSecond(std::span<const std::int16_t> samples, int i, int total);
    void SetPosition(int second, int total);
    // The same to a tenth of a second, as playback moves between seconds.
    void SetPositionTenths(int tenths, int total);
    // The plain waveform again: no position line, no selection shading.
    void Redraw();
    // A line drawn over the empty view: what to do, or why nothing shows.
    void SetHint(const QString& text);
    QString Hint() const { return hint_; }

    int SelectionStart() const { return selStart_; }
    int SelectionEnd() const { return selEnd_; }
    int MarkedStart() const { return markedStart_; }
    int MarkedEnd() const { return markedEnd_; }
    int Position() const { return position_; }
    int PositionTenths() const { return positionTenths_; }
    // "hh:mm:ss.t", the strip's times.
    static QString TenthsText(int tenths);

    // The lowest and highest sample of each pixel column that one second
    // covers, from column x0 over `width` columns; a column also reaches
    // the last sample of the one before it, as a line through the samples
    // would.
    struct Extremes {
        int column;
        std::int16_t low, high;
    };
    static std::vector<Extremes> ColumnExtremes(std::span<const std::int16_t> samples, double x0,
                                                double width);

    // Zoom: 1 shows the whole recording; each step in halves the stretch
    // shown, down to a few seconds. Zooming keeps the position in view, and
    // the view scrolls with playback.
    void ZoomIn();
    void ZoomOut();
    void ZoomAll();
    int Zoom() const { return zoom_; }
    // The stretch shown, in seconds.
    double ViewFrom() const { return zoom_ > 1 ? viewFrom_ : 0.0; }
    double ViewTo() const { return ViewFrom() + Span(); }

    // Pixel column of a second and second of a column, for this width.
    int ColumnOf(int second) const;
    int SecondOf(int column) const;
    int AreaWidth() const { return areaW_; }
    int AreaHeight() const { return areaH_; }

    // What the window shows, and the waveform image behind it.
    QImage ScreenImage() const { return screen_; }
    QImage WaveImage() const;
    QString StripText() const { return stripText_; }

  signals:
    // The stretch shown changed (zoom, scroll, a new recording).
    void ViewChanged(double from, double to);
    // A double-click: play the whole recording from that second.
    void WaveSeek(int second);
    void SecondDrawn(int i);

  protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

  private:
    void MakeImages();
    void RepaintAll();
    void UpdateStrip();
    void UpdateToolTip();
    void ShadeSelection();
    void CopyColumns(int from, int to);   // wave image onto the screen
    void ShadeColumns(int from, int to);  // NOT(wave OR screen) onto the screen
    void OnSecondDrawn(int i);
    int MouseX(const QPointF& p) const;
    double Span() const;
    // Draws the zoomed stretch from the peaks into zoomed_.
    void RenderZoomed();
    void SetZoom(int zoom, double around);
    const QImage& Shown() const { return zoom_ > 1 ? zoomed_ : wave_; }
    // Second at column x (fractional), the view's mapping.
    double TimeOfColumn(double x) const;

    mutable std::mutex waveMutex_;  // the load thread draws into wave_ and peaks_
    QImage wave_;                   // the whole recording
    QImage zoomed_;                 // the stretch shown when zoomed in
    // The lowest and highest sample of every 10 ms, for drawing any zoom;
    // low > high where nothing was decoded yet.
    std::vector<std::pair<std::int16_t, std::int16_t>> peaks_;
    int zoom_ = 1;
    double viewFrom_ = 0;
    QImage screen_;
    QImage column_;
    QString stripText_;
    bool stripCut_ = false;  // the strip shows less than stripText_
    QString hint_;
    QFont font_;
    int areaW_ = 0;
    int areaH_ = 0;
    int anchorX_ = 0, currentX_ = 0, previousX_ = 0;
    bool selecting_ = false;
    int total_ = 0;
    int position_ = 0;
    int positionTenths_ = 0;
    int positionX_ = 0;
    bool lineSaved_ = false;
    int selStart_ = 0, selEnd_ = 0;
    int markedStart_ = 0, markedEnd_ = 0;
};

}  // namespace lk::gui
