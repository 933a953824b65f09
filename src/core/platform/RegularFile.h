#pragma once
// A file named by a card, a store or another program may be anything: a FIFO
// blocks open(2) and every read for ever, a folder or a device reads as
// nonsense. These open without blocking and keep regular files only.

#include <filesystem>
#include <istream>
#include <memory>
#include <streambuf>
#include <string>

#include <sys/types.h>

namespace lk {

// An open file descriptor, closed when it goes.
class FileHandle {
  public:
    FileHandle() = default;
    explicit FileHandle(int fd) : fd_(fd) {}
    FileHandle(FileHandle&& other) noexcept : fd_(other.Release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle();

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    int Release();

  private:
    int fd_ = -1;
};

// An opened regular file, or why not: errno of the open (0 when it was not a
// regular file) and a short text.
struct RegularFileOpen {
    FileHandle file;
    int error = 0;
    std::string reason;
    bool Ok() const { return file.IsOpen(); }
};

inline constexpr char kNotARegularFile[] = "not a regular file";

// Checks an fd opened with O_NONBLOCK: a regular file gets blocking reads
// back; anything else is closed and refused.
RegularFileOpen KeepRegular(int fd);

// open(2) of `path` with O_NONBLOCK, then KeepRegular. For files whose
// folder the user chose (no root to stay under).
RegularFileOpen OpenRegularFile(const std::filesystem::path& path, int flags);

// OpenWithoutLinks (below `root`, following no link) with O_NONBLOCK, then
// KeepRegular: for card and store files.
RegularFileOpen OpenRegularWithoutLinks(const std::filesystem::path& root,
                                        const std::filesystem::path& path, int flags,
                                        mode_t mode = 0644);

// The same as a bare descriptor for code that keeps one: -1 with errno set
// on failure, ENXIO when the name is not a regular file.
int OpenRegularFdWithoutLinks(const std::filesystem::path& root, const std::filesystem::path& path,
                              int flags, mode_t mode = 0644);

// An input stream over a regular file opened as above; `!stream` when it
// could not be opened (Reason() says why).
class RegularFileStream : public std::istream {
  public:
    explicit RegularFileStream(const std::filesystem::path& path);
    explicit RegularFileStream(RegularFileOpen opened);
    ~RegularFileStream() override;
    const std::string& Reason() const { return reason_; }

  private:
    std::unique_ptr<std::streambuf> buf_;
    std::string reason_;
};

}  // namespace lk
