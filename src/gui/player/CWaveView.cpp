#include "player/CWaveView.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
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

QString Item(int label, int seconds) {
    return Lang(label) + QLatin1Char(' ') + QString::fromStdString(DurationText(seconds));
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
    }
    screen_ = QImage(areaW_, areaH_ + kStripHeight, QImage::Format_RGB32);
    screen_.fill(kBackground);
    column_ = QImage(1, areaH_ - 2, QImage::Format_RGB32);
    lineSaved_ = false;
}

QImage CWaveView::WaveImage() const {
    std::lock_guard lock(waveMutex_);
    return wave_.copy();
}

int CWaveView::ColumnOf(int second) const {
    if (total_ <= 0) return 0;
    return static_cast<int>(static_cast<double>(areaW_) / total_ * second);
}

int CWaveView::SecondOf(int column) const {
    return static_cast<int>(static_cast<double>(column) / areaW_ * total_);
}

void CWaveView::Clear() {
    // A hidden widget gets its resize events late: make sure the images fit.
    if (screen_.width() != std::max(1, width()) ||
        screen_.height() != std::max(3, height() - kStripHeight) + kStripHeight)
        MakeImages();
    anchorX_ = currentX_ = previousX_ = 0;
    selecting_ = false;
    total_ = position_ = positionX_ = 0;
    selStart_ = selEnd_ = 0;
    markedStart_ = markedEnd_ = 0;
    lineSaved_ = false;
    {
        std::lock_guard lock(waveMutex_);
        wave_.fill(kBackground);
    }
    RepaintAll();
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
        std::lock_guard lock(waveMutex_);
        if (w != areaW_ || h != areaH_) return;  // resized meanwhile: a reload follows
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
    to = std::min(to, wave_.width());
    if (from >= to) return;
    const auto n = static_cast<std::size_t>(to - from) * sizeof(QRgb);
    for (int y = 0; y < wave_.height(); ++y)
        std::memcpy(reinterpret_cast<QRgb*>(screen_.scanLine(y)) + from,
                    reinterpret_cast<const QRgb*>(wave_.constScanLine(y)) + from, n);
}

void CWaveView::ShadeColumns(int from, int to) {
    from = std::max(0, from);
    std::lock_guard lock(waveMutex_);
    to = std::min(to, wave_.width());
    for (int y = 0; y < wave_.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(wave_.constScanLine(y));
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
    selStart_ = SecondOf(lo);
    selEnd_ = SecondOf(hi);
    const int length = static_cast<int>(static_cast<double>(hi - lo) / areaW_ * total_);
    const QString gap(6, QLatin1Char(' '));
    stripText_ = Item(165, selStart_) + gap + Item(166, selEnd_) + gap + Item(167, length) + gap +
                 Item(193, position_) + gap + Item(168, total_);
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
        shown = Item(165, selStart_) + gap.left(2) + Item(166, selEnd_) + gap.left(2) +
                Item(167, length) + gap.left(2) + Item(193, position_) + gap.left(2) +
                Item(168, total_);
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
    position_ = second;
    const int lineH = areaH_ - 2;
    if (second > 0 && lineSaved_ && positionX_ >= 0 && positionX_ < areaW_)
        for (int y = 0; y < lineH; ++y)
            reinterpret_cast<QRgb*>(screen_.scanLine(y))[positionX_] =
                reinterpret_cast<const QRgb*>(column_.constScanLine(y))[0];
    positionX_ = total > 0 ? static_cast<int>(static_cast<double>(areaW_) / total * second) : 0;
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
    emit WaveSeek(static_cast<int>(e->position().x() / areaW_ * total_));
}

void CWaveView::wheelEvent(QWheelEvent* e) {
    e->ignore();
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
