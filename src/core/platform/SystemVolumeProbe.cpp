// The Linux stand-in for the drive list: mounted block-device file systems,
// with "removable" worked out from sysfs, plus folders named as card roots.

#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include "platform/MountInfo.h"
#include "platform/VolumeTable.h"

namespace lk {
namespace fs = std::filesystem;

namespace {

std::string ReadTrimmed(const fs::path& file) {
    std::ifstream in(file);
    std::string s;
    std::getline(in, s);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

void FillSizes(MountedVolume& v) {
    struct statvfs st {};
    // FUSE drivers of FAT and exFAT (and a volume that cannot be asked) report
    // no blocks at all: the sizes are unknown, not zero.
    v.sizeKnown = false;
    if (::statvfs(v.root.c_str(), &st) != 0 || st.f_blocks == 0) return;
    v.sizeKnown = true;
    const std::uint64_t unit = st.f_frsize ? st.f_frsize : st.f_bsize;
    v.totalBytes = static_cast<std::uint64_t>(st.f_blocks) * unit;
    // All free space of the volume, including blocks kept for root (what the
    // status bar reports), not only what this user may still fill.
    v.freeBytes = static_cast<std::uint64_t>(st.f_bfree) * unit;
}

std::string UserName() {
    std::string name;
    // getpwuid_r: the probe may run on a worker while the UI thread refreshes.
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buf[4096];
    if (::getpwuid_r(::geteuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_name)
        name = found->pw_name;
    if (name.empty())
        if (const char* user = std::getenv("USER")) name = user;
    return name;
}

// The folders where the desktop mounts removable media for this user
// (udisks2: /media/$USER on Debian, /run/media/$USER elsewhere).
bool InUserMediaFolder(std::string_view mountPoint, const std::string& user) {
    if (user.empty() || user.find('/') != std::string::npos) return false;
    for (const std::string& base : {"/media/" + user + "/", "/run/media/" + user + "/"})
        if (mountPoint.size() > base.size() && StartsWith(mountPoint, base)) return true;
    return false;
}

// The block device behind a mount: its own numbers, or for a FUSE driver
// (anonymous numbers, major 0) the device it was given as source.
std::pair<unsigned, unsigned> BlockDeviceOf(const MountEntry& m) {
    if (m.major != 0 || !StartsWith(m.source, "/dev/")) return {m.major, m.minor};
    struct stat st {};
    if (::stat(m.source.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return {m.major, m.minor};
    return {major(st.st_rdev), minor(st.st_rdev)};
}

// Card readers, USB sticks and SD slots; the mount place alone also counts,
// since desktop automounters put every removable medium under /media.
bool IsRemovable(const MountEntry& m) {
    if (StartsWith(m.mountPoint, "/media/") || StartsWith(m.mountPoint, "/run/media/")) return true;
    std::error_code ec;
    const auto [devMajor, devMinor] = BlockDeviceOf(m);
    if (devMajor == 0) return false;
    const fs::path dev =
        "/sys/dev/block/" + std::to_string(devMajor) + ":" + std::to_string(devMinor);
    const fs::path real = fs::canonical(dev, ec);
    if (ec) return false;
    const fs::path disk = fs::exists(real / "partition", ec) ? real.parent_path() : real;
    const std::string name = disk.filename().string();
    if (StartsWith(name, "mmcblk")) return true;
    if (ReadTrimmed(disk / "removable") == "1") return true;
    if (ReadTrimmed(disk / "device" / "type") == "SD") return true;
    return disk.string().find("/usb") != std::string::npos;
}

class SystemVolumeProbe final : public VolumeProbe {
  public:
    explicit SystemVolumeProbe(std::vector<fs::path> extra) : extra_(std::move(extra)) {}

    std::vector<MountedVolume> Mounted() override {
        std::ifstream in("/proc/self/mountinfo");
        const std::string text(std::istreambuf_iterator<char>(in), {});
        return MountedVolumesFrom(text, extra_);
    }

  private:
    std::vector<fs::path> extra_;
};

}  // namespace

std::vector<MountedVolume> MountedVolumesFrom(std::string_view mountInfo,
                                              const std::vector<fs::path>& extraCardRoots) {
    const std::string text(mountInfo);
    std::vector<MountedVolume> out;
    std::map<std::string, std::size_t> byMountPoint;
    std::set<std::pair<unsigned, unsigned>> devices;
    std::error_code ec;
    const std::string user = UserName();
    for (const auto& m : ParseMountInfo(text)) {
        if (m.mountPoint != "/") {
            // Real file systems only, each device once (bind mounts and
            // subvolume repeats would only duplicate a volume). What the
            // desktop mounted for this user is a medium whatever its driver.
            const bool media = InUserMediaFolder(m.mountPoint, user);
            if (m.root != "/") continue;
            if (!media && (IsPseudoFileSystem(m.fsType) || !StartsWith(m.source, "/dev/")))
                continue;
            if (!devices.insert({m.major, m.minor}).second) continue;
            if (!fs::is_directory(m.mountPoint, ec)) continue;
        }
        MountedVolume v;
        v.root = m.mountPoint;
        v.removable = m.mountPoint != "/" && IsRemovable(m);
        FillSizes(v);
        // A later mount on the same folder hides the earlier one.
        if (auto it = byMountPoint.find(m.mountPoint); it != byMountPoint.end()) {
            out[it->second] = v;
        } else {
            byMountPoint[m.mountPoint] = out.size();
            out.push_back(v);
        }
    }
    // Drive C is the root folder even where the mount table does not list
    // it (a chroot, some containers).
    if (byMountPoint.find("/") == byMountPoint.end()) {
        MountedVolume v;
        v.root = "/";
        FillSizes(v);
        byMountPoint["/"] = out.size();
        out.push_back(v);
    }

    std::vector<fs::path> roots;
    if (const char* env = std::getenv("LINEKEEPER_CARD_ROOTS")) {
        std::string_view list = env;
        while (!list.empty()) {
            const auto colon = list.find(':');
            const auto item = list.substr(0, colon);
            if (!item.empty()) roots.emplace_back(std::string(item));
            if (colon == std::string_view::npos) break;
            list.remove_prefix(colon + 1);
        }
    }
    roots.insert(roots.end(), extraCardRoots.begin(), extraCardRoots.end());
    for (const auto& r : roots) {
        if (!fs::is_directory(r, ec)) continue;
        const fs::path root = fs::weakly_canonical(fs::absolute(r, ec), ec);
        if (ec) continue;
        if (auto it = byMountPoint.find(root.string()); it != byMountPoint.end()) {
            out[it->second].removable = true;
            continue;
        }
        MountedVolume v;
        v.root = root;
        v.removable = true;
        FillSizes(v);
        byMountPoint[root.string()] = out.size();
        out.push_back(v);
    }
    return out;
}

std::unique_ptr<VolumeProbe> MakeSystemVolumeProbe(std::vector<fs::path> extraCardRoots) {
    return std::make_unique<SystemVolumeProbe>(std::move(extraCardRoots));
}

}  // namespace lk
