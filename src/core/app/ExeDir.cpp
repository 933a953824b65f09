#include "app/ExeDir.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace lk {
namespace fs = std::filesystem;

namespace {

const char* NonEmptyEnv(const char* name) {
    const char* v = std::getenv(name);
    return (v && *v) ? v : nullptr;
}

bool HomeOverride() {
    return NonEmptyEnv("LINEKEEPER_HOME") != nullptr;
}

fs::path UserHome() {
    if (const char* home = NonEmptyEnv("HOME")) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return fs::temp_directory_path();
}

// An XDG base folder: the variable when it holds an absolute path, else the default.
fs::path XdgDir(const char* variable, const char* fallbackUnderHome) {
    if (const char* v = NonEmptyEnv(variable); v && fs::path(v).is_absolute()) return v;
    return UserHome() / fallbackUnderHome;
}

fs::path WithoutTrailingSlash(fs::path p) {
    std::string s = p.string();
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

}  // namespace

fs::path ExeDir() {
    if (const char* home = NonEmptyEnv("LINEKEEPER_HOME"))
        return WithoutTrailingSlash(fs::absolute(home).lexically_normal());
    std::error_code ec;
    const auto exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return fs::current_path(ec);
    return exe.parent_path();
}

bool IsWritableDir(const fs::path& dir) {
    std::error_code ec;
    if (fs::exists(dir, ec))
        return fs::is_directory(dir, ec) && ::access(dir.c_str(), W_OK | X_OK) == 0;
    const auto parent = dir.parent_path();
    return !parent.empty() && parent != dir && IsWritableDir(parent);
}

namespace {

// <prefix>/share/linekeeper/Config for a program in <prefix>/bin.
fs::path InstalledConfigDir(const fs::path& exeDir) {
    return (exeDir / ".." / "share" / "linekeeper" / "Config").lexically_normal();
}

fs::path UserConfigDir() {
    return XdgDir("XDG_CONFIG_HOME", ".config") / "linekeeper";
}

fs::path UserCacheDir() {
    return XdgDir("XDG_CACHE_HOME", ".cache") / "linekeeper";
}

}  // namespace

AppFolders ChooseAppFolders(const fs::path& exeDir, bool homeOverride,
                            const WritableCheck& isWritable) {
    AppFolders f;
    const fs::path localConfig = exeDir / "Config";
    const fs::path installedConfig = InstalledConfigDir(exeDir);
    std::error_code ec;
    // Whether the copy is installed is read from its layout, not from
    // permissions alone: root may write anywhere, and a package's files must
    // still stay untouched.
    if (fs::is_directory(localConfig, ec)) {
        f.local = isWritable(localConfig);
        f.shipped = localConfig;
    } else if (fs::is_directory(installedConfig, ec)) {
        f.local = false;
        f.shipped = installedConfig;
    } else {
        f.local = homeOverride && isWritable(exeDir);
        f.shipped = localConfig;
    }
    if (f.local) {
        f.config = localConfig;
        f.scratch = exeDir / "temp";
        if (!isWritable(f.scratch)) f.scratch = UserCacheDir();
    } else {
        f.config = UserConfigDir();
        f.scratch = UserCacheDir();
    }
    return f;
}

void SeedConfigDir(const fs::path& configDir, const std::vector<fs::path>& shipped) {
    std::error_code ec;
    for (const auto& source : shipped) {
        if (!fs::is_directory(source, ec)) continue;
        fs::create_directories(configDir, ec);
        for (const auto& entry : fs::directory_iterator(source, ec)) {
            if (!entry.is_regular_file(ec)) continue;
            const auto target = configDir / entry.path().filename();
            if (!fs::exists(target, ec)) fs::copy_file(entry.path(), target, ec);
        }
        return;
    }
}

void SeedSettingsFile(const fs::path& configDir, const fs::path& shipped) {
    std::error_code ec;
    const fs::path source = shipped / "LiteSet.ini";
    const fs::path target = configDir / "LiteSet.ini";
    fs::create_directories(configDir, ec);
    if (fs::is_regular_file(source, ec) && !fs::exists(target, ec))
        fs::copy_file(source, target, ec);
}

namespace {

AppFolders CurrentFolders() {
    return ChooseAppFolders(ExeDir(), HomeOverride(), IsWritableDir);
}

}  // namespace

fs::path ConfigDir() {
    const auto folders = CurrentFolders();
    std::error_code ec;
    if (!folders.local) {
        SeedSettingsFile(folders.config, folders.shipped);
    } else if (HomeOverride() && !fs::exists(folders.config, ec)) {
        // A new portable home (LINEKEEPER_HOME on an empty folder) starts from
        // the defaults shipped with the program itself, or it would have no texts.
        const auto program = fs::read_symlink("/proc/self/exe", ec);
        if (!ec) {
            const fs::path dir = program.parent_path();
            SeedConfigDir(folders.config, {dir / "Config", InstalledConfigDir(dir)});
        }
    }
    return folders.config;
}

fs::path ShippedConfigDir() {
    // A new portable home gets its shipped files only when first seeded.
    const fs::path config = ConfigDir();
    const auto folders = CurrentFolders();
    return folders.local ? config : folders.shipped;
}

fs::path LangFilePath() {
    const fs::path own = ConfigDir() / "LiteLang.ini";
    std::error_code ec;
    if (fs::is_regular_file(own, ec)) return own;
    return ShippedConfigDir() / "LiteLang.ini";
}

fs::path ScratchDir() {
    const auto folders = CurrentFolders();
    std::error_code ec;
    fs::create_directories(folders.scratch, ec);
    return folders.scratch;
}

}  // namespace lk
