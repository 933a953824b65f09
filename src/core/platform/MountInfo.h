#pragma once
// One line of /proc/self/mountinfo, as far as the volume probe needs it.

#include <string>
#include <string_view>
#include <vector>

namespace lk {

struct MountEntry {
    unsigned major = 0;
    unsigned minor = 0;
    std::string root;        // folder of the file system mounted here ("/" unless a bind mount)
    std::string mountPoint;  // with the kernel's octal escapes undone
    std::string fsType;
    std::string source;
};

// Lines that do not parse are skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// File systems that never hold user files (proc, sysfs, tmpfs, ...).
bool IsPseudoFileSystem(std::string_view fsType);

}  // namespace lk
