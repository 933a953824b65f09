#pragma once
// The desktop's trash, laid out as freedesktop.org desktops share it: a file moved
// there keeps its name under "files/" and gets "info/<name>.trashinfo" with
// its original path and the time, so that a file manager can put it back.
// Files are only ever renamed into the trash of their own file system: the
// home trash when the folder lies on the home's volume, else the volume's
// shared "$topdir/.Trash/$UID" or its "$topdir/.Trash-$UID". Nothing is copied, so nothing is half
// moved.

#include <filesystem>
#include <optional>
#include <string>

#include "platform/RootedPath.h"

namespace lk {

struct TrashMove {
    bool ok = false;
    std::filesystem::path trashed;  // where the file now lies
    std::string reason;             // why not
};

class Trash {
  public:
    // The trash for files below `folder`, made where it is missing; nullopt
    // with `reason` when there is none that can be used (another file
    // system without a trash folder that can be made, a read-only volume, a
    // trash folder that is a link or someone else's).
    static std::optional<Trash> For(const std::filesystem::path& folder, std::string& reason);

    // Moves a regular file (not reached through a link) into the trash; a
    // name taken there gets a numbered variant. The info file is durable
    // before the file moves.
    [[nodiscard]] TrashMove Move(const RootedPath& file) const;

    const std::filesystem::path& Folder() const { return folder_; }

  private:
    Trash(std::filesystem::path folder, std::filesystem::path topDir, bool home)
        : folder_(std::move(folder)), topDir_(std::move(topDir)), home_(home) {}

    std::filesystem::path folder_;  // holds files/ and info/
    std::filesystem::path topDir_;  // the volume's top folder (not for the home trash)
    bool home_ = false;
};

// The user's folder in a volume's shared trash, "$topdir/.Trash/$UID", when
// "$topdir/.Trash" is a folder (not a link) with the sticky bit; nullopt
// when the volume has none, and "$topdir/.Trash-$UID" is to be used.
std::optional<std::filesystem::path> SharedVolumeTrash(const std::filesystem::path& topDir);

// "%"-escapes a path for a trashinfo's Path= line (everything but unreserved
// characters and '/').
std::string TrashInfoPathText(const std::string& path);

}  // namespace lk
