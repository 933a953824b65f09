#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "backup/FileFinder.h"
#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> RelativePaths(const std::vector<FoundFile>& entries,
                                       const fs::path& root) {
    std::vector<std::string> out;
    for (const auto& e : entries)
        out.push_back(e.path.lexically_relative(root).generic_string());
    return out;
}

TEST(CFileFinder, ListsDeepestFoldersFirstAndTheRootLast) {
    test::TempDir dir;
    test::WriteText(dir / "a/x/deep.wav", "1");
    test::WriteText(dir / "a/mid.txt", "22");
    test::WriteText(dir / "b/other", "333");
    test::WriteText(dir / "top.xtr", "4444");

    CFileFinder finder;
    finder.SetRoot(dir.path().string() + "/ /", true);
    ASSERT_EQ(finder.Root(), dir.path());
    std::vector<std::string> folders;
    for (const auto& f : finder.Folders())
        folders.push_back(f.lexically_relative(dir.path()).generic_string());
    EXPECT_EQ(folders, (std::vector<std::string>{"a/x", "a", "b", "."}));

    finder.Find("*.*", true, false);
    EXPECT_EQ(RelativePaths(finder.Entries(), dir.path()),
              (std::vector<std::string>{"a/x/deep.wav", "a/mid.txt", "b/other", "top.xtr"}));
    EXPECT_EQ(finder.Entries()[3].size, 4u);
    EXPECT_FALSE(finder.Entries()[0].isFolder);

    finder.Clear();
    finder.Find("*", false, true);
    EXPECT_EQ(RelativePaths(finder.Entries(), dir.path()),
              (std::vector<std::string>{"a/x", "a", "b"}));
    EXPECT_TRUE(finder.Entries()[0].isFolder);
}

TEST(CFileFinder, WithoutRecursionSearchesTheRootOnly) {
    test::TempDir dir;
    test::WriteText(dir / "sub/in.wav", "1");
    test::WriteText(dir / "here.wav", "1");
    CFileFinder finder;
    finder.SetRoot(dir.path(), false);
    finder.Find("*.*", true, true);
    EXPECT_EQ(RelativePaths(finder.Entries(), dir.path()),
              (std::vector<std::string>{"here.wav", "sub"}));
}

TEST(CFileFinder, NeverFollowsFolderLinksOutOfTheRoot) {
    test::TempDir outside;
    test::WriteText(outside / "secret.wav", "x");
    test::TempDir dir;
    test::WriteText(dir / "own.wav", "x");
    fs::create_directory_symlink(outside.path(), dir / "link");
    fs::create_directory_symlink(dir.path(), dir / "loop");

    CFileFinder finder;
    finder.SetRoot(dir.path(), true);
    finder.Find("*.*", true, false);
    EXPECT_EQ(RelativePaths(finder.Entries(), dir.path()), (std::vector<std::string>{"own.wav"}));
}

TEST(CFileFinder, MissingRootFindsNothing) {
    test::TempDir dir;
    CFileFinder finder;
    finder.SetRoot(dir / "nope", true);
    finder.Find("*.*", true, true);
    EXPECT_TRUE(finder.Entries().empty());
}

TEST(CFileFinder, StopsWhenAsked) {
    test::TempDir dir;
    test::WriteText(dir / "a/1.wav", "1");
    std::stop_source stop;
    stop.request_stop();
    CFileFinder finder;
    finder.SetRoot(dir.path(), true, stop.get_token());
    finder.Find("*.*", true, false, stop.get_token());
    EXPECT_TRUE(finder.Entries().empty());
}

TEST(FilePatterns, MatchLikeTheSystemSearch) {
    struct Case {
        const char* name;
        const char* pattern;
        bool matches;
    } cases[] = {
        {"noext", "*.*", true},        {"a.wav", "*.wav", true}, {"A.WAV", "*.wav", true},
        {"a.wav.bak", "*.wav", false}, {"abc", "a?c", true},     {"abbc", "a?c", false},
        {"x.xtr", "*x*.x?r", true},    {"", "*", true},          {"a", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchesFilePattern(c.name, c.pattern), c.matches) << c.name << " " << c.pattern;
}

TEST(FilePatterns, TrimsTrailingSeparatorsAndTheirBlanks) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"E:\\", "E:"},
        {"/media/card/", "/media/card"},
        {"/media/card/ \\  ", "/media/card"},
        {"plain", "plain"},
        {"name  ", "name  "},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TrimFolderText(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace lk
