#include <gtest/gtest.h>

#include <random>

#include "card/OutlookContact.h"

namespace lk {
namespace {

void PutText(std::array<std::uint8_t, OutlookContact::kSize>& b, std::size_t off,
             std::u16string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i)
        WriteU16(b, off + 2 * i, s[i]);
}

TEST(OutlookContact, ReadsFieldsAtTheirOffsetsAndWritesThemBack) {
    std::array<std::uint8_t, OutlookContact::kSize> b{};
    PutText(b, 0, u"张三 Smith");
    const std::u16string numbers[7] = {u"+44 20 7946 0000", u"5551234", u"", u"", u"", u"",
                                       u"0105559"};
    for (std::size_t n = 0; n < 7; ++n)
        PutText(b, OutlookContact::kNumberOffsets[n], numbers[n]);

    const auto c = OutlookContact::FromBytes(b);
    EXPECT_EQ(FieldText(c.displayName), u"张三 Smith");
    for (std::size_t n = 0; n < 7; ++n)
        EXPECT_EQ(FieldText(c.numbers[n]), numbers[n]) << n;
    EXPECT_EQ(c.ToBytes(), b);
}

TEST(OutlookContact, WritesZerosOutsideItsFields) {
    std::mt19937 rng(7);
    std::array<std::uint8_t, OutlookContact::kSize> b{};
    for (auto& x : b)
        x = static_cast<std::uint8_t>(rng());
    const auto out = OutlookContact::FromBytes(b).ToBytes();
    // Fields come back as they were; the unread tail (1280 onwards) is zero.
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 1280, b.begin()));
    EXPECT_TRUE(std::all_of(out.begin() + 1280, out.end(), [](std::uint8_t x) { return x == 0; }));
}

TEST(OutlookContact, ShortBlockReadsAsEmptyFields) {
    std::vector<std::uint8_t> b(10, 0);
    b[0] = 'A';
    const auto c = OutlookContact::FromBytes(b);
    EXPECT_EQ(FieldText(c.displayName), u"A");
    EXPECT_EQ(FieldText(c.numbers[6]), u"");
}

}  // namespace
}  // namespace lk
