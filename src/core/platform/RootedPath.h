#pragma once
// A path read from a card log or a store index is data from a file: whatever
// reads, deletes, mails or exports through it first makes it a RootedPath,
// which only ever names a file below its root (the card root, the store
// root) and is reached without following a link.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/RegularFile.h"

namespace lk {

struct RootedPathResult;

// What a removal did: removed, there was nothing to remove, or refused.
struct RootedRemoval {
    bool ok = false;       // removed, or absent
    bool removed = false;  // a file was there and is gone
    std::string reason;
};

class RootedPath {
  public:
    // `text` is a native absolute path that must lie below `root`, or a path
    // relative to `root` (either separator). Refused: a ".." or "."
    // component anywhere, a drive prefix, an absolute path elsewhere. An
    // empty text (or the root itself) names no file.
    static RootedPathResult Resolve(const std::filesystem::path& root, std::u16string_view text);

    const std::filesystem::path& Root() const { return root_; }
    const std::filesystem::path& Relative() const { return relative_; }
    std::filesystem::path Full() const { return relative_.empty() ? root_ : root_ / relative_; }
    bool NamesNoFile() const { return relative_.empty(); }

    // True when no folder on the way and not the name itself is a link
    // (names not there yet pass).
    bool ReachedWithoutLinks() const;
    // Opens the file link-free and without blocking; only a regular file.
    [[nodiscard]] RegularFileOpen Open(int flags) const;
    // Removes a regular file; a missing file is no failure. Refused when a
    // folder on the way is a link (the file's own folder included) or the
    // name is not a regular file.
    [[nodiscard]] RootedRemoval Remove() const;

  private:
    RootedPath(std::filesystem::path root, std::filesystem::path relative)
        : root_(std::move(root)), relative_(std::move(relative)) {}

    std::filesystem::path root_;
    std::filesystem::path relative_;
};

// A resolved path, or why the path was refused.
struct RootedPathResult {
    std::optional<RootedPath> path;
    std::string reason;  // why the path was refused
};

}  // namespace lk
