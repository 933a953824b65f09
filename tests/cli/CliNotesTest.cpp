#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include "app/Settings.h"
#include "card/BackupStore.h"
#include "core/card/CardFixture.h"
#include "notes/CallNotes.h"
#include "support/RunCli.h"
#include "support/TempDir.h"

namespace lk {
namespace {
namespace fs = std::filesystem;
using nlohmann::json;
using test::RecordingSpec;

const RecordingSpec kCall{Incoming, "20160214093000", "5551234"};
const RecordingSpec kOther{Outgoing, "20160301093000", "2"};

// A card whose chosen backup store is `store`: notes written on the card go
// to the store's database.
struct NotedCard {
    test::TempHome home;
    test::TempDir dir;
    fs::path card = dir / "card";
    fs::path store = dir / "store";
    NotedCard() {
        test::MakeCard(card, 0, {kCall, kOther});
        EXPECT_TRUE(SetBackupPath(store.string()));
    }
    std::vector<std::string> Card(std::vector<std::string> args) const {
        args.insert(args.begin() + 1, {"--card", card.string()});
        return args;
    }
    std::vector<std::string> Store(std::vector<std::string> args) const {
        args.insert(args.begin() + 1, {"--store", store.string(), "--family", "0"});
        return args;
    }
    fs::path Database() const { return StoreRoot(store, 0) / kNotesFileName; }
};

// The shell runs the CLI where a test needs standard input or several at once.
int Shell(const std::string& script) {
    const std::string cli = (test::BinDir() / "linekeeper-cli").string();
    const std::string text = "CLI='" + cli + "'\n" + script;
    return std::system(("sh -c '" +
                        [&] {
                            std::string quoted;
                            for (char c : text)
                                quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
                            return quoted;
                        }() +
                        "'")
                           .c_str());
}

json RecordsJson(const std::vector<std::string>& args) {
    const auto run = test::RunCli(args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return json::parse(run.out, nullptr, false);
}

const json* RecordOf(const json& list, const std::string& name) {
    for (const auto& r : list)
        if (r["filePath"].get<std::string>().ends_with(name)) return &r;
    return nullptr;
}

TEST(CliNotes, NoteAndTagsFollowTheRecordingIntoTheStore) {
    const std::string name = test::RecordingFileName(kCall);
    const std::string note = "Rückruf zugesagt, Ölpreis\nzweite Zeile — 価格";
    for (const bool move : {false, true}) {
        SCOPED_TRACE(move ? "move" : "copy");
        NotedCard c;
        auto run = test::RunCli(c.Card({"note", "--file", name, "--set", note}));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, note + "\n");
        run = test::RunCli(c.Card({"tag", "--file", name, "--add", "order", "--add", "Done ✓"}));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, "Done ✓\norder\n");

        std::vector<std::string> backup = {"backup", "--card", c.card.string(), "--store",
                                           c.store.string()};
        if (move) backup.push_back("--move");
        run = test::RunCli(backup);
        ASSERT_EQ(run.exitCode, 0) << run.err;

        // Every command is a new process: the note is read back from the file.
        run = test::RunCli(c.Store({"note", "--file", name}));
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, note + "\n");
        run = test::RunCli(c.Store({"tag", "--file", name, "--remove", "order"}));
        EXPECT_EQ(run.out, "Done ✓\n") << run.err;

        const json list = RecordsJson(c.Store({"records", "--json"}));
        ASSERT_EQ(list.size(), 2u) << list.dump();
        const json* noted = RecordOf(list, name);
        const json* plain = RecordOf(list, test::RecordingFileName(kOther));
        ASSERT_TRUE(noted && plain);
        EXPECT_EQ((*noted)["note"], note);
        EXPECT_EQ((*noted)["tags"], json::array({"Done ✓"}));
        EXPECT_TRUE((*plain)["note"].is_null());
        EXPECT_EQ((*plain)["tags"], json::array());
        // A copy leaves the card's record, which still finds its note.
        if (!move) {
            const json card = RecordsJson(c.Card({"records", "--json"}));
            ASSERT_TRUE(RecordOf(card, name));
            EXPECT_EQ((*RecordOf(card, name))["note"], note);
        }
    }
}

