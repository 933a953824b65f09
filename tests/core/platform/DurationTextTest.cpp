#include <gtest/gtest.h>

#include <climits>

#include "platform/DurationText.h"

namespace lk {
namespace {

TEST(DurationText, ShowsHoursMinutesAndSecondsInTwoDigitsEach) {
    const struct {
        int seconds;
        const char* text;
    } cases[] = {
        {0, "00:00:00"},
        {5, "00:00:05"},
        {59, "00:00:59"},
        {60, "00:01:00"},
        {3599, "00:59:59"},
        {3600, "01:00:00"},
        {3723, "01:02:03"},
        {86399, "23:59:59"},
        // A day or more is not wrapped; hours grow past two digits.
        {86400, "24:00:00"},
        {360000, "100:00:00"},
        // Damaged records can hold negative lengths.
        {-1, "00:00:00"},
        {INT_MIN, "00:00:00"},
        {INT_MAX, "596523:14:07"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DurationText(c.seconds), c.text) << c.seconds;
}

}  // namespace
}  // namespace lk
