#pragma once
// The read-progress window of the record loader and the pane fill: a caption,
// one centred text line and a bar. Modeless, owned by the main frame.

#include <QDialog>

class QLabel;
class QProgressBar;

namespace lk::gui {

class ProgressDialog : public QDialog {
    Q_OBJECT
  public:
    explicit ProgressDialog(QWidget* parent);
    void SetRange(int maximum);
    void SetPos(int value);
    void SetText(const QString& text);
    QString Text() const;
    int Pos() const;
    int Maximum() const;
    void ShowCentered();

  private:
    QLabel* text_;
    QProgressBar* bar_;
};

}  // namespace lk::gui
