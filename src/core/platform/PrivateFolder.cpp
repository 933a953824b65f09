#include "platform/PrivateFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace lk {

namespace {

std::string Octal(mode_t mode) {
    char text[16];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

}  // namespace

std::string PrivateFolderProblem(const std::filesystem::path& dir, uid_t uid, bool allowGroupRead) {
    struct stat st {};
    const std::string name = "\"" + dir.string() + "\"";
    if (::lstat(dir.c_str(), &st) != 0) return name + " cannot be read: " + std::strerror(errno);
    if (S_ISLNK(st.st_mode)) return name + " is a symbolic link";
    if (!S_ISDIR(st.st_mode)) return name + " is not a folder";
    if (st.st_uid != uid)
        return name + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    const mode_t mode = st.st_mode & 07777;
    if (allowGroupRead ? (mode & 022) != 0 : mode != 0700)
        return name + " has mode " + Octal(mode) + ", not 0700";
    return {};
}

PrivateFolder InstanceFolder(const char* runtimeDir, const std::filesystem::path& tempDir,
                             const std::string& prefix, uid_t uid) {
    // The runtime folder is made by the login for this user alone; one that
    // is not (a stale variable, another user's) is passed over.
    if (runtimeDir != nullptr && *runtimeDir == '/') {
        PrivateFolder runtime{runtimeDir, {}};
        if (PrivateFolderProblem(runtime.path, uid, true).empty()) return runtime;
    }
    PrivateFolder own{tempDir / (prefix + "-" + std::to_string(uid)), {}};
    if (::mkdir(own.path.c_str(), 0700) == 0) {
        // The umask may have taken bits of 0700. Set through a descriptor
        // that refused a link, so a name swapped meanwhile is not followed.
        const int fd = ::open(own.path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            (void)::fchmod(fd, 0700);
            ::close(fd);
        }
    } else if (errno != EEXIST) {
        own.problem = "\"" + own.path.string() + "\" cannot be made: " + std::strerror(errno);
        return own;
    }
    own.problem = PrivateFolderProblem(own.path, uid);
    return own;
}

}  // namespace lk
