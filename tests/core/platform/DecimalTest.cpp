#include <gtest/gtest.h>

#include <climits>

#include "platform/Decimal.h"

namespace lk {
namespace {

TEST(AtoiOf, ReadsFieldsLikeTheCLibrary) {
    struct Case {
        std::string_view text;
        int value;
    } cases[] = {
        {"2016", 2016},
        {"07", 7},
        {" 5", 5},
        {"\t-3x", -3},
        {"+12", 12},
        {"1a2", 1},
        {"", 0},
        {"ab", 0},
        {"-", 0},
        {"0\0"
         "9",
         0},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AtoiOf(c.text), c.value) << c.text;
        const std::u16string wide(c.text.begin(), c.text.end());
        EXPECT_EQ(AtoiOf(std::u16string_view(wide)), c.value) << c.text;
    }
}

}  // namespace
}  // namespace lk
