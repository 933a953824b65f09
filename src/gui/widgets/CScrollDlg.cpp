#include "widgets/CScrollDlg.h"

#include <QResizeEvent>
#include <QScrollBar>
#include <QSizeGrip>

namespace lk::gui {

CScrollDlg::CScrollDlg(QWidget* parent) : QAbstractScrollArea(parent), grip_(new QSizeGrip(this)) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    horizontalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setSingleStep(1);
    // A horizontal page is 32 steps; a vertical page is the vertical step count.
    horizontalScrollBar()->setPageStep(kStep);
    grip_->resize(grip_->sizeHint());
}

void CScrollDlg::SetPage(QWidget* page) {
    page_ = page;
    page_->setParent(viewport());
    design_ = page_->size();
    page_->move(0, 0);
    page_->show();
    Recompute();
}

int CScrollDlg::HorizontalPos() const {
    return horizontalScrollBar()->value();
}
int CScrollDlg::VerticalPos() const {
    return verticalScrollBar()->value();
}
bool CScrollDlg::GripVisible() const {
    return !grip_->isHidden();
}

void CScrollDlg::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    if (!page_) return;
    // Back to the origin first, then the new ranges.
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    Recompute();
}

void CScrollDlg::Recompute() {
    if (!page_) return;
    const QSize client = viewport()->size();
    hSteps_ = (design_.width() - client.width()) / kStep + 1;
    vSteps_ = (design_.height() - client.height()) / kStep + 1;
    const bool maximised = window()->isMaximized();
    grip_->setVisible(hSteps_ <= 0 && vSteps_ <= 0 && !maximised);
    horizontalScrollBar()->setRange(0, std::max(0, hSteps_));
    verticalScrollBar()->setRange(0, std::max(0, vSteps_));
    verticalScrollBar()->setPageStep(std::max(1, vSteps_));
    if (!maximised) grip_->move(width() - grip_->width(), height() - grip_->height());
}

void CScrollDlg::ScrollBySteps(int dh, int dv) {
    QScrollBar* h = horizontalScrollBar();
    QScrollBar* v = verticalScrollBar();
    h->setValue(std::clamp(h->value() + dh, 0, h->maximum()));
    v->setValue(std::clamp(v->value() + dv, 0, v->maximum()));
}

void CScrollDlg::scrollContentsBy(int, int) {
    if (page_) page_->move(-HorizontalPos() * kStep, -VerticalPos() * kStep);
}

}  // namespace lk::gui
