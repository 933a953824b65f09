#pragma once
// The status bar's free-space text: free megabytes (shown in MB, GB or TB)
// and the hours of recording they hold at the family's rate.

#include <QString>
#include <cstdint>
#include <optional>

namespace lk::gui {

struct DiskSpace {
    double amount = 0;  // in `unit`
    double hours = 0;
    const char* unit = "MB";
};

// nullopt free bytes (unknown) gives 0.00 MB and 0.00 hours.
DiskSpace ComputeDiskSpace(std::optional<std::uint64_t> freeBytes, int devType);

// "%s: %s(%s: %.2f%s, %s: %.2f%s)" with texts 142, `label`, 146, 147 and 148.
QString DiskSpaceText(std::optional<std::uint64_t> freeBytes, int devType, const QString& label);
// For a volume that reports no sizes (a card through a FUSE driver):
// "%s: %s(%s: %s)" with texts 142, `label`, 146 and 390.
QString UnknownSpaceText(const QString& label);

}  // namespace lk::gui
