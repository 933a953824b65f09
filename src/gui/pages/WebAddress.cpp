#include "pages/WebAddress.h"

namespace lk::gui {

QString WebAddressOf(const QString& webSetting) {
    const qsizetype at = webSetting.indexOf(QLatin1String("http://"), 0, Qt::CaseSensitive);
    return at < 0 ? QString() : webSetting.mid(at);
}

QString UnreachablePageHtml(const QString& address, const QString& text) {
    const QString a = address.toHtmlEscaped();
    return QStringLiteral(
               "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1</title></head>"
               "<body style=\"font-family: sans-serif; margin: 2em\"><p>%1</p>"
               "<p><a href=\"%2\">%2</a></p></body></html>")
        .arg(text.toHtmlEscaped(), a);
}

}  // namespace lk::gui
