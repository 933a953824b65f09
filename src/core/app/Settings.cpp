#include "app/Settings.h"

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
    // Like atoi: an optional sign and the leading digits; no digits read as 0.
    std::string_view s = *value;
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    long long n = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') break;
        n = n * 10 + (c - '0');
        if (n > static_cast<long long>(INT_MAX) + 1) break;
    }
    if (negative) n = -n;
    if (n > INT_MAX) return INT_MAX;
    if (n < INT_MIN) return INT_MIN;
    return static_cast<int>(n);
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

}  // namespace lk