TEST(CliNotes, CommandContract) {
    NotedCard c;
    const std::string name = test::RecordingFileName(kCall);
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int exitCode;
        std::string out;
        std::string errHas;
    } const cases[] = {
        {"no such recording", {"note", "--file", "nosuch.wav"}, 1, "", "nosuch.wav"},
        {"a folder is no name", {"tag", "--file", "201602/" + name}, 1, "", "no record"},
        {"no note yet", {"note", "--file", name}, 0, "", ""},
        {"control character", {"note", "--file", name, "--set", "a\x07z"}, 1, "", "U+0007"},
        {"escape in a tag", {"tag", "--file", name, "--add", "x\x1b[31m"}, 1, "", "U+001B"},
        {"comma in a tag", {"tag", "--file", name, "--add", "a,b"}, 1, "", "comma"},
        {"blank tag", {"tag", "--file", name, "--add", "  "}, 1, "", "empty"},
        {"not UTF-8", {"note", "--file", name, "--set", "caf\xe9"}, 1, "", "UTF-8"},
        {"CR LF made LF", {"note", "--file", name, "--set", "a\r\nb\tc"}, 0, "a\nb\tc\n", ""},
        {"tags trimmed, twice is once",
         {"tag", "--file", name, "--add", " done ", "--add", "done"},
         0,
         "done\n",
         ""},
        {"set and clear", {"note", "--file", name, "--set", "x", "--clear"}, 2, "", ""},
        {"clear", {"note", "--file", name, "--clear"}, 0, "", ""},
        {"removing an absent tag", {"tag", "--file", name, "--remove", "never"}, 0, "done\n", ""},
    };
    for (const auto& k : cases) {
        const auto run = test::RunCli(c.Card(k.args));
        EXPECT_EQ(run.exitCode, k.exitCode) << k.what << ": " << run.err;
        EXPECT_EQ(run.out, k.out) << k.what;
        EXPECT_NE(run.err.find(k.errHas), std::string::npos) << k.what << ": " << run.err;
    }

    // Standard input: 64 KiB of text is a note, one byte more is refused.
    const fs::path text = c.dir / "note.txt";
    const fs::path out = c.dir / "out.txt";
    const std::string big(64 * 1024, 'x');
    for (const auto& [bytes, ok] : {std::pair{big, true}, std::pair{big + "y", false}}) {
        std::ofstream(text, std::ios::binary) << bytes;
        const int rc = Shell("\"$CLI\" note --card '" + c.card.string() + "' --file " + name +
                             " --set - < '" + text.string() + "' > '" + out.string() + "' 2>&1");
        EXPECT_EQ(rc == 0, ok) << bytes.size();
        EXPECT_EQ(test::ReadText(out).starts_with(big), ok) << bytes.size();
    }
}

TEST(CliNotes, RetentionSparesATaggedCall) {
    NotedCard c;
    ASSERT_EQ(
        test::RunCli({"backup", "--card", c.card.string(), "--store", c.store.string()}).exitCode,
        0);
    const std::string tagged = test::RecordingFileName(kCall);
    const std::string plain = test::RecordingFileName(kOther);
    ASSERT_EQ(test::RunCli(c.Store({"tag", "--file", tagged, "--add", "complaint"})).exitCode, 0);
    // Both calls are years old; only the untagged one is listed.
    const auto run = test::RunCli(c.Store({"retention", "--keep-days", "1"}));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(plain), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(tagged), std::string::npos) << run.out;
}

