#include "player/CWaveView.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "platform/DurationText.h"
#include "support/GuiText.h"

namespace lk::gui {

namespace {
const QColor kBackground(0, 0, 0);
const QColor kWave(0, 255, 0);
const QColor kPositionLine(0, 0, 255);
const QColor kAnchorLine(255, 0, 255);
const QColor kMarkedBand(128, 100, 100);
const QColor kFrame(128, 64, 0);
constexpr int kPeaksPerSecond = 100;
constexpr int kMaxZoom = 1 << 10;
// The shortest stretch a zoom shows, in seconds.
constexpr double kMinSpan = 2.0;

QString Item(int label, int tenths) {
    return Lang(label) + QLatin1Char(' ') + CWaveView::TenthsText(tenths);
}
}  // namespace

CWaveView::CWaveView(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    font_ = QFont(QStringLiteral("Arial"));
    font_.setStyleHint(QFont::SansSerif);  // any sans font where Arial is missing
    // Height 16 is the font's cell height there: an em of 13 pixels.
    font_.setPixelSize(13);
    connect(this, &CWaveView::SecondDrawn, this, &CWaveView::OnSecondDrawn, Qt::QueuedConnection);
    MakeImages();
}

void CWaveView::MakeImages() {
    {
        std::lock_guard lock(waveMutex_);
        areaW_ = std::max(1, width());
        areaH_ = std::max(3, height() - kStripHeight);
        wave_ = QImage(areaW_, areaH_ - 2, QImage::Format_RGB32);
        wave_.fill(kBackground);
        zoomed_ = QImage(areaW_, areaH_ - 2, QImage::Format_RGB32);
        zoomed_.fill(kBackground);
    }
    screen_ = QImage(areaW_, areaH_ + kStripHeight, QImage::Format_RGB32);
    screen_.fill(kBackground);
    column_ = QImage(1, areaH_ - 2, QImage::Format_RGB32);
    lineSaved_ = false;
}

QImage CWaveView::WaveImage() const {
    std::lock_guard lock(waveMutex_);
    return Shown().copy();
}

double CWaveView::Span() const {
    return zoom_ > 1 ? static_cast<double>(total_) / zoom_ : static_cast<double>(total_);
}

double CWaveView::TimeOfColumn(double x) const {
    return ViewFrom() + x / areaW_ * Span();
}

QString CWaveView::TenthsText(int tenths) {
    tenths = std::max(0, tenths);
    return QStringLiteral("%1.%2")
        .arg(QString::fromStdString(DurationText(tenths / 10)))
        .arg(tenths % 10);
}

int CWaveView::ColumnOf(int second) const {
    if (total_ <= 0) return 0;
    if (zoom_ > 1) return static_cast<int>(std::floor((second - viewFrom_) / Span() * areaW_));
    return static_cast<int>(static_cast<double>(areaW_) / total_ * second);
}

int CWaveView::SecondOf(int column) const {
    if (zoom_ > 1) return static_cast<int>(TimeOfColumn(column));
    return static_cast<int>(static_cast<double>(column) / areaW_ * total_);
}

void CWaveView::Clear() {
    // A hidden widget gets its resize events late: make sure the images fit.
    if (screen_.width() != std::max(1, width()) ||
        screen_.height() != std::max(3, height() - kStripHeight) + kStripHeight)
        MakeImages();
    anchorX_ = currentX_ = previousX_ = 0;
    selecting_ = false;
    total_ = position_ = positionX_ = positionTenths_ = 0;
    zoom_ = 1;
    viewFrom_ = 0;
    selStart_ = selEnd_ = 0;
    markedStart_ = markedEnd_ = 0;
    lineSaved_ = false;
    {
        std::lock_guard lock(waveMutex_);
        wave_.fill(kBackground);
        peaks_.clear();
    }
    RepaintAll();
    emit ViewChanged(0, 0);
}

void CWaveView::SetMarkedSegment(int start, int end) {
    markedStart_ = start;
    markedEnd_ = end;
    if (start >= end) return;
    const int x0 = ColumnOf(start), x1 = ColumnOf(end);
    {
        std::lock_guard lock(waveMutex_);
        QPainter p(&wave_);
        p.fillRect(QRect(x0, 0, x1 - x0 + 1, wave_.height()), kMarkedBand);
    }
    CopyColumns(x0, x1 + 1);
    update();
}

void CWaveView::AddSecond(std::span<const std::int16_t> samples, int i, int total) {
    if (total > 0 && !samples.empty()) {
        int w = 0, h = 0;
        {
            std::lock_guard lock(waveMutex_);
            w = areaW_;
            h = areaH_;
        }
        // Each column is the vertical line from its lowest to its highest
        // point, the link from the previous column included: the picture of
        // the polyline through every sample, at a column's cost. The columns
        // are worked out before the image is locked, so that several load
        // threads only queue for the pixels.
        const auto columns = ColumnExtremes(samples, static_cast<double>(w) / total * i,
                                            static_cast<double>(w) / total);
        std::array<std::pair<std::int16_t, std::int16_t>, kPeaksPerSecond> peaks;
        peaks.fill({1, 0});  // nothing in these 10 ms
        const std::size_t per = 8000 / kPeaksPerSecond;
        for (std::size_t b = 0, at = 0; b < peaks.size() && at < samples.size(); ++b, at += per) {
            const std::size_t end = std::min(samples.size(), at + per);
            // A plain loop, so that the compiler can vectorise it.
            std::int16_t lo = samples[at], hi = samples[at];
            for (std::size_t k = at + 1; k < end; ++k) {
                lo = std::min(lo, samples[k]);
                hi = std::max(hi, samples[k]);
            }
            peaks[b] = {lo, hi};
        }
        std::lock_guard lock(waveMutex_);
        if (w != areaW_ || h != areaH_) return;  // resized meanwhile: a reload follows
        const auto need = static_cast<std::size_t>(total) * kPeaksPerSecond;
        if (peaks_.size() != need) peaks_.assign(need, {1, 0});
        std::copy(peaks.begin(), peaks.end(),
                  peaks_.begin() + static_cast<std::ptrdiff_t>(i) * kPeaksPerSecond);
        const int mid = h / 2;
        const int maxY = wave_.height() - 1;
        // The sample-to-row rule is monotonic, so extremes of the samples
        // give the extremes of the rows.
        const auto yOf = [&](std::int16_t s) { return mid + h * s / 65535; };
        const auto rgb = kWave.rgb();
        for (const auto& c : columns) {
            if (c.column < 0 || c.column >= wave_.width()) continue;
            const int y0 = std::clamp(yOf(c.low), 0, maxY), y1 = std::clamp(yOf(c.high), 0, maxY);
            for (int y = y0; y <= y1; ++y)
                reinterpret_cast<QRgb*>(wave_.scanLine(y))[c.column] = rgb;
        }
    }
    emit SecondDrawn(i);
}

std::vector<CWaveView::Extremes> CWaveView::ColumnExtremes(std::span<const std::int16_t> samples,
                                                           double x0, double width) {
    std::vector<Extremes> out;
    const std::size_t n = samples.size();
    if (n == 0) return out;
    // Sample k sits at x0 + k * step.
    const double step = width / static_cast<double>(n);
    const auto columnOf = [&](std::size_t j) {
        return static_cast<int>(x0 + static_cast<double>(j) * step);
    };
    std::size_t k = 0;
    int column = columnOf(0);
    std::int16_t last = samples[0];
    while (k < n) {
        // The first sample of the next column, at least one further on.
        std::size_t end = n;
        const double edge = (column + 1 - x0) / step;
        if (edge < static_cast<double>(n))
            end = std::max(k + 1, static_cast<std::size_t>(std::ceil(edge)));
        // The division may round across the edge: settle it by the position rule.
        while (end > k + 1 && columnOf(end - 1) > column)
            --end;
        while (end < n && columnOf(end) <= column)
            ++end;
        // A plain loop, so that the compiler can vectorise it.
        std::int16_t lo = last, hi = last;
        for (std::size_t j = k; j < end; ++j) {
            lo = std::min(lo, samples[j]);
            hi = std::max(hi, samples[j]);
        }
        out.push_back({column, lo, hi});
        last = samples[end - 1];
        k = end;
        if (k < n) column = columnOf(k);
    }
    return out;
}

void CWaveView::OnSecondDrawn(int i) {
    if (total_ <= 0) return;
    if (zoom_ > 1) {
        // Drawn behind the zoom: shown when it falls in the stretch.
        if (i + 1 >= viewFrom_ && i <= viewFrom_ + Span()) {
            RenderZoomed();
            RepaintAll();
        }
        return;
    }
    if (i == 0) {
        RepaintAll();
        return;
    }
    CopyColumns(ColumnOf(i), ColumnOf(i + 1) + 1);
    update();
}

void CWaveView::RepaintAll() {
    {
        QPainter p(&screen_);
        p.fillRect(QRect(0, 0, areaW_, areaH_), kBackground);
        p.setPen(kFrame);
        p.drawRect(0, 0, areaW_ - 1, areaH_ - 1);
    }
    CopyColumns(0, areaW_);
    lineSaved_ = false;
    UpdateStrip();
    ShadeSelection();
    update();
}

void CWaveView::Redraw() {
    CopyColumns(0, areaW_);
    lineSaved_ = false;
    update();
}

void CWaveView::CopyColumns(int from, int to) {
    from = std::max(0, from);
    std::lock_guard lock(waveMutex_);
    const QImage& shown = Shown();
    to = std::min(to, shown.width());
    if (from >= to) return;
    const auto n = static_cast<std::size_t>(to - from) * sizeof(QRgb);
    for (int y = 0; y < shown.height(); ++y)
        std::memcpy(reinterpret_cast<QRgb*>(screen_.scanLine(y)) + from,
                    reinterpret_cast<const QRgb*>(shown.constScanLine(y)) + from, n);
}

void CWaveView::ShadeColumns(int from, int to) {
    from = std::max(0, from);
    std::lock_guard lock(waveMutex_);
    const QImage& shown = Shown();
    to = std::min(to, shown.width());
    for (int y = 0; y < shown.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(shown.constScanLine(y));
        auto* dst = reinterpret_cast<QRgb*>(screen_.scanLine(y));
        for (int x = from; x < to; ++x)
            dst[x] = 0xFF000000u | (~(src[x] | dst[x]) & 0x00FFFFFFu);
    }
}

void CWaveView::ShadeSelection() {
    if (anchorX_ == currentX_ || (anchorX_ == 0 && currentX_ == 0)) return;
    ShadeColumns(std::min(anchorX_, currentX_), std::max(anchorX_, currentX_));
}

void CWaveView::UpdateStrip() {
    const int lo = std::min(anchorX_, currentX_), hi = std::max(anchorX_, currentX_);
    // No click yet: nothing selected, wherever the zoom shows.
    const bool none = anchorX_ == 0 && currentX_ == 0;
    selStart_ = none ? 0 : SecondOf(lo);
    selEnd_ = none ? 0 : SecondOf(hi);
    // The times to a tenth of the columns under the mouse; playing a
    // selection goes by its whole seconds.
    const auto tenthsOf = [&](int column) {
        if (zoom_ > 1) return none ? 0 : static_cast<int>(TimeOfColumn(column) * 10);
        return static_cast<int>(static_cast<double>(column) / areaW_ * total_ * 10);
    };
    const int startT = tenthsOf(lo), endT = tenthsOf(hi);
    const int length = endT - startT;
    const int totalT = total_ * 10;
    const QString gap(6, QLatin1Char(' '));
    stripText_ = Item(165, startT) + gap + Item(166, endT) + gap + Item(167, length) + gap +
                 Item(193, positionTenths_) + gap + Item(168, totalT);
    QPainter p(&screen_);
    const QRect strip(0, areaH_, areaW_, kStripHeight);
    p.fillRect(strip, kBackground);
    p.setFont(font_);
    p.setPen(Qt::white);
    // A narrow window or a long language first loses the wide gaps, then the
    // end of the line; the whole line is then the view's tooltip.
    const QFontMetrics fm = p.fontMetrics();
    const int room = std::max(0, areaW_ - 8);
    QString shown = stripText_;
    stripCut_ = false;
    if (fm.horizontalAdvance(shown) > room) {
        shown = Item(165, startT) + gap.left(2) + Item(166, endT) + gap.left(2) +
                Item(167, length) + gap.left(2) + Item(193, positionTenths_) + gap.left(2) +
                Item(168, totalT);
        if (fm.horizontalAdvance(shown) > room && total_ < 3600) {
            // Then, for a call under an hour, the hours that are always 00.
            const auto brief = [&](int label, int tenths) {
                return Lang(label) + QLatin1Char(' ') + TenthsText(tenths).mid(3);
            };
            shown = brief(165, startT) + gap.left(2) + brief(166, endT) + gap.left(2) +
                    brief(167, length) + gap.left(2) + brief(193, positionTenths_) + gap.left(2) +
                    brief(168, totalT);
            stripCut_ = true;
        }
        if (fm.horizontalAdvance(shown) > room) {
            shown = fm.elidedText(shown, Qt::ElideRight, room);
            stripCut_ = true;
        }
    }
    p.drawText(QRect(0, areaH_ + 5, areaW_, kStripHeight - 5), Qt::AlignHCenter | Qt::AlignTop,
               shown);
    UpdateToolTip();
    update(strip);
}

void CWaveView::UpdateToolTip() {
    setToolTip(!hint_.isEmpty() ? hint_ : stripCut_ ? stripText_ : QString());
}

void CWaveView::SetPosition(int second, int total) {
    SetPositionTenths(second * 10, total);
}

void CWaveView::SetPositionTenths(int tenths, int total) {
    const int second = tenths / 10;
    position_ = second;
    positionTenths_ = tenths;
    const int lineH = areaH_ - 2;
    if (tenths > 0 && lineSaved_ && positionX_ >= 0 && positionX_ < areaW_)
        for (int y = 0; y < lineH; ++y)
            reinterpret_cast<QRgb*>(screen_.scanLine(y))[positionX_] =
                reinterpret_cast<const QRgb*>(column_.constScanLine(y))[0];
    const double at = tenths % 10 == 0 ? second : tenths / 10.0;
    if (zoom_ > 1 && total > 0) {
        // Playback leaving the stretch shown turns the page: the position
        // comes in a tenth from the left edge.
        const double span = Span();
        if (at < viewFrom_ || at >= viewFrom_ + span * 0.95) {
            viewFrom_ = std::clamp(at - span * 0.1, 0.0, std::max(0.0, total_ - span));
            RenderZoomed();
            RepaintAll();
            emit ViewChanged(ViewFrom(), ViewTo());
        }
        positionX_ = static_cast<int>(std::floor((at - viewFrom_) / span * areaW_));
    } else {
        positionX_ = total > 0 ? static_cast<int>(static_cast<double>(areaW_) / total * at) : 0;
    }
    if (positionX_ >= 0 && positionX_ < areaW_) {
        for (int y = 0; y < lineH; ++y) {
            auto* px = reinterpret_cast<QRgb*>(screen_.scanLine(y)) + positionX_;
            reinterpret_cast<QRgb*>(column_.scanLine(y))[0] = *px;
            *px = kPositionLine.rgb();
        }
        lineSaved_ = true;
    }
    UpdateStrip();
    update();
}

int CWaveView::MouseX(const QPointF& p) const {
    return std::clamp(static_cast<int>(p.x()), 0, areaW_);
}

void CWaveView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || total_ <= 0) return;
    setFocus();
    CopyColumns(0, areaW_);
    lineSaved_ = false;
    anchorX_ = currentX_ = previousX_ = MouseX(e->position());
    selecting_ = true;
    if (anchorX_ < areaW_)
        for (int y = 0; y < areaH_ - 2; ++y)
            if ((y / 4) % 2 == 0)
                reinterpret_cast<QRgb*>(screen_.scanLine(y))[anchorX_] = kAnchorLine.rgb();
    UpdateStrip();
    update();
}

