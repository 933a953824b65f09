#include "app/Settings.h"

#include "platform/Decimal.h"

#include <charconv>
#include <climits>

#include "app/ExeDir.h"
#include "platform/IniProfile.h"

namespace lk {

namespace {
constexpr std::string_view kSection = "Setting";
// The value buffer holds 1024 wide characters, one of them the terminator.
constexpr std::size_t kMaxValueUnits = 1023;
}  // namespace

std::filesystem::path SettingsFilePath() {
    return ConfigDir() / "LiteSet.ini";
}

int ReadSettingInt(std::string_view key) {
    const auto value = ReadProfileString(SettingsFilePath(), kSection, key);
    if (!value || value->empty()) return -1;
    return AtoiOf(*value);
}

void WriteSettingInt(std::string_view key, int value) {
    WriteProfileString(SettingsFilePath(), kSection, key, std::to_string(value));
}

std::string ReadSettingString(std::string_view key) {
    const auto value = ReadProfileString(SettingsFilePath(), kSection, key);
    if (!value) return {};
    return ExpandLineBreaks(CutToUtf16Units(*value, kMaxValueUnits));
}

void WriteSettingString(std::string_view key, std::string_view value) {
    WriteProfileString(SettingsFilePath(), kSection, key, value);
}

std::string CardCodePage() {
    auto cp = ReadSettingString("CodePage");
    return cp.empty() ? std::string("CP1252") : cp;
}

bool AutoBackup() {
    return ReadSettingInt("AutoBackup") == 1;
}

void SetAutoBackup(bool on) {
    WriteSettingInt("AutoBackup", on ? 1 : 0);
}

std::filesystem::path BackupPath() {
    return ReadSettingString("BackupPath");
}

int DevType() {
    return ReadSettingInt("DevType") == 1 ? 1 : 0;
}

void SetDevType(int family) {
    WriteSettingInt("DevType", family == 1 ? 1 : 0);
}

}  // namespace lk
