#include "platform/LinkFreePath.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#if defined(__linux__) && __has_include(<linux/openat2.h>)
#include <linux/openat2.h>
#define LK_HAVE_OPENAT2 1
#endif

namespace lk {
namespace fs = std::filesystem;

namespace {

// `path` below `root`, component by component; nullopt when it leaves it.
std::optional<fs::path> RelativeBelow(const fs::path& root, const fs::path& path) {
    const fs::path rel = path.lexically_normal().lexically_relative(root.lexically_normal());
    if (rel.empty()) return std::nullopt;
    for (const auto& part : rel)
        if (part == "..") return std::nullopt;
    return rel;
}

}  // namespace

bool IsReachedWithoutLinks(const fs::path& root, const fs::path& path) {
    return LinkFreeError(root, path) == 0;
}

int LinkFreeError(const fs::path& root, const fs::path& path) {
    const auto rel = RelativeBelow(root, path);
    if (!rel) return EXDEV;
    fs::path at = root;
    for (const auto& part : *rel) {
        if (part == ".") continue;
        at /= part;
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0) return errno == ENOENT ? 0 : errno;
        if (S_ISLNK(st.st_mode)) return ELOOP;
    }
    return 0;
}

int OpenWithoutLinks(const fs::path& root, const fs::path& path, int flags, mode_t mode) {
    const auto rel = RelativeBelow(root, path);
    if (!rel) {
        errno = EXDEV;
        return -1;
    }
    flags |= O_CLOEXEC | O_NOFOLLOW;
#ifdef LK_HAVE_OPENAT2
    const int dir = ::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return -1;
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags);
    how.mode = (flags & O_CREAT) != 0 ? mode : 0;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH;
    int fd = -1;
    do {
        fd = static_cast<int>(::syscall(SYS_openat2, dir, rel->c_str(), &how, sizeof how));
    } while (fd < 0 && errno == EAGAIN);
    const int saved = errno;
    ::close(dir);
    if (fd >= 0 || (saved != ENOSYS && saved != EPERM)) {
        errno = saved;
        return fd;
    }
#endif
    // No openat2 (older kernel, or a sandbox refusing it): check each
    // component, then refuse a link at the end as well.
    if (!IsReachedWithoutLinks(root, path)) {
        errno = ELOOP;
        return -1;
    }
    return ::open(path.c_str(), flags, mode);
}

const char* FileErrorText(int error) {
    switch (error) {
        case ENOSPC:
            return "no space left on the device";
        case EROFS:
            return "the file system is read-only";
        case EACCES:
        case EPERM:
            return "permission denied";
        case ELOOP:
            return "reached through a symbolic link";
        case EDQUOT:
            return "disk quota exceeded";
        case EIO:
            return "input/output error";
        case ENOENT:
            return "no such file or folder";
        default:
            return std::strerror(error);
    }
}

}  // namespace lk