void CWaveView::mouseMoveEvent(QMouseEvent* e) {
    if (!selecting_ || total_ <= 0) return;
    currentX_ = MouseX(e->position());
    UpdateStrip();
    const int xa = anchorX_, xp = previousX_, xc = currentX_;
    if (xc < xp) {
        if (xc > xa) {
            CopyColumns(xc, xp);
        } else if (xp > xa) {
            CopyColumns(xa, xp);
            ShadeColumns(xc, xa);
        } else {
            ShadeColumns(xc, xp);
        }
    } else if (xc > xp) {
        if (xc < xa) {
            CopyColumns(xp, xc);
        } else if (xp < xa) {
            CopyColumns(xp, xa);
            ShadeColumns(xa, xc);
        } else {
            ShadeColumns(xp, xc);
        }
    }
    previousX_ = xc;
    update();
}

void CWaveView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) selecting_ = false;
}

void CWaveView::mouseDoubleClickEvent(QMouseEvent* e) {
    if (total_ < 1 || e->button() != Qt::LeftButton) return;
    if (zoom_ > 1) {
        emit WaveSeek(std::clamp(static_cast<int>(TimeOfColumn(e->position().x())), 0, total_ - 1));
        return;
    }
    emit WaveSeek(static_cast<int>(e->position().x() / areaW_ * total_));
}

