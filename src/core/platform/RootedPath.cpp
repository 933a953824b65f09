#include "platform/RootedPath.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/CardPath.h"
#include "platform/LinkFreePath.h"
#include "platform/TextCodec.h"

namespace lk {
namespace fs = std::filesystem;

namespace {

RootedPathResult Refused(std::string reason) {
    return {std::nullopt, std::move(reason)};
}

bool IsSeparator(char16_t c) {
    return c == u'/' || c == u'\\';
}

// True when some component of the text is "." or ".." (in either separator).
bool ClimbsOrDots(std::u16string_view text) {
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = pos;
        while (end < text.size() && !IsSeparator(text[end]))
            ++end;
        const auto part = text.substr(pos, end - pos);
        if (part == u"." || part == u"..") return true;
        pos = end + 1;
    }
    return false;
}

}  // namespace

RootedPathResult RootedPath::Resolve(const fs::path& root, std::u16string_view text) {
    if (text.empty()) return {RootedPath(root, {}), {}};
    if (text.find(u'\0') != std::u16string_view::npos) return Refused("the path holds a NUL");
    if (ClimbsOrDots(text)) return Refused("the path climbs out of its folder");
    std::error_code ec;
    fs::path base = fs::absolute(root, ec).lexically_normal();
    if (!base.has_filename() && base.has_parent_path() && base != base.root_path())
        base = base.parent_path();
    const fs::path given(ToUtf8(text));
    fs::path full;
    if (text.front() == u'/') {
        full = given;
    } else {
        // A relative text is either what a loader built on a relative root,
        // or a path below the root.
        const fs::path asGiven =
            given.lexically_normal().lexically_relative(root.lexically_normal());
        if (!asGiven.empty() && *asGiven.begin() != "..") {
            full = fs::absolute(given, ec);
        } else {
            const auto joined = ResolveUnderRoot(root, text);
            if (!joined) return Refused("not a path below " + root.string());
            full = fs::absolute(*joined, ec);
        }
    }
    full = full.lexically_normal();
    // "/root/" names the root as "/root" does.
    if (!full.has_filename() && full.has_parent_path() && full != full.root_path())
        full = full.parent_path();
    fs::path rel = full.lexically_relative(base);
    if (rel == ".") rel.clear();
    if (rel.empty() && full != base) return Refused("outside " + root.string());
    for (const auto& part : rel)
        if (part == "..") return Refused("outside " + root.string());
    // A trailing separator leaves an empty last component.
    if (!rel.empty() && rel.filename().empty()) rel = rel.parent_path();
    return {RootedPath(root, rel), {}};
}

RegularFileOpen RootedPath::Open(int flags) const {
    if (relative_.empty()) {
        RegularFileOpen out;
        out.reason = kNotARegularFile;
        return out;
    }
    return OpenRegularWithoutLinks(root_, Full(), flags);
}

bool RootedPath::ReachedWithoutLinks() const {
    return IsReachedWithoutLinks(root_, Full());
}

RootedRemoval RootedPath::Remove() const {
    RootedRemoval out;
    if (relative_.empty()) {
        out.ok = true;
        return out;
    }
    // The folder is held open, reached link-free, and the name removed in it:
    // a folder swapped for a link later cannot redirect the removal.
    const fs::path parent = Full().parent_path();
    const int dir = parent == root_ || relative_.parent_path().empty()
                        ? ::open(root_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)
                        : OpenWithoutLinks(root_, parent, O_PATH | O_DIRECTORY);
    if (dir < 0) {
        const int e = errno;
        if (e == ENOENT) {
            out.ok = true;
            return out;
        }
        // A link in place of the folder reads as "not a folder" to the open.
        if (e == ELOOP || !IsReachedWithoutLinks(root_, parent))
            out.reason = FileErrorText(ELOOP);
        else
            out.reason = e == ENOTDIR ? "a folder on the way is not a folder" : FileErrorText(e);
        return out;
    }
    FileHandle folder(dir);
    const std::string name = relative_.filename().string();
    struct stat st {};
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        const int e = errno;
        out.ok = e == ENOENT;
        if (!out.ok) out.reason = FileErrorText(e);
        return out;
    }
    if (S_ISLNK(st.st_mode)) {
        out.reason = FileErrorText(ELOOP);
        return out;
    }
    if (!S_ISREG(st.st_mode)) {
        out.reason = kNotARegularFile;
        return out;
    }
    if (::unlinkat(dir, name.c_str(), 0) != 0) {
        const int e = errno;
        out.ok = e == ENOENT;
        if (!out.ok) out.reason = FileErrorText(e);
        return out;
    }
    out.ok = true;
    out.removed = true;
    return out;
}

}  // namespace lk
