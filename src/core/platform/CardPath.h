#pragma once
// Paths taken from a card (call log entries, file names) are untrusted: they
// are only ever turned into native paths here, and never leave their root.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace lk {

// Joins a card-relative path ("201601\x.wav" or "201601/x.wav") onto `root`.
// nullopt for an empty path, an absolute path, a drive prefix ("C:") or any
// "." / ".." component.
std::optional<std::filesystem::path> ResolveUnderRoot(const std::filesystem::path& root,
                                                      std::u16string_view relative);
// The same, as the native text of the path (no path object made).
std::optional<std::string> ResolveUnderRootText(std::string_view root,
                                                std::u16string_view relative);

// Splits a drive-form path "E:\201601\x.wav" into 'E' and "201601\x.wav";
// nullopt when it does not start with a letter, a colon and a backslash.
struct DrivePath {
    char letter = 0;
    std::u16string relative;
};
std::optional<DrivePath> SplitDrivePath(std::u16string_view drivePath);

// "E:\" + relative.
std::u16string MakeDrivePath(char letter, std::u16string_view relative);

}  // namespace lk
