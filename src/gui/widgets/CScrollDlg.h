#pragma once
// Base for pages whose designed size may exceed the space they get: scroll
// bars in steps of 32 pixels while the page is smaller than its design, and a
// size grip in the corner while no scrolling is needed.

#include <QAbstractScrollArea>

class QSizeGrip;

namespace lk::gui {

class CScrollDlg : public QAbstractScrollArea {
    Q_OBJECT
  public:
    static constexpr int kStep = 32;

    explicit CScrollDlg(QWidget* parent = nullptr);
    // The page's contents; their size now is the design size.
    void SetPage(QWidget* page);
    QWidget* Page() const { return page_; }

    int HorizontalSteps() const { return hSteps_; }
    int VerticalSteps() const { return vSteps_; }
    int HorizontalPos() const;
    int VerticalPos() const;
    bool GripVisible() const;
    // Applies a scroll request given as a step delta (clamped).
    void ScrollBySteps(int dh, int dv);

  protected:
    void resizeEvent(QResizeEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    void Recompute();

    QWidget* page_ = nullptr;
    QSize design_;
    QSizeGrip* grip_;
    int hSteps_ = 0;
    int vSteps_ = 0;
};

}  // namespace lk::gui
