#include "card/BackupStore.h"

#include <cstdio>
#include <system_error>

#include "platform/Decimal.h"

namespace lk {
namespace fs = std::filesystem;

bool IsMarkerPath(std::u16string_view path) {
    constexpr std::size_t n = sizeof(kMarkerSuffix) - 1;
    if (path.size() <= n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (path[path.size() - n + i] != static_cast<char16_t>(kMarkerSuffix[i])) return false;
    return true;
}

namespace {

constexpr char kIndexFolder[] = "CallLog";

bool EndsWith(const std::string& s, std::string_view suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

std::string StoreFolder(int devType) {
    return devType == 1 ? "ZuzeVavazoBackupK" : "ZuzeVavazoBackup";
}

fs::path StoreRoot(const fs::path& backupPath, int devType) {
    return backupPath / StoreFolder(devType);
}

fs::path MonthIndexPath(const fs::path& backupPath, int devType, int year, int month) {
    char name[32];
    std::snprintf(name, sizeof name, "%04d%02d%s", year, month, kIndexFileSuffix);
    return StoreRoot(backupPath, devType) / kIndexFolder / name;
}

fs::path MonthIndexPath(const fs::path& backupPath, int devType, int yyyymm) {
    return StoreRoot(backupPath, devType) / kIndexFolder /
           (std::to_string(yyyymm) + kIndexFileSuffix);
}

std::vector<int> ListBackupMonths(const fs::path& backupPath, int devType) {
    std::vector<int> months;
    std::error_code ec;
    for (fs::directory_iterator it(StoreRoot(backupPath, devType) / kIndexFolder, ec), end;
         !ec && it != end; it.increment(ec)) {
        const auto name = it->path().filename().string();
        if (!EndsWith(name, kIndexFileSuffix)) continue;
        months.push_back(AtoiOf(std::string_view(name).substr(0, 6)));
    }
    return months;
}

}  // namespace lk
