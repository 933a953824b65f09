#include <gtest/gtest.h>

#include "playback/G711.h"

namespace lk {
namespace {

TEST(G711, MuLawTableHasTheStandardShape) {
    const auto& t = MuLawTable();
    const std::pair<int, int> anchors[] = {
        {0x00, -32124}, {0x80, 32124}, {0x7F, 0},      {0xFF, 0},      {0x7E, -8},
        {0xFE, 8},      {0x70, -120},  {0x0F, -16764}, {0x10, -15996}, {0x5A, -556}};
    for (auto [b, v] : anchors)
        EXPECT_EQ(t[static_cast<std::size_t>(b)], v) << "byte " << b;
    for (int b = 0; b < 128; ++b) {
        EXPECT_EQ(t[static_cast<std::size_t>(b)], -t[static_cast<std::size_t>(b | 0x80)]) << b;
        if (b > 0) {
            EXPECT_GT(t[static_cast<std::size_t>(b)], t[static_cast<std::size_t>(b - 1)]) << b;
        }
    }
}

TEST(G711, ALawTableHasTheStandardShape) {
    const auto& t = ALawTable();
    const std::pair<int, int> anchors[] = {{0xD5, 8},      {0x55, -8},   {0xAA, 32256},
                                           {0x2A, -32256}, {0x80, 5504}, {0x00, -5504},
                                           {0xD4, 24},     {0xC5, 264},  {0xFF, 848}};
    for (auto [b, v] : anchors)
        EXPECT_EQ(t[static_cast<std::size_t>(b)], v) << "byte " << b;
    for (int b = 0; b < 128; ++b)
        EXPECT_EQ(t[static_cast<std::size_t>(b)], -t[static_cast<std::size_t>(b | 0x80)]) << b;
}

TEST(G711, EncodersInvertEveryTableValue) {
    for (int b = 0; b < 256; ++b) {
        const auto u = static_cast<std::uint8_t>(b);
        if (b != 0x7F) {
            EXPECT_EQ(LinearToMuLaw(MuLawToLinear(u)), u) << "mu-law byte " << b;
        }
        EXPECT_EQ(LinearToALaw(ALawToLinear(u)), u) << "A-law byte " << b;
    }
    EXPECT_EQ(LinearToMuLaw(32767), 0x80);
    EXPECT_EQ(LinearToMuLaw(-32768), 0x00);
    EXPECT_EQ(LinearToALaw(32767), 0xAA);
    EXPECT_EQ(LinearToALaw(-32768), 0x2A);
}

}  // namespace
}  // namespace lk
