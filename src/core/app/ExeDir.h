#pragma once

#include <filesystem>
#include <functional>
#include <vector>

namespace lk {

// Folder of the program file; LINEKEEPER_HOME replaces it when set.
std::filesystem::path ExeDir();
// Folder holding LiteSet.ini: ExeDir()/Config for a portable copy, else the
// user's $XDG_CONFIG_HOME/linekeeper (its LiteSet.ini seeded from the shipped
// defaults on first use).
std::filesystem::path ConfigDir();
// Folder of the defaults that came with the program (LiteSet.ini,
// LiteLang.ini, the prompt sounds): ExeDir()/Config for a portable copy,
// <prefix>/share/linekeeper/Config for an installed one.
std::filesystem::path ShippedConfigDir();
// The language file in use: the user's own LiteLang.ini in ConfigDir() when
// there is one, else the shipped one.
std::filesystem::path LangFilePath();
// The scratch folder for decoded and mailed files: ExeDir()/temp for a
// portable copy, else $XDG_CACHE_HOME/linekeeper.
std::filesystem::path ScratchDir();

// Where the settings, the shipped defaults and the scratch folder live.
// `local` is true when settings and scratch files sit beside the program
// (ExeDir()/Config, ExeDir()/temp).
struct AppFolders {
    std::filesystem::path config;
    std::filesystem::path shipped;
    std::filesystem::path scratch;
    bool local = true;
};
using WritableCheck = std::function<bool(const std::filesystem::path&)>;
// The rules behind ConfigDir() and ScratchDir(), with the writability check
// passed in. A program folder without Config/ whose prefix holds
// share/linekeeper/Config is an installed copy, whoever runs it (root can
// write to /usr/bin, yet must not keep settings there). `homeOverride` is
// true when LINEKEEPER_HOME chose `exeDir`; a Config folder that does not
// exist yet is then created there.
AppFolders ChooseAppFolders(const std::filesystem::path& exeDir, bool homeOverride,
                            const WritableCheck& isWritable);
// True when files can be created in `dir` (or in the folder that would hold it).
bool IsWritableDir(const std::filesystem::path& dir);
// Copies every file of the first existing folder of `shipped` that `configDir`
// lacks; files already there (the user's own settings) are left alone.
void SeedConfigDir(const std::filesystem::path& configDir,
                   const std::vector<std::filesystem::path>& shipped);
// Copies only the settings file LiteSet.ini from `shipped` when `configDir`
// lacks it. The language file is not copied, so that an updated program
// brings its new texts unless the user put a language file of their own there.
void SeedSettingsFile(const std::filesystem::path& configDir, const std::filesystem::path& shipped);

}  // namespace lk
