#include "platform/VolumeTable.h"

#include <algorithm>

namespace lk {
namespace fs = std::filesystem;

namespace {

constexpr char kRootLetter = 'C';
constexpr char kFirstLetter = 'D';
constexpr char kLastLetter = 'Z';

fs::path Normal(const fs::path& p) {
    fs::path n = p.lexically_normal();
    // "/media/card/" and "/media/card" are one root.
    if (n.has_filename() || n == n.root_path()) return n;
    return n.parent_path();
}

// True when `root` is `path` or one of its ancestors, compared by components.
bool Holds(const fs::path& root, const fs::path& path) {
    auto r = root.begin();
    auto p = path.begin();
    for (; r != root.end(); ++r, ++p) {
        if (r->empty()) continue;  // trailing separator
        if (p == path.end() || *r != *p) return false;
    }
    return true;
}

}  // namespace

VolumeTable::VolumeTable(std::unique_ptr<VolumeProbe> probe) : probe_(std::move(probe)) {
    Refresh();
}

void VolumeTable::Refresh() {
    std::vector<MountedVolume> mounted;
    if (probe_) mounted = probe_->Mounted();
    const std::vector<Volume> current = Volumes();

    std::vector<Volume> next;
    bool used[26] = {};
    auto known = [&](const fs::path& root) -> const Volume* {
        for (const auto& v : current)
            if (v.root == root) return &v;
        return nullptr;
    };
    auto listed = [&](const fs::path& root) {
        return std::any_of(next.begin(), next.end(),
                           [&](const Volume& v) { return v.root == root; });
    };

    // Volumes still mounted keep their letters; the root file system is C.
    std::vector<MountedVolume> fresh;
    for (const auto& m : mounted) {
        const fs::path root = Normal(m.root);
        if (root.empty() || listed(root)) continue;
        char letter = 0;
        if (root == "/")
            letter = kRootLetter;
        else if (const Volume* old = known(root))
            letter = old->letter;
        if (letter == 0) {
            if (std::none_of(fresh.begin(), fresh.end(),
                             [&](const MountedVolume& f) { return Normal(f.root) == root; }))
                fresh.push_back(m);
            continue;
        }
        used[letter - 'A'] = true;
        next.push_back({letter, root, m.removable, m.totalBytes, m.freeBytes, m.sizeKnown});
    }
    // New volumes take the lowest free letters, in the order they are reported.
    for (const auto& m : fresh) {
        char letter = 0;
        for (char c = kFirstLetter; c <= kLastLetter; ++c) {
            if (!used[c - 'A']) {
                letter = c;
                break;
            }
        }
        if (letter == 0) break;  // no letter left: the volume is not listed
        used[letter - 'A'] = true;
        next.push_back(
            {letter, Normal(m.root), m.removable, m.totalBytes, m.freeBytes, m.sizeKnown});
    }
    std::sort(next.begin(), next.end(),
              [](const Volume& a, const Volume& b) { return a.letter < b.letter; });
    const std::lock_guard lock(mutex_);
    volumes_ = std::move(next);
}

std::vector<Volume> VolumeTable::Volumes() const {
    const std::lock_guard lock(mutex_);
    return volumes_;
}

std::uint32_t VolumeTable::LogicalDriveMask() const {
    std::uint32_t mask = 0;
    for (const auto& v : Volumes())
        mask |= 1u << (v.letter - 'A');
    return mask;
}

std::optional<Volume> VolumeTable::Find(char letter) const {
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    const std::lock_guard lock(mutex_);
    for (const auto& v : volumes_)
        if (v.letter == letter) return v;
    return std::nullopt;
}

DriveType VolumeTable::GetDriveType(char letter) const {
    const auto v = Find(letter);
    if (!v) return DriveType::NoRootDir;
    return v->removable ? DriveType::Removable : DriveType::Fixed;
}

char VolumeTable::LetterOf(const fs::path& path) const {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
    if (ec) p = Normal(fs::absolute(path, ec));
    char best = 0;
    std::size_t bestDepth = 0;
    for (const auto& v : Volumes()) {
        if (!Holds(v.root, p)) continue;
        const auto depth = static_cast<std::size_t>(std::distance(v.root.begin(), v.root.end()));
        if (best == 0 || depth > bestDepth) {
            best = v.letter;
            bestDepth = depth;
        }
    }
    return best;
}

}  // namespace lk
