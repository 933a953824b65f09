#include "player/CTimeRuler.h"

#include <QPainter>
#include <array>
#include <cmath>

namespace lk::gui {

CTimeRuler::CTimeRuler(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    QFont f = font();
    f.setPixelSize(10);
    setFont(f);
}

void CTimeRuler::SetSpan(double from, double to) {
    if (from == from_ && to == to_) return;
    from_ = from;
    to_ = to;
    update();
}

int CTimeRuler::LabelStep(double span, int width, int minPixels) {
    static constexpr std::array<int, 13> kSteps{1,   2,   5,   10,  15,   30,  60,
                                                120, 300, 600, 900, 1800, 3600};
    if (span <= 0 || width <= 0) return kSteps.back();
    for (int step : kSteps)
        if (width * step / span >= minPixels) return step;
    return kSteps.back();
}

QString CTimeRuler::Label(int seconds) {
    if (seconds >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(seconds / 3600)
            .arg(seconds % 3600 / 60, 2, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void CTimeRuler::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(32, 32, 32));
    const double span = to_ - from_;
    if (span <= 0 || width() <= 0) return;
    const int labelWidth = fontMetrics().horizontalAdvance(Label(to_ >= 3600 ? 36000 : 600));
    const int step = LabelStep(span, width(), labelWidth + 12);
    // Five small ticks between labels, or two for steps of 15 s or 15 min.
    const int minor = step % 15 == 0 && step % 30 != 0 ? 3 : 5;
    const double pxPerSecond = width() / span;
    const double minorStep = static_cast<double>(step) / minor;
    p.setPen(QColor(200, 200, 200));
    const int first = static_cast<int>(std::floor(from_ / minorStep));
    for (int k = first; k * minorStep <= to_; ++k) {
        const double t = k * minorStep;
        const int x = static_cast<int>(std::lround((t - from_) * pxPerSecond));
        if (x < 0 || x >= width()) continue;
        const bool major = k % minor == 0;
        p.drawLine(x, height() - 1, x, height() - (major ? 7 : 3));
        if (major) {
            const int seconds = static_cast<int>(std::lround(t));
            p.drawText(QRect(x + 2, 0, labelWidth + 8, height() - 4),
                       Qt::AlignLeft | Qt::AlignVCenter, Label(seconds));
        }
    }
}

}  // namespace lk::gui
