#include "card/BackupStore.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "card/CallLog.h"
#include "platform/Decimal.h"

namespace lk {
namespace fs = std::filesystem;

namespace {

constexpr char kIndexFolder[] = "CallLog";

bool EndsWith(const std::string& s, std::string_view suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Rewrites record `index` of a month index file through `change`, in place.
template <typename Change>
bool ChangeIndexRecord(const fs::path& path, int index, Change change) {
    if (index < 0) return false;
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (ec) return false;
    const auto count = size / CallRecord::kSize;
    if (count == 0 || static_cast<std::uint64_t>(index) >= count) return false;
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    if (!f) return false;
    const auto pos =
        static_cast<std::streamoff>(static_cast<std::uint64_t>(index) * CallRecord::kSize);
    std::array<std::uint8_t, CallRecord::kSize> image{};
    f.seekg(pos);
    f.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (!f) return false;
    change(MutableByteSpan(image));
    f.seekp(pos);
    f.write(reinterpret_cast<const char*>(image.data()),
            static_cast<std::streamsize>(image.size()));
    f.flush();
    return static_cast<bool>(f);
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

bool ClearBackupEntry(const fs::path& backupPath, int devType, CallRecord& record, int index) {
    const auto path = MonthIndexPath(backupPath, devType, record.time.year, record.time.month);
    return ChangeIndexRecord(path, index, [](MutableByteSpan image) {
        WriteU8(image, CallRecord::kCardBytesOffset + CallRecord::kCardInUseByte, 0);
        WriteI32(image, CallRecord::kInUseOffset, 0);
    });
}

bool WriteBackupMark(const fs::path& backupPath, int devType, CallRecord& record, int index,
                     int value) {
    const auto path = MonthIndexPath(backupPath, devType, record.time.year, record.time.month);
    return ChangeIndexRecord(path, index, [value](MutableByteSpan image) {
        WriteU8(image, CallRecord::kCardBytesOffset + CallRecord::kCardMarkByte,
                static_cast<std::uint8_t>(value & 0xFF));
        WriteI32(image, CallRecord::kMarkedOffset, value);
    });
}

}  // namespace lk
