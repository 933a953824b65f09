#pragma once
// Qt views of the numbered language texts and the text settings.

#include <QString>

#include "app/LangString.h"
#include "app/Settings.h"
#include "support/ShippedTexts.h"

namespace lk::gui {

// A menu text without its access-key marks: "&&" stays as one "&".
inline QString StripAccessKey(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&')) {
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) out += text[++i];
            continue;
        }
        out += text[i];
    }
    return out;
}

// A language text as it is written, access keys included: for menu items.
// A text the language file lacks is the one the program shipped with.
inline QString MenuText(int number) {
    std::string text = LangString(number);
    if (text.empty()) text = ShippedLangString(number);
    return QString::fromStdString(text);
}
// A language text for captions, labels and messages: no access-key marks.
inline QString Lang(int number) {
    return StripAccessKey(MenuText(number));
}
// A text setting (the accessors of app/Settings.h) for the windows.
inline QString SettingText(const std::string& value) {
    return QString::fromStdString(value);
}

// The display name of a device family ("Device" or "Device2").
inline QString DeviceName(int devType) {
    return SettingText(DeviceDisplayName(devType));
}

}  // namespace lk::gui