void CWaveView::wheelEvent(QWheelEvent* e) {
    // Ctrl and the wheel zoom; the wheel alone is the page's.
    if (!(e->modifiers() & Qt::ControlModifier) || e->angleDelta().y() == 0) {
        e->ignore();
        return;
    }
    if (e->angleDelta().y() > 0)
        ZoomIn();
    else
        ZoomOut();
    e->accept();
}

void CWaveView::ZoomIn() {
    SetZoom(zoom_ * 2, positionTenths_ / 10.0);
}

void CWaveView::ZoomOut() {
    SetZoom(zoom_ / 2, positionTenths_ / 10.0);
}

void CWaveView::ZoomAll() {
    SetZoom(1, 0);
}

void CWaveView::SetZoom(int zoom, double around) {
    if (total_ <= 0) return;
    int most = 1;
    while (most < kMaxZoom && total_ / (most * 2.0) >= kMinSpan)
        most *= 2;
    zoom = std::clamp(zoom, 1, most);
    if (zoom == zoom_) return;
    zoom_ = zoom;
    // The position stays where it is in the recording, in the middle.
    viewFrom_ = std::clamp(around - Span() / 2, 0.0, std::max(0.0, total_ - Span()));
    // A selection made in the other scale would mean other seconds.
    anchorX_ = currentX_ = previousX_ = 0;
    selecting_ = false;
    if (zoom_ > 1) RenderZoomed();
    RepaintAll();
    if (positionTenths_ > 0) SetPositionTenths(positionTenths_, total_);
    emit ViewChanged(ViewFrom(), ViewTo());
}

