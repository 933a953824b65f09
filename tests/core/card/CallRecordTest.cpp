#include <gtest/gtest.h>

#include <random>

#include "card/CallRecord.h"

namespace lk {
namespace {

TEST(CallRecord, RoundTripsArbitraryBytesUnchanged) {
    std::mt19937 rng(42);
    for (int round = 0; round < 20; ++round) {
        std::array<std::uint8_t, CallRecord::kSize> bytes{};
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(rng());
        const auto r = CallRecord::FromBytes(bytes);
        EXPECT_EQ(r.ToBytes(), bytes);
    }
}

TEST(CallRecord, ReadsFieldsAtTheirOffsets) {
    std::array<std::uint8_t, CallRecord::kSize> b{};
    b[0] = 7;                      // index
    b[4] = 1;                      // card byte 0
    b[132] = 1;                    // inUse
    b[136] = 3;                    // type
    b[148] = 0xE0, b[149] = 0x07;  // year 2016
    b[160] = 33;                   // second
    b[164] = '5', b[166] = '5';    // number "55"
    b[420] = 0x10, b[421] = 0x0E;  // callSeconds 3600
    b[556] = 'E', b[558] = ':';    // filePath "E:"
    const auto r = CallRecord::FromBytes(b);
    EXPECT_EQ(r.index, 7);
    EXPECT_TRUE(r.IsLive());
    EXPECT_EQ(r.inUse, 1);
    EXPECT_EQ(r.type, 3);
    EXPECT_EQ(r.time.year, 2016);
    EXPECT_EQ(r.time.second, 33);
    EXPECT_EQ(FieldText(r.number), u"55");
    EXPECT_EQ(r.callSeconds, 3600);
    EXPECT_EQ(FieldText(r.filePath), u"E:");
}

TEST(CallRecord, ShortBufferReadsAsZeros) {
    std::vector<std::uint8_t> b(10, 0xFF);
    const auto r = CallRecord::FromBytes(b);
    EXPECT_EQ(r.index, -1);
    EXPECT_EQ(r.inUse, 0);
    EXPECT_EQ(FieldText(r.filePath), u"");
}

TEST(CallRecord, SetFieldTextAlwaysLeavesATerminator) {
    WideField<4> f{};
    SetFieldText(f, u"abcdef");
    EXPECT_EQ(FieldText(f), u"abc");
    EXPECT_EQ(f[3], 0);
}

TEST(CallRecord, TextFieldsKeepWhatTheImageHolds) {
    std::array<std::uint8_t, CallRecord::kSize> b{};
    // "12", a zero, then a unit left over from an older text.
    b[164] = '1', b[166] = '2', b[170] = 'x';
    // A path that fills its field to the last unit, with no ending zero.
    for (std::size_t i = 0; i < CallRecord::kFilePathUnits; ++i)
        b[CallRecord::kFilePathOffset + 2 * i] = 'p';
    CallRecord r = CallRecord::FromBytes(b);
    EXPECT_EQ(r.number.Text(), u"12");
    EXPECT_EQ(r.number[3], u'x');
    EXPECT_EQ(r.number[CallRecord::kNumberUnits - 1], u'\0');
    EXPECT_EQ(r.filePath.Text().size(), CallRecord::kFilePathUnits);
    EXPECT_EQ(r.ToBytes(), b);

    const CallRecord copy = r;
    EXPECT_EQ(copy, r);
    EXPECT_EQ(copy.ToBytes(), b);
    // A shorter text over a longer one leaves nothing of the longer behind.
    SetFieldText(r.filePath, u"E:\\a.xtr");
    EXPECT_EQ(FieldText(r.filePath), u"E:\\a.xtr");
    EXPECT_EQ(r.filePath[8], u'\0');
    EXPECT_EQ(r.ToBytes()[CallRecord::kFilePathOffset + 2 * 8], 0);
    EXPECT_NE(copy, r);
    EXPECT_EQ(copy.filePath.Text().size(), CallRecord::kFilePathUnits);
    // Cutting the number drops the left-over unit too.
    CutFieldText(r.number, 1);
    EXPECT_EQ(r.number.Text(), u"1");
    EXPECT_EQ(r.number[3], u'\0');

    CallRecord moved = std::move(r);
    EXPECT_EQ(moved.filePath.Text(), u"E:\\a.xtr");
    EXPECT_TRUE(r.filePath.Text().empty());  // NOLINT: moved-from reads empty
    EXPECT_EQ(r.filePath[0], u'\0');
}

TEST(CallRecord, TextsOfEveryLengthReadWholeAndAsTheIndexScanReadsThem) {
    // Lengths around the steps in which trailing zeros are skipped, with
    // units whose low byte is zero (U+0100) at the end.
    const std::size_t lengths[] = {0, 1, 7, 8, 9, 15, 16, 17, 63, 64, 100, 255, 259, 260};
    for (const std::size_t length : lengths) {
        std::array<std::uint8_t, CallRecord::kSize> b{};
        for (std::size_t i = 0; i < length; ++i) {
            const std::size_t at = CallRecord::kFilePathOffset + 2 * i;
            b[at] = i + 1 == length ? 0x00 : 'a';
            b[at + 1] = i + 1 == length ? 0x01 : 0x00;
            if (i < CallRecord::kNumberUnits) {
                b[CallRecord::kNumberOffset + 2 * i] = b[at];
                b[CallRecord::kNumberOffset + 2 * i + 1] = b[at + 1];
            }
        }
        const CallRecord r = CallRecord::FromBytes(b);
        EXPECT_EQ(r.filePath.Text().size(), length) << length;
        EXPECT_EQ(r.number.Text().size(), std::min(length, CallRecord::kNumberUnits)) << length;
        if (length > 0) {
            EXPECT_EQ(r.filePath.Text().back(), u'\u0100') << length;
        }
        EXPECT_EQ(r.ToBytes(), b) << length;
        EXPECT_EQ(CallRecord::FilePathTextOf(b), r.filePath.Text()) << length;
    }
}

}  // namespace
}  // namespace lk
