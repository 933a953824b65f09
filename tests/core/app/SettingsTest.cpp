#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "app/ExeDir.h"
#include "app/LangString.h"
#include "app/Settings.h"
#include "support/TempDir.h"

namespace lk {
namespace {

using test::ReadText;
using test::TempHome;
using test::WriteText;

std::filesystem::path SettingsFile(const TempHome& home) {
    return home.config() / "LiteSet.ini";
}

TEST(Settings, MissingFileReadsAsUnset) {
    TempHome home(false);
    EXPECT_EQ(ReadSettingInt("DevType"), -1);
    EXPECT_EQ(ReadSettingString("BackupPath"), "");
    EXPECT_EQ(LangString(7), "");
    // A folder where the file should be is no settings file either.
    std::filesystem::create_directories(SettingsFile(home));
    EXPECT_EQ(ReadSettingInt("DevType"), -1);
}

TEST(Settings, ReadsIntegersUnderWindowsProfileRules) {
    struct Case {
        const char* file;
        const char* key;
        int expected;
    };
    const Case cases[] = {
        {"[Setting]\nDevType=1\n", "DevType", 1},
        {"[SETTING]\ndevtype=1\n", "DEVTYPE", 1},
        {"[Setting]\r\nDevType=1\r\nAutoBackup=0\r\n", "AutoBackup", 0},
        {"\xEF\xBB\xBF[Setting]\r\nDevType=1\r\n", "DevType", 1},
        {"  [ Setting ]  \n  DevType =  7  \n", "DevType", 7},
        {"[Setting]\nDevType=-5\n", "DevType", -5},
        {"[Setting]\nDevType=12abc\n", "DevType", 12},
        {"[Setting]\nDevType=abc\n", "DevType", 0},
        {"[Setting]\nDevType=\n", "DevType", -1},
        {"[Setting]\nDevType=99999999999\n", "DevType", 2147483647},
        {"[Other]\nDevType=1\n", "DevType", -1},
        {"[Setting]\n;DevType=1\n", "DevType", -1},
        {"[Setting]\nDevType=2\nDevType=1\n", "DevType", 2},  // the first one counts
        {"[Setting]\nAutoBackup=1\n[Other]\nDevType=1\n[setting]\nDevType=3\n", "DevType", 3},
    };
    for (const auto& c : cases) {
        TempHome home(false);
        WriteText(SettingsFile(home), c.file);
        EXPECT_EQ(ReadSettingInt(c.key), c.expected) << c.file;
    }
}

TEST(Settings, ReadsStringsCutAndWithLineBreaks) {
    const std::string longAscii(2000, 'a');
    std::string longAccents;
    for (int i = 0; i < 1100; ++i)
        longAccents += "\xC3\xA9";  // é
    // 1022 units and then a character that needs two: it must not be split.
    const std::string emojiAtCut = std::string(1022, 'b') + "\xF0\x9F\x98\x80" + "zz";
    struct Case {
        std::string value;
        std::string expected;
    };
    const Case cases[] = {
        {"D:\\Backup\\", "D:\\Backup\\"},
        {"Line one\\nLine two", "Line one\nLine two"},
        {"a\\\\nb", "a\\\nb"},
        // A Windows path holding backslash-n is read as a line break too.
        {"C:\\new", "C:\new"},
        {longAscii, std::string(1023, 'a')},
        {longAccents,
         [] {
             std::string s;
             for (int i = 0; i < 1023; ++i)
                 s += "\xC3\xA9";
             return s;
         }()},
        {emojiAtCut, std::string(1022, 'b')},
        {"bad \xFF byte", "bad \xEF\xBF\xBD byte"},
    };
    for (const auto& c : cases) {
        TempHome home(false);
        WriteText(SettingsFile(home), "[Setting]\r\nValue=" + c.value + "\r\n");
        EXPECT_EQ(ReadSettingString("value"), c.expected) << c.value.substr(0, 40);
    }
}

TEST(Settings, WritingAKeyKeepsEveryOtherLine) {
    struct Case {
        const char* name;
        std::string before;
        std::string key;
        std::string value;
        std::string after;
    };
    const std::string base =
        "; LineKeeper settings\n"
        "[Setting]\n"
        "DevType=0\n"
        "  AutoBackup = 0 ; kept as written\n"
        "\n"
        "# a comment\n"
        "[Other]\n"
        "DevType=5\n"
        "; trailing comment";
    const Case cases[] = {
        {"replace keeps the key's spelling", base, "autobackup", "1",
         "; LineKeeper settings\n[Setting]\nDevType=0\n  AutoBackup =1\n\n# a comment\n"
         "[Other]\nDevType=5\n; trailing comment"},
        {"new key goes after the section's last key", base, "BackupPath", "D:\\B\\",
         "; LineKeeper settings\n[Setting]\nDevType=0\n  AutoBackup = 0 ; kept as written\n"
         "BackupPath=D:\\B\\\n\n# a comment\n[Other]\nDevType=5\n; trailing comment"},
        {"missing section is appended", "[Other]\nA=1\n", "DevType", "1",
         "[Other]\nA=1\n\n[Setting]\nDevType=1\n"},
        {"missing file is created", "", "DevType", "1", "[Setting]\nDevType=1\n"},
        {"CRLF and the byte-order mark stay", "\xEF\xBB\xBF[Setting]\r\nDevType=0\r\n", "Web", "x",
         "\xEF\xBB\xBF[Setting]\r\nDevType=0\r\nWeb=x\r\n"},
        {"empty section header", "[Setting]\n[Next]\nA=1\n", "DevType", "1",
         "[Setting]\nDevType=1\n[Next]\nA=1\n"},
        {"line break written as backslash-n", "[Setting]\n", "Address", "Street 1\r\nTown",
         "[Setting]\nAddress=Street 1\\nTown\n"},
    };
    for (const auto& c : cases) {
        TempHome home(false);
        if (!c.before.empty()) WriteText(SettingsFile(home), c.before);
        EXPECT_TRUE(WriteSettingString(c.key, c.value));
        EXPECT_EQ(ReadText(SettingsFile(home)), c.after) << c.name;
    }
}

TEST(Settings, WritesCreateTheFolderAndReadBack) {
    TempHome home(false);
    std::filesystem::remove_all(home.config());
    EXPECT_TRUE(WriteSettingInt("DateCond", -7));
    EXPECT_TRUE(WriteSettingString("ExportPath", "/home/u/Exports\nsecond line"));
    EXPECT_EQ(ReadSettingInt("datecond"), -7);
    EXPECT_EQ(ReadSettingString("ExportPath"), "/home/u/Exports\nsecond line");
    // No stray temporary files are left beside the settings (the folder was
    // seeded with the shipped defaults first).
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(home.config()))
        if (e.path().filename().string().starts_with("LiteSet.ini")) ++files;
    EXPECT_EQ(files, 1);
}

TEST(Settings, RefusesKeysThatWouldBreakTheFile) {
    TempHome home(false);
    EXPECT_FALSE(WriteSettingString("a=b", "1"));
    EXPECT_FALSE(WriteSettingString("x\ny", "1"));
    EXPECT_FALSE(std::filesystem::exists(SettingsFile(home)));
}

TEST(Settings, IsReadAnewOnEveryCall) {
    TempHome home(false);
    WriteText(SettingsFile(home), "[Setting]\nDevType=0\n");
    EXPECT_EQ(ReadSettingInt("DevType"), 0);
    WriteText(SettingsFile(home), "[Setting]\nDevType=1\n");
    EXPECT_EQ(ReadSettingInt("DevType"), 1);
}

TEST(LangString, ReadsFourDigitKeysOfSectionEnglish) {
    TempHome home(false);
    WriteText(home.config() / "LiteLang.ini",
              "[English]\r\n0007=Seven\r\n0157=Reading\\nplease wait\r\n2000=Big\r\n"
              "[Other]\r\n0008=Not this\r\n");
    EXPECT_EQ(LangString(7), "Seven");
    EXPECT_EQ(LangString(157), "Reading\nplease wait");
    EXPECT_EQ(LangString(2000), "Big");
    EXPECT_EQ(LangString(8), "");
    EXPECT_EQ(LangString(-1), "");
}

// The typed accessors agree with each other on what a missing or odd value means.
TEST(Settings, TypedAccessorsApplyTheirDefaults) {
    struct Case {
        const char* file;
        bool autoBackup;
        int devType;
        const char* codePage;
        const char* backupPath;
    };
    const Case cases[] = {
        {"", false, 0, "CP1252", ""},
        {"[Setting]\nAutoBackup=0\nDevType=0\n", false, 0, "CP1252", ""},
        {"[Setting]\nAutoBackup=1\nDevType=1\nCodePage=CP936\nBackupPath=/st/\n", true, 1, "CP936",
         "/st/"},
        {"[Setting]\nAutoBackup=2\nDevType=7\n", false, 0, "CP1252", ""},
        {"[Setting]\nAutoBackup=\nDevType=-1\nCodePage=\n", false, 0, "CP1252", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TempHome home(false);
        if (*c.file) WriteText(SettingsFile(home), c.file);
        EXPECT_EQ(AutoBackup(), c.autoBackup);
        EXPECT_EQ(DevType(), c.devType);
        EXPECT_EQ(CardCodePage(), c.codePage);
        EXPECT_EQ(BackupPath(), std::filesystem::path(c.backupPath));
    }
    TempHome home(false);
    EXPECT_TRUE(SetAutoBackup(true));
    EXPECT_TRUE(SetDevType(1));
    EXPECT_TRUE(AutoBackup());
    EXPECT_EQ(ReadSettingInt("AutoBackup"), 1);
    EXPECT_EQ(DevType(), 1);
    EXPECT_TRUE(SetAutoBackup(false));
    EXPECT_TRUE(SetDevType(5));
    EXPECT_FALSE(AutoBackup());
    EXPECT_EQ(ReadSettingInt("DevType"), 0);
}

TEST(Settings, PlayerSettingsKeepToTheirRanges) {
    struct Case {
        const char* file;
        int speed, skip, rewind, volume;
        std::optional<int> loudness;
    };
    const Case cases[] = {
        {"", 10, 5, 2, 100, -23},
        {"[Setting]\nPlaySpeed=15\nPlaySkip=10\nPlayRewind=0\nPlayVolume=40\nPlayLoudness=-16\n",
         15, 10, 0, 40, -16},
        {"[Setting]\nPlayLoudness=off\n", 10, 5, 2, 100, std::nullopt},
        {"[Setting]\nPlaySpeed=40\nPlaySkip=0\nPlayRewind=-3\nPlayVolume=250\nPlayLoudness=3\n", 10,
         5, 2, 100, -23},
        {"[Setting]\nPlaySpeed=1.5\nPlaySkip=x\nPlayVolume=50%\nPlayLoudness=loud\n", 10, 5, 2, 100,
         -23},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TempHome home(false);
        if (*c.file) WriteText(SettingsFile(home), c.file);
        EXPECT_EQ(PlaySpeedTenths(), c.speed);
        EXPECT_EQ(PlaySkipSeconds(), c.skip);
        EXPECT_EQ(PlayRewindSeconds(), c.rewind);
        EXPECT_EQ(PlayVolume(), c.volume);
        EXPECT_EQ(PlayLoudness(), c.loudness);
    }
    TempHome home(false);
    EXPECT_TRUE(SetPlaySpeedTenths(7));
    EXPECT_TRUE(SetPlayVolume(30));
    EXPECT_TRUE(SetPlayLoudness(std::nullopt));
    EXPECT_EQ(PlaySpeedTenths(), 7);
    EXPECT_EQ(PlayVolume(), 30);
    EXPECT_EQ(PlayLoudness(), std::nullopt);
    EXPECT_TRUE(SetPlayLoudness(-20));
    EXPECT_EQ(PlayLoudness(), -20);
}

// Every key read by name has its accessor; a missing key (no file, or a file
// holding other keys only) gives the accessor's default.
TEST(Settings, EveryAccessorHasItsDefaultForAMissingKey) {
    auto text = [](auto f) { return [f] { return std::string(f()); }; };
    auto number = [](auto f) { return [f] { return std::to_string(f()); }; };
    struct Case {
        const char* key;
        std::function<std::string()> read;
        std::string missing;
    };
    const Case cases[] = {
        {"CodePage", text(CardCodePage), "CP1252"},
        {"DevType", number(DevType), "0"},
        {"Device", [] { return DeviceDisplayName(0); }, ""},
        {"Device2", [] { return DeviceDisplayName(1); }, ""},
        {"DeviceLibrary", text(DeviceLibraryPath), ""},
        {"Software", text(SoftwareName), ""},
        {"Company", text(CompanyName), ""},
        {"Address", text(CompanyAddress), ""},
        {"Tel", text(CompanyTel), ""},
        {"Fax", text(CompanyFax), ""},
        {"Mobile", text(CompanyMobile), ""},
        {"Web", text(CompanyWeb), ""},
        {"Email", text(CompanyEmail), ""},
        {"AutoBackup", number(AutoBackup), "0"},
        {"BackupPath", [] { return BackupPath().string(); }, ""},
        {"BackupDelFile", number(BackupMovesFiles), "0"},
        {"ExportPath", text(ExportPath), ""},
        {"ContactsFile", text(ContactsFile), ""},
        {"DateCond", number(SearchDateCond), "0"},
        {"NumCond", number(SearchNumberCond), "0"},
        {"SearchedNum", text(SearchedNumber), ""},
        {"WindowLeft", [] { return std::to_string(WindowLeft().value_or(-99)); }, "-99"},
        {"WindowTop", number(WindowTop), "-1"},
        {"WindowWidth", number(WindowWidth), "-1"},
        {"WindowHeight", number(WindowHeight), "-1"},
        {"WindowMaximized", number(WindowMaximized), "0"},
        {"TreeWidth", number(TreeWidth), "-1"},
        {"PlayerHeight", number(PlayerHeight), "-1"},
        {"ListWndColumn1", [] { return std::to_string(ListColumnWidth(0)); }, "-1"},
        {"ListWndColumn9", [] { return std::to_string(ListColumnWidth(8)); }, "-1"},
        {"PlaySkip", number(PlaySkipSeconds), "5"},
        {"PlayRewind", number(PlayRewindSeconds), "2"},
        {"PlayVolume", number(PlayVolume), "100"},
    };
    for (const char* file : {"", "[Setting]\nUnrelated=1\n[Other]\nDevType=1\nWeb=x\n"}) {
        TempHome home(false);
        if (*file) WriteText(SettingsFile(home), file);
        for (const auto& c : cases)
            EXPECT_EQ(c.read(), c.missing) << c.key << " in \"" << file << '"';
    }
    // Each accessor reads its own key.
    for (const auto& c : cases) {
        TempHome home(false);
        WriteText(SettingsFile(home), std::string("[Setting]\n") + c.key + "=1\n");
        EXPECT_NE(c.read(), c.missing) << c.key;
    }
}

// The setters write their key and say whether the file took it.
TEST(Settings, SettersWriteTheirKeyOrSayTheyCouldNot) {
    struct Case {
        const char* key;
        std::function<bool()> write;
        const char* stored;
    };
    const Case cases[] = {
        {"DevType", [] { return SetDevType(1); }, "1"},
        {"AutoBackup", [] { return SetAutoBackup(true); }, "1"},
        {"BackupPath", [] { return SetBackupPath("/media/st"); }, "/media/st"},
        {"BackupDelFile", [] { return SetBackupMovesFiles(true); }, "1"},
        {"ExportPath", [] { return SetExportPath("/home/u/out"); }, "/home/u/out"},
        {"ContactsFile", [] { return SetContactsFile("/home/u/a.vcf"); }, "/home/u/a.vcf"},
        {"DateCond", [] { return SetSearchDateCond(true); }, "1"},
        {"NumCond", [] { return SetSearchNumberCond(false); }, "0"},
        {"SearchedNum", [] { return SetSearchedNumber("555#"); }, "555#"},
        {"WindowLeft", [] { return SetWindowLeft(-8); }, "-8"},
        {"WindowTop", [] { return SetWindowTop(4); }, "4"},
        {"WindowWidth", [] { return SetWindowWidth(1180); }, "1180"},
        {"WindowHeight", [] { return SetWindowHeight(720); }, "720"},
        {"WindowMaximized", [] { return SetWindowMaximized(true); }, "1"},
        {"TreeWidth", [] { return SetTreeWidth(260); }, "260"},
        {"PlayerHeight", [] { return SetPlayerHeight(180); }, "180"},
        {"ListWndColumn3", [] { return SetListColumnWidth(2, 0); }, "0"},
    };
    for (const auto& c : cases) {
        TempHome home(false);
        EXPECT_TRUE(c.write()) << c.key;
        EXPECT_EQ(ReadSettingString(c.key), c.stored) << c.key;
    }
    // A folder where the settings file belongs cannot be replaced by a file.
    TempHome home(false);
    std::filesystem::create_directories(SettingsFile(home));
    for (const auto& c : cases)
        EXPECT_FALSE(c.write()) << c.key;
}

}  // namespace
}  // namespace lk
