#include "backup/IndexLock.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lk {
namespace fs = std::filesystem;

namespace {

// Wait between two tries at a lock file that another run holds.
constexpr auto kLockFilePoll = std::chrono::milliseconds(5);

bool LockRefused(int error) {
    return error == ENOLCK || error == EINVAL || error == EOPNOTSUPP || error == ENOSYS;
}

// The owner's host and pid written into a lock file; empty host when unread.
struct LockOwner {
    std::string host;
    long pid = 0;
};

LockOwner ReadOwner(const fs::path& lockFile) {
    LockOwner owner;
    const int fd = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return owner;
    char buf[128] = {};
    const ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (n <= 0) return owner;
    char host[64] = {};
    long pid = 0;
    if (std::sscanf(buf, "%63s %ld", host, &pid) == 2) {
        owner.host = host;
        owner.pid = pid;
    }
    return owner;
}

bool Stale(const fs::path& lockFile) {
    struct stat st {};
    if (::lstat(lockFile.c_str(), &st) != 0) return false;  // gone: simply retry
    const auto age =
        std::chrono::system_clock::now() - std::chrono::system_clock::from_time_t(st.st_mtime);
    if (age > std::chrono::seconds(kStaleLockSeconds)) return true;
    const LockOwner owner = ReadOwner(lockFile);
    return owner.host == HostTag() && owner.pid > 0 && ProcessGone(owner.pid);
}

// Removes a stale lock file, one breaker at a time: whoever holds
// "<lock>-break.lock" looks again and removes the lock file only if it is
// still stale. Without that, a second breaker that had seen the same stale
// file removed the lock the first one had just taken, and both went in.
// False when another breaker is at work: wait and look again.
bool BreakStale(const fs::path& lockFile) {
    fs::path breaker = lockFile;
    breaker += "-break.lock";
    const int fd =
        ::open(breaker.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        // A breaker killed in these few system calls leaves its file behind;
        // after the stale time it no longer holds anyone up.
        struct stat st {};
        if (errno == EEXIST && ::lstat(breaker.c_str(), &st) == 0 &&
            std::chrono::system_clock::now() - std::chrono::system_clock::from_time_t(st.st_mtime) >
                std::chrono::seconds(kStaleLockSeconds))
            ::unlink(breaker.c_str());
        return false;
    }
    ::close(fd);
    if (Stale(lockFile)) ::unlink(lockFile.c_str());
    ::unlink(breaker.c_str());
    return true;
}

}  // namespace

std::string HostTag() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) name[0] = 0;
    std::string tag;
    for (const char* c = name; *c != 0 && tag.size() < 32; ++c) {
        const bool plain = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') ||
                           (*c >= '0' && *c <= '9') || *c == '.';
        tag += plain ? *c : '_';
    }
    return tag.empty() ? std::string("host") : tag;
}

bool ProcessGone(long pid) {
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

std::optional<IndexLock> IndexLock::Acquire(const fs::path& index, Mode mode, int* error) {
    return AcquireUntil(index, mode, std::nullopt, error);
}

std::optional<IndexLock> IndexLock::AcquireWithin(const fs::path& index, Mode mode,
                                                  std::chrono::milliseconds wait, int* error) {
    return AcquireUntil(index, mode, std::chrono::steady_clock::now() + wait, error);
}

std::optional<IndexLock> IndexLock::AcquireUntil(
    const fs::path& index, Mode mode, std::optional<std::chrono::steady_clock::time_point> deadline,
    int* error) {
    auto late = [&deadline] { return deadline && std::chrono::steady_clock::now() >= *deadline; };
    IndexLock lock;
    if (mode == Mode::Auto) {
        lock.fd_ =
            ::open(index.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
        if (lock.fd_ < 0) {
            *error = errno;
            return std::nullopt;
        }
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;  // from 0 to the end, however far it grows
        int rc = 0;
        if (deadline) {
            // No waiting call with a time limit: try, and try again.
            for (;;) {
                rc = ::fcntl(lock.fd_, F_OFD_SETLK, &fl);
                if (rc == 0 || (errno != EAGAIN && errno != EACCES && errno != EINTR)) break;
                if (late()) {
                    *error = ETIMEDOUT;
                    return std::nullopt;
                }
                std::this_thread::sleep_for(kLockFilePoll);
            }
        } else {
            do {
                rc = ::fcntl(lock.fd_, F_OFD_SETLKW, &fl);
            } while (rc != 0 && errno == EINTR);
        }
        if (rc == 0) return lock;
        if (!LockRefused(errno)) {
            *error = errno;
            return std::nullopt;
        }
        ::close(lock.fd_);
        lock.fd_ = -1;
    }
    fs::path lockFile = index;
    lockFile += ".lock";
    const std::string owner = HostTag() + " " + std::to_string(::getpid()) + "\n";
    for (;;) {
        const int fd =
            ::open(lockFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd >= 0) {
            const bool written =
                ::write(fd, owner.data(), owner.size()) == static_cast<ssize_t>(owner.size());
            ::close(fd);
            if (!written) {
                *error = errno != 0 ? errno : EIO;
                ::unlink(lockFile.c_str());
                return std::nullopt;
            }
            lock.lockFile_ = lockFile;
            return lock;
        }
        if (errno != EEXIST) {
            *error = errno;
            return std::nullopt;
        }
        if (Stale(lockFile) && BreakStale(lockFile)) continue;
        if (late()) {
            *error = ETIMEDOUT;
            return std::nullopt;
        }
        std::this_thread::sleep_for(kLockFilePoll);
    }
}

IndexLock::IndexLock(IndexLock&& other) noexcept
    : fd_(other.fd_), lockFile_(std::move(other.lockFile_)) {
    other.fd_ = -1;
    other.lockFile_.clear();
}

IndexLock& IndexLock::operator=(IndexLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = other.fd_;
        lockFile_ = std::move(other.lockFile_);
        other.fd_ = -1;
        other.lockFile_.clear();
    }
    return *this;
}

IndexLock::~IndexLock() {
    Release();
}

void IndexLock::Release() {
    if (fd_ >= 0) ::close(fd_);  // drops the OFD lock
    fd_ = -1;
    if (!lockFile_.empty()) ::unlink(lockFile_.c_str());
    lockFile_.clear();
}

}  // namespace lk
