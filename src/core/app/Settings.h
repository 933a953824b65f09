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

// One accessor per key, each with its default for a missing key.
// The card text code page: "CodePage", "CP1252" when unset.
std::string CardCodePage();
// "AutoBackup": back up after each card read; on only when 1.
bool AutoBackup();
void SetAutoBackup(bool on);
// "BackupPath": root of the backup store; empty when not chosen.
std::filesystem::path BackupPath();
// "DevType": the last recorder family, 0 unless 1.
int DevType();
void SetDevType(int family);

// Path of the settings file in use.
std::filesystem::path SettingsFilePath();

}  // namespace lk
