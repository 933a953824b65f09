#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

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
    const fs::path userScratch = xdg.path() / "cache" / "linekeeper";
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

// An installed copy (<prefix>/bin beside <prefix>/share/linekeeper/Config) keeps
// its settings in the user's folders even when the program folder is writable,
// as /usr/bin is for root.
TEST(ExeDir, AnInstalledLayoutUsesTheUserFolders) {
    TempDir prefix, xdg;
    const fs::path bin = prefix.path() / "bin";
    const fs::path shipped = prefix.path() / "share" / "linekeeper" / "Config";
    fs::create_directories(bin);
    fs::create_directories(shipped);
    ScopedEnv config("XDG_CONFIG_HOME", (xdg.path() / "config").string());
    ScopedEnv cache("XDG_CACHE_HOME", (xdg.path() / "cache").string());
    const auto all = [](const fs::path&) { return true; };
    const auto none = [](const fs::path&) { return false; };

    for (const bool homeOverride : {false, true}) {
        for (const auto& writable : {WritableCheck(all), WritableCheck(none)}) {
            const auto f = ChooseAppFolders(bin, homeOverride, writable);
            EXPECT_FALSE(f.local);
            EXPECT_EQ(f.config, xdg.path() / "config" / "linekeeper");
            EXPECT_EQ(f.scratch, xdg.path() / "cache" / "linekeeper");
            EXPECT_EQ(f.shipped, shipped);
        }
    }
    // A Config folder beside the program makes it portable again.
    fs::create_directories(bin / "Config");
    const auto portable = ChooseAppFolders(bin, false, all);
    EXPECT_TRUE(portable.local);
    EXPECT_EQ(portable.shipped, bin / "Config");
}

// Settings, language texts and scratch files of an installed copy, end to
// end: nothing is written under the prefix, the shipped texts are used until
// the user puts a language file of their own in the config folder.
TEST(ExeDir, AnInstalledCopyWritesOnlyUnderTheXdgFolders) {
    TempDir prefix, xdg;
    const fs::path bin = prefix.path() / "bin";
    const fs::path shipped = prefix.path() / "share" / "linekeeper" / "Config";
    fs::create_directories(bin);
    WriteText(shipped / "LiteSet.ini", "[Setting]\nDevType=1\nSoftware=LineKeeper\n");
    WriteText(shipped / "LiteLang.ini", "[English]\n0002=All records\n");
    const auto listing = [](const fs::path& root) {
        std::vector<fs::path> files;
        for (const auto& e : fs::recursive_directory_iterator(root))
            files.push_back(fs::relative(e.path(), root));
        std::sort(files.begin(), files.end());
        return files;
    };
    const auto before = listing(prefix.path());
    const fs::path userConfig = xdg.path() / "config" / "linekeeper";
    const fs::path userCache = xdg.path() / "cache" / "linekeeper";
    {
        ScopedEnv home("LINEKEEPER_HOME", bin.string());
        ScopedEnv config("XDG_CONFIG_HOME", (xdg.path() / "config").string());
        ScopedEnv cache("XDG_CACHE_HOME", (xdg.path() / "cache").string());

        EXPECT_EQ(ReadSettingInt("DevType"), 1);  // seeded from the shipped defaults
        EXPECT_TRUE(WriteSettingInt("DevType", 0));
        EXPECT_EQ(ReadSettingInt("DevType"), 0);
        EXPECT_EQ(ReadSettingString("Software"), "LineKeeper");
        EXPECT_EQ(SettingsFilePath(), userConfig / "LiteSet.ini");
        EXPECT_EQ(LangString(2), "All records");
        EXPECT_EQ(LangFilePath(), shipped / "LiteLang.ini");
        EXPECT_EQ(ShippedConfigDir(), shipped);
        EXPECT_EQ(ScratchDir(), userCache);
        WriteText(ScratchDir() / "Recordings.eml", "draft");

        // The shipped texts are not copied: a newer package brings new ones.
        EXPECT_FALSE(fs::exists(userConfig / "LiteLang.ini"));
        WriteText(userConfig / "LiteLang.ini", "[English]\n0002=Alle Aufnahmen\n");
        EXPECT_EQ(LangString(2), "Alle Aufnahmen");
    }
    EXPECT_EQ(listing(prefix.path()), before);
    EXPECT_EQ(ReadText(shipped / "LiteSet.ini"), "[Setting]\nDevType=1\nSoftware=LineKeeper\n");
    EXPECT_TRUE(fs::is_regular_file(userConfig / "LiteSet.ini"));
    EXPECT_TRUE(fs::is_regular_file(userCache / "Recordings.eml"));
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
