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

}  // namespace
}  // namespace lk
