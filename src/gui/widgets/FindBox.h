#pragma once
// The toolbar's find-as-you-type box. Escape empties it and hands the focus
// back (Left); the keys it edits with are its own while it has the focus,
// not the window's shortcuts (Escape stops the player elsewhere).

#include <QLineEdit>

namespace lk::gui {

class FindBox : public QLineEdit {
    Q_OBJECT
  public:
    explicit FindBox(QWidget* parent = nullptr);

  signals:
    // Escape was pressed: the box is empty and the focus should go back.
    void Left();
    // The box took the focus: typing is likely to follow.
    void Entered();

  protected:
    bool event(QEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
};

}  // namespace lk::gui
