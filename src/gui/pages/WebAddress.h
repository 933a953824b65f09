#pragma once

#include <QString>

namespace lk::gui {

// The address the web page opens: the "Web" text from its first "http://"
// (exact case) to the end; empty when there is none.
QString WebAddressOf(const QString& webSetting);

}  // namespace lk::gui
