#pragma once
// The few file operations the backup engine performs, behind an interface so
// that tests can make a disk fill up, a card vanish or a rename fail.

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "backup/IndexLock.h"
#include "platform/ByteIo.h"
#include "platform/LinkFreePath.h"
#include "platform/Xxh128.h"

namespace lk {

// What a path holds, found without opening it (a FIFO is never opened).
struct FileProbe {
    enum class Kind { Regular, Missing, NotRegular, Error } kind = Kind::Missing;
    bool link = false;  // NotRegular: a symbolic link
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // seconds since the epoch
    // Nanoseconds since the epoch of the last write and of the last change
    // (a rewrite that sets the old write time back still moves the change time).
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;
    int error = 0;  // Error: why it could not be looked at
};

// A folder held open so that names in it are looked at without walking its
// whole path again (a run over an unchanged card of ten thousand recordings
// spent a third of its time on those walks). Opened without following a link;
// fd -1 means the names are reached through the path.
class OpenFolder {
  public:
    OpenFolder() = default;
    OpenFolder(std::filesystem::path path, int fd) : path_(std::move(path)), fd_(fd) {}
    ~OpenFolder();
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    OpenFolder(OpenFolder&& other) noexcept
        : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)) {}
    OpenFolder& operator=(OpenFolder&& other) noexcept;

    const std::filesystem::path& Path() const { return path_; }
    int Fd() const { return fd_; }

  private:
    std::filesystem::path path_;
    int fd_ = -1;
};

class FileOps {
  public:
    virtual ~FileOps() = default;

