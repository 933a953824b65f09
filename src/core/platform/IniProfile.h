#pragma once
// Windows-profile style access to one INI file: section and key names are
// case-insensitive, a byte-order mark and CRLF line ends are accepted, and
// writing one key leaves every other line of the file as it was.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace lk {

// The value of the first `key` in `section`, trimmed; nullopt when the file,
// the section or the key is missing.
std::optional<std::string> ReadProfileString(const std::filesystem::path& file,
                                             std::string_view section, std::string_view key);

// Sets `key` in `section`, creating the file (and its folder), the section or
// the key as needed. The file is replaced through a temporary file and a
// rename, so a crash leaves either the old or the new file. A line break in
// `value` is written as backslash-n, so a value never spills onto other lines.
bool WriteProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::string_view value);

// Cuts UTF-8 text to at most `maxUnits` UTF-16 units without splitting a
// character; invalid bytes become U+FFFD.
std::string CutToUtf16Units(std::string_view text, std::size_t maxUnits);

// Replaces every backslash-n pair with a line feed.
std::string ExpandLineBreaks(std::string_view text);

}  // namespace lk
