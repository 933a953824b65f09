#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "card/CallLog.h"
#include "export/WavHeaders.h"
#include "platform/TextCodec.h"
#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;

CardVolume Card(const fs::path& root) {
    return CardVolume{'E', root};
}

std::vector<std::uint8_t> Raw128(int type, std::vector<std::uint8_t> numberBytes,
                                 const std::string& path, int minute = 20) {
    std::vector<std::uint8_t> raw(128, 0);
    raw[card128::kInUse] = 1;
    raw[card128::kType] = static_cast<std::uint8_t>(type);
    raw[card128::kStatus] = 1;
    raw[card128::kYear] = 16;
    raw[card128::kMonth] = 1;
    raw[card128::kDay] = 2;
    raw[card128::kHour] = 10;
    raw[card128::kMinute] = static_cast<std::uint8_t>(minute);
    raw[card128::kNumberLength] = static_cast<std::uint8_t>(numberBytes.size());
    for (std::size_t i = 0; i < numberBytes.size(); ++i)
        raw[card128::kNumber + i] = numberBytes[i];
    for (std::size_t i = 0; i < path.size(); ++i)
        raw[card128::kPath + i] = static_cast<std::uint8_t>(path[i]);
    return raw;
}

TEST(ParseCardRecord128, DecodesNumbersByType) {
    struct Case {
        const char* what;
        int type;
        std::vector<std::uint8_t> bytes;
        std::u16string expected;
    } cases[] = {
        {"dial digits", Incoming, {0, 1, 10, 11, 12}, u"01*#A"},
        {"code above 15 is a star", Outgoing, {20}, u"*"},
        {"all letters", Missed, {13, 14, 15}, u"BCD"},
        {"notes keep characters", Note, {'A', 'B', 'C'}, u"ABC"},
        {"second note kind keeps characters", Note2, {'x', '1'}, u"x1"},
        {"triggered keeps characters", Triggered, {'7'}, u"7"},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        CallRecord r;
        ASSERT_TRUE(ParseCardRecord128(Raw128(c.type, c.bytes, "201601\\20160102102033-I-1.wav"), r,
                                       Card(dir.path()), {}))
            << c.what;
        EXPECT_EQ(FieldText(r.number), c.expected) << c.what;
    }
}

TEST(ParseCardRecord128, TakesSecondsFromTheFileNameButNeverZeros) {
    struct Case {
        int headerMinute;
        std::string path;
        SystemTime expected;
    } cases[] = {
        {20, "201601\\20160102102033-I-123.wav", {2016, 1, 0, 2, 10, 20, 33, 0}},
        {20, "201601\\20160102100000-I-123.wav", {2016, 1, 0, 2, 10, 20, 0, 0}},
        {20, "201601\\20160103112233-I-123.wav", {2016, 1, 0, 3, 11, 22, 33, 0}},
        {20, "short.wav", {2016, 1, 0, 2, 10, 20, 0, 0}},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        CallRecord r;
        ASSERT_TRUE(ParseCardRecord128(Raw128(Incoming, {1}, c.path, c.headerMinute), r,
                                       Card(dir.path()), {}));
        EXPECT_EQ(r.time, c.expected) << c.path;
    }
}

TEST(ParseCardRecord128, FillsPathsAndCopiesTheCardBytes) {
    test::TempDir dir;
    auto raw = Raw128(Incoming, {5, 5, 5}, "201601\\20160102102033-I-555.wav");
    raw[card128::kMark] = 1;
    raw[card128::kNameLength] = 3;
    raw[card128::kName] = 'B', raw[card128::kName + 1] = 'o', raw[card128::kName + 2] = 'b';
    raw[card128::kCallDuration] = 1, raw[card128::kCallDuration + 1] = 2,
    raw[card128::kCallDuration + 2] = 3;
    raw[card128::kRecordedLength + 2] = 59;
    CallRecord r;
    ASSERT_TRUE(ParseCardRecord128(raw, r, Card(dir.path()), {}));
    EXPECT_EQ(FieldText(r.cardPath), u"E:\\201601\\20160102102033-I-555.wav");
    EXPECT_EQ(ToUtf8(FieldText(r.filePath)),
              (dir.path() / "201601" / "20160102102033-I-555.wav").string());
    EXPECT_EQ(r.marked, 1);
    EXPECT_EQ(r.cardBytes[3], 1);
    EXPECT_EQ(FieldText(r.name), u"Bob");
    EXPECT_EQ(r.callSeconds, 3723);
    EXPECT_EQ(r.recordSeconds, 59);
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), r.cardBytes.begin()));
}

