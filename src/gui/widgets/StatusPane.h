#pragma once
// A pane of the status bar. A short text ("Recorder not connected") keeps its
// whole width when the window is narrow, and the other panes give way; a long
// one (a card's path) may still be cut, so that it never keeps the window
// from getting smaller, and shows whole as its tip.

#include <QLabel>

namespace lk::gui {

class StatusPane : public QLabel {
    Q_OBJECT
  public:
    explicit StatusPane(QWidget* parent = nullptr);

    void SetText(const QString& text);
};

}  // namespace lk::gui
