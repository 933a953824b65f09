#pragma once
// The few file operations the backup engine performs, behind an interface so
// that tests can make a disk fill up, a card vanish or a rename fail.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "platform/ByteIo.h"

namespace lk {

class FileOps {
  public:
    virtual ~FileOps() = default;

    virtual bool Exists(const std::filesystem::path& p) = 0;
    virtual bool IsDirectory(const std::filesystem::path& p) = 0;
    // Size of a regular file; nullopt when missing or not a file.
    virtual std::optional<std::uint64_t> FileSize(const std::filesystem::path& p) = 0;
    virtual bool CreateDirectories(const std::filesystem::path& p) = 0;
    // Copies `from` to the new file `to` (fails when `to` exists) and flushes it
    // to the disk. On failure `to` may be left partly written.
    virtual bool CopyToNewFile(const std::filesystem::path& from,
                               const std::filesystem::path& to) = 0;
    // Replaces `to` if it exists.
    virtual bool Rename(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
    virtual bool Remove(const std::filesystem::path& p) = 0;
    // Creates an empty file; false when it exists or cannot be made.
    virtual bool CreateNewEmptyFile(const std::filesystem::path& p) = 0;
    // Appends one record of bytes.size() bytes (creating the file) with one
    // write and flushes it. A trailing partial record, left by a crash or a full
    // disk, is cut first so that the new record starts at a whole-record
    // boundary. Returns the 0-based position of the record in the file.
    virtual std::optional<std::uint64_t> AppendRecord(const std::filesystem::path& p,
                                                      ByteSpan bytes) = 0;
    virtual std::optional<std::vector<std::uint8_t>> ReadWholeFile(
        const std::filesystem::path& p) = 0;
};

// The real file system.
class RealFileOps : public FileOps {
  public:
    bool Exists(const std::filesystem::path& p) override;
    bool IsDirectory(const std::filesystem::path& p) override;
    std::optional<std::uint64_t> FileSize(const std::filesystem::path& p) override;
    bool CreateDirectories(const std::filesystem::path& p) override;
    bool CopyToNewFile(const std::filesystem::path& from, const std::filesystem::path& to) override;
    bool Rename(const std::filesystem::path& from, const std::filesystem::path& to) override;
    bool Remove(const std::filesystem::path& p) override;
    bool CreateNewEmptyFile(const std::filesystem::path& p) override;
    std::optional<std::uint64_t> AppendRecord(const std::filesystem::path& p,
                                              ByteSpan bytes) override;
    std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& p) override;
};

RealFileOps& DefaultFileOps();

}  // namespace lk
