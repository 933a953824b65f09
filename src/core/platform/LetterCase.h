#pragma once
// Recorder cards are FAT or exFAT, where "A.WAV" and "a.wav" are one file. Paths
// taken from a card's log are compared as that file system compares them.

#include <filesystem>
#include <string>
#include <string_view>

namespace lk {

// True when the file system holding `path` treats names that differ only in
// letter case as one name (FAT, exFAT, also through FUSE). False when unknown.
bool FileSystemIgnoresCase(const std::filesystem::path& path);

// The text with ASCII and Latin-1 letters made upper case, as FAT compares
// short and long names: equal results name one file there.
std::u16string FoldLetterCase(std::u16string_view text);
std::string FoldLetterCase(std::string_view utf8);

}  // namespace lk
