#pragma once
// Page 0: the maker's web page. With Qt WebEngine it is shown embedded; the
// browser is only started the first time the page is really on screen (never
// on the offscreen platform). Without it, the address is a link that opens
// the system browser.

#include <QString>
#include <QWidget>

class QLabel;

namespace lk::gui {

class CWebPane : public QWidget {
    Q_OBJECT
  public:
    explicit CWebPane(QWidget* parent);
    QString Address() const { return address_; }
    bool BrowserStarted() const { return browser_ != nullptr; }

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    QString address_;
    QLabel* link_ = nullptr;
    QWidget* browser_ = nullptr;
};

}  // namespace lk::gui
