#include "platform/RenameNoReplace.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>

namespace lk {

bool RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
#endif
    // No atomic no-replace rename on this file system: a hard link fails when `to` exists.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return false;
    // No links either (FAT, exFAT): claim the name, then rename over the claim.
    const int claim =
        ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (claim < 0) return false;
    ::close(claim);
    if (::rename(from.c_str(), to.c_str()) != 0) {
        const int error = errno;
        ::unlink(to.c_str());  // the empty claim made just above
        errno = error;
        return false;
    }
    return true;
}

}  // namespace lk
