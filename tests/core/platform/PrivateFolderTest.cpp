#include "platform/PrivateFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;

// What another local user (or an old run) may have left under the fallback
// name before the program starts: each is refused with its reason, and the
// planted thing is left as it was.
TEST(PrivateFolder, AFallbackFolderThatIsNotOnlyOursIsRefused) {
    const uid_t me = ::getuid();
    struct Case {
        const char* name;
        std::function<void(const fs::path& base, const fs::path& own)> plant;
        uid_t uid;  // whose folder the check expects
        const char* reason;
    } const cases[] = {
        {"nothing there: made 0700", [](const fs::path&, const fs::path&) {}, me, ""},
        {"ours, 0700",
         [](const fs::path&, const fs::path& own) {
             fs::create_directory(own);
             ::chmod(own.c_str(), 0700);
         },
         me, ""},
        {"another user's", [](const fs::path&, const fs::path& own) { fs::create_directory(own); },
         me + 1, "belongs to another user"},
        {"ours but open to all",
         [](const fs::path&, const fs::path& own) {
             fs::create_directory(own);
             ::chmod(own.c_str(), 0777);
         },
         me, "has mode 0777, not 0700"},
        {"ours but group readable",
         [](const fs::path&, const fs::path& own) {
             fs::create_directory(own);
             ::chmod(own.c_str(), 0750);
         },
         me, "has mode 0750, not 0700"},
        {"a link to a folder of ours",
         [](const fs::path& base, const fs::path& own) {
             fs::create_directory(base / "elsewhere");
             ::chmod((base / "elsewhere").c_str(), 0700);
             fs::create_directory_symlink(base / "elsewhere", own);
         },
         me, "is a symbolic link"},
        {"a dangling link",
         [](const fs::path& base, const fs::path& own) {
             fs::create_symlink(base / "nowhere", own);
         },
         me, "is a symbolic link"},
        {"a plain file", [](const fs::path&, const fs::path& own) { test::WriteText(own, "x"); },
         me, "is not a folder"},
    };
    for (const auto& c : cases) {
        test::TempDir base;
        const fs::path own = base / ("linekeeper-" + std::to_string(c.uid));
        c.plant(base.path(), own);
        const auto before = fs::symlink_status(own).type();
        const PrivateFolder folder = InstanceFolder(nullptr, base.path(), "linekeeper", c.uid);
        EXPECT_EQ(folder.path, own) << c.name;
        if (*c.reason == '\0') {
            EXPECT_EQ(folder.problem, "") << c.name;
            struct stat st {};
            ASSERT_EQ(::lstat(own.c_str(), &st), 0) << c.name;
            EXPECT_EQ(st.st_mode & 07777, 0700u) << c.name;
        } else {
            EXPECT_NE(folder.problem.find(c.reason), std::string::npos)
                << c.name << ": " << folder.problem;
            EXPECT_NE(folder.problem.find(own.string()), std::string::npos) << c.name;
            EXPECT_EQ(fs::symlink_status(own).type(), before) << c.name;
        }
    }
}

TEST(PrivateFolder, AFreshFolderIs0700UnderAnyUmask) {
    test::TempDir base;
    const mode_t old = ::umask(0277);
    const PrivateFolder folder = InstanceFolder(nullptr, base.path(), "lk", ::getuid());
    ::umask(old);
    EXPECT_EQ(folder.problem, "");
}

TEST(PrivateFolder, TheRuntimeFolderIsUsedOnlyWhenItIsTheUsers) {
    const uid_t me = ::getuid();
    test::TempDir base;
    const fs::path runtime = base / "run";
    fs::create_directory(runtime);
    ::chmod(runtime.c_str(), 0700);
    EXPECT_EQ(InstanceFolder(runtime.c_str(), base.path(), "lk", me).path, runtime);
    // Someone else's, a relative name or an empty one: the fallback is used.
    for (const char* dir : {"", "run", static_cast<const char*>(nullptr)}) {
        const auto folder = InstanceFolder(dir, base.path(), "lk", me);
        EXPECT_EQ(folder.path, base / ("lk-" + std::to_string(me))) << (dir ? dir : "unset");
        EXPECT_EQ(folder.problem, "");
    }
    EXPECT_EQ(InstanceFolder(runtime.c_str(), base.path(), "lk", me + 1).path,
              base / ("lk-" + std::to_string(me + 1)));
    ::chmod(runtime.c_str(), 0777);
    EXPECT_NE(InstanceFolder(runtime.c_str(), base.path(), "lk", me).path, runtime);
}

}  // namespace
}  // namespace lk
