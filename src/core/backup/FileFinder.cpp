#include "backup/FileFinder.h"

#include <sys/stat.h>

#include <algorithm>
#include <system_error>

namespace lk {
namespace {

namespace fs = std::filesystem;

// Deeper folders than this are not searched; no real card or archive comes
// near it, and it keeps a hostile tree from exhausting the stack.
constexpr int kMaxDepth = 200;

bool Stopped(const std::stop_token& stop) {
    return stop.stop_requested();
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool GlobMatch(std::string_view name, std::string_view pattern) {
    // Iterative '*' backtracking: linear in practice, never recursive.
    std::size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || LowerAscii(pattern[p]) == LowerAscii(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

// Names of one folder, sorted so that listings do not depend on the file
// system's own order. False when the folder cannot be read.
bool ListFolder(const fs::path& folder, std::vector<fs::directory_entry>& out) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return false;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) return false;
        out.push_back(*it);
    }
    if (ec) return false;
    std::sort(out.begin(), out.end(),
              [](const fs::directory_entry& a, const fs::directory_entry& b) {
                  return a.path().filename().native() < b.path().filename().native();
              });
    return true;
}

bool IsRealFolder(const fs::directory_entry& e) {
    std::error_code ec;
    return e.symlink_status(ec).type() == fs::file_type::directory && !ec;
}

}  // namespace

std::string TrimFolderText(std::string_view folder) {
    std::string t(folder);
    for (;;) {
        const auto end = t.find_last_not_of(' ');
        if (end == std::string::npos || (t[end] != '/' && t[end] != '\\')) break;
        t.resize(end);
    }
    return t;
}

bool MatchesFilePattern(std::string_view name, std::string_view pattern) {
    if (pattern == "*" || pattern == "*.*") return true;
    return GlobMatch(name, pattern);
}

void CFileFinder::SetRoot(const fs::path& folder, bool recurse, std::stop_token stop) {
    const std::string given = folder.string();
    std::string text = TrimFolderText(given);
    // The file system root has nothing left after trimming; keep it whole.
    if (text.empty() && !given.empty() && (given[0] == '/' || given[0] == '\\'))
        text.assign(1, '/');
    root_ = fs::path(text);
    folders_.clear();
    if (recurse) CollectSubfolders(root_, stop, 0);
    folders_.push_back(root_);
}

bool CFileFinder::CollectSubfolders(const fs::path& folder, const std::stop_token& stop,
                                    int depth) {
    if (Stopped(stop) || depth >= kMaxDepth) return depth >= kMaxDepth;
    std::vector<fs::directory_entry> names;
    if (!ListFolder(folder, names)) return false;
    for (const auto& e : names) {
        if (!IsRealFolder(e)) continue;
        if (!CollectSubfolders(e.path(), stop, depth + 1)) return false;
        folders_.push_back(e.path());
    }
    return true;
}

void CFileFinder::Find(std::string_view pattern, bool files, bool folders, std::stop_token stop) {
    for (const auto& folder : folders_) {
        if (Stopped(stop)) return;
        std::vector<fs::directory_entry> names;
        if (!ListFolder(folder, names)) return;
        for (const auto& e : names) {
            const std::string name = e.path().filename().string();
            if (!MatchesFilePattern(name, pattern)) continue;
            const bool isFolder = IsRealFolder(e);
            std::error_code ec;
            const bool isFile = !isFolder && e.is_regular_file(ec) && !ec;
            if (!(isFolder && folders) && !(isFile && files)) continue;
            FoundFile f;
            f.path = folder / e.path().filename();
            f.isFolder = isFolder;
            f.attributes = isFolder ? kAttrDirectory : kAttrNormal;
            struct stat st {};
            if (::stat(f.path.c_str(), &st) == 0) {
                f.creationTime = static_cast<std::int64_t>(st.st_ctime);
                f.lastWriteTime = static_cast<std::int64_t>(st.st_mtime);
                f.size = isFolder ? 0 : static_cast<std::uint64_t>(st.st_size);
            }
            entries_.push_back(std::move(f));
        }
    }
}

}  // namespace lk
