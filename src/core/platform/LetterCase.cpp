#include "platform/LetterCase.h"

#include <fstream>
#include <sstream>

#include <sys/vfs.h>

#include "platform/MountInfo.h"
#include "platform/TextCodec.h"

namespace lk {

namespace {

constexpr long kMsdosMagic = 0x4d44;
constexpr long kExfatMagic = 0x2011BAB0;
constexpr long kFuseMagic = 0x65735546;

bool FuseTypeIgnoresCase(std::string_view fsType) {
    // exfat-fuse mounts as "fuseblk" (or "fuse.exfat" when not run as root);
    // fusefat as "fuse.fusefat". A card is never NTFS, the other fuseblk user.
    return fsType == "fuseblk" || fsType == "fuse.exfat" || fsType == "fuse.exfat-fuse" ||
           fsType == "fuse.fusefat";
}

// fs type of the mount that holds `path` (the longest mount point above it).
std::string MountTypeOf(const std::filesystem::path& path) {
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream text;
    text << in.rdbuf();
    std::error_code ec;
    const std::string target = std::filesystem::weakly_canonical(path, ec).string();
    std::string best;
    std::string type;
    for (const auto& e : ParseMountInfo(text.str())) {
        const std::string& m = e.mountPoint;
        const bool above = target == m || m == "/" ||
                           (target.size() > m.size() && target.compare(0, m.size(), m) == 0 &&
                            target[m.size()] == '/');
        if (above && m.size() >= best.size()) {
            best = m;
            type = e.fsType;
        }
    }
    return type;
}

}  // namespace

bool FileSystemIgnoresCase(const std::filesystem::path& path) {
    struct statfs st {};
    if (::statfs(path.c_str(), &st) != 0) return false;
    const auto type = static_cast<long>(st.f_type);
    if (type == kMsdosMagic || type == kExfatMagic) return true;
    if (type == kFuseMagic) return FuseTypeIgnoresCase(MountTypeOf(path));
    return false;
}

std::u16string FoldLetterCase(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) {
        if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) c -= 0x20;
    }
    return out;
}

std::string FoldLetterCase(std::string_view utf8) {
    return ToUtf8(FoldLetterCase(FromUtf8(utf8)));
}

}  // namespace lk
