#include "platform/LetterCase.h"

#include <fstream>
#include <sstream>

#include <dirent.h>
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

const LetterCaseIndex::Names& LetterCaseIndex::NamesIn(const std::filesystem::path& folder) {
    if (auto it = folders_.find(folder); it != folders_.end()) return it->second;
    Names names;
    if (DIR* d = ::opendir(folder.c_str())) {
        names.emplace();
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            names->folded.try_emplace(FoldLetterCase(name), name);
            names->exact.insert(name);
        }
        ::closedir(d);
    }
    return folders_.emplace(folder, std::move(names)).first->second;
}

std::filesystem::path LetterCaseIndex::Resolve(const std::filesystem::path& root,
                                               const std::filesystem::path& relative) {
    std::filesystem::path at = root;
    bool listed = true;  // below a component not found, nothing is listed
    for (const auto& part : relative) {
        const std::string name = part.string();
        if (!listed || name.empty() || name == "." || name == ".." || name == "/") {
            at /= part;
            continue;
        }
        const Names& names = NamesIn(at);
        if (!names || names->exact.count(name) != 0) {
            at /= part;
            listed = static_cast<bool>(names);
            continue;
        }
        const auto it = names->folded.find(FoldLetterCase(name));
        if (it == names->folded.end()) {
            at /= part;
            listed = false;
        } else {
            at /= it->second;
        }
    }
    return at;
}

}  // namespace lk
