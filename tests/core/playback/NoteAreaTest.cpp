#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "export/RecordingWriter.h"
#include "playback/Annotation.h"
#include "playback/MarkedSegment.h"
#include "playback/XtrHeader.h"
#include "support/TempDir.h"

namespace lk {
namespace {

std::vector<std::uint8_t> Area(const std::string& text) {
    std::vector<std::uint8_t> a(1024, 0);
    std::copy_n(text.begin(), std::min<std::size_t>(text.size(), 1024), a.begin());
    return a;
}

const std::string kSegment5to10 =
    "<bookmark><bstart>00:00:05</bstart><bend>00:00:10</bend><bookmark>";

TEST(MarkedSegment, ParsesTheRecordersBookmark) {
    struct Case {
        const char* what;
        std::string text;
        std::optional<MarkedSegment> want;
    };
    const std::string withZero = std::string("hello") + '\0' + kSegment5to10;
    const Case cases[] = {
        {"plain", kSegment5to10, MarkedSegment{5, 10}},
        {"hours and minutes", "<bookmark><bstart>01:02:03</bstart><bend>01:10:00</bend><bookmark>",
         MarkedSegment{3723, 4200}},
        {"tags outside the block are still found",
         "<bend>00:00:09</bend><bookmark>x<bookmark><bstart>00:00:02</bstart>",
         MarkedSegment{2, 9}},
        {"end before start in the text",
         "<bookmark><bend>00:00:10</bend><bstart>00:00:05</bstart><bookmark>",
         MarkedSegment{5, 10}},
        {"empty bookmark block",
         "<bookmark><bookmark><bstart>00:00:05</bstart><bend>00:00:10</bend>", std::nullopt},
        {"one bookmark tag", "<bookmark><bstart>00:00:05</bstart><bend>00:00:10</bend>",
         std::nullopt},
        {"nine-byte start", "<bookmark><bstart>00:00:05 </bstart><bend>00:00:10</bend><bookmark>",
         std::nullopt},
        {"empty start", "<bookmark><bstart></bstart><bend>00:00:10</bend><bookmark>", std::nullopt},
        {"short start reads its fields",
         "<bookmark><bstart>00:01</bstart><bend>00:02:00</bend><bookmark>", MarkedSegment{60, 120}},
        {"blanks and signs as atoi reads them",
         "<bookmark><bstart> 1:-1:x5</bstart><bend>02:00:10</bend><bookmark>",
         MarkedSegment{3540, 7210}},
        {"equal times", "<bookmark><bstart>00:00:07</bstart><bend>00:00:07</bend><bookmark>",
         std::nullopt},
        {"missing end tag", "<bookmark><bstart>00:00:05</bstart><bend>00:00:10<bookmark>",
         std::nullopt},
        {"tags after the zero byte", withZero, std::nullopt},
        {"empty area", "", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseMarkedSegment(Area(c.text)), c.want) << c.what;

    // A block longer than 1024 bytes between the two tags cannot occur in the
    // area, but a longer buffer must still be refused.
    std::string longBlock = "<bookmark>" + std::string(1025, 'x') + kSegment5to10;
    const std::vector<std::uint8_t> big(longBlock.begin(), longBlock.end());
    EXPECT_EQ(ParseMarkedSegment(big), std::nullopt);
}

TEST(MarkedSegment, AreaWithoutZeroByteStaysInsideItsBuffer) {
    std::vector<std::uint8_t> full(1024, 'x');
    EXPECT_EQ(ParseMarkedSegment(full), std::nullopt);
    const std::string tail = "<bookmark><bstart>00:00:0";
    std::copy(tail.begin(), tail.end(), full.end() - static_cast<std::ptrdiff_t>(tail.size()));
    EXPECT_EQ(ParseMarkedSegment(full), std::nullopt);
}

TEST(Annotation, FindsTheFreeTextLine) {
    struct Case {
        const char* what;
        std::string text;
        std::optional<std::string> want;
    };
    const std::string line63(63, 'a');
    const std::string line64(64, 'a');
    const Case cases[] = {
        {"bookmark line then note", "Bookmark at:  00:01:02\r\nCall back Monday\r\n",
         "Call back Monday"},
        {"only a bookmark line", "Bookmark at:  00:01:02\r\n", std::nullopt},
        {"text ended by the zero byte", "Call back", "Call back"},
        {"63 bytes", line63 + "\r\n", line63},
        {"64 bytes never", line64 + "\r\n", std::nullopt},
        {"long line then note", line64 + "xyz\r\nshort\r\n", "short"},
        {"long line up to the zero byte", line64 + "xyz", std::nullopt},
        {"20 blanks", std::string(20, ' ') + "\r\nnote\r\n", "note"},
        {"21 blanks are text", std::string(21, ' '), std::string(21, ' ')},
        {"short bookmark prefix is text", "Bookmark at:  00:01", "Bookmark at:  00:01"},
        {"third line is never reached",
         "Bookmark at:  00:00:01\r\nBookmark at:  00:00:02\r\nnote\r\n", std::nullopt},
        {"empty line skipped", "\r\nnote\r\n", "note"},
        {"lone CR is text", "a\rb", "a\rb"},
        {"empty area", "", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadAnnotation(Area(c.text), 64), c.want) << c.what;

    EXPECT_EQ(ReadAnnotation(Area("Call back Monday"), 4), "Call");
    EXPECT_EQ(ReadAnnotation(std::vector<std::uint8_t>(1024, 'x'), 64), std::nullopt);
    EXPECT_EQ(ReadAnnotation(std::vector<std::uint8_t>(10, 'x'), 64), std::nullopt);
}

TEST(Annotation, ReadsXtrFilesOnly) {
    test::TempDir dir;
    const auto image = BuildXtrImage(7, std::vector<std::uint8_t>(100, 0xFF), "Pick up parcel");
    test::WriteFile(dir / "20160616120000-I-555.xtr", image);
    test::WriteFile(dir / "20160616120000-I-555.wav", image);
    EXPECT_EQ(ReadAnnotation(dir / "20160616120000-I-555.xtr", 64), "Pick up parcel");
    EXPECT_EQ(ReadAnnotation(dir / "20160616120000-I-555.wav", 64), std::nullopt);
    EXPECT_EQ(ReadAnnotation(dir / "missing.xtr", 64), std::nullopt);
    // A file that ends inside the note area reads the rest as zeros.
    test::WriteFile(dir / "short.xtr",
                    std::vector<std::uint8_t>(image.begin(), image.begin() + 150));
    EXPECT_EQ(ReadAnnotation(dir / "short.xtr", 64), "Pick u");
}

TEST(Annotation, ChoosesChineseForOtherCharacters) {
    EXPECT_FALSE(AnnotationLooksChinese("Call back Monday"));
    EXPECT_FALSE(AnnotationLooksChinese("Caf\xE9 r\xF6sti"));
    EXPECT_TRUE(AnnotationLooksChinese("Call back."));
    EXPECT_TRUE(AnnotationLooksChinese("\xC4\xE3\xA3\xAC"));
    EXPECT_FALSE(
        AnnotationLooksChinese(std::string(32, 'a') + "."));  // only the first 32 bytes count
}

TEST(Annotation, DecodesWithTheChosenCodePage) {
    test::TempHome home;
    EXPECT_EQ(DecodeAnnotation("\xC4\xE3\xBA\xC3\xA3\xAC", "CP1252"), u"\u4F60\u597D\uFF0C");
    EXPECT_EQ(DecodeAnnotation("Caf\xE9 au lait", "CP1252"), u"Caf\u00E9 au lait");
}

}  // namespace
}  // namespace lk
