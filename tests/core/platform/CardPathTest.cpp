#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/CardPath.h"

namespace lk {
namespace {

TEST(CardPath, ResolvesOnlyPathsThatStayUnderTheRoot) {
    const std::filesystem::path root = "/media/card";
    struct Case {
        std::u16string relative;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {u"201601\\x.wav", "/media/card/201601/x.wav"},
        {u"201601/x.wav", "/media/card/201601/x.wav"},
        {u"RECORD\\201601\\20160101120000-I-123.xtr",
         "/media/card/RECORD/201601/20160101120000-I-123.xtr"},
        {u"201601\\\\x.wav", "/media/card/201601/x.wav"},
        {u"CallLog.dat", "/media/card/CallLog.dat"},
        {u"201601\\中文.wav", "/media/card/201601/\xE4\xB8\xAD\xE6\x96\x87.wav"},
        {u"中文\\中文.wav\\a.wav",
         "/media/card/\xE4\xB8\xAD\xE6\x96\x87/"
         "\xE4\xB8\xAD\xE6\x96\x87.wav/a.wav"},
        {u"a..b\\x.wav", "/media/card/a..b/x.wav"},
        {u"", std::nullopt},
        {u"..\\..\\x", std::nullopt},
        {u"../x", std::nullopt},
        {u"a\\..\\b", std::nullopt},
        {u"a\\.\\b", std::nullopt},
        {u".", std::nullopt},
        {u"...\\x", std::nullopt},
        {u"/etc/passwd", std::nullopt},
        {u"\\Windows\\x", std::nullopt},
        {u"\\\\server\\share\\x", std::nullopt},
        {u"C:\\x", std::nullopt},
        {u"C:x", std::nullopt},
        {u"a\\b:stream", std::nullopt},
        {std::u16string(u"a\0b", 3), std::nullopt},
        {u"\\", std::nullopt},
        {u"a\\", "/media/card/a"},
    };
    for (const auto& c : cases) {
        const auto got = ResolveUnderRoot(root, c.relative);
        if (!c.expected) {
            EXPECT_FALSE(got.has_value()) << got->string();
        } else {
            ASSERT_TRUE(got.has_value()) << *c.expected;
            EXPECT_EQ(got->lexically_normal().string(), *c.expected);
        }
    }
}

TEST(CardPath, JoinsOntoEveryShapeOfRootAsPathsDo) {
    // The text form is compared with stored and listed paths as it stands:
    // no doubled or missing separator, whatever the root looks like.
    struct Case {
        std::string root;
        std::string expected;
    };
    const Case cases[] = {
        {"/media/card", "/media/card/201601/x.wav"},
        {"/media/card/", "/media/card/201601/x.wav"},
        {"card", "card/201601/x.wav"},
        {"/", "/201601/x.wav"},
        {"", "201601/x.wav"},
    };
    for (const auto& c : cases) {
        const auto text = ResolveUnderRootText(c.root, u"201601\\\\x.wav");
        ASSERT_TRUE(text.has_value()) << c.root;
        EXPECT_EQ(*text, c.expected) << c.root;
        const auto path = ResolveUnderRoot(c.root, u"201601\\\\x.wav");
        ASSERT_TRUE(path.has_value()) << c.root;
        EXPECT_EQ(path->native(), (std::filesystem::path(c.root) / "201601" / "x.wav").native())
            << c.root;
    }
}

TEST(CardPath, SplitsAndMakesDrivePaths) {
    struct Case {
        std::u16string path;
        char letter;
        std::u16string relative;
    };
    const Case good[] = {
        {u"E:\\201601\\x.wav", 'E', u"201601\\x.wav"},
        {u"e:\\x", 'E', u"x"},
        {u"Z:\\", 'Z', u""},
    };
    for (const auto& c : good) {
        const auto split = SplitDrivePath(c.path);
        ASSERT_TRUE(split.has_value());
        EXPECT_EQ(split->letter, c.letter);
        EXPECT_EQ(split->relative, c.relative);
    }
    for (const std::u16string bad : {u"", u"E:", u"E:x", u"1:\\x", u"\\\\x", u"EE:\\x", u"E/\\x"})
        EXPECT_FALSE(SplitDrivePath(bad).has_value());

    EXPECT_EQ(MakeDrivePath('E', u"201601\\x.wav"), u"E:\\201601\\x.wav");
    const auto back = SplitDrivePath(MakeDrivePath('F', u"RECORD\\a.xtr"));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->letter, 'F');
    EXPECT_EQ(back->relative, u"RECORD\\a.xtr");
}

}  // namespace
}  // namespace lk
