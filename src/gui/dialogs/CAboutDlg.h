#pragma once
// The about box: product name, the maker's contact lines, the version and an
// optional logo (Config/logo.bmp). A click anywhere on it closes it.

#include <QDialog>

class QLabel;

namespace lk::gui {

class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent);
    // Texts of the lines 1076 to 1085, top to bottom.
    QStringList Lines() const;
    bool HasLogo() const;

  protected:
    void mousePressEvent(QMouseEvent* e) override;

  private:
    QList<QLabel*> lines_;
    QLabel* logo_;
};

}  // namespace lk::gui
