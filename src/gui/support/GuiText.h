#pragma once
// Qt views of the numbered language texts and the text settings.

#include <QString>

#include "app/LangString.h"
#include "app/Settings.h"

namespace lk::gui {

inline QString Lang(int number) {
    return QString::fromStdString(LangString(number));
}
inline QString SettingText(const char* key) {
    return QString::fromStdString(ReadSettingString(key));
}

// The display name of a device family ("Device" or "Device2").
inline QString DeviceName(int devType) {
    return SettingText(devType == 1 ? "Device2" : "Device");
}

// Version shown in the title bar and the about box.
inline constexpr char kVersionText[] = "1.0.0.22 20160616";

}  // namespace lk::gui
