#pragma once

#include <filesystem>
#include <functional>
#include <vector>

namespace lk {

// Folder of the program file; LINEKEEPER_HOME replaces it when set.
std::filesystem::path ExeDir();
// Folder holding LiteSet.ini and LiteLang.ini: ExeDir()/Config, or the user's
// XDG config folder (seeded from the shipped Config/) when that is not writable.
std::filesystem::path ConfigDir();
// The scratch folder "temp" for decoded and mailed files.
std::filesystem::path ScratchDir();

// Where the settings and the scratch folder live. `local` is true when they sit
// beside the program (ExeDir()/Config, ExeDir()/temp).
struct AppFolders {
    std::filesystem::path config;
    std::filesystem::path scratch;
    bool local = true;
};
using WritableCheck = std::function<bool(const std::filesystem::path&)>;
// The rules behind ConfigDir() and ScratchDir(), with the writability check
// passed in. `homeOverride` is true when LINEKEEPER_HOME chose `exeDir`; a
// Config folder that does not exist yet is then created there.
AppFolders ChooseAppFolders(const std::filesystem::path& exeDir, bool homeOverride,
                            const WritableCheck& isWritable);
// True when files can be created in `dir` (or in the folder that would hold it).
bool IsWritableDir(const std::filesystem::path& dir);
// Copies every file of the first existing folder of `shipped` that `configDir`
// lacks; files already there (the user's own settings) are left alone.
void SeedConfigDir(const std::filesystem::path& configDir,
                   const std::vector<std::filesystem::path>& shipped);

}  // namespace lk
