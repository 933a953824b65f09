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

AppFolders ChooseAppFolders(const fs::path& exeDir, bool homeOverride,
                            const WritableCheck& isWritable) {
    AppFolders f;
    const fs::path localConfig = exeDir / "Config";
    std::error_code ec;
    // An installed program has no Config folder beside it (it sits under
    // share/); only a portable copy or LINEKEEPER_HOME keeps settings there.
    if (fs::is_directory(localConfig, ec))
        f.local = isWritable(localConfig);
    else
        f.local = homeOverride && isWritable(exeDir);
    if (f.local) {
        f.config = localConfig;
        f.scratch = exeDir / "temp";
        if (!isWritable(f.scratch))
            f.scratch = XdgDir("XDG_CACHE_HOME", ".cache") / "linekeeper" / "temp";
    } else {
        f.config = XdgDir("XDG_CONFIG_HOME", ".config") / "linekeeper";
        f.scratch = XdgDir("XDG_CACHE_HOME", ".cache") / "linekeeper" / "temp";
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

namespace {

// The defaults shipped beside a program folder: a portable copy's Config, or
// the installed share/linekeeper/Config.
std::vector<fs::path> ShippedConfigDirs(const fs::path& dir) {
    return {dir / "Config", (dir / ".." / "share" / "linekeeper" / "Config").lexically_normal()};
}

}  // namespace

fs::path ConfigDir() {
    const fs::path exe = ExeDir();
    const auto folders = ChooseAppFolders(exe, HomeOverride(), IsWritableDir);
    std::error_code ec;
    if (!folders.local) {
        SeedConfigDir(folders.config, ShippedConfigDirs(exe));
    } else if (HomeOverride() && !fs::exists(folders.config, ec)) {
        // A new portable home (LINEKEEPER_HOME on an empty folder) starts from
        // the defaults shipped with the program itself, or it would have no texts.
        const auto program = fs::read_symlink("/proc/self/exe", ec);
        if (!ec) SeedConfigDir(folders.config, ShippedConfigDirs(program.parent_path()));
    }
    return folders.config;
}

fs::path ScratchDir() {
    const auto folders = ChooseAppFolders(ExeDir(), HomeOverride(), IsWritableDir);
    std::error_code ec;
    fs::create_directories(folders.scratch, ec);
    return folders.scratch;
}

}  // namespace lk
