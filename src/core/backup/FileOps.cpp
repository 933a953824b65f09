#include "backup/FileOps.h"

#include "card/CallRecord.h"
#include "platform/Xxh128.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lk {
namespace fs = std::filesystem;

namespace {

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    // Close and report: a failed close can be the first sign of a full disk.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

// Copies `in` from its current offset to `out` from its start and hashes the
// very bytes written; the bytes written are added to `copied`. One buffer per
// thread serves every copy, never zero-filled: a backup of small recordings
// spent a tenth of its time clearing a fresh one per file. It is small enough
// to stay in the processor's cache from the read through the write to the
// hash: with 1 MiB, and with a hash pass of its own before the copy, every
// byte went through memory several times more, and a backup of 1 MiB
// recordings on a busy machine took three to five times as long as the copy
// alone (all of it processor time, kernel and user).
constexpr std::size_t kCopyBuffer = 128 << 10;

bool CopyHashing(int in, int out, std::uint64_t& copied, Xxh128& hash) {
    thread_local const std::unique_ptr<std::uint8_t[]> buffer =
        std::make_unique_for_overwrite<std::uint8_t[]>(kCopyBuffer);
    std::uint8_t* buf = buffer.get();
    for (off_t offset = 0;;) {
        const ssize_t n = ::read(in, buf, kCopyBuffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        const auto size = static_cast<std::size_t>(n);
        if (!WriteAll(out, buf, size, offset)) return false;
        hash.Update(ByteSpan(buf, size));
        offset += n;
        copied += size;
    }
}

// Reads up to `size` bytes, fewer only at the end of the file.
ssize_t ReadFull(int fd, std::uint8_t* data, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, data + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

// Opens a card or store file without following a link or blocking on a FIFO;
// only a regular file is kept (EINVAL for anything else). `st` is its status.
Fd OpenRegular(const fs::path& p, int flags, struct stat& st, int& error) {
    Fd fd(::open(p.c_str(), flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644));
    if (!fd.ok() || ::fstat(fd.get(), &st) != 0) {
        error = errno;
        return Fd(-1);
    }
    if (!S_ISREG(st.st_mode)) {
        error = EINVAL;
        return Fd(-1);
    }
    return fd;
}

}  // namespace

bool RealFileOps::Exists(const fs::path& p) {
    std::error_code ec;
    // A link counts as there (dangling or not): nothing may be made in its place.
    return fs::exists(fs::symlink_status(p, ec));
}

bool RealFileOps::IsDirectory(const fs::path& p) {
    std::error_code ec;
    return fs::is_directory(p, ec);
}

std::optional<std::uint64_t> RealFileOps::FileSize(const fs::path& p) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) return Failing(std::nullopt);
    if (!S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

bool RealFileOps::CreateDirectories(const fs::path& p) {
    struct stat st {};
    if (::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    // Parent first, so that the error is the first one met on the way down.
    fs::path at;
    for (const auto& part : p) {
        at /= part;
        if (::mkdir(at.c_str(), 0755) == 0) continue;
        const int error = errno;
        if (::stat(at.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode)) continue;
            lastError_ = ENOTDIR;
            return false;
        }
        lastError_ = error == EEXIST ? ENOTDIR : error;
        return false;
    }
    return true;
}

namespace {

FileProbe ProbeOf(int rc, const struct stat& st, int& lastError) {
    FileProbe probe;
    if (rc != 0) {
        probe.kind = errno == ENOENT ? FileProbe::Kind::Missing : FileProbe::Kind::Error;
        probe.error = errno;
        lastError = errno;
        return probe;
    }
    probe.kind = S_ISREG(st.st_mode) ? FileProbe::Kind::Regular : FileProbe::Kind::NotRegular;
    probe.link = S_ISLNK(st.st_mode);
    probe.size = static_cast<std::uint64_t>(st.st_size);
    probe.modified = static_cast<std::int64_t>(st.st_mtime);
    probe.modifiedNs =
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    probe.changedNs =
        static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return probe;
}

}  // namespace

OpenFolder::~OpenFolder() {
    if (fd_ >= 0) ::close(fd_);
}

OpenFolder& OpenFolder::operator=(OpenFolder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        path_ = std::move(other.path_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

FileProbe RealFileOps::Probe(const fs::path& p) {
    struct stat st {};
    const int rc = ::lstat(p.c_str(), &st);
    return ProbeOf(rc, st, lastError_);
}

OpenFolder RealFileOps::Open(const fs::path& dir) {
    // O_PATH: only names are looked up through it, nothing is read.
    const int fd = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return OpenFolder(dir, fd);
}

FileProbe RealFileOps::ProbeIn(const OpenFolder& dir, std::string_view name) {
    if (dir.Fd() < 0 || name.empty() || name.find('/') != std::string_view::npos)
        return FileOps::ProbeIn(dir, name);
    char text[NAME_MAX + 1];
    if (name.size() > NAME_MAX) return FileOps::ProbeIn(dir, name);
    std::memcpy(text, name.data(), name.size());
    text[name.size()] = '\0';
    struct stat st {};
    const int rc = ::fstatat(dir.Fd(), text, &st, AT_SYMLINK_NOFOLLOW);
    return ProbeOf(rc, st, lastError_);
}

std::optional<std::vector<std::string>> RealFileOps::ListNames(const fs::path& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return Failing(std::nullopt);
    DIR* d = ::fdopendir(fd);
    if (d == nullptr) {
        lastError_ = errno;
        ::close(fd);
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(d);
        if (e == nullptr) break;
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    const int error = errno;
    ::closedir(d);
    if (error != 0) {
        lastError_ = error;
        return std::nullopt;
    }
    return names;
}

bool RealFileOps::WriteInPlace(const fs::path& p, std::uint64_t offset, ByteSpan bytes) {
    Fd fd(::open(p.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!fd.ok()) return Failing(false);
    if (!WriteAll(fd.get(), bytes.data(), bytes.size(), static_cast<off_t>(offset)))
        return Failing(false);
    if (!fd.Close()) return Failing(false);
    return true;
}

bool RealFileOps::AppendBytes(const fs::path& p, ByteSpan bytes) {
    Fd fd(::open(p.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
                 0644));
    if (!fd.ok()) return Failing(false);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Failing(false);
        done += static_cast<std::size_t>(n);
    }
    if (!fd.Close()) return Failing(false);
    return true;
}

std::optional<std::vector<std::uint8_t>> RealFileOps::ReadFrom(const fs::path& p,
                                                               std::uint64_t offset) {
    struct stat st {};
    Fd fd = OpenRegular(p, O_RDONLY, st, lastError_);
    if (!fd.ok()) return std::nullopt;
    std::vector<std::uint8_t> out;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size <= offset) return out;
    out.resize(size - offset);
    std::size_t got = 0;
    while (got < out.size()) {
        const ssize_t n =
            ::pread(fd.get(), out.data() + got, out.size() - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Failing(std::nullopt);
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    out.resize(got);
    return out;
}

bool RealFileOps::CopyToNewFile(const fs::path& from, const fs::path& to) {
    struct stat st {};
    Fd in = OpenRegular(from, O_RDONLY, st, lastError_);
    if (!in.ok()) return false;
    Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!out.ok()) return Failing(false);

    // Read and written through user space, hashing on the way: the checksum
    // then describes the bytes that went into the copy, even when the card
    // file changes meanwhile. Between card and store (two file systems) the
    // kernel has no copy of its own to offer anyway.
    lastCopied_ = 0;
    lastDigest_.reset();
    // One hash per thread serves every copy (Finish starts it over).
    thread_local Xxh128 hash;
    if (!CopyHashing(in.get(), out.get(), lastCopied_, hash)) {
        const int error = errno;
        hash.Finish();  // the next copy starts from nothing
        lastError_ = error;
        return false;
    }
    lastDigest_ = hash.Finish();
    // Start writing a large copy out now, while the next one is copied, so
    // that the batch's sync finds most of it on the disk already (a batch of
    // 1 MiB recordings took a third of the time). Small copies are left to
    // the batch's sync: written out one by one they took a third longer.
    constexpr off_t kEarlyWriteBack = 256 << 10;
    if (st.st_size >= kEarlyWriteBack) ::sync_file_range(out.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
    if (!out.Close()) return Failing(false);
    return true;
}

bool RealFileOps::Rename(const fs::path& from, const fs::path& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return Failing(false);
#endif
    // No atomic no-replace rename here: a hard link fails when `to` exists.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return Failing(false);
    // No links either (FAT, exFAT): claim the name, then rename over the claim.
    {
        Fd claim(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
        if (!claim.ok()) return Failing(false);
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
        const int error = errno;
        ::unlink(to.c_str());  // the empty claim made just above
        lastError_ = error;
        return false;
    }
    return true;
}

std::optional<bool> RealFileOps::SameContent(const fs::path& a, const fs::path& b) {
    Fd fa(::open(a.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    Fd fb(::open(b.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!fa.ok() || !fb.ok()) return Failing(std::nullopt);
    struct stat sa {
    }, sb{};
    if (::fstat(fa.get(), &sa) != 0 || ::fstat(fb.get(), &sb) != 0) return Failing(std::nullopt);
    if (!S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode)) return std::nullopt;
    if (sa.st_size != sb.st_size) return false;
    constexpr std::size_t kChunk = 1 << 18;
    std::vector<std::uint8_t> ba(kChunk), bb(kChunk);
    for (;;) {
        const ssize_t na = ReadFull(fa.get(), ba.data(), kChunk);
        const ssize_t nb = ReadFull(fb.get(), bb.data(), kChunk);
        if (na < 0 || nb < 0) return Failing(std::nullopt);
        if (na != nb) return false;
        if (na == 0) return true;
        if (std::memcmp(ba.data(), bb.data(), static_cast<std::size_t>(na)) != 0) return false;
    }
}

bool RealFileOps::Sync(const std::vector<fs::path>& paths) {
    if (paths.empty()) return true;
    // One flush of the file system serves the whole batch; a flush per file
    // costs a disk cache flush each (milliseconds) and is what made backups slow.
    {
        Fd any(::open(paths.front().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        if (!any.ok()) return Failing(false);
        if (::syncfs(any.get()) == 0) return true;
        if (errno != ENOSYS) return Failing(false);
    }
    std::vector<Fd> open;
    open.reserve(paths.size());
    for (const auto& p : paths) {
        open.emplace_back(::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        if (!open.back().ok()) return Failing(false);
        // Start the write-back now; the waits below then overlap.
        ::sync_file_range(open.back().get(), 0, 0, SYNC_FILE_RANGE_WRITE);
    }
    for (auto& fd : open)
        if (::fdatasync(fd.get()) != 0) return Failing(false);
    return true;
}

bool RealFileOps::Remove(const fs::path& p) {
    if (::unlink(p.c_str()) == 0) return true;
    if (errno == EISDIR || errno == EPERM) {
        if (::rmdir(p.c_str()) == 0) return true;
    }
    return Failing(false);
}

bool RealFileOps::CreateNewEmptyFile(const fs::path& p) {
    Fd fd(::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd.ok() || !fd.Close()) return Failing(false);
    return true;
}

std::optional<std::uint64_t> RealFileOps::AppendRecords(const fs::path& p, ByteSpan bytes,
                                                        std::size_t recordSize, bool flush) {
    if (bytes.empty() || recordSize == 0 || bytes.size() % recordSize != 0) return std::nullopt;
    struct stat st {};
    Fd fd = OpenRegular(p, O_RDWR | O_CREAT, st, lastError_);
    if (!fd.ok()) return std::nullopt;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    // A trailing partial record (an older crash) is cut so that the new ones
    // start on the record grid.
    const std::uint64_t whole = size - size % recordSize;
    const auto grown = static_cast<off_t>(whole + bytes.size());
    // Reserve the space first: a full disk fails here, before anything lands.
    const int reserve =
        ::posix_fallocate(fd.get(), static_cast<off_t>(whole), static_cast<off_t>(bytes.size()));
    if (reserve != 0 && reserve != EOPNOTSUPP && reserve != EINVAL) {
        lastError_ = reserve;
        if (::ftruncate(fd.get(), static_cast<off_t>(size)) != 0) { /* left as it was */
        }
        return std::nullopt;
    }
    if (::ftruncate(fd.get(), grown) != 0) return Failing(std::nullopt);
    // A record lives by one byte near its start. A write cut short by a kill
    // would leave a record that is live with its path missing or cut, so the
    // records go in dead first and are then written again whole, live: a cut
    // in that second write leaves only complete records, live or dead.
    constexpr std::size_t kLive = CallRecord::kCardBytesOffset + CallRecord::kCardInUseByte;
    std::vector<std::uint8_t> dead(bytes.begin(), bytes.end());
    bool anyLive = false;
    if (recordSize > kLive)
        for (std::size_t at = kLive; at < dead.size(); at += recordSize)
            if (dead[at] != 0) {
                dead[at] = 0;
                anyLive = true;
            }
    if (anyLive && !WriteAll(fd.get(), dead.data(), dead.size(), static_cast<off_t>(whole)))
        return Failing(std::nullopt);
    if (!WriteAll(fd.get(), bytes.data(), bytes.size(), static_cast<off_t>(whole)))
        return Failing(std::nullopt);
    if (flush && ::fdatasync(fd.get()) != 0) return Failing(std::nullopt);
    if (!fd.Close()) return Failing(std::nullopt);
    return whole / recordSize;
}

std::optional<std::vector<std::uint8_t>> RealFileOps::ReadWholeFile(const fs::path& p) {
    Fd fd(::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!fd.ok()) return Failing(std::nullopt);
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> buf(1 << 16);
    for (;;) {
        const ssize_t n = ReadFull(fd.get(), buf.data(), buf.size());
        if (n < 0) return Failing(std::nullopt);
        if (n == 0) return out;
        out.insert(out.end(), buf.begin(), buf.begin() + n);
    }
}

}  // namespace lk
