#pragma once
// Recorder cards are FAT or exFAT, where "A.WAV" and "a.wav" are one file. Paths
// taken from a card's log are compared as that file system compares them.

#include <filesystem>
#include <map>
#include <optional>
#include <set>
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

// Finds the names a card's log gives in the letter case its folders list them,
// listing each folder once (a log names thousands of files in a few folders).
class LetterCaseIndex {
  public:
    // `root` joined with `relative`, each component taken as the folder lists
    // it when only its letter case differs; components not found are kept as
    // given. Links are listed like any entry and never followed here.
    std::filesystem::path Resolve(const std::filesystem::path& root,
                                  const std::filesystem::path& relative);

  private:
    struct Listing {
        std::set<std::string> exact;
        std::map<std::string, std::string> folded;  // folded name -> a name as listed
    };
    // nullopt when the folder cannot be read.
    using Names = std::optional<Listing>;
    const Names& NamesIn(const std::filesystem::path& folder);

    std::map<std::filesystem::path, Names> folders_;
};

}  // namespace lk
