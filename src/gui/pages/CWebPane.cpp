#include "pages/CWebPane.h"

#include <QGuiApplication>
#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>

#include "pages/WebAddress.h"
#include "support/GuiText.h"

#ifdef LK_HAVE_WEBENGINE
#include <QWebEngineView>
#endif

namespace lk::gui {
namespace {
bool CanEmbedBrowser() {
#ifdef LK_HAVE_WEBENGINE
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal") &&
           qEnvironmentVariableIsEmpty("LINEKEEPER_NO_WEBENGINE");
#else
    return false;
#endif
}
}  // namespace

CWebPane::CWebPane(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    address_ = WebAddressOf(SettingText(CompanyWeb()));
    if (!address_.isEmpty() && !CanEmbedBrowser()) {
        link_ = new QLabel(this);
        link_->setTextFormat(Qt::RichText);
        link_->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                           .arg(address_.toHtmlEscaped(), address_.toHtmlEscaped()));
        link_->setOpenExternalLinks(true);
        link_->setAlignment(Qt::AlignCenter);
        layout->addWidget(link_);
    }
}

void CWebPane::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
#ifdef LK_HAVE_WEBENGINE
    // Navigates once, the first time the page is seen.
    if (browser_ || address_.isEmpty() || !CanEmbedBrowser() || !window()->isVisible()) return;
    auto* view = new QWebEngineView(this);
    layout()->addWidget(view);
    // Our own small page, with the address as a link, instead of the engine's
    // error page.
    connect(view, &QWebEngineView::loadFinished, this, [this, view](bool ok) {
        if (!ok) view->setHtml(UnreachablePageHtml(address_, Lang(317)), QUrl());
    });
    view->load(QUrl(address_));
    browser_ = view;
#endif
}

}  // namespace lk::gui
