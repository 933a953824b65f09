#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "card/BackupStore.h"
#include "core/card/CardFixture.h"
#include "support/ReadOnlyTree.h"
#include "support/RunCli.h"

namespace lk {
namespace {
namespace fs = std::filesystem;
using nlohmann::json;
using test::RecordingSpec;

struct CliCard {
    test::TempHome home;
    test::TempDir dir;
    fs::path card = dir / "card";
    fs::path store = dir / "store";
};

std::vector<RecordingSpec> CardFiles() {
    RecordingSpec noFile(Missed, "20160215080000", "999");
    noFile.withFile = false;
    return {{Incoming, "20160214093000", "5551234"}, noFile, {Outgoing, "20160301093000", "2"}};
}

TEST(CliBackup, CopiesThenFindsEverythingHeld) {
    CliCard c;
    test::MakeCard(c.card, 0, CardFiles());
    auto run =
        test::RunCli({"backup", "--card", c.card.string(), "--store", c.store.string(), "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    auto out = json::parse(run.out);
    EXPECT_EQ(out["backedUp"], 3);
    EXPECT_EQ(out["skipped"], 0);
    EXPECT_EQ(out["failed"], 0);
    const fs::path copy =
        StoreRoot(c.store, 0) / "201602" / "20160214" / "20160214093000-I-5551234.wav";
    EXPECT_EQ(test::ReadFile(copy), test::RecordingBytes(CardFiles()[0]));
    EXPECT_EQ(fs::file_size(MonthIndexPath(c.store, 0, 2016, 2)), 2 * CallRecord::kSize);

    run =
        test::RunCli({"backup", "--card", c.card.string(), "--store", c.store.string(), "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    out = json::parse(run.out);
    EXPECT_EQ(out["backedUp"], 0);
    EXPECT_EQ(out["skipped"], 3);
}

TEST(CliBackup, MoveEmptiesAFamilyOneCard) {
    CliCard c;
    test::MakeCard(c.card, 1, CardFiles());
    const auto run = test::RunCli(
        {"backup", "--card", c.card.string(), "--store", c.store.string(), "--move", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto out = json::parse(run.out);
    EXPECT_EQ(out["backedUp"], 3);
    EXPECT_EQ(out["cardLogDeleted"], true);
    EXPECT_FALSE(fs::exists(c.card / "CallLog.dat"));
    EXPECT_FALSE(fs::exists(c.card / "RECORD" / "201602" / "20160214093000-I-5551234.wav"));
    EXPECT_TRUE(
        fs::exists(StoreRoot(c.store, 1) / "201602" / "20160214" / "20160214093000-I-5551234.wav"));
}

TEST(CliBackup, RejectsBadArgumentsAndMissingInput) {
    CliCard c;
    struct Case {
        std::vector<std::string> args;
        int exitCode;
    };
    test::WriteFile(c.dir / "not-a-card" / "x", {1});
    test::WriteFile(c.dir / "a-file", {1});
    test::MakeCard(c.card, 0, CardFiles());
    const Case cases[] = {
        {{"backup", "--store", c.store.string()}, 2},
        {{"backup", "--card", c.card.string()}, 2},
        {{"backup", "--card", c.card.string(), "--store", c.store.string(), "--bogus"}, 2},
        {{"backup", "--card", (c.dir / "missing").string(), "--store", c.store.string()}, 1},
        {{"backup", "--card", (c.dir / "not-a-card").string(), "--store", c.store.string()}, 1},
        {{"backup", "--card", c.card.string(), "--store", (c.dir / "a-file").string()}, 1},
        {{"rebuild"}, 2},
        {{"rebuild", "--card", (c.dir / "not-a-card").string()}, 1},
    };
    for (const auto& k : cases) {
        const auto run = test::RunCli(k.args);
        EXPECT_EQ(run.exitCode, k.exitCode) << k.args.back() << ": " << run.err;
        EXPECT_FALSE(run.err.empty());
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
}

TEST(CliRebuild, RebuildsOnlyALogWithoutAWholeRecord) {
    CliCard c;
    test::MakeCard(c.card, 0, CardFiles());
    auto run = test::RunCli({"rebuild", "--card", c.card.string(), "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(json::parse(run.out)["added"], 0);
    EXPECT_EQ(fs::file_size(c.card / "CallLog.dat"), 3 * 128u);

    test::WriteFile(c.card / "CallLog.dat", std::vector<std::uint8_t>(100, 1));
    run = test::RunCli({"rebuild", "--card", c.card.string(), "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(json::parse(run.out)["added"], 2);  // the two recording files
    // The torn bytes go, so that the new records lie on the record grid.
    EXPECT_EQ(fs::file_size(c.card / "CallLog.dat"), 2 * 128u);
}

// A failure is never reported as success: each command exits non-zero and
// says why.
TEST(CliHonesty, ACardThatCannotBeWrittenIsAFailureWithItsReason) {
    struct Case {
        const char* what;
        std::vector<std::string> args;  // after the command's --card
        bool emptyLog;
        const char* says;
    } cases[] = {
        {"move", {"backup", "--move"}, false, "the card could not be cleared"},
        {"rebuild", {"rebuild"}, true, "could not be added"},
        {"repair", {"repair"}, false, "copy was not saved"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        CliCard c;
        test::MakeCard(c.card, 0, CardFiles());
        if (k.emptyLog) test::WriteFile(c.card / "CallLog.dat", {});
        test::ReadOnlyTree readOnly(c.card);
        if (!readOnly.Holds()) GTEST_SKIP() << "this file system cannot be made read-only here";
        std::vector<std::string> args = {k.args[0], "--card", c.card.string()};
        args.insert(args.end(), k.args.begin() + 1, k.args.end());
        if (k.args[0] == "backup") {
            args.push_back("--store");
            args.push_back(c.store.string());
        }
        const auto run = test::RunCli(args);
        EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
        EXPECT_NE(run.err.find(k.says), std::string::npos) << run.err;
    }
}

TEST(CliHonesty, ExportWhereEveryFileFailsIsAFailure) {
    CliCard c;
    test::WriteFile(c.dir / "broken.xtr", std::vector<std::uint8_t>(10, 0));
    fs::create_directories(c.dir / "out");
    const auto run =
        test::RunCli({"export-wav", (c.dir / "broken.xtr").string(), (c.dir / "gone.xtr").string(),
                      "--to", (c.dir / "out").string()});
    EXPECT_EQ(run.exitCode, 1) << run.out;
    EXPECT_NE(run.err.find("no recording was exported"), std::string::npos) << run.err;
}

TEST(CliHonesty, ADemoCardsMissedCallsAreNoUnsafePaths) {
    CliCard c;
    ASSERT_EQ(test::RunCli({"demo-card", c.card.string()}).exitCode, 0);
    const auto run = test::RunCli({"repair", "--card", c.card.string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.find("outside the card"), std::string::npos) << run.out;
    EXPECT_EQ(run.out, "added 0\n");
}

TEST(CliHonesty, TwoCardsOfOneNameBothReachTheStore) {
    CliCard c;
    const std::vector<RecordingSpec> memo = {{Note, "20000101000012", ""}};
    test::MakeCard(c.card, 0, memo);
    const fs::path second = c.dir / "second";
    test::MakeCard(second, 0, memo);
    const fs::path name = fs::path("200001") / "20000101000012-NOTE-.wav";
    test::WriteFile(second / name, std::vector<std::uint8_t>(memo[0].fileBytes, 42));
    for (const auto& card : {c.card, second}) {
        const auto run = test::RunCli(
            {"backup", "--card", card.string(), "--store", c.store.string(), "--move", "--json"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(json::parse(run.out)["backedUp"], 1);
    }
    const fs::path day = StoreRoot(c.store, 0) / "200001" / "20000101";
    EXPECT_EQ(test::ReadFile(day / "20000101000012-NOTE-.wav"), test::RecordingBytes(memo[0]));
    EXPECT_EQ(test::ReadFile(day / "20000101000012-NOTE-_2.wav"),
              std::vector<std::uint8_t>(memo[0].fileBytes, 42));
}

}  // namespace
}  // namespace lk
