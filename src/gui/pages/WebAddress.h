#pragma once

#include <QString>

namespace lk::gui {

// The address the web page opens: the "Web" text from its first "http://"
// (exact case) to the end; empty when there is none.
QString WebAddressOf(const QString& webSetting);

// The small page shown instead of the browser engine's own when the address
// cannot be reached: `text`, then the address as a link.
QString UnreachablePageHtml(const QString& address, const QString& text);

}  // namespace lk::gui
