#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Settings.h"
#include "platform/TextCodec.h"
#include "support/TempDir.h"

namespace lk {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

TEST(TextCodec, Utf8RoundTrips) {
    struct Case {
        std::string utf8;
        std::u16string utf16;
    };
    const Case cases[] = {
        {"", u""},
        {"201601\\x.wav", u"201601\\x.wav"},
        {"Gr\xC3\xBC\xC3\x9F"
         "e",
         u"Grüße"},
        {"\xE4\xB8\xAD\xE6\x96\x87", u"中文"},
        {"\xE2\x82\xAC", u"€"},
        {"\xF0\x9F\x98\x80!", u"\U0001F600!"},
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FromUtf8(c.utf8), c.utf16) << c.utf8;
        EXPECT_EQ(ToUtf8(c.utf16), c.utf8) << c.utf8;
    }
}

TEST(TextCodec, InvalidUtf8BecomesReplacementCharacters) {
    struct Case {
        std::string utf8;
        std::u16string utf16;
    };
    const Case cases[] = {
        {"\xC3", u"\uFFFD"},  // cut-off sequence
        {"a\x80"
         "b",
         u"a\uFFFDb"},                    // stray continuation byte
        {"\xC0\xAF", u"\uFFFD\uFFFD"},    // overlong lead byte
        {"\xE0\x80\xAF", u"\uFFFD"},      // overlong three-byte form
        {"\xED\xA0\x80", u"\uFFFD"},      // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD"},  // beyond U+10FFFF
        {"\xE4\xB8"
         "x",
         u"\uFFFDx"},  // broken off by an ASCII byte
        {"\xFF\xFE", u"\uFFFD\uFFFD"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FromUtf8(c.utf8), c.utf16) << testing::PrintToString(c.utf8);
    // Unpaired surrogates in UTF-16 text.
    EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
}

TEST(TextCodec, CodePagesDecodeAndEncode) {
    struct Case {
        const char* codePage;
        std::string bytes;
        std::u16string text;
    };
    const Case cases[] = {
        {"CP1252", "\x80 10", u"€ 10"},
        {"CP1252", "Caf\xE9", u"Café"},
        {"CP936", "\xD6\xD0\xCE\xC4", u"中文"},
        {"CP936", "abc\xD5\xC5\xC8\xFD", u"abc张三"},
        // An unknown code page keeps each byte as its own character.
        {"NO-SUCH-CODEPAGE", "A\xE9\x80", u"A\u00E9\u0080"},
        {"", "\xFF", u"\u00FF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeCodePage(Bytes(c.bytes), c.codePage), c.text) << c.codePage;
        EXPECT_EQ(EncodeCodePage(c.text, c.codePage), c.bytes) << c.codePage;
    }
}

TEST(TextCodec, CodePageFailuresAreMarkedNotDropped) {
    // Bytes with no character in the code page, and a lead byte cut off at the end.
    EXPECT_EQ(DecodeCodePage(Bytes("a\x81"
                                   "b"),
                             "CP1252"),
              u"a\uFFFDb");
    EXPECT_EQ(DecodeCodePage(Bytes("ab\xD6"), "CP936"), u"ab\uFFFD");
    // Characters the code page cannot hold.
    EXPECT_EQ(EncodeCodePage(u"x中y", "CP1252"), "x?y");
    EXPECT_EQ(EncodeCodePage(u"\U0001F600z", "CP936"), "?z");
    EXPECT_EQ(EncodeCodePage(std::u16string(1, char16_t(0xD800)) + u"z", "CP1252"), "?z");
    EXPECT_EQ(EncodeCodePage(u"中z", "NO-SUCH-CODEPAGE"), "?z");
}

TEST(TextCodec, LongTextConvertsWhole) {
    std::u16string text;
    for (int i = 0; i < 5000; ++i)
        text += u"中文";
    const auto bytes = EncodeCodePage(text, "CP936");
    EXPECT_EQ(bytes.size(), 20000u);
    EXPECT_EQ(DecodeCodePage(Bytes(bytes), "CP936"), text);
}

TEST(TextCodec, CardCodePageComesFromTheSettings) {
    test::TempHome home(false);
    EXPECT_EQ(CardCodePage(), "CP1252");
    EXPECT_TRUE(WriteSettingString("CodePage", "CP936"));
    EXPECT_EQ(CardCodePage(), "CP936");
}

}  // namespace
}  // namespace lk
