#pragma once
// A recorder's card (FAT, exFAT) holds no symbolic links, and the backup store
// is ours: a link below either root can only be someone steering a read, a
// write or a delete somewhere else. Everything below such a root is reached
// without following one.

#include <filesystem>

#include <sys/types.h>

namespace lk {

// True when `path` lies lexically below (or at) `root` and no component of it
// below the root is a symbolic link. Components that do not exist yet pass:
// whatever creates them makes plain folders and files.
bool IsReachedWithoutLinks(const std::filesystem::path& root, const std::filesystem::path& path);
// The same check with its reason: 0 when reached, ELOOP for a link, EXDEV
// when `path` is not below `root`, else the errno that stopped the walk (a
// component that is a plain file, a card reader that went away).
int LinkFreeError(const std::filesystem::path& root, const std::filesystem::path& path);

// open(2) of `path` below `root` that follows no link on the way and none at
// the end (the kernel resolves it beneath the root where it can). -1 with
// errno set on failure; ELOOP when a link was met.
int OpenWithoutLinks(const std::filesystem::path& root, const std::filesystem::path& path,
                     int flags, mode_t mode = 0644);

// Short text for an errno of a file operation ("no space left on the device"),
// with the link refusal spelt out.
const char* FileErrorText(int error);

}  // namespace lk