TEST(ParseCardRecord, RefusesDeadRecordsAndPathsLeavingTheCard) {
    test::TempDir dir;
    struct Case {
        const char* what;
        std::uint8_t inUse;
        std::string path;
        bool ok;
    } cases[] = {
        {"live", 1, "201601\\20160102102033-I-1.wav", true},
        {"deleted", 0, "201601\\20160102102033-I-1.wav", false},
        {"in-use byte 2", 2, "201601\\20160102102033-I-1.wav", false},
        {"parent folders", 1, "..\\..\\x.wav", false},
        {"absolute", 1, "/etc/passwd", false},
        {"other drive", 1, "C:\\x.wav", false},
        {"no recording", 1, "", true},
    };
    for (const auto& c : cases) {
        auto raw = Raw128(Missed, {1}, c.path);
        raw[0] = c.inUse;
        CallRecord r;
        EXPECT_EQ(ParseCardRecord128(raw, r, Card(dir.path()), {}), c.ok) << c.what;
    }
    CallRecord r;
    EXPECT_FALSE(ParseCardRecord128(std::vector<std::uint8_t>(100, 1), r, Card(dir.path()), {}));
    EXPECT_FALSE(ParseCardRecord256(std::vector<std::uint8_t>(255, 1), r, Card(dir.path()), {}));
}

TEST(ParseCardRecord256, ReadsPlainNumbersRemarkAndTimestamp) {
    test::TempDir dir;
    std::vector<std::uint8_t> raw(256, 0);
    raw[card256::kInUse] = 1;
    raw[card256::kType] = Outgoing;
    raw[card256::kStatus] = 1;
    raw[card256::kMark] = 1;
    raw[card256::kExtra] = 9;
    raw[card256::kYear] = 16, raw[card256::kMonth] = 2, raw[card256::kDay] = 14;
    raw[card256::kHour] = 9, raw[card256::kMinute] = 30;
    const std::string number = "5551234#";
    raw[card256::kNumberLength] = static_cast<std::uint8_t>(number.size());
    std::copy(number.begin(), number.end(), raw.begin() + card256::kNumber);
    const std::string path = "RECORD\\201602\\20160214093045-O-5551234.wav";
    std::copy(path.begin(), path.end(), raw.begin() + card256::kPath);
    const std::string remark = "call back";
    std::copy(remark.begin(), remark.end(), raw.begin() + card256::kRemark);

    CallRecord r;
    ASSERT_TRUE(ParseCardRecord256(raw, r, Card(dir.path()), {}));
    EXPECT_EQ(FieldText(r.number), u"5551234#");
    EXPECT_EQ(r.time, (SystemTime{2016, 2, 0, 14, 9, 30, 45, 0}));
    EXPECT_EQ(r.cardBytes[4], 9);
    EXPECT_EQ(std::string(r.cardBytes.begin() + 5, r.cardBytes.begin() + 8), "RM:");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.cardBytes.data() + 8)), remark);
    EXPECT_EQ(FieldText(r.cardPath), u"E:\\RECORD\\201602\\20160214093045-O-5551234.wav");
    EXPECT_EQ(r.marked, 1);
}

OutlookContact Contact(std::u16string name, std::vector<std::u16string> numbers) {
    OutlookContact c;
    SetFieldText(c.displayName, name);
    for (std::size_t i = 0; i < numbers.size(); ++i)
        SetFieldText(c.numbers[i], numbers[i]);
    return c;
}

