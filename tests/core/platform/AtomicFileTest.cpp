#include <gtest/gtest.h>

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

}  // namespace
}  // namespace lk