void CWaveView::RenderZoomed() {
    std::lock_guard lock(waveMutex_);
    zoomed_.fill(kBackground);
    const int w = zoomed_.width(), h = areaH_;
    const double span = Span();
    if (span <= 0 || w <= 0) return;
    // The marked segment's band behind the waveform.
    if (markedStart_ < markedEnd_) {
        const auto x = [&](double t) {
            return static_cast<int>(std::floor((t - viewFrom_) / span * w));
        };
        const int x0 = std::clamp(x(markedStart_), 0, w), x1 = std::clamp(x(markedEnd_), -1, w - 1);
        if (x1 >= x0)
            QPainter(&zoomed_).fillRect(QRect(x0, 0, x1 - x0 + 1, zoomed_.height()), kMarkedBand);
    }
    const int mid = h / 2;
    const int maxY = zoomed_.height() - 1;
    const auto yOf = [&](int s) { return mid + h * s / 65535; };
    const auto rgb = kWave.rgb();
    const auto count = static_cast<long>(peaks_.size());
    for (int x = 0; x < w; ++x) {
        const double t0 = viewFrom_ + span * x / w, t1 = viewFrom_ + span * (x + 1) / w;
        const long b0 = static_cast<long>(t0 * kPeaksPerSecond);
        const long b1 = std::max(b0 + 1, static_cast<long>(t1 * kPeaksPerSecond));
        int lo = 1, hi = 0;
        for (long b = std::max(0L, b0); b < std::min(b1, count); ++b) {
            const auto [l, u] = peaks_[static_cast<std::size_t>(b)];
            if (l > u) continue;
            if (lo > hi) lo = l, hi = u;
            lo = std::min<int>(lo, l);
            hi = std::max<int>(hi, u);
        }
        if (lo > hi) continue;
        const int y0 = std::clamp(yOf(lo), 0, maxY), y1 = std::clamp(yOf(hi), 0, maxY);
        for (int y = y0; y <= y1; ++y)
            reinterpret_cast<QRgb*>(zoomed_.scanLine(y))[x] = rgb;
    }
}

void CWaveView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, screen_);
    if (hint_.isEmpty()) return;
    p.setPen(QColor(220, 220, 220));
    p.drawText(rect().adjusted(8, 4, -8, -4), Qt::AlignCenter | Qt::TextWordWrap, hint_);
}

void CWaveView::SetHint(const QString& text) {
    hint_ = text;
    UpdateToolTip();
    update();
}

void CWaveView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    MakeImages();
    RepaintAll();
}

}  // namespace lk::gui