TEST(MatchContactName, FollowsTheNumberRules) {
    struct Case {
        const char* what;
        std::u16string number;
        bool family0;
        ContactList contacts;
        std::u16string expected;
    } cases[] = {
        {"last six digits", u"0045551234", false, {Contact(u"Ann", {u"99551234"})}, u"Ann"},
        {"trailing hash removed on family 0",
         u"12345678#",
         true,
         {Contact(u"Ann", {u"0045678"})},
         u""},
        {"trailing hash removed then matches",
         u"1234567#",
         true,
         {Contact(u"Ann", {u"xx234567"})},
         u"Ann"},
        {"trailing hash kept on family 1",
         u"1234567#",
         false,
         {Contact(u"Ann", {u"xx234567"})},
         u""},
        {"later contact wins",
         u"5551234",
         false,
         {Contact(u"A", {u"", u"0551234"}), Contact(u"B", {u"551234"})},
         u"B"},
        {"second number only while unnamed",
         u"5551234",
         false,
         {Contact(u"A", {u"551234"}), Contact(u"B", {u"1", u"551234"})},
         u"A"},
        {"contact numbers shorter than six never match",
         u"1234567",
         false,
         {Contact(u"A", {u"34567"})},
         u""},
        {"short numbers compare exactly",
         u"1234",
         false,
         {Contact(u"A", {u"", u"", u"1234"})},
         u"A"},
        {"short numbers need equality", u"1234", false, {Contact(u"A", {u"01234"})}, u""},
        {"long display name cut to 63",
         u"77",
         false,
         {Contact(std::u16string(100, u'n'), {u"77"})},
         std::u16string(63, u'n')},
    };
    for (const auto& c : cases) {
        CallRecord r;
        SetFieldText(r.number, c.number);
        MatchContactName(r, c.contacts, c.family0);
        EXPECT_EQ(FieldText(r.name), c.expected) << c.what;
        EXPECT_EQ(FieldText(r.number), c.number) << c.what;
    }
}

TEST(MatchContactName, KeepsAnExistingName) {
    CallRecord r;
    SetFieldText(r.number, u"5551234");
    SetFieldText(r.name, u"Card name");
    MatchContactName(r, {Contact(u"Other", {u"5551234"})}, false);
    EXPECT_EQ(FieldText(r.name), u"Card name");
}

struct AppendCase {
    const char* name;
    int devType;
    bool accepted;
    int type;
    std::u16string number;
};

TEST(AppendLogRecordFromFile, AcceptsOnlyWellFormedNamesAndReadsThemBack) {
    const AppendCase cases[] = {
        {"20160101120000-I-123.wav", 0, true, Incoming, u"123"},
        {"20160101120000-O-*#ABCD.xtr", 0, true, Outgoing, u"*#ABCD"},
        {"20160101120000-NOTE-.wav", 0, true, Note, u""},
        {"20160101120000-NOTE-abc.wav", 0, true, Note, u"abc"},
        {"20160101120000-TRIG-x9.wav", 0, true, Triggered, u"x9"},
        {"20160101120000-N-7.wav", 1, true, Note, u"7"},
        {"20160101120000-I-12#x.wav", 1, true, Incoming, u"12#x"},
        {"20161301120000-I-123.wav", 0, false, 0, u""},
        {"20160132120000-I-123.wav", 0, false, 0, u""},
        {"20160101240000-I-123.wav", 0, false, 0, u""},
        {"19990101120000-I-123.wav", 0, false, 0, u""},
        {"20160101120000-X-123.wav", 0, false, 0, u""},
        {"20160101120000--123.wav", 0, false, 0, u""},
        {"20160101120000-INCOM-1.wav", 0, false, 0, u""},
        {"20160101120000_I-123.wav", 0, false, 0, u""},
        {"20160101120000-I-123", 0, false, 0, u""},
        {"2016010112-I-1.wav", 0, false, 0, u""},
        {"20160101120000-I-1234567890123456789012345678901.wav", 0, false, 0, u""},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        const auto card = Card(dir.path());
        EXPECT_EQ(AppendLogRecordFromFile(card, c.name, c.devType), c.accepted) << c.name;
        const auto log = test::ReadFile(dir.path() / kCallLogFileName);
        if (!c.accepted) {
            EXPECT_TRUE(log.empty()) << c.name;
            continue;
        }
        ASSERT_EQ(log.size(), static_cast<std::size_t>(RecordSize(c.devType, true))) << c.name;
        CallRecord r;
        const bool parsed = c.devType == 1 ? ParseCardRecord256(log, r, card, {})
                                           : ParseCardRecord128(log, r, card, {});
        ASSERT_TRUE(parsed) << c.name;
        EXPECT_EQ(r.type, c.type) << c.name;
        EXPECT_EQ(FieldText(r.number), c.number) << c.name;
        EXPECT_EQ(r.time.second, 0) << c.name;
        EXPECT_EQ(r.status, 1) << c.name;
        const std::u16string prefix = c.devType == 1 ? u"E:\\RECORD\\201601\\" : u"E:\\201601\\";
        EXPECT_EQ(FieldText(r.cardPath), prefix + FromUtf8(c.name)) << c.name;
    }
}

