#include "platform/Trash.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/LinkFreePath.h"

namespace lk {
namespace fs = std::filesystem;

namespace {

// A folder of ours: made 0700 where missing, refused when it is a link, not
// a folder or not owned by this user.
bool OwnFolder(const fs::path& dir, std::string& reason) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        reason = "cannot make " + dir.string() + ": " + FileErrorText(errno);
        return false;
    }
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) {
        reason = dir.string() + ": " + FileErrorText(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        reason = dir.string() + " is not a folder of this user";
        return false;
    }
    return true;
}

bool Device(const fs::path& p, dev_t& dev) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) return false;
    dev = st.st_dev;
    return true;
}

// The highest folder above `folder` on the same file system.
fs::path TopDir(const fs::path& folder, dev_t dev) {
    fs::path top = folder;
    while (top.has_parent_path() && top.parent_path() != top) {
        dev_t up = 0;
        if (!Device(top.parent_path(), up) || up != dev) break;
        top = top.parent_path();
    }
    return top;
}

std::string DeletionDate() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    return buf;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Where the file system has no no-replace rename (FAT, exFAT) the name just
// claimed by the info file is trusted to be free: only trashers of this user
// write there.
bool RenameNoReplace(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

std::string TrashInfoPathText(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '~' ||
                           c == '/';
        if (plain) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

std::optional<fs::path> SharedVolumeTrash(const fs::path& topDir) {
    // A link or a folder anyone may empty of others' files is no trash to
    // trust: only a real folder with the sticky bit keeps users apart.
    struct stat st {};
    const fs::path shared = topDir / ".Trash";
    if (::lstat(shared.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || (st.st_mode & S_ISVTX) == 0)
        return std::nullopt;
    return shared / std::to_string(::getuid());
}

std::optional<Trash> Trash::For(const fs::path& folder, std::string& reason) {
    std::error_code ec;
    const fs::path where = fs::absolute(folder, ec).lexically_normal();
    dev_t dev = 0;
    if (!Device(where, dev)) {
        reason = where.string() + ": " + FileErrorText(errno);
        return std::nullopt;
    }
    // The home trash, when the folder shares its file system.
    fs::path data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/')
        data = xdg;
    else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        data = fs::path(home) / ".local" / "share";
    dev_t homeDev = 0;
    if (!data.empty() && Device(data, homeDev) && homeDev == dev) {
        const fs::path trash = data / "Trash";
        std::string why;
        if (OwnFolder(trash, why) && OwnFolder(trash / "files", why) &&
            OwnFolder(trash / "info", why))
            return Trash(trash, fs::path(), true);
        reason = why;
        return std::nullopt;
    }
    // Else the volume's own: "$topdir/.Trash/$UID" where an administrator
    // set up a shared one, "$topdir/.Trash-$UID" otherwise or where ours
    // cannot be made in the shared one.
    const fs::path top = TopDir(where, dev);
    fs::path trash;
    std::string why;
    if (const auto shared = SharedVolumeTrash(top); shared && OwnFolder(*shared, why) &&
                                                    OwnFolder(*shared / "files", why) &&
                                                    OwnFolder(*shared / "info", why)) {
        trash = *shared;
    } else {
        trash = top / (".Trash-" + std::to_string(::getuid()));
        if (!OwnFolder(trash, reason) || !OwnFolder(trash / "files", reason) ||
            !OwnFolder(trash / "info", reason)) {
            reason = "no trash on the store's volume (" + reason + ")";
            return std::nullopt;
        }
    }
    dev_t trashDev = 0;
    if (!Device(trash / "files", trashDev) || trashDev != dev) {
        reason = "the trash at " + trash.string() + " lies on another volume";
        return std::nullopt;
    }
    return Trash(trash, top, false);
}

TrashMove Trash::Move(const RootedPath& file) const {
    TrashMove out;
    if (!file.ReachedWithoutLinks()) {
        out.reason = std::string("refused: ") + FileErrorText(ELOOP);
        return out;
    }
    {
        RegularFileOpen open = file.Open(O_RDONLY);
        if (!open.Ok()) {
            out.reason = open.reason.empty() ? FileErrorText(open.error) : open.reason;
            return out;
        }
    }
    const fs::path source = file.Full();
    const std::string original =
        home_ ? source.string() : source.lexically_relative(topDir_).string();
    const std::string info = "[Trash Info]\nPath=" + TrashInfoPathText(original) +
                             "\nDeletionDate=" + DeletionDate() + "\n";
    const std::string name = source.filename().string();
    for (int n = 1; n < 1000; ++n) {
        const std::string trashedName = n == 1 ? name : name + "." + std::to_string(n);
        const fs::path infoPath = folder_ / "info" / (trashedName + ".trashinfo");
        const int fd =
            ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) {
            out.reason = "cannot write to the trash: " + std::string(FileErrorText(errno));
            return out;
        }
        const bool written = WriteAll(fd, info) && ::fsync(fd) == 0;
        const int writeError = errno;
        ::close(fd);
        if (!written) {
            ::unlink(infoPath.c_str());
            out.reason = "cannot write to the trash: " + std::string(FileErrorText(writeError));
            return out;
        }
        const fs::path target = folder_ / "files" / trashedName;
        if (RenameNoReplace(source, target)) {
            // The move itself, durable: both folders' entries.
            for (const fs::path& dir : {source.parent_path(), target.parent_path()}) {
                const int d = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (d >= 0) {
                    ::fsync(d);
                    ::close(d);
                }
            }
            out.ok = true;
            out.trashed = target;
            return out;
        }
        const int error = errno;
        ::unlink(infoPath.c_str());
        if (error == EEXIST) continue;
        out.reason = "cannot move into the trash: " + std::string(FileErrorText(error));
        return out;
    }
    out.reason = "too many files of this name in the trash";
    return out;
}

}  // namespace lk
