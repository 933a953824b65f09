#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "app/ExeDir.h"
#include "app/LangString.h"
#include "app/Settings.h"
#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::TempDir;
using test::TempHome;
using test::WriteText;

// Sets or clears an environment variable for one scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (previous_)
            ::setenv(name_, previous_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> previous_;
};

TEST(ExeDir, IsTheProgramFolderUnlessHomeIsSet) {
    ScopedEnv unset("LINEKEEPER_HOME", std::nullopt);
    EXPECT_EQ(ExeDir(), fs::read_symlink("/proc/self/exe").parent_path());

    TempDir dir;
    ScopedEnv home("LINEKEEPER_HOME", dir.path().string() + "/");
    EXPECT_EQ(ExeDir(), dir.path());
    EXPECT_EQ(ConfigDir(), dir.path() / "Config");
    EXPECT_EQ(ScratchDir(), dir.path() / "temp");
    EXPECT_TRUE(fs::is_directory(dir.path() / "temp"));
}

TEST(ExeDir, ChoosesFoldersByWritability) {
    TempDir exe, xdg;
    fs::create_directories(exe.path() / "Config");
    ScopedEnv config("XDG_CONFIG_HOME", (xdg.path() / "config").string());
    ScopedEnv cache("XDG_CACHE_HOME", (xdg.path() / "cache").string());
    const fs::path userConfig = xdg.path() / "config" / "linekeeper";
    const fs::path userScratch = xdg.path() / "cache" / "linekeeper" / "temp";
    const auto all = [](const fs::path&) { return true; };
    const auto none = [](const fs::path&) { return false; };
    const auto configOnly = [&](const fs::path& p) { return p == exe.path() / "Config"; };

    struct Case {
        const char* name;
        bool configExists;
        bool homeOverride;
        WritableCheck writable;
        fs::path config;
        fs::path scratch;
    };
    const Case cases[] = {
        {"portable copy", true, false, all, exe.path() / "Config", exe.path() / "temp"},
        {"read-only install", true, false, none, userConfig, userScratch},
        {"scratch folder not writable", true, false, configOnly, exe.path() / "Config",
         userScratch},
        {"no Config beside the program", false, false, all, userConfig, userScratch},
        {"LINEKEEPER_HOME without Config yet", false, true, all, exe.path() / "Config",
         exe.path() / "temp"},
        {"LINEKEEPER_HOME not writable", false, true, none, userConfig, userScratch},
    };
    for (const auto& c : cases) {
        if (c.configExists)
            fs::create_directories(exe.path() / "Config");
        else
            fs::remove_all(exe.path() / "Config");
        const auto f = ChooseAppFolders(exe.path(), c.homeOverride, c.writable);
        EXPECT_EQ(f.config, c.config) << c.name;
        EXPECT_EQ(f.scratch, c.scratch) << c.name;
        EXPECT_EQ(f.local, c.config == exe.path() / "Config") << c.name;
    }
}

TEST(ExeDir, SeedingCopiesOnlyMissingFiles) {
    TempDir dir;
    const fs::path shipped = dir.path() / "share" / "Config";
    WriteText(shipped / "LiteSet.ini", "[Setting]\nDevType=0\n");
    WriteText(shipped / "LiteLang.ini", "[English]\n0002=All\n");
    const fs::path user = dir.path() / "user";
    WriteText(user / "LiteSet.ini", "[Setting]\nDevType=1\n");

    SeedConfigDir(user, {dir.path() / "missing", shipped});
    EXPECT_EQ(ReadText(user / "LiteSet.ini"), "[Setting]\nDevType=1\n");
    EXPECT_EQ(ReadText(user / "LiteLang.ini"), "[English]\n0002=All\n");
}

// LINEKEEPER_HOME on a new, empty folder gets the program's shipped Config;
// a Config folder the user emptied is left as it is.
TEST(ExeDir, AnEmptyHomeIsSeededFromTheShippedConfig) {
    struct Case {
        const char* what;
        bool removeConfig;
        bool seeded;
    };
    for (const Case c :
         {Case{"no Config folder", true, true}, Case{"empty Config folder", false, false}}) {
        SCOPED_TRACE(c.what);
        TempHome home(false);
        if (c.removeConfig) fs::remove_all(home.config());
        EXPECT_EQ(ConfigDir(), home.config());
        EXPECT_EQ(fs::exists(home.config() / "LiteLang.ini"), c.seeded);
        EXPECT_EQ(fs::exists(home.config() / "LiteSet.ini"), c.seeded);
        EXPECT_EQ(LangString(2).empty(), !c.seeded);
    }
}

TEST(ExeDir, ReadOnlyConfigFallsBackToTheUserFolder) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes to read-only folders";
    TempHome home(false);
    TempDir xdg;
    WriteText(home.config() / "LiteSet.ini", "[Setting]\nDevType=1\n");
    fs::permissions(home.config(), fs::perms::owner_read | fs::perms::owner_exec);
    ScopedEnv config("XDG_CONFIG_HOME", xdg.path().string());

    EXPECT_EQ(ConfigDir(), xdg.path() / "linekeeper");
    EXPECT_EQ(ReadSettingInt("DevType"), 1);  // seeded from the shipped copy
    EXPECT_TRUE(WriteSettingInt("DevType", 0));
    EXPECT_EQ(ReadSettingInt("DevType"), 0);
    EXPECT_EQ(ReadText(home.config() / "LiteSet.ini"), "[Setting]\nDevType=1\n");
}

}  // namespace
}  // namespace lk
