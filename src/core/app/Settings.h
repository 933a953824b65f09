#pragma once
// Settings (section "Setting" of Config/LiteSet.ini). Every call opens the
// file anew; nothing is cached, so a second process or a hand edit is seen.

#include <filesystem>
#include <string>
#include <string_view>

namespace lk {

// -1 when the key or the file is missing.
int ReadSettingInt(std::string_view key);
void WriteSettingInt(std::string_view key, int value);
// Empty when missing; cut at 1023 characters; backslash-n becomes a line feed.
std::string ReadSettingString(std::string_view key);
void WriteSettingString(std::string_view key, std::string_view value);

// The card text code page: the setting "CodePage", "CP1252" when unset.
std::string CardCodePage();

// Path of the settings file in use.
std::filesystem::path SettingsFilePath();

}  // namespace lk
