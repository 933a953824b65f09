#include "app/Settings.h"

#include <charconv>
#include <climits>

#include "app/ExeDir.h"
#include "platform/Decimal.h"
#include "platform/IniProfile.h"

namespace lk {

namespace {
constexpr std::string_view kSection = "Setting";
// The value buffer holds 1024 wide characters, one of them the terminator.
constexpr std::size_t kMaxValueUnits = 1023;

bool IsOne(std::string_view key) {
    return ReadSettingInt(key) == 1;
}

std::string ColumnKey(int column) {
    return "ListWndColumn" + std::to_string(column + 1);
}
}  // namespace

std::filesystem::path SettingsFilePath() {
    return ConfigDir() / "LiteSet.ini";
}

int ReadSettingInt(std::string_view key) {
    const auto value = ReadProfileString(SettingsFilePath(), kSection, key);
    if (!value || value->empty()) return -1;
    return AtoiOf(*value);
}

bool WriteSettingInt(std::string_view key, int value) {
    return WriteProfileString(SettingsFilePath(), kSection, key, std::to_string(value));
}

std::string ReadSettingString(std::string_view key) {
    const auto value = ReadProfileString(SettingsFilePath(), kSection, key);
    if (!value) return {};
    return ExpandLineBreaks(CutToUtf16Units(*value, kMaxValueUnits));
}

bool WriteSettingString(std::string_view key, std::string_view value) {
    return WriteProfileString(SettingsFilePath(), kSection, key, value);
}

std::string CardCodePage() {
    auto cp = ReadSettingString("CodePage");
    return cp.empty() ? std::string(kDefaultCardCodePage) : cp;
}

int RetentionDays() {
    const int days = ReadSettingInt("RetentionDays");
    return days >= 0 ? days : 90;
}

bool SetRetentionDays(int days) {
    return WriteSettingInt("RetentionDays", days < 0 ? 0 : days);
}

int DevType() {
    return ReadSettingInt("DevType") == 1 ? 1 : 0;
}

bool SetDevType(int family) {
    return WriteSettingInt("DevType", family == 1 ? 1 : 0);
}

std::string DeviceDisplayName(int family) {
    return ReadSettingString(family == 1 ? "Device2" : "Device");
}

std::string DeviceLibraryPath() {
    return ReadSettingString("DeviceLibrary");
}

std::string SoftwareName() {
    return ReadSettingString("Software");
}

std::string CompanyName() {
    return ReadSettingString("Company");
}

std::string CompanyAddress() {
    return ReadSettingString("Address");
}

std::string CompanyTel() {
    return ReadSettingString("Tel");
}

std::string CompanyFax() {
    return ReadSettingString("Fax");
}

std::string CompanyMobile() {
    return ReadSettingString("Mobile");
}

std::string CompanyWeb() {
    return ReadSettingString("Web");
}

std::string CompanyEmail() {
    return ReadSettingString("Email");
}

namespace {
// An int setting within [lo, hi]; `fallback` when unset or out of range.
int Bounded(std::string_view key, int lo, int hi, int fallback) {
    const std::string text = ReadSettingString(key);
    int value = 0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < lo || value > hi)
        return fallback;
    return value;
}
}  // namespace

int PlaySpeedTenths() {
    return Bounded("PlaySpeed", 5, 20, 10);
}

bool SetPlaySpeedTenths(int tenths) {
    return WriteSettingInt("PlaySpeed", tenths);
}

int PlaySkipSeconds() {
    return Bounded("PlaySkip", 1, 60, 5);
}

int PlayRewindSeconds() {
    return Bounded("PlayRewind", 0, 30, 2);
}

bool SetPlayRewindSeconds(int seconds) {
    return WriteSettingInt("PlayRewind", seconds);
}

int PlayVolume() {
    return Bounded("PlayVolume", 0, 100, 100);
}

bool SetPlayVolume(int percent) {
    return WriteSettingInt("PlayVolume", percent);
}

std::optional<int> PlayLoudness() {
    if (ReadSettingString("PlayLoudness") == "off") return std::nullopt;
    return Bounded("PlayLoudness", -40, -5, -23);
}

