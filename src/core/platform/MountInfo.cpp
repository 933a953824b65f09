#include "platform/MountInfo.h"

#include <array>

namespace lk {

namespace {

// The kernel writes space, tab, newline and backslash as \ooo.
std::string Unescape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto isOct = [](char c) { return c >= '0' && c <= '7'; };
        if (s[i] == '\\' && i + 3 < s.size() && isOct(s[i + 1]) && isOct(s[i + 2]) &&
            isOct(s[i + 3])) {
            out += static_cast<char>(((s[i + 1] - '0') << 6) | ((s[i + 2] - '0') << 3) |
                                     (s[i + 3] - '0'));
            i += 3;
            continue;
        }
        out += s[i];
    }
    return out;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        if (pos >= line.size()) break;
        const auto end = line.find(' ', pos);
        fields.push_back(
            line.substr(pos, end == std::string_view::npos ? line.size() - pos : end - pos));
        if (end == std::string_view::npos) break;
        pos = end;
    }
    return fields;
}

bool ParseDevice(std::string_view s, unsigned& major, unsigned& minor) {
    const auto colon = s.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 >= s.size()) return false;
    auto parse = [](std::string_view d, unsigned& v) {
        v = 0;
        for (const char c : d) {
            if (c < '0' || c > '9' || v > 100000000u) return false;
            v = v * 10 + static_cast<unsigned>(c - '0');
        }
        return true;
    };
    return parse(s.substr(0, colon), major) && parse(s.substr(colon + 1), minor);
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
    std::vector<MountEntry> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const auto fields = SplitFields(text.substr(pos, end - pos));
        pos = end + 1;
        // id parent major:minor root mount-point options [optional...] - fstype source
        // super-options
        std::size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-")
            ++dash;
        if (fields.size() < 7 || dash + 2 >= fields.size()) continue;
        MountEntry e;
        if (!ParseDevice(fields[2], e.major, e.minor)) continue;
        e.root = Unescape(fields[3]);
        e.mountPoint = Unescape(fields[4]);
        e.fsType = Unescape(fields[dash + 1]);
        e.source = Unescape(fields[dash + 2]);
        out.push_back(std::move(e));
    }
    return out;
}

bool IsPseudoFileSystem(std::string_view fsType) {
    static constexpr std::array<std::string_view, 30> kPseudo = {"proc",        "sysfs",
                                                                 "tmpfs",       "devtmpfs",
                                                                 "devpts",      "cgroup",
                                                                 "cgroup2",     "mqueue",
                                                                 "debugfs",     "tracefs",
                                                                 "securityfs",  "pstore",
                                                                 "bpf",         "configfs",
                                                                 "fusectl",     "hugetlbfs",
                                                                 "autofs",      "binfmt_misc",
                                                                 "efivarfs",    "nsfs",
                                                                 "ramfs",       "rpc_pipefs",
                                                                 "squashfs",    "overlay",
                                                                 "selinuxfs",   "fuse.gvfsd-fuse",
                                                                 "fuse.portal", "nfsd",
                                                                 "ecryptfs",    "shm"};
    for (const auto p : kPseudo)
        if (fsType == p) return true;
    return false;
}

}  // namespace lk
