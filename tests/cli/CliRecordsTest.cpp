#include <gtest/gtest.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "card/BackupStore.h"
#include "card/CallLog.h"
#include "support/RunCli.h"
#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

CardRecordFields Fields(int type, std::u16string number, std::u16string rel) {
    CardRecordFields f;
    f.type = type;
    f.year = 2016;
    f.month = 1;
    f.day = 2;
    f.hour = 10;
    f.minute = 20;
    f.number = std::move(number);
    f.relativePath = std::move(rel);
    f.callSeconds = 75;
    f.recordSeconds = 70;
    return f;
}

void AppendTo(std::vector<std::uint8_t>& log, const std::vector<std::uint8_t>& rec) {
    log.insert(log.end(), rec.begin(), rec.end());
}

TEST(CliRecords, ListsLiveCardRecordsInFileOrder) {
    test::TempHome home;
    test::TempDir card;
    std::vector<std::uint8_t> log;
    AppendTo(log, BuildCardRecord(
                      Fields(Incoming, u"5551234", u"201601\\20160102102033-I-5551234.wav"), 0));
    auto dead = BuildCardRecord(Fields(Outgoing, u"1", u"201601\\20160102102034-O-1.wav"), 0);
    dead[0] = 0;
    AppendTo(log, dead);
    auto marked = Fields(Note, u"abc", u"201601\\20160102102035-NOTE-abc.wav");
    marked.mark = 1;
    AppendTo(log, BuildCardRecord(marked, 0));
    log.resize(log.size() + 50, 0xEE);  // a torn last record is ignored
    test::WriteFile(card / "CallLog.dat", log);

    const auto run = test::RunCli({"records", "--card", card.path().string(), "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto rows = json::parse(run.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["index"], 0);
    EXPECT_EQ(rows[0]["type"], 2);
    EXPECT_EQ(rows[0]["time"], "2016-01-02 10:20:33");
    EXPECT_EQ(rows[0]["number"], "5551234");
    EXPECT_EQ(rows[0]["callSeconds"], 75);
    EXPECT_EQ(rows[0]["recordSeconds"], 70);
    EXPECT_EQ(rows[0]["filePath"],
              (card.path() / "201601" / "20160102102033-I-5551234.wav").string());
    EXPECT_EQ(rows[0]["cardPath"].get<std::string>().substr(1),
              ":\\201601\\20160102102033-I-5551234.wav");
    EXPECT_EQ(rows[0]["remark"], "");
    EXPECT_EQ(rows[1]["index"], 2);
    EXPECT_EQ(rows[1]["marked"], 1);
    EXPECT_EQ(rows[1]["number"], "abc");
    for (const auto& key : {"index", "type", "status", "marked", "time", "number", "name",
                            "callSeconds", "recordSeconds", "cardPath", "filePath", "remark",
                            "note", "tags"})
        EXPECT_TRUE(rows[0].contains(key)) << key;
    EXPECT_EQ(rows[0].size(), 14u);
    EXPECT_TRUE(rows[0]["note"].is_null());
    EXPECT_EQ(rows[0]["tags"], json::array());
}

TEST(CliRecords, ReadsFamilyOneCardsWithRemarks) {
    test::TempHome home;
    test::TempDir card;
    test::WriteFile(card / "PhoneBook.dat", {});
    auto f = Fields(Outgoing, u"0123#", u"RECORD\\201601\\20160102102033-O-0123#.wav");
    f.remark = u"call back";
    test::WriteFile(card / "CallLog.dat", BuildCardRecord(f, 1));
    const auto run = test::RunCli({"records", "--card", card.path().string(), "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto rows = json::parse(run.out);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["number"], "0123#");
    EXPECT_EQ(rows[0]["remark"], "call back");

    const auto table = test::RunCli({"records", "--card", card.path().string()});
    ASSERT_EQ(table.exitCode, 0);
    EXPECT_NE(table.out.find("call back"), std::string::npos);
    EXPECT_NE(table.out.find("2016-01-02 10:20:33"), std::string::npos);
    // Lengths read as in the program's lists: 75 seconds of call, 70 recorded.
    EXPECT_NE(table.out.find("00:01:15"), std::string::npos);
    EXPECT_NE(table.out.find("00:01:10"), std::string::npos);
}

TEST(CliRecords, FillsCardNamesFromAnAddressBook) {
    test::TempHome home;
    test::TempDir card;
    std::vector<std::uint8_t> log;
    AppendTo(log, BuildCardRecord(
                      Fields(Incoming, u"004955512345#", u"201601\\20160102102033-I-1.wav"), 0));
    auto named = Fields(Outgoing, u"5512345", u"201601\\20160102102034-O-2.wav");
    named.name = u"On card";
    AppendTo(log, BuildCardRecord(named, 0));
    test::WriteFile(card / "CallLog.dat", log);
    test::WriteText(
        card / "book.vcf",
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann Example\r\nTEL;TYPE=work:+49 55 512345\r\n"
        "TEL:0012345\r\nEND:VCARD\r\n");

    const auto run = test::RunCli({"records", "--card", card.path().string(), "--contacts",
                                   (card / "book.vcf").string(), "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto rows = json::parse(run.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["name"], "Ann Example");
    EXPECT_EQ(rows[1]["name"], "On card");

    const auto missing = test::RunCli(
        {"records", "--card", card.path().string(), "--contacts", (card / "none.vcf").string()});
    EXPECT_EQ(missing.exitCode, 1);
}

TEST(CliRecords, ReadsAStoreMonthsAscendingAndCutsLongTexts) {
    test::TempHome home;
    test::TempDir store;
    auto record = [](int month, std::u16string number) {
        CallRecord r;
        r.cardBytes[0] = 1;
        r.inUse = 1;
        r.type = Incoming;
        r.time = SystemTime{2016, static_cast<std::uint16_t>(month), 0, 1, 8, 0, 0, 0};
        SetFieldText(r.number, number);
        SetFieldText(r.cardPath, u"E:\\x.wav");
        return r.ToBytes();
    };
    std::vector<std::uint8_t> feb, dec;
    const auto febImage = record(2, u"feb");
    AppendTo(feb, std::vector<std::uint8_t>(febImage.begin(), febImage.end()));
    const auto longNumber = std::u16string(40, u'9');
    const auto decImage = record(12, longNumber);
    AppendTo(dec, std::vector<std::uint8_t>(decImage.begin(), decImage.end()));
    auto deadImage = record(12, u"dead");
    deadImage[4] = 0;
    AppendTo(dec, std::vector<std::uint8_t>(deadImage.begin(), deadImage.end()));
    test::WriteFile(MonthIndexPath(store.path(), 0, 2016, 2), feb);
    test::WriteFile(MonthIndexPath(store.path(), 0, 2015, 12), dec);

    const auto run =
        test::RunCli({"records", "--store", store.path().string(), "--family", "0", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto rows = json::parse(run.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["number"], std::string(31, '9'));
    EXPECT_EQ(rows[1]["number"], "feb");
    EXPECT_EQ(rows[1]["index"], 0);

    const auto other =
        test::RunCli({"records", "--store", store.path().string(), "--family", "1", "--json"});
    ASSERT_EQ(other.exitCode, 0);
    EXPECT_EQ(json::parse(other.out).size(), 0u);
}

// The listing is written a record at a time; its text is exactly the whole
// array printed at once with an indent of two (what scripts compared before).
TEST(CliRecords, JsonTextIsTheWholeArrayPrintedWithIndentTwo) {
    test::TempHome home;
    test::TempDir one, several, empty;
    std::vector<std::uint8_t> log;
    AppendTo(log, BuildCardRecord(Fields(Incoming, u"5551234", u"201601\\a \"q\" \\b.wav"), 0));
    test::WriteFile(one / "CallLog.dat", log);
    for (int i = 0; i < 5; ++i)
        AppendTo(log, BuildCardRecord(Fields(i % 2 ? Outgoing : Note,
                                             u"00" + std::u16string(1, char16_t(u'0' + i)),
                                             u"201601\\20160102102033-I-x.wav"),
                                      0));
    test::WriteFile(several / "CallLog.dat", log);
    test::WriteFile(empty / "CallLog.dat", std::vector<std::uint8_t>(128, 0));
    const std::vector<std::vector<std::string>> commands{
        {"records", "--card", one.path().string(), "--json"},
        {"records", "--card", several.path().string(), "--json"},
        {"records", "--card", empty.path().string(), "--json"},
        {"search", "--card", several.path().string(), "--number", "00", "--json"},
        {"search", "--card", several.path().string(), "--number", "none", "--json"},
    };
    for (const auto& args : commands) {
        SCOPED_TRACE(args[0] + " " + args[2] + " " + args[args.size() - 2]);
        const auto run = test::RunCli(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        ASSERT_TRUE(json::accept(run.out)) << run.out;
        EXPECT_EQ(run.out, json::parse(run.out).dump(2) + "\n");
    }
}

TEST(CliRecords, ReportsBadArgumentsAndMissingInput) {
    test::TempHome home;
    test::TempDir empty;
    struct Case {
        std::vector<std::string> args;
        int exitCode;
    } cases[] = {
        {{"records"}, 2},
        {{"records", "--store", empty.path().string()}, 2},
        {{"records", "--card", "a", "--store", "b", "--family", "0"}, 2},
        {{"records", "--store", empty.path().string(), "--family", "3"}, 2},
        {{"nonsense"}, 2},
        {{"records", "--card", (empty / "missing").string()}, 1},
        {{"records", "--card", empty.path().string()}, 1},
        {{"records", "--store", (empty / "missing").string(), "--family", "0"}, 1},
    };
    for (const auto& c : cases) {
        const auto run = test::RunCli(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode)
            << c.args[0] << " " << (c.args.size() > 1 ? c.args[1] : "");
        EXPECT_FALSE(run.err.empty());
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
}

TEST(CliRecords, SurvivesGarbageLogs) {
    test::TempHome home;
    test::TempDir card;
    std::vector<std::uint8_t> garbage(128 * 40 + 7);
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<std::uint8_t>((i * 7919) % 251);
    for (std::size_t i = 0; i < garbage.size(); i += 128)
        garbage[i] = 1;
    test::WriteFile(card / "CallLog.dat", garbage);
    const auto run = test::RunCli({"records", "--card", card.path().string(), "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(json::accept(run.out));
}

}  // namespace
}  // namespace lk
