#pragma once
// Drive letters over native mount points. The recorder's files and the backup
// index name recordings by drive letter ("E:\201601\..."), so the program keeps
// that model: every mounted volume gets a letter that stays while it is mounted.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lk {

struct Volume {
    char letter = 0;
    std::filesystem::path root;  // native mount point
    bool removable = false;
    std::uint64_t totalBytes = 0;
    std::uint64_t freeBytes = 0;
    bool sizeKnown = true;  // false: the file system reports no sizes (FUSE drivers)
};

// What the system reports, before letters are given.
struct MountedVolume {
    std::filesystem::path root;
    bool removable = false;
    std::uint64_t totalBytes = 0;
    std::uint64_t freeBytes = 0;
    bool sizeKnown = true;
};

// Source of mounted volumes; tests give a fake one.
class VolumeProbe {
  public:
    virtual ~VolumeProbe() = default;
    virtual std::vector<MountedVolume> Mounted() = 0;
};

// Linux: /proc/self/mountinfo + statvfs + /sys/block, plus LINEKEEPER_CARD_ROOTS
// and any extra card roots given on the command line. Any volume in the
// desktop's removable-media folders (/media/$USER, /run/media/$USER) counts as
// removable, whatever its file system.
std::unique_ptr<VolumeProbe> MakeSystemVolumeProbe(
    std::vector<std::filesystem::path> extraCardRoots = {});
// What that probe reports for a mountinfo text; "/" is always among them.
std::vector<MountedVolume> MountedVolumesFrom(
    std::string_view mountInfo, const std::vector<std::filesystem::path>& extraCardRoots);

enum class DriveType { NoRootDir, Removable, Fixed };

class VolumeTable {
  public:
    explicit VolumeTable(std::unique_ptr<VolumeProbe> probe);

    // Asks the probe again; volumes still mounted keep their letters.
    // The table may be read from workers while the UI thread refreshes it.
    void Refresh();

    std::vector<Volume> Volumes() const;
    // Bit 0 = A, bit 2 = C, ...
    std::uint32_t LogicalDriveMask() const;
    std::optional<Volume> Find(char letter) const;
    DriveType GetDriveType(char letter) const;
    // Letter of the volume whose root holds `path` (deepest root wins), or 0.
    char LetterOf(const std::filesystem::path& path) const;

  private:
    std::unique_ptr<VolumeProbe> probe_;
    mutable std::mutex mutex_;  // guards volumes_
    std::vector<Volume> volumes_;
};

}  // namespace lk