    virtual bool Exists(const std::filesystem::path& p) = 0;
    virtual bool IsDirectory(const std::filesystem::path& p) = 0;
    // Size of a regular file; nullopt when missing or not a file.
    virtual std::optional<std::uint64_t> FileSize(const std::filesystem::path& p) = 0;
    // Makes `p` and its parents. False with LastError() when a folder cannot
    // be made: ENOTDIR when one of them is a plain file.
    virtual bool CreateDirectories(const std::filesystem::path& p) = 0;
    virtual FileProbe Probe(const std::filesystem::path& p) = 0;
    // `dir` for ProbeIn; a folder that cannot be held open is reached by its path.
    virtual OpenFolder Open(const std::filesystem::path& dir) { return OpenFolder(dir, -1); }
    // Probe of the entry `name` (one name, no '/') of an opened folder.
    virtual FileProbe ProbeIn(const OpenFolder& dir, std::string_view name) {
        return Probe(dir.Path() / name);
    }
    // The names in a folder; nullopt with LastError() when it cannot be listed
    // (missing, a device that went away, not a folder).
    virtual std::optional<std::vector<std::string>> ListNames(const std::filesystem::path& dir) = 0;
    // Copies `from` (not a link) to the new file `to` (fails when `to` exists).
    // Not flushed: Sync makes a batch of copies durable at once. On failure `to`
    // may be left partly written. LastCopiedBytes() tells how many bytes landed,
    // LastCopiedDigest() their XXH128 (unset where the copy was not hashed).
    virtual bool CopyToNewFile(const std::filesystem::path& from,
                               const std::filesystem::path& to) = 0;
    // Never replaces: fails with EEXIST when `to` exists. Where the file system
    // has no such rename (FAT, exFAT) the name is first claimed with an
    // O_EXCL create and then renamed over; callers hold the index lock, so no
    // other run looks at the claimed empty file meanwhile.
    virtual bool Rename(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
    // True when both are regular files (not links) with the same bytes; false
    // when they differ; nullopt when either cannot be read.
    virtual std::optional<bool> SameContent(const std::filesystem::path& a,
                                            const std::filesystem::path& b) = 0;
    // Makes the files (data and size) and folders (entries) durable, together
    // (all lie on one file system).
    virtual bool Sync(const std::vector<std::filesystem::path>& paths) = 0;
    // No component of `p` below `root` is a symbolic link.
    // LastError(): ELOOP for a link, else what stopped the walk.
    virtual bool ReachedWithoutLinks(const std::filesystem::path& root,
                                     const std::filesystem::path& p) {
        lastError_ = LinkFreeError(root, p);
        return lastError_ == 0;
    }
    // Waits for the append lock of a month index file (see IndexLock).
    virtual std::optional<IndexLock> LockIndex(const std::filesystem::path& index) {
        int error = 0;
        auto lock = IndexLock::Acquire(index, lockMode, &error);
        if (!lock) lastError_ = error;
        return lock;
    }
    // Overwrites bytes of an existing file in place (no flush).
    virtual bool WriteInPlace(const std::filesystem::path& p, std::uint64_t offset,
                              ByteSpan bytes) = 0;
    // Appends bytes to a file (creating it) with one write; not flushed.
    virtual bool AppendBytes(const std::filesystem::path& p, ByteSpan bytes) = 0;
    // The bytes of a file from `offset` to its end.
    virtual std::optional<std::vector<std::uint8_t>> ReadFrom(const std::filesystem::path& p,
                                                              std::uint64_t offset) = 0;

    IndexLock::Mode lockMode = IndexLock::Mode::Auto;
    virtual bool Remove(const std::filesystem::path& p) = 0;
    // Creates an empty file; false when it exists or cannot be made.
    virtual bool CreateNewEmptyFile(const std::filesystem::path& p) = 0;
    // Appends one record of bytes.size() bytes (creating the file) with one
    // write and flushes it. A trailing partial record, left by a crash or a full
    // disk, is cut first so that the new record starts at a whole-record
    // boundary. Returns the 0-based position of the record in the file.
    std::optional<std::uint64_t> AppendRecord(const std::filesystem::path& p, ByteSpan bytes) {
        return AppendRecords(p, bytes, bytes.size(), true);
    }
    // Appends whole records of `recordSize` bytes with one write, flushed when
    // `flush` is set (else by a later Sync). The file grows to its new size
    // before the bytes land, so that it stays a whole number of records even
    // when the write is cut short (the unwritten tail reads as deleted
    // records). Returns the position of the first record.
    virtual std::optional<std::uint64_t> AppendRecords(const std::filesystem::path& p,
                                                       ByteSpan bytes, std::size_t recordSize,
                                                       bool flush) = 0;
    virtual std::optional<std::vector<std::uint8_t>> ReadWholeFile(
        const std::filesystem::path& p) = 0;

    // errno of the last operation that failed.
    int LastError() const { return lastError_; }
    std::uint64_t LastCopiedBytes() const { return lastCopied_; }
    const std::optional<Xxh128::Digest>& LastCopiedDigest() const { return lastDigest_; }

  protected:
    // Keeps errno of a failure and passes the result on.
    template <typename T>
    T Failing(T result) {
        lastError_ = errno;
        return result;
    }
    int lastError_ = 0;
    std::uint64_t lastCopied_ = 0;
    std::optional<Xxh128::Digest> lastDigest_;
};

// The real file system.
class RealFileOps : public FileOps {
  public:
    bool Exists(const std::filesystem::path& p) override;
    bool IsDirectory(const std::filesystem::path& p) override;
    std::optional<std::uint64_t> FileSize(const std::filesystem::path& p) override;
    bool CreateDirectories(const std::filesystem::path& p) override;
    FileProbe Probe(const std::filesystem::path& p) override;
    OpenFolder Open(const std::filesystem::path& dir) override;
    FileProbe ProbeIn(const OpenFolder& dir, std::string_view name) override;
    std::optional<std::vector<std::string>> ListNames(const std::filesystem::path& dir) override;
    bool WriteInPlace(const std::filesystem::path& p, std::uint64_t offset,
                      ByteSpan bytes) override;
    bool AppendBytes(const std::filesystem::path& p, ByteSpan bytes) override;
    std::optional<std::vector<std::uint8_t>> ReadFrom(const std::filesystem::path& p,
                                                      std::uint64_t offset) override;
    bool CopyToNewFile(const std::filesystem::path& from, const std::filesystem::path& to) override;
    bool Rename(const std::filesystem::path& from, const std::filesystem::path& to) override;
    std::optional<bool> SameContent(const std::filesystem::path& a,
                                    const std::filesystem::path& b) override;
    bool Sync(const std::vector<std::filesystem::path>& paths) override;
    bool Remove(const std::filesystem::path& p) override;
    bool CreateNewEmptyFile(const std::filesystem::path& p) override;
    std::optional<std::uint64_t> AppendRecords(const std::filesystem::path& p, ByteSpan bytes,
                                               std::size_t recordSize, bool flush) override;
    std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& p) override;
};

}  // namespace lk
