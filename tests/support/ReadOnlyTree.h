#pragma once
// Makes a folder tree refuse every change, as a card with its lock switch set
// (or mounted read-only) does: no file can be made, changed or deleted in it.
// Mode bits do that for an ordinary user; for root the immutable flag does, on
// file systems that have one. `Holds()` tells whether the tree really refuses.

#include <filesystem>
#include <fstream>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace lk::test {

class ReadOnlyTree {
  public:
    explicit ReadOnlyTree(const std::filesystem::path& root) : root_(root) {
        namespace fs = std::filesystem;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
             it.increment(ec))
            if (!it->is_symlink()) entries_.push_back(it->path());
        entries_.push_back(root);
        for (const auto& p : entries_) {
            fs::permissions(
                p, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                fs::perm_options::remove, ec);
            SetImmutable(p, true);
        }
    }
    ~ReadOnlyTree() {
        namespace fs = std::filesystem;
        std::error_code ec;
        for (const auto& p : entries_) {
            SetImmutable(p, false);
            fs::permissions(p, fs::perms::owner_write, fs::perm_options::add, ec);
        }
    }
    ReadOnlyTree(const ReadOnlyTree&) = delete;
    ReadOnlyTree& operator=(const ReadOnlyTree&) = delete;

    // True when nothing can be created in the root.
    bool Holds() const {
        const auto probe = root_ / ".probe";
        const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0) return true;
        ::close(fd);
        ::unlink(probe.c_str());
        return false;
    }

  private:
    static void SetImmutable(const std::filesystem::path& p, bool on) {
        const int fd = ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW);
        if (fd < 0) return;
        int flags = 0;
        if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            (void)::ioctl(fd, FS_IOC_SETFLAGS, &flags);
        }
        ::close(fd);
    }

    std::filesystem::path root_;
    std::vector<std::filesystem::path> entries_;
};

}  // namespace lk::test