bool SetPlayLoudness(std::optional<int> lufs) {
    return lufs ? WriteSettingInt("PlayLoudness", *lufs)
                : WriteSettingString("PlayLoudness", "off");
}

bool AutoBackup() {
    return IsOne("AutoBackup");
}

bool SetAutoBackup(bool on) {
    return WriteSettingInt("AutoBackup", on ? 1 : 0);
}

std::filesystem::path BackupPath() {
    return ReadSettingString("BackupPath");
}

bool SetBackupPath(const std::string& path) {
    return WriteSettingString("BackupPath", path);
}

bool BackupMovesFiles() {
    return IsOne("BackupDelFile");
}

bool SetBackupMovesFiles(bool move) {
    return WriteSettingInt("BackupDelFile", move ? 1 : 0);
}

std::string ExportPath() {
    return ReadSettingString("ExportPath");
}

bool SetExportPath(const std::string& folder) {
    return WriteSettingString("ExportPath", folder);
}

std::string ExportFormat() {
    const auto f = ReadSettingString("ExportFormat");
    return f.empty() ? "wav" : f;
}

bool SetExportFormat(const std::string& format) {
    return WriteSettingString("ExportFormat", format);
}

std::string ExportTemplate() {
    return ReadSettingString("ExportTemplate");
}

bool SetExportTemplate(const std::string& text) {
    return WriteSettingString("ExportTemplate", text);
}

std::string MailFormat() {
    const auto f = ReadSettingString("MailFormat");
    return f.empty() ? "wav" : f;
}

bool SetMailFormat(const std::string& format) {
    return WriteSettingString("MailFormat", format);
}

std::string ContactsFile() {
    return ReadSettingString("ContactsFile");
}

bool SetContactsFile(const std::string& source) {
    return WriteSettingString("ContactsFile", source);
}

bool SearchDateCond() {
    return IsOne("DateCond");
}

bool SetSearchDateCond(bool on) {
    return WriteSettingInt("DateCond", on ? 1 : 0);
}

bool SearchNumberCond() {
    return IsOne("NumCond");
}

bool SetSearchNumberCond(bool on) {
    return WriteSettingInt("NumCond", on ? 1 : 0);
}

std::string SearchedNumber() {
    return ReadSettingString("SearchedNum");
}

bool SetSearchedNumber(const std::string& number) {
    return WriteSettingString("SearchedNum", number);
}

std::optional<int> WindowLeft() {
    if (ReadSettingString("WindowLeft").empty()) return std::nullopt;
    return ReadSettingInt("WindowLeft");
}

int WindowTop() {
    return ReadSettingInt("WindowTop");
}

int WindowWidth() {
    return ReadSettingInt("WindowWidth");
}

int WindowHeight() {
    return ReadSettingInt("WindowHeight");
}

bool WindowMaximized() {
    return IsOne("WindowMaximized");
}

bool SetWindowLeft(int x) {
    return WriteSettingInt("WindowLeft", x);
}

bool SetWindowTop(int y) {
    return WriteSettingInt("WindowTop", y);
}

bool SetWindowWidth(int width) {
    return WriteSettingInt("WindowWidth", width);
}

bool SetWindowHeight(int height) {
    return WriteSettingInt("WindowHeight", height);
}

bool SetWindowMaximized(bool maximized) {
    return WriteSettingInt("WindowMaximized", maximized ? 1 : 0);
}

int TreeWidth() {
    return ReadSettingInt("TreeWidth");
}

bool SetTreeWidth(int width) {
    return WriteSettingInt("TreeWidth", width);
}

int PlayerHeight() {
    return ReadSettingInt("PlayerHeight");
}

bool SetPlayerHeight(int height) {
    return WriteSettingInt("PlayerHeight", height);
}

int ListColumnWidth(int column) {
    return ReadSettingInt(ColumnKey(column));
}

bool SetListColumnWidth(int column, int width) {
    return WriteSettingInt(ColumnKey(column), width);
}

}  // namespace lk
