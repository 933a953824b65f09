#include "pages/WebAddress.h"

namespace lk::gui {

QString WebAddressOf(const QString& webSetting) {
    const qsizetype at = webSetting.indexOf(QLatin1String("http://"), 0, Qt::CaseSensitive);
    return at < 0 ? QString() : webSetting.mid(at);
}

}  // namespace lk::gui
