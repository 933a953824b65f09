#include <gtest/gtest.h>

#include <optional>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/RootedPath.h"
#include "support/TempDir.h"

namespace lk {
namespace {
namespace fs = std::filesystem;

TEST(RootedPath, ResolvesOnlyTextsNamingAFileBelowTheRoot) {
    const fs::path root = "/backup/Store";
    struct Case {
        std::u16string text;
        std::optional<std::string> relative;  // nullopt: refused
    };
    const Case cases[] = {
        {u"/backup/Store/201601/20160101/a.wav", "201601/20160101/a.wav"},
        {u"/backup/Store//201601/a.wav", "201601/a.wav"},
        {u"201601\\20160101\\a.wav", "201601/20160101/a.wav"},
        {u"", ""},
        {u"/backup/Store", ""},
        {u"/backup/Store/", ""},
        {u"/etc/passwd", std::nullopt},
        {u"/backup/StoreX/a.wav", std::nullopt},
        {u"/backup/Store/../../x", std::nullopt},
        {u"/backup/Store/201601/../a.wav", std::nullopt},  // stays inside, still refused
        {u"/backup/Store/./a.wav", std::nullopt},
        {u"201601\\..\\..\\x", std::nullopt},
        {u"C:\\x.wav", std::nullopt},
        {u"/backup/Other/Store/a.wav", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
        const auto r = RootedPath::Resolve(root, c.text);
        if (!c.relative) {
            EXPECT_FALSE(r.path);
            EXPECT_FALSE(r.reason.empty());
            continue;
        }
        ASSERT_TRUE(r.path) << r.reason;
        EXPECT_EQ(r.path->Relative(), fs::path(*c.relative));
        EXPECT_EQ(r.path->NamesNoFile(), c.relative->empty());
    }
}

// Removal and opening go through no link and touch nothing but a regular file.
TEST(RootedPath, RemovesAndOpensOnlyRegularFilesReachedWithoutLinks) {
    test::TempDir dir;
    const fs::path root = dir / "root";
    const fs::path outside = dir / "outside";
    test::WriteText(root / "month" / "a.wav", "a");
    test::WriteText(outside / "b.wav", "b");
    fs::create_directory_symlink(outside, root / "linked");
    fs::create_symlink(outside / "b.wav", root / "month" / "b.wav");
    fs::create_directories(root / "month" / "folder.wav");
    ASSERT_EQ(::mkfifo((root / "month" / "fifo.wav").c_str(), 0600), 0);

    struct Case {
        const char* relative;
        bool removable;  // ok: removed or absent
        bool opens;
        std::string reason;
    };
    const Case cases[] = {
        {"linked/b.wav", false, false, "reached through a symbolic link"},
        {"month/b.wav", false, false, "reached through a symbolic link"},
        {"month/folder.wav", false, false, kNotARegularFile},
        {"month/fifo.wav", false, false, kNotARegularFile},
        {"month/gone.wav", true, false, ""},
        {"gone/gone.wav", true, false, ""},
        {"month/a.wav", true, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.relative);
        const auto r = RootedPath::Resolve(root, fs::path(c.relative).u16string());
        ASSERT_TRUE(r.path) << r.reason;
        EXPECT_EQ(r.path->Open(O_RDONLY).Ok(), c.opens);
        const RootedRemoval removal = r.path->Remove();
        EXPECT_EQ(removal.ok, c.removable) << removal.reason;
        if (!c.removable) {
            EXPECT_EQ(removal.reason, c.reason);
        }
    }
    EXPECT_FALSE(fs::exists(root / "month" / "a.wav"));
    EXPECT_EQ(test::ReadText(outside / "b.wav"), "b");
    EXPECT_TRUE(fs::is_symlink(root / "month" / "b.wav"));
    EXPECT_TRUE(fs::is_directory(root / "month" / "folder.wav"));
}

}  // namespace
}  // namespace lk
