#include <gtest/gtest.h>

#include <vector>

#include "app/LangString.h"
#include "app/Settings.h"
#include "support/TempDir.h"

namespace lk {
namespace {

// Every string number the program shows.
std::vector<int> NumbersInUse() {
    std::vector<int> n;
    auto range = [&](int from, int to) {
        for (int i = from; i <= to; ++i)
            n.push_back(i);
    };
    range(2, 9);
    range(11, 85);
    range(88, 103);
    for (const int i : {105, 106, 107, 109, 111, 112, 113, 115, 116})
        n.push_back(i);
    range(117, 123);
    range(125, 132);
    range(134, 144);
    range(146, 160);
    range(162, 186);
    range(188, 225);
    return n;
}

TEST(ShippedConfig, LanguageFileHasATextForEveryNumberInUse) {
    test::TempHome home;
    for (const int number : NumbersInUse())
        EXPECT_FALSE(LangString(number).empty()) << number;
}

TEST(ShippedConfig, SettingsFileHasTheDefaults) {
    test::TempHome home;
    EXPECT_EQ(ReadSettingInt("DevType"), 0);
    EXPECT_EQ(ReadSettingInt("AutoBackup"), 0);
    EXPECT_EQ(ReadSettingInt("BackupDelFile"), 0);
    EXPECT_EQ(ReadSettingString("CodePage"), "CP1252");
    for (const char* key : {"Software", "Device", "Device2", "Company", "Web"})
        EXPECT_FALSE(ReadSettingString(key).empty()) << key;
    for (int column = 1; column <= 9; ++column)
        EXPECT_GT(ReadSettingInt("ListWndColumn" + std::to_string(column)), 0) << column;
}

}  // namespace
}  // namespace lk
