#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;

ByteSpan Bytes(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::vector<std::string> FilesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    return names;
}

TEST(AtomicFile, WritesThePartsInOrderAndLeavesOnlyTheFile) {
    struct Case {
        const char* name;
        std::optional<std::string> before;  // the file already there
        std::vector<std::string> parts;
        std::string after;
    };
    const Case cases[] = {
        {"new file", std::nullopt, {"RIFF", "data"}, "RIFFdata"},
        {"replaces a longer file", std::string(100, 'x'), {"ab"}, "ab"},
        {"empty parts", std::string("old"), {"", "z", ""}, "z"},
        {"nothing at all", std::string("old"), {}, ""},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        const fs::path file = dir / "out.wav";
        if (c.before) test::WriteText(file, *c.before);
        AtomicFileWriter w;
        ASSERT_TRUE(w.Open(file)) << c.name;
        for (const auto& p : c.parts)
            ASSERT_TRUE(w.Write(Bytes(p))) << c.name;
        ASSERT_TRUE(w.Commit()) << c.name;
        EXPECT_EQ(test::ReadText(file), c.after) << c.name;
        EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"out.wav"}) << c.name;
    }
}

TEST(AtomicFile, AnUnfinishedOrFailedWriteLeavesTheOldFile) {
    test::TempDir dir;
    const fs::path file = dir / "LiteSet.ini";
    test::WriteText(file, "[Setting]\n");
    {
        AtomicFileWriter w;
        ASSERT_TRUE(w.Open(file));
        ASSERT_TRUE(w.Write(Bytes("half")));
    }  // never committed
    EXPECT_EQ(test::ReadText(file), "[Setting]\n");
    EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"LiteSet.ini"});

    // The target is a folder: the rename fails and nothing is left behind.
    fs::create_directory(dir / "taken");
    EXPECT_FALSE(WriteFileAtomically(dir / "taken", {Bytes("x")}));
    EXPECT_TRUE(fs::is_directory(dir / "taken"));
    EXPECT_EQ(FilesIn(dir.path()).size(), 2u);

    // No folder to write in, no name, or a writer never opened.
    EXPECT_FALSE(WriteFileAtomically(dir / "missing" / "a.wav", {Bytes("x")}));
    EXPECT_FALSE(WriteFileAtomically(fs::path(), {Bytes("x")}));
    AtomicFileWriter unopened;
    EXPECT_FALSE(unopened.Write(Bytes("x")));
    EXPECT_FALSE(unopened.Commit());
}

TEST(AtomicFile, ReplacingKeepsTheFilesPermissions) {
    test::TempDir dir;
    const fs::path file = dir / "LiteSet.ini";
    test::WriteText(file, "old");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(WriteFileAtomically(file, {Bytes("new")}));
    EXPECT_EQ(test::ReadText(file), "new");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(AtomicFile, TemporaryNamesAreFreshUnpredictableAndNeverFollowed) {
    test::TempDir dir;
    const fs::path file = dir / "out.wav";
    test::WriteText(dir / "victim", "precious");
    // Every name an older writer would have picked, and a link at the final name.
    for (unsigned n = 0; n < 64; ++n)
        fs::create_symlink(dir / "victim", dir / ("out.wav.part-" + std::to_string(::getpid()) +
                                                  "-" + std::to_string(n)));
    fs::create_symlink(dir / "victim", file);
    const auto before = FilesIn(dir.path()).size();

    std::vector<fs::path> temps;
    for (int i = 0; i < 20; ++i) {
        fs::path temp;
        const int fd = CreateTemporaryBeside(file, temp);
        ASSERT_GE(fd, 0);
        ::close(fd);
        EXPECT_EQ(temp.parent_path(), dir.path());
        const std::string name = temp.filename().string();
        ASSERT_EQ(name.rfind("out.wav.part-", 0), 0u) << name;
        EXPECT_EQ(name.size(), std::string("out.wav.part-").size() + 12) << name;
        EXPECT_EQ(std::count(temps.begin(), temps.end(), temp), 0) << name;
        temps.push_back(temp);
    }
    for (const auto& t : temps)
        fs::remove(t);

    ASSERT_TRUE(WriteFileAtomically(file, {Bytes("new")}));
    EXPECT_EQ(test::ReadText(dir / "victim"), "precious");
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(file)));  // the link was replaced
    EXPECT_EQ(test::ReadText(file), "new");
    EXPECT_EQ(FilesIn(dir.path()).size(), before);
}

TEST(AtomicFile, ANewFileGetsTheUsualModeUnderTheUmask) {
    for (const mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
        test::TempDir dir;
        const mode_t old = ::umask(mask);
        const bool ok = WriteFileAtomically(dir / "a.csv", {Bytes("x")});
        ::umask(old);
        ASSERT_TRUE(ok);
        struct stat st {};
        ASSERT_EQ(::lstat((dir / "a.csv").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << std::oct << mask;
    }
}

}  // namespace
}  // namespace lk