TEST(CliNotes, TwoProcessesWritingToOneStore) {
    NotedCard c;
    ASSERT_EQ(
        test::RunCli({"backup", "--card", c.card.string(), "--store", c.store.string()}).exitCode,
        0);
    const std::string a = test::RecordingFileName(kCall);
    const std::string b = test::RecordingFileName(kOther);
    const int rounds = test::TrialsFromEnv("LK_NOTE_ROUNDS", 12);
    // Both write the note of one call and tags of both calls, interleaved.
    auto writer = [&](const std::string& who, const std::string& own) {
        return "for i in $(seq 1 " + std::to_string(rounds) +
               "); do\n"
               "  \"$CLI\" note --store '" +
               c.store.string() + "' --family 0 --file " + a + " --set \"" + who +
               " $i\" >/dev/null || echo fail\n"
               "  \"$CLI\" tag --store '" +
               c.store.string() + "' --family 0 --file " + own + " --add " + who +
               "$i >/dev/null || echo fail\n"
               "  \"$CLI\" tag --store '" +
               c.store.string() + "' --family 0 --file " + a + " --add " + who +
               "$i >/dev/null || echo fail\n"
               "done\n";
    };
    const fs::path log = c.dir / "log.txt";
    ASSERT_EQ(Shell("( " + writer("left", a) + ") > '" + log.string() + "' 2>&1 &\n( " +
                    writer("right", b) + ") >> '" + log.string() + "' 2>&1 &\nwait\n"),
              0);
    EXPECT_EQ(test::ReadText(log), "");

    auto lines = [&](const std::string& name) {
        return test::RunCli(c.Store({"tag", "--file", name})).out;
    };
    std::string wantA, wantB;
    std::vector<std::string> tagsA;
    for (int i = 1; i <= rounds; ++i)
        for (const std::string who : {"left", "right"})
            tagsA.push_back(who + std::to_string(i));
    std::sort(tagsA.begin(), tagsA.end());
    for (const auto& t : tagsA)
        wantA += t + "\n";
    for (int i = 1; i <= rounds; ++i)
        wantB += "right" + std::to_string(i) + "\n";
    EXPECT_EQ(lines(a), wantA);
    // "right10" sorts before "right2": compare as sets of lines.
    auto sortedLines = [](std::string text) {
        std::vector<std::string> v;
        for (std::size_t p; (p = text.find('\n')) != std::string::npos; text.erase(0, p + 1))
            v.push_back(text.substr(0, p));
        std::sort(v.begin(), v.end());
        return v;
    };
    EXPECT_EQ(sortedLines(lines(b)), sortedLines(wantB));
    const std::string note = test::RunCli(c.Store({"note", "--file", a})).out;
    const std::string last = std::to_string(rounds) + "\n";
    EXPECT_TRUE(note == "left " + last || note == "right " + last) << note;
}

TEST(CliNotes, AnUnusableDatabaseLeavesTheListWorking) {
    const std::string name = test::RecordingFileName(kCall);
    struct Case {
        const char* what;
        std::function<void(const fs::path& db, const fs::path& outside)> make;
        std::string errHas;
    };
    const std::vector<Case> cases = {
        {"garbage",
         [](const fs::path& db, const fs::path&) { test::WriteText(db, std::string(3000, 'G')); },
         "damaged"},
        {"a database cut short",
         [](const fs::path& db, const fs::path&) {
             const auto bytes = test::ReadFile(db);
             test::WriteFile(db, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 1500));
         },
         "damaged"},
        {"link",
         [](const fs::path& db, const fs::path& outside) {
             fs::remove(db);
             fs::create_symlink(outside, db);
         },
         "link"},
        {"FIFO",
         [](const fs::path& db, const fs::path&) {
             fs::remove(db);
             ASSERT_EQ(::mkfifo(db.c_str(), 0600), 0);
         },
         "not a regular file"},
        {"journal is a link",
         [](const fs::path& db, const fs::path& outside) {
             fs::create_symlink(outside, db.string() + "-journal");
         },
         "link"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        NotedCard c;
        ASSERT_EQ(test::RunCli({"backup", "--card", c.card.string(), "--store", c.store.string()})
                      .exitCode,
                  0);
        ASSERT_EQ(test::RunCli(c.Store({"note", "--file", name, "--set", "kept"})).exitCode, 0);
        const fs::path outside = c.dir / "outside.txt";
        test::WriteText(outside, "not a database");
        k.make(c.Database(), outside);

        auto run = test::RunCli(c.Store({"records", "--json"}), 30);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const json list = json::parse(run.out);
        ASSERT_EQ(list.size(), 2u);
        for (const auto& r : list)
            EXPECT_TRUE(r["note"].is_null());
        EXPECT_NE(run.err.find(k.errHas), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("notes are off"), run.err.rfind("notes are off")) << "said once";

        run = test::RunCli(c.Store({"note", "--file", name, "--set", "new"}), 30);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_NE(run.err.find(k.errHas), std::string::npos) << run.err;
        EXPECT_EQ(test::ReadText(outside), "not a database");
    }
}

TEST(CliNotes, AReadOnlyDatabaseIsReadButNotWritten) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes read-only files";
    NotedCard c;
    const std::string name = test::RecordingFileName(kCall);
    ASSERT_EQ(test::RunCli(c.Card({"note", "--file", name, "--set", "kept"})).exitCode, 0);
    fs::permissions(c.Database(), fs::perms::owner_read | fs::perms::group_read);
    auto run = test::RunCli(c.Card({"note", "--file", name}));
    EXPECT_EQ(run.out, "kept\n") << run.err;
    run = test::RunCli(c.Card({"note", "--file", name, "--set", "new"}));
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("read-only"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace lk
