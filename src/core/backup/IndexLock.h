#pragma once
// Exclusive right to append to one month index file of a backup store, held
// against every other process on this PC or another one sharing the store.
//
// The lock is an open-file-description lock (F_OFD_SETLKW) on the whole index
// file: the kernel drops it when its holder dies, network file systems carry
// it to the server, and unlike a classic POSIX lock it is not lost when the
// same process closes another descriptor of the file. Where the file system
// refuses locks (ENOLCK, EINVAL, EOPNOTSUPP: some shares, some FUSE file
// systems) the lock is the file "<index>.lock", made with O_CREAT|O_EXCL and
// holding "<host> <pid>". Such a file left by a run that died is stale when
// its owner ran on this host and is gone, or when it is older than
// kStaleLockSeconds (a holder keeps it for one batch's renames and appends,
// seconds at most); a stale lock file is removed, by one waiter at a time
// ("<index>.lock-break.lock"), and taken anew.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace lk {

inline constexpr int kStaleLockSeconds = 600;

class IndexLock {
  public:
    enum class Mode {
        Auto,          // OFD lock, the lock file only where locks are refused
        LockFileOnly,  // as on a file system that refuses locks
    };

    // Waits until the lock is held. nullopt with `error` set when neither the
    // index nor its lock file can be made (a read-only store, a missing folder).
    static std::optional<IndexLock> Acquire(const std::filesystem::path& index, Mode mode,
                                            int* error);
    // The same, giving up with ETIMEDOUT after `wait`: for a user waiting in
    // front of a window.
    static std::optional<IndexLock> AcquireWithin(const std::filesystem::path& index, Mode mode,
                                                  std::chrono::milliseconds wait, int* error);

    IndexLock(IndexLock&& other) noexcept;
    IndexLock& operator=(IndexLock&& other) noexcept;
    IndexLock(const IndexLock&) = delete;
    IndexLock& operator=(const IndexLock&) = delete;
    ~IndexLock();

    bool ViaLockFile() const { return !lockFile_.empty(); }

  private:
    IndexLock() = default;
    void Release();
    static std::optional<IndexLock> AcquireUntil(
        const std::filesystem::path& index, Mode mode,
        std::optional<std::chrono::steady_clock::time_point> deadline, int* error);

    int fd_ = -1;                     // the index, holding the OFD lock
    std::filesystem::path lockFile_;  // the lock file, when that is the lock
};

// Name of this host as it goes into lock and partial-copy names: letters,
// digits and dots only, at most 32 characters.
std::string HostTag();

// True when `pid` names no running process on this host.
bool ProcessGone(long pid);

}  // namespace lk
