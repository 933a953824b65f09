#pragma once
// Puts a finished file under its final name only when that name is free, so
// that a file another program or user made there meanwhile is never replaced.

#include <filesystem>

namespace lk {

// Renames `from` to `to` unless `to` exists. False with errno set (EEXIST
// when the name is taken); `from` is then left where it was.
[[nodiscard]] bool RenameNoReplace(const std::filesystem::path& from,
                                   const std::filesystem::path& to);

}  // namespace lk
