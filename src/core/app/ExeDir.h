#pragma once

#include <filesystem>

namespace lk {

// Folder of the program file; LINEKEEPER_HOME replaces it when set.
std::filesystem::path ExeDir();
// Folder holding LiteSet.ini and LiteLang.ini: ExeDir()/Config, or the user's
// XDG config folder (seeded from the shipped Config/) when that is not writable.
std::filesystem::path ConfigDir();
// The scratch folder "temp" for decoded and mailed files.
std::filesystem::path ScratchDir();

}  // namespace lk
