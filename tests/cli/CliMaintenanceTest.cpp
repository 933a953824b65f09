#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "card/CallLog.h"
#include "support/RunCli.h"
#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::vector<std::uint8_t> CardLog(const std::vector<CardRecordFields>& records, int devType) {
    std::vector<std::uint8_t> log;
    for (const auto& f : records) {
        const auto raw = BuildCardRecord(f, devType);
        log.insert(log.end(), raw.begin(), raw.end());
    }
    return log;
}

CardRecordFields Call(int type, std::u16string number, int day, std::u16string rel) {
    CardRecordFields f;
    f.type = type;
    f.year = 2016;
    f.month = 1;
    f.day = day;
    f.hour = 10;
    f.minute = 20;
    f.number = std::move(number);
    f.relativePath = std::move(rel);
    return f;
}

TEST(CliImport, PrintsTheRecordsBuiltFromNames) {
    test::TempHome home;
    test::TempDir dir;
    test::WriteText(dir / "a/20160616123045-I-5551234.xtr", "");
    test::WriteText(dir / "a/20160616123045-X-1.wav", "");
    test::WriteText(dir / "book.vcf",
                    "BEGIN:VCARD\r\nFN:Ann\r\nTEL:+1 0555 1234\r\nTEL:005551234\r\nEND:VCARD\r\n");

    const auto run = test::RunCli(
        {"import", (dir / "a").string(), "--contacts", (dir / "book.vcf").string(), "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto rows = json::parse(run.out);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["type"], 2);
    EXPECT_EQ(rows[0]["time"], "2016-06-16 12:30:45");
    EXPECT_EQ(rows[0]["number"], "5551234");
    EXPECT_EQ(rows[0]["name"], "Ann");
    EXPECT_EQ(rows[0]["filePath"], (dir / "a/20160616123045-I-5551234.xtr").string());
    EXPECT_EQ(rows[0].size(), 12u);
}

TEST(CliRepair, AddsTheMissingRecordingsOnce) {
    test::TempHome home;
    test::TempDir card;
    test::WriteFile(card / "CallLog.dat",
                    CardLog({Call(Incoming, u"1", 2, u"201601\\20160102102000-I-1.wav")}, 0));
    test::WriteText(card / "201601/20160102102000-I-1.wav", "");
    test::WriteText(card / "201601/20160103102000-O-2.wav", "");

    auto run = test::RunCli({"repair", "--card", card.path().string(), "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(json::parse(run.out)["added"], 1);
    EXPECT_TRUE(fs::exists(card / "CallLog_BK.dat"));
    run = test::RunCli({"repair", "--card", card.path().string(), "--json"});
    EXPECT_EQ(json::parse(run.out)["added"], 0);
    EXPECT_EQ(fs::file_size(card / "CallLog.dat"), 256u);
}

TEST(CliSearch, FindsMatchesLastRecordFirst) {
    test::TempHome home;
    test::TempDir card;
    test::WriteFile(
        card / "CallLog.dat",
        CardLog({Call(Incoming, u"5551234", 2, u"201601\\20160102102000-I-5551234.wav"),
                 Call(Note, u"n555", 3, u"201601\\20160103102000-NOTE-n555.wav"),
                 Call(Triggered, u"x", 4, u"201601\\20160104102000-TRIG-x.wav"),
                 Call(Outgoing, u"0105559", 5, u"201601\\20160105102000-O-0105559.wav")},
                0));
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> numbers;
    } cases[] = {
        {{"--number", "555"}, {"0105559", "n555", "5551234"}},
        {{"--types", "5"}, {"x", "n555"}},
        {{"--types", "2,4"}, {"0105559", "5551234"}},
        {{"--from", "2016-01-03 10:20:00", "--to", "2016-01-04 10:20:00"}, {"x", "n555"}},
        {{"--from", "2016-01-04 10:20:00"}, {"0105559", "x"}},
        {{"--number", "555", "--types", "2"}, {"5551234"}},
        {{}, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"search", "--card", card.path().string(), "--json"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto run = test::RunCli(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        std::vector<std::string> numbers;
        for (const auto& row : json::parse(run.out))
            numbers.push_back(row["number"]);
        EXPECT_EQ(numbers, c.numbers) << (c.args.empty() ? "no condition" : c.args[0]);
    }
}

TEST(CliPhoneBook, EditsTheCardsPhoneBook) {
    test::TempHome home;
    test::TempDir card;
    const std::string dir = card.path().string();
    auto run = test::RunCli({"phonebook", "--card", dir, "add", "--name", std::string(40, 'N'),
                             "--number1", std::string(32, '1'), "--type", "2"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(test::RunCli({"phonebook", "add", "--card", dir, "--name", "Bob", "--number2", "55"})
                  .exitCode,
              0);
    ASSERT_EQ(test::RunCli({"phonebook", "--card", dir, "change", "--position", "1", "--type", "1"})
                  .exitCode,
              0);
    ASSERT_EQ(test::RunCli({"phonebook", "--card", dir, "delete", "--position", "0"}).exitCode, 0);
    EXPECT_EQ(test::RunCli({"phonebook", "--card", dir, "delete", "--position", "0"}).exitCode, 1);

    run = test::RunCli({"phonebook", "--card", dir, "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto rows = json::parse(run.out);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0],
              json({{"position", 1}, {"name", "Bob"}, {"numbers", {"", "55", ""}}, {"type", 1}}));

    // Cut widths: 34 name bytes, 29 number bytes.
    const auto bytes = test::ReadFile(card / "PhoneBook.dat");
    ASSERT_EQ(bytes.size(), 310u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[91])), std::string(34, 'N'));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[1])), std::string(29, '1'));
}

TEST(CliPhoneBook, RefusesTheFiftyFirstContact) {
    test::TempHome home;
    test::TempDir card;
    const std::string dir = card.path().string();
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(
            test::RunCli({"phonebook", "--card", dir, "add", "--name", "C" + std::to_string(i)})
                .exitCode,
            0);
    const auto run = test::RunCli({"phonebook", "--card", dir, "add", "--name", "Late"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(run.err.empty());
    EXPECT_EQ(fs::file_size(card / "PhoneBook.dat"), 50u * 155u);
}

TEST(CliContacts, ListsWhatTheLibraryDelivers) {
    test::TempDir dir;
    test::WriteText(dir / "b.vcf", "BEGIN:VCARD\nN:Doe;Jane\nTEL:1\nTEL:2\nEND:VCARD\n");
    const auto run = test::RunCli({"contacts", "--vcard", (dir / "b.vcf").string(), "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto rows = json::parse(run.out);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["name"], "Jane Doe");
    EXPECT_EQ(rows[0]["numbers"][1], "2");
    EXPECT_EQ(rows[0]["numbers"].size(), 7u);
}

TEST(CliMaintenance, ReportsBadArgumentsAndMissingInput) {
    test::TempHome home;
    test::TempDir dir;
    const std::string missing = (dir / "missing").string();
    const std::string here = dir.path().string();
    struct Case {
        std::vector<std::string> args;
        int exitCode;
    } cases[] = {
        {{"import", missing}, 1},
        {{"import"}, 2},
        {{"repair", "--card", missing}, 1},
        {{"repair"}, 2},
        {{"search", "--card", missing, "--number", "1"}, 1},
        {{"search", "--card", here, "--number", "1"}, 1},  // no CallLog.dat
        {{"search", "--store", here, "--family", "0", "--number", "1"}, 1},
        {{"search", "--store", here, "--number", "1"}, 2},
        {{"search", "--card", here, "--store", here}, 2},
        {{"search", "--card", here, "--from", "2016-13-01 00:00:00"}, 2},
        {{"search", "--card", here, "--types", "9"}, 2},
        {{"phonebook", "--card", here}, 1},  // no PhoneBook.dat
        {{"phonebook", "--card", missing, "add", "--name", "x"}, 1},
        {{"phonebook", "--card", here, "add", "--number1", "12a"}, 2},
        {{"phonebook", "--card", here, "add", "--type", "3"}, 2},
        {{"phonebook", "--card", here, "change"}, 2},
        {{"contacts", "--vcard", missing}, 1},
    };
    for (const auto& c : cases) {
        const auto run = test::RunCli(c.args);
        std::string joined;
        for (const auto& a : c.args)
            joined += a + " ";
        EXPECT_EQ(run.exitCode, c.exitCode) << joined << "\n" << run.err;
        if (run.exitCode != 0) {
            EXPECT_FALSE(run.err.empty()) << joined;
            EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << joined << ": one line expected";
        }
    }
}

}  // namespace
}  // namespace lk
