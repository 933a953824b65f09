#pragma once
// Recursive file listing shared by the folder import and the card repair.

#include <cstdint>
#include <filesystem>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace lk {

struct FoundFile {
    std::filesystem::path path;  // folder / name
    bool isFolder = false;
    std::uint32_t attributes = 0;    // kAttrDirectory or kAttrNormal
    std::int64_t creationTime = 0;   // seconds since the Unix epoch
    std::int64_t lastWriteTime = 0;  // seconds since the Unix epoch
    std::uint64_t size = 0;
};

class CFileFinder {
  public:
    static constexpr std::uint32_t kAttrDirectory = 0x10;
    static constexpr std::uint32_t kAttrNormal = 0x80;

    // Sets the root (trailing separators and blanks after them removed) and,
    // with `recurse`, lists every folder below it depth first, each folder
    // after the folders below it, the root last. Symbolic links to folders are
    // not followed, so a listing never leaves the root or loops.
    void SetRoot(const std::filesystem::path& folder, bool recurse, std::stop_token stop = {});

    // Adds an entry for every name matching `pattern` ('*' and '?' wildcards;
    // "*.*" matches every name) in each folder, folder by folder. A folder that
    // cannot be read ends the whole search, keeping what was found so far.
    void Find(std::string_view pattern, bool files, bool folders, std::stop_token stop = {});

    void Clear() { entries_.clear(); }

    const std::filesystem::path& Root() const { return root_; }
    const std::vector<std::filesystem::path>& Folders() const { return folders_; }
    const std::vector<FoundFile>& Entries() const { return entries_; }

  private:
    bool CollectSubfolders(const std::filesystem::path& folder, const std::stop_token& stop,
                           int depth);

    std::filesystem::path root_;
    std::vector<std::filesystem::path> folders_;
    std::vector<FoundFile> entries_;
};

// Wildcard match of one file name, as the system's file search does it.
bool MatchesFilePattern(std::string_view name, std::string_view pattern);

// Trailing '/' or '\' characters, and blanks after them, removed repeatedly.
std::string TrimFolderText(std::string_view folder);

}  // namespace lk
