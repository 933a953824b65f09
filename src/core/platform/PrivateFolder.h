#pragma once
// A folder only one user can write, for files another local user must not be
// able to plant, take or replace (the single-instance lock and socket). The
// user's runtime folder ($XDG_RUNTIME_DIR) is one; without it, a folder of
// the user's own below the temporary folder ("/tmp/linekeeper-<uid>") is
// made with mode 0700 and then checked, because someone else may have made
// that name first.

#include <filesystem>
#include <string>

#include <sys/types.h>

namespace lk {

struct PrivateFolder {
    std::filesystem::path path;
    std::string problem;  // empty when the folder is fit to use
};

// Why `dir` is not a private folder of `uid`: it is missing, a link, not a
// folder, someone else's, or its mode is not exactly 0700 (or, when
// `allowGroupRead`, not free of group and other write bits). Empty when fine.
std::string PrivateFolderProblem(const std::filesystem::path& dir, uid_t uid,
                                 bool allowGroupRead = false);

// The folder for the instance lock of `uid`: `runtimeDir` when it is set,
// absolute and the user's own; else "<tempDir>/<prefix>-<uid>", created with
// mode 0700 when missing. `problem` says why neither can be used.
PrivateFolder InstanceFolder(const char* runtimeDir, const std::filesystem::path& tempDir,
                             const std::string& prefix, uid_t uid);

}  // namespace lk