TEST(AppendLogRecordFromFile, StoresTheRecordingLengthAndAppends) {
    test::TempDir dir;
    const auto card = Card(dir.path());
    // A WAV recording of 60 + 2 * 4096 + 1 bytes is 2 seconds rounded down by this rule.
    std::vector<std::uint8_t> wav(60 + 8193);
    const auto header = ImaAdpcmWavHeader(0, 0);  // the recorder's header
    std::copy(header.begin(), header.end(), wav.begin());
    test::WriteFile(dir.path() / "201601" / "20160101120000-I-1.wav", wav);
    ASSERT_TRUE(AppendLogRecordFromFile(card, "20160101120000-I-1.wav", 0));
    ASSERT_TRUE(AppendLogRecordFromFile(card, "20160101120001-O-2.wav", 0));
    const auto log = test::ReadFile(dir.path() / kCallLogFileName);
    ASSERT_EQ(log.size(), 256u);
    CallRecord r;
    ASSERT_TRUE(ParseCardRecord128(log, r, card, {}));
    EXPECT_EQ(r.callSeconds, 2);
    EXPECT_EQ(r.recordSeconds, 2);
    EXPECT_EQ(r.time, (SystemTime{2016, 1, 0, 1, 12, 0, 0, 0}));
}

TEST(RecordSize, FollowsTheFamilyOnTheCardAndIsFixedInTheStore) {
    EXPECT_EQ(RecordSize(0, true), 128);
    EXPECT_EQ(RecordSize(1, true), 256);
    EXPECT_EQ(RecordSize(1, false), 1076);
}

TEST(CardLogWriters, ChangeOnlyTheOneByte) {
    for (int devType : {0, 1}) {
        test::TempDir dir;
        const auto card = Card(dir.path());
        const std::size_t size = static_cast<std::size_t>(RecordSize(devType, true));
        std::vector<std::uint8_t> log;
        for (int i = 0; i < 10; ++i) {
            auto rec = BuildCardRecord({}, devType);
            log.insert(log.end(), rec.begin(), rec.end());
        }
        test::WriteFile(dir.path() / kCallLogFileName, log);

        ASSERT_TRUE(ClearCardLogEntry(card, devType, 9));
        ASSERT_TRUE(WriteCardMark(card, devType, 3, 1));
        EXPECT_FALSE(ClearCardLogEntry(card, devType, 10));
        EXPECT_FALSE(ClearCardLogEntry(card, devType, -1));
        EXPECT_FALSE(WriteCardMark(card, devType, 10, 1));

        auto expected = log;
        expected[9 * size] = 0;
        expected[3 * size + 3] = 1;
        EXPECT_EQ(test::ReadFile(dir.path() / kCallLogFileName), expected) << devType;
    }
}

TEST(CardLogWriters, RefuseMissingAndEmptyLogs) {
    test::TempDir dir;
    const auto card = Card(dir.path());
    EXPECT_FALSE(ClearCardLogEntry(card, 0, 0));
    test::WriteFile(dir.path() / kCallLogFileName, std::vector<std::uint8_t>(127, 1));
    EXPECT_FALSE(ClearCardLogEntry(card, 0, 0));
    EXPECT_EQ(test::ReadFile(dir.path() / kCallLogFileName), std::vector<std::uint8_t>(127, 1));
}

}  // namespace
}  // namespace lk
