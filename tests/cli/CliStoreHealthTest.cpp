// The store health commands as a user runs them: verify (and repair),
// retention and erasure into the desktop's trash, and the audit trail that
// each of them leaves.

#include <gtest/gtest.h>

#include <cstdlib>

#include <nlohmann/json.hpp>

#include "card/BackupStore.h"
#include "core/card/CardFixture.h"
#include "support/RunCli.h"

namespace lk {
namespace {
namespace fs = std::filesystem;
using nlohmann::json;
using test::RecordingSpec;

// A store made by the backup command from a card, and a home trash of its own.
struct BackedUp {
    test::TempHome home;
    test::TempDir dir;
    fs::path card = dir / "card";
    fs::path store = dir / "store";
    std::vector<RecordingSpec> calls;

    explicit BackedUp(std::vector<RecordingSpec> recordings) : calls(std::move(recordings)) {
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        fs::create_directories(dir / "data");
        test::MakeCard(card, 0, calls);
        const auto run =
            test::RunCli({"backup", "--card", card.string(), "--store", store.string(), "--json"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
    }
    ~BackedUp() { ::unsetenv("XDG_DATA_HOME"); }

    fs::path Root() const { return StoreRoot(store, 0); }
    fs::path StoreFile(const RecordingSpec& s) const {
        return Root() / s.stamp.substr(0, 6) / s.stamp.substr(0, 8) / test::RecordingFileName(s);
    }
    fs::path Trashed(const RecordingSpec& s) const {
        return dir / "data/Trash/files" / test::RecordingFileName(s);
    }
    test::CliRun Run(std::vector<std::string> args) const {
        args.insert(args.begin() + 1, {"--store", store.string()});
        return test::RunCli(args);
    }
    std::vector<std::string> AuditActions() const {
        const auto run = test::RunCli({"audit", "--store", store.string(), "--json"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        std::vector<std::string> out;
        for (const auto& e : json::parse(run.out))
            out.push_back(e["action"]);
        return out;
    }
};

std::vector<RecordingSpec> Calls() {
    RecordingSpec marked{Incoming, "20160103100000", "5551234"};
    marked.mark = 1;
    return {{Incoming, "20160102100000", "555-1234"},
            marked,
            {Outgoing, "20160104100000", "777"},
            {Missed, "20160105100000", "5551234"}};
}

TEST(CliStoreHealth, VerifyExitsNonZeroOnlyWhileSomethingIsWrong) {
    BackedUp b(Calls());
    auto run = b.Run({"verify", "--family", "0"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("store is sound"), std::string::npos);

    // A flipped byte: named in the report, and no repair makes it go away.
    const fs::path victim = b.StoreFile(b.calls[2]);
    auto bytes = test::ReadFile(victim);
    bytes[100] ^= 1;
    test::WriteFile(victim, bytes);
    // An orphan, which repair adopts.
    test::WriteText(b.Root() / "201601/20160120/20160120100000-I-42.wav", "orphan");
    run = b.Run({"verify", "--family", "0", "--json"});
    EXPECT_EQ(run.exitCode, 1);
    auto report = json::parse(run.out);
    EXPECT_FALSE(report["clean"]);
    ASSERT_EQ(report["problems"].size(), 2u);
    EXPECT_EQ(report["problems"][0]["problem"], "checksum does not match");
    EXPECT_EQ(report["problems"][0]["file"],
              "201601/20160104/" + test::RecordingFileName(b.calls[2]));

    run = b.Run({"verify", "--family", "0", "--repair", "--json"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(json::parse(run.out)["adopted"], 1);
    test::WriteFile(victim, test::RecordingBytes(b.calls[2]));
    run = b.Run({"verify", "--family", "0"});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(b.AuditActions(), (std::vector<std::string>{"adopted", "wrote checksums"}));

    EXPECT_EQ(b.Run({"verify", "--family", "1"}).exitCode, 1);  // no such store
}

TEST(CliStoreHealth, RetentionListsFirstSparesMarkedCallsAndTrashesTheRest) {
    BackedUp b(Calls());
    // Applying what the user has not seen listed is refused.
    auto run = b.Run({"retention", "--family", "0", "--keep-days", "30", "--apply"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(fs::exists(b.StoreFile(b.calls[0])));

    run = b.Run({"retention", "--family", "0", "--keep-days", "30", "--types", "incoming,missed",
                 "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    auto listed = json::parse(run.out);
    ASSERT_EQ(listed["listed"], 2);  // the marked call and the outgoing one stay
    EXPECT_EQ(listed["calls"][0]["file"], "201601/20160102/" + test::RecordingFileName(b.calls[0]));
    EXPECT_TRUE(fs::exists(b.StoreFile(b.calls[0])));  // listing moves nothing

    run = b.Run({"retention", "--family", "0", "--keep-days", "30", "--types", "incoming,missed",
                 "--apply", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(json::parse(run.out)["taken"], 2);
    EXPECT_FALSE(fs::exists(b.StoreFile(b.calls[0])));
    EXPECT_EQ(test::ReadFile(b.Trashed(b.calls[0])), test::RecordingBytes(b.calls[0]));
    const std::string info = test::ReadText(b.dir / "data/Trash/info" /
                                            (test::RecordingFileName(b.calls[0]) + ".trashinfo"));
    EXPECT_NE(info.find("[Trash Info]\nPath=" + b.StoreFile(b.calls[0]).string()),
              std::string::npos)
        << info;
    EXPECT_NE(info.find("DeletionDate=20"), std::string::npos);
    EXPECT_TRUE(fs::exists(b.StoreFile(b.calls[1])));
    EXPECT_TRUE(fs::exists(b.StoreFile(b.calls[2])));

    // The store stays sound, and the listing lists nothing more.
    EXPECT_EQ(b.Run({"verify", "--family", "0"}).exitCode, 0);
    run = b.Run({"retention", "--family", "0", "--keep-days", "30", "--types", "incoming,missed",
                 "--json"});
    EXPECT_EQ(json::parse(run.out)["listed"], 0);
    const auto actions = b.AuditActions();
    EXPECT_EQ(std::count(actions.begin(), actions.end(), "retention"), 2);
    EXPECT_EQ(std::count(actions.begin(), actions.end(), "retention listed"), 2);
}

TEST(CliStoreHealth, EraseTakesEveryCallOfOneNumberWhateverItsSpelling) {
    BackedUp b(Calls());
    auto run = b.Run({"erase", "--family", "0", "--number", "+555 1234", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(json::parse(run.out)["listed"], 3);  // marked or not, missed or not
    run = b.Run({"erase", "--family", "0", "--number", "+555 1234", "--apply", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(json::parse(run.out)["taken"], 3);
    EXPECT_FALSE(fs::exists(b.StoreFile(b.calls[0])));
    EXPECT_FALSE(fs::exists(b.StoreFile(b.calls[1])));
    EXPECT_TRUE(fs::exists(b.StoreFile(b.calls[2])));
    const auto actions = b.AuditActions();
    EXPECT_EQ(std::count(actions.begin(), actions.end(), "erased"), 3);
    EXPECT_EQ(b.Run({"verify", "--family", "0"}).exitCode, 0);
}

TEST(CliStoreHealth, EraseWithACardTakesTheCardsCallsOfTheNumberToo) {
    BackedUp b(Calls());
    const std::string card = b.card.string();
    auto run = b.Run({"erase", "--family", "0", "--card", card, "--number", "5551234", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(json::parse(run.out)["listed"], 6);  // three in the store, three on the card
    EXPECT_TRUE(fs::exists(b.card / test::RecordingRelative(b.calls[0], 0)));

    run = b.Run(
        {"erase", "--family", "0", "--card", card, "--number", "5551234", "--apply", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(json::parse(run.out)["taken"], 6);
    EXPECT_FALSE(fs::exists(b.card / test::RecordingRelative(b.calls[0], 0)));
    EXPECT_TRUE(fs::exists(b.card / test::RecordingRelative(b.calls[2], 0)));
    const auto log = test::ReadFile(b.card / kCallLogFileName);
    ASSERT_EQ(log.size(), 4u * 128u);
    EXPECT_EQ(log[0 * 128], 0);  // cleared in place
    EXPECT_EQ(log[1 * 128], 0);
    EXPECT_EQ(log[2 * 128], 1);
    EXPECT_EQ(log[3 * 128], 0);
    // The card's and the store's copies of one call, both in the trash.
    EXPECT_TRUE(fs::exists(b.Trashed(b.calls[0])));
    const auto actions = b.AuditActions();
    EXPECT_EQ(std::count(actions.begin(), actions.end(), "erased"), 6);
}

TEST(CliStoreHealth, WithoutAUsableTrashNothingIsTakenOut) {
    BackedUp b(Calls());
    // The home trash's folder cannot be made: its parent is a plain file.
    fs::remove_all(b.dir / "data");
    test::WriteText(b.dir / "data", "not a folder");
    auto run = b.Run({"erase", "--family", "0", "--number", "777"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    run = b.Run({"erase", "--family", "0", "--number", "777", "--apply"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("nothing was moved"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::exists(b.StoreFile(b.calls[2])));
    EXPECT_EQ(b.Run({"verify", "--family", "0"}).exitCode, 0);  // its entry still lives
}

TEST(CliStoreHealth, RetentionAfterBackupTakesOnlyWhatTheConfirmedRuleListed) {
    BackedUp b(Calls());
    auto backup = [&b] {
        return test::RunCli({"backup", "--card", b.card.string(), "--store", b.store.string(),
                             "--apply-retention", "--json"});
    };
    const std::vector<std::string> missedOnly = {"retention", "--family", "0",     "--keep-months",
                                                 "1",         "--types",  "missed"};
    auto with = [](std::vector<std::string> args, std::vector<std::string> more) {
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    // Off, and a rule not yet listed cannot be turned on.
    EXPECT_EQ(backup().exitCode, 1);
    EXPECT_EQ(b.Run(with(missedOnly, {"--after-backup", "on"})).exitCode, 1);
    ASSERT_EQ(b.Run(missedOnly).exitCode, 0);
    auto run = b.Run(with(missedOnly, {"--after-backup", "on"}));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // A wider rule listed afterwards is remembered, but does not run by itself.
    ASSERT_EQ(b.Run({"retention", "--family", "0", "--keep-days", "30"}).exitCode, 0);

    run = backup();
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(json::parse(run.out)["retention"]["taken"], 1);
    EXPECT_FALSE(fs::exists(b.StoreFile(b.calls[3])));  // the missed call
    EXPECT_TRUE(fs::exists(b.Trashed(b.calls[3])));
    for (const int kept : {0, 1, 2})
        EXPECT_TRUE(fs::exists(b.StoreFile(b.calls[kept]))) << kept;

    // A confirmed rule changed behind the user's back takes nothing.
    const fs::path ruleFile = b.Root() / "LineKeeperRetention.json";
    auto rule = json::parse(test::ReadText(ruleFile));
    rule["confirmed"]["types"] = json::array();
    test::WriteText(ruleFile, rule.dump());
    run = backup();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("not the one confirmed"), std::string::npos) << run.err;
    for (const int kept : {0, 1, 2})
        EXPECT_TRUE(fs::exists(b.StoreFile(b.calls[kept]))) << kept;

    // Each run after a backup is in the trail, the one that took nothing too.
    const auto trail = json::parse(b.Run({"audit", "--json"}).out);
    std::vector<std::string> runs;
    for (const auto& e : trail)
        if (e["action"] == "retention after backup") runs.push_back(e["detail"]);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0], "keep 1 months, types missed: 1 moved to trash, 0 failed");
    EXPECT_NE(runs[1].find("0 moved to trash"), std::string::npos) << runs[1];
    // Turned off, a backup asked to apply it says so and takes nothing.
    ASSERT_EQ(b.Run({"retention", "--family", "0", "--after-backup", "off"}).exitCode, 0);
    EXPECT_EQ(backup().exitCode, 1);
}

TEST(CliStoreHealth, ExportsAndMailsOfAStoresCallsAreAuditedAndAFailedLogIsNoSilentSuccess) {
    BackedUp b(Calls());
    const fs::path sheet = b.dir / "calls.csv";
    const fs::path eml = b.dir / "mail.eml";
    auto run = b.Run({"export-sheet", "--family", "0", "-o", sheet.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    run = b.Run({"mail", "--family", "0", test::RecordingFileName(b.calls[2]), "--as-recorded",
                 "--eml", eml.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto trail = json::parse(b.Run({"audit", "--json"}).out);
    ASSERT_EQ(trail.size(), 2u);
    EXPECT_EQ(trail[0]["action"], "exported sheet");
    EXPECT_EQ(trail[0]["file"], sheet.string());
    EXPECT_EQ(trail[0]["detail"], "4 calls, page 1");
    EXPECT_EQ(trail[1]["action"], "mailed");
    EXPECT_EQ(trail[1]["file"], b.StoreFile(b.calls[2]).string());
    EXPECT_EQ(trail[1]["detail"], "draft " + eml.string() + ", 1 attachments");
    for (const char* key : {"time", "user", "host"})
        EXPECT_FALSE(trail[1][key].get<std::string>().empty()) << key;

    // The trail cannot be written: the export is done and the command says
    // it went unlogged.
    fs::rename(b.store / "LineKeeperAudit.jsonl", b.dir / "saved.jsonl");
    fs::create_directory(b.store / "LineKeeperAudit.jsonl");
    fs::remove(sheet);
    run = b.Run({"export-sheet", "--family", "0", "-o", sheet.string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("not logged"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::exists(sheet));
}

}  // namespace
}  // namespace lk
