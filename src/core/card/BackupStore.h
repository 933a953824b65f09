#pragma once
// Layout of the PC backup store below "BackupPath":
//   <BackupPath><StoreFolder>/CallLog/YYYYMMCallLogBK.dat   month index files
//   <BackupPath><StoreFolder>/YYYYMM/YYYYMMDD/<recording>   recording copies

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "card/CallRecord.h"

namespace lk {

inline constexpr char kIndexFileSuffix[] = "CallLogBK.dat";
// An empty file named after the recording plus this stands in the store for
// a call that has no recording.
inline constexpr char kMarkerSuffix[] = ".tmp";

// True when a stored path names such a marker, not a recording.
bool IsMarkerPath(std::u16string_view path);

// "ZuzeVavazoBackup" (family 0) or "ZuzeVavazoBackupK" (family 1).
std::string StoreFolder(int devType);
std::filesystem::path StoreRoot(const std::filesystem::path& backupPath, int devType);
std::filesystem::path MonthIndexPath(const std::filesystem::path& backupPath, int devType, int year,
                                     int month);
std::filesystem::path MonthIndexPath(const std::filesystem::path& backupPath, int devType,
                                     int yyyymm);
// Month numbers of the index files present, in listing order (unsorted).
std::vector<int> ListBackupMonths(const std::filesystem::path& backupPath, int devType);

}  // namespace lk
