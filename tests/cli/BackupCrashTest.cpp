// Kills the command-line backup at random moments and checks that nothing was
// lost: every recording is on the card or byte for byte in the store, every
// index is whole records naming each copy once, and the next run heals.
// LK_CRASH_TRIALS sets the number of kills per mode (30 unless given).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <thread>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "backup/BackupEngine.h"
#include "card/BackupStore.h"
#include "core/card/CardFixture.h"
#include "support/RunCli.h"

namespace lk {
namespace {
namespace fs = std::filesystem;
using test::RecordingSpec;
using Bytes = std::vector<std::uint8_t>;

int Trials() {
    return test::TrialsFromEnv("LK_CRASH_TRIALS", 30);
}

// Recordings over three months, a missed call, and a second recording that
// meets the first under one store name.
std::vector<RecordingSpec> CardFiles() {
    std::vector<RecordingSpec> recordings;
    for (int i = 0; i < 90; ++i) {
        char stamp[16];
        std::snprintf(stamp, sizeof stamp, "2016%02d%02d%02d%02d00", 1 + i % 3, 1 + i % 28, i % 24,
                      i % 60);
        RecordingSpec s{Incoming, stamp, std::to_string(5550000 + i)};
        s.fileBytes = 12000 + static_cast<std::size_t>(i) * 37;
        recordings.push_back(s);
    }
    RecordingSpec missed{Missed, "20160215080000", "999"};
    missed.withFile = false;
    recordings.push_back(missed);
    RecordingSpec twin = recordings[0];
    twin.relativePath = u"201601\\x" + FromUtf8(test::RecordingFileName(recordings[0]));
    recordings.push_back(twin);
    return recordings;
}

fs::path TwinFile(const fs::path& card) {
    return card / "201601" / ("x" + test::RecordingFileName(CardFiles()[0]));
}

// Every recording's bytes, as the card held them before any backup.
std::vector<Bytes> Originals(const fs::path& card) {
    std::vector<Bytes> out;
    for (const auto& s : CardFiles()) {
        if (!s.withFile) continue;
        out.push_back(s.relativePath.empty() ? test::RecordingBytes(s)
                                             : test::ReadFile(TwinFile(card)));
    }
    return out;
}

void MakeCrashCard(const fs::path& card) {
    test::MakeCard(card, 0, CardFiles());
    test::WriteFile(TwinFile(card), Bytes(3000, 77));
}

// Regular files, less partial copies, index files and `skipExtension`.
std::set<Bytes> FilesUnder(const fs::path& dir, const std::string& skipExtension) {
    std::set<Bytes> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
         it.increment(ec))
        if (it->is_regular_file() && it->path().extension() != skipExtension &&
            !IsPartialName(it->path().filename().string()) &&
            it->path().parent_path().filename() != "CallLog")
            out.insert(test::ReadFile(it->path()));
    return out;
}

// A second card of the same recorder after a clock reset: the same names,
// other bytes.
void MakeSecondCrashCard(const fs::path& card) {
    MakeCrashCard(card);
    for (const auto& e : fs::recursive_directory_iterator(card)) {
        if (!e.is_regular_file() || e.path().extension() == ".dat") continue;
        auto bytes = test::ReadFile(e.path());
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(b + 1);
        test::WriteFile(e.path(), bytes);
    }
}

// The checks that hold at any moment: returns the number of live entries.
std::size_t ExpectNothingLost(const fs::path& card, const fs::path& store,
                              const std::vector<Bytes>& originals) {
    const fs::path root = StoreRoot(store, 0);
    const auto onCard = FilesUnder(card, ".dat");
    const auto inStore = FilesUnder(root, ".lock");
    for (std::size_t i = 0; i < originals.size(); ++i)
        EXPECT_TRUE(onCard.count(originals[i]) != 0 || inStore.count(originals[i]) != 0)
            << "recording " << i << " is lost";
    std::map<std::string, int> named;
    std::size_t live = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(root / "CallLog", ec)) {
        if (e.path().extension() == ".lock" || e.path().extension() == ".xxh128" ||
            e.path().filename().string().find(kCardFilesSuffix) != std::string::npos)
            continue;
        const auto bytes = test::ReadFile(e.path());
        EXPECT_EQ(bytes.size() % CallRecord::kSize, 0u) << e.path();
        for (std::size_t off = 0; off + CallRecord::kSize <= bytes.size();
             off += CallRecord::kSize) {
            const auto r = CallRecord::FromBytes(ByteSpan(bytes.data() + off, CallRecord::kSize));
            if (bytes[off + 4] != 1) continue;  // a record the crash left unwritten
            ++live;
            const std::string path = ToUtf8(FieldText(r.filePath));
            EXPECT_EQ(++named[path], 1) << path << " is indexed twice";
            EXPECT_TRUE(fs::exists(path)) << path << " is indexed but missing";
        }
    }
    return live;
}

struct Child {
    pid_t pid = -1;
};

Child Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    const std::string exe = (test::BinDir() / "linekeeper-cli").string();
    argv.push_back(const_cast<char*>(exe.c_str()));
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    Child c;
    c.pid = ::fork();
    if (c.pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    return c;
}

TEST(BackupCrash, AKilledBackupLosesNothingAndTheNextRunHeals) {
    test::TempHome home;
    std::mt19937 random(20261209);
    for (const bool move : {false, true}) {
        SCOPED_TRACE(move ? "move" : "copy");
        // How long an undisturbed run takes, to spread the kills over it.
        std::chrono::microseconds full{};
        {
            test::TempDir dir;
            MakeCrashCard(dir / "card");
            const auto t0 = std::chrono::steady_clock::now();
            std::vector<std::string> args = {"backup", "--card", (dir / "card").string(), "--store",
                                             (dir / "store").string()};
            if (move) args.push_back("--move");
            ASSERT_EQ(test::RunCli(args).exitCode, 0);
            full = std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::steady_clock::now() - t0);
        }
        for (int trial = 0; trial < Trials(); ++trial) {
            SCOPED_TRACE(trial);
            test::TempDir dir;
            const fs::path card = dir / "card";
            const fs::path store = dir / "store";
            MakeCrashCard(card);
            const auto originals = Originals(card);
            std::vector<std::string> args = {"backup", "--card", card.string(), "--store",
                                             store.string()};
            if (move) args.push_back("--move");

            const Child child = Spawn(args);
            ASSERT_GT(child.pid, 0);
            std::uniform_int_distribution<long> at(0, full.count());
            std::this_thread::sleep_for(std::chrono::microseconds(at(random)));
            ::kill(child.pid, SIGKILL);
            int status = 0;
            ::waitpid(child.pid, &status, 0);
            ExpectNothingLost(card, store, originals);

            // The next run completes the backup and adds each record once. A
            // move that finished before the kill took the card's log with it.
            if (!move || fs::exists(card / kCallLogFileName)) {
                const auto run = test::RunCli(args);
                EXPECT_EQ(run.exitCode, 0) << run.err;
            }
            const std::size_t live = ExpectNothingLost(card, store, originals);
            EXPECT_EQ(live, CardFiles().size());
            const auto inStore = FilesUnder(StoreRoot(store, 0), ".lock");
            for (const auto& bytes : originals)
                EXPECT_TRUE(inStore.count(bytes) != 0);
            if (move) {
                EXPECT_TRUE(FilesUnder(card, ".dat").empty());
            }
            if (HasFailure()) return;
        }
    }
}

// Two backups of two cards into one store, each killed at its own moment.
TEST(BackupCrash, TwoKilledWritersOnOneStoreLoseNothing) {
    test::TempHome home;
    std::mt19937 random(20261210);
    for (const bool move : {false, true}) {
        SCOPED_TRACE(move ? "move" : "copy");
        std::chrono::microseconds full{};
        {
            test::TempDir dir;
            MakeCrashCard(dir / "card");
            const auto t0 = std::chrono::steady_clock::now();
            ASSERT_EQ(test::RunCli({"backup", "--card", (dir / "card").string(), "--store",
                                    (dir / "store").string()})
                          .exitCode,
                      0);
            full = std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::steady_clock::now() - t0);
        }
        for (int trial = 0; trial < Trials(); ++trial) {
            SCOPED_TRACE(trial);
            test::TempDir dir;
            const fs::path cards[2] = {dir / "a", dir / "b"};
            const fs::path store = dir / "store";
            MakeCrashCard(cards[0]);
            MakeSecondCrashCard(cards[1]);
            std::vector<Bytes> originals[2] = {Originals(cards[0]), {}};
            for (const auto& bytes : originals[0]) {
                Bytes b = bytes;
                for (auto& x : b)
                    x = static_cast<std::uint8_t>(x + 1);
                originals[1].push_back(b);
            }
            auto args = [&](const fs::path& card) {
                std::vector<std::string> a = {"backup", "--card", card.string(), "--store",
                                              store.string()};
                if (move) a.push_back("--move");
                return a;
            };
            const Child a = Spawn(args(cards[0]));
            const Child b = Spawn(args(cards[1]));
            ASSERT_GT(a.pid, 0);
            ASSERT_GT(b.pid, 0);
            std::uniform_int_distribution<long> at(0, 2 * full.count());
            const long killA = at(random);
            const long killB = at(random);
            std::this_thread::sleep_for(std::chrono::microseconds(std::min(killA, killB)));
            ::kill(killA <= killB ? a.pid : b.pid, SIGKILL);
            std::this_thread::sleep_for(std::chrono::microseconds(std::abs(killA - killB)));
            ::kill(killA <= killB ? b.pid : a.pid, SIGKILL);
            int status = 0;
            ::waitpid(a.pid, &status, 0);
            ::waitpid(b.pid, &status, 0);
            for (int i = 0; i < 2; ++i)
                ExpectNothingLost(cards[i], store, originals[i]);

            for (int i = 0; i < 2; ++i)
                if (!move || fs::exists(cards[i] / kCallLogFileName)) {
                    const auto run = test::RunCli(args(cards[i]));
                    EXPECT_EQ(run.exitCode, 0) << run.err;
                }
            // Both cards' recordings, one entry each; the missed call's marker
            // is one name for both cards.
            std::size_t live = 0;
            for (int i = 0; i < 2; ++i)
                live = ExpectNothingLost(cards[i], store, originals[i]);
            EXPECT_EQ(live, 2 * CardFiles().size() - 1);
            const auto inStore = FilesUnder(StoreRoot(store, 0), ".lock");
            for (int i = 0; i < 2; ++i)
                for (const auto& bytes : originals[i])
                    EXPECT_TRUE(inStore.count(bytes) != 0);
            if (HasFailure()) return;
        }
    }
}

// One trial's card, store and desktop trash; the trash is the user's while
// the trial lasts.
struct TrashTrial {
    test::TempDir dir;
    fs::path card = dir / "card";
    fs::path store = dir / "store";
    fs::path trash = dir / "data/Trash/files";
    TrashTrial() {
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        fs::create_directories(dir / "data");
    }
    ~TrashTrial() { ::unsetenv("XDG_DATA_HOME"); }
    TrashTrial(const TrashTrial&) = delete;
    TrashTrial& operator=(const TrashTrial&) = delete;
};

// Runs the CLI with `args` and kills it within its first 0.4 s.
void KillAtRandom(const std::vector<std::string>& args, std::mt19937& random) {
    Child child = Spawn(args);
    ASSERT_GT(child.pid, 0);
    std::uniform_int_distribution<long> at(0, 400000);
    std::this_thread::sleep_for(std::chrono::microseconds(at(random)));
    ::kill(child.pid, SIGKILL);
    int status = 0;
    ::waitpid(child.pid, &status, 0);
}

// Each original recording is in one of `places` (files by their bytes).
void ExpectEachIn(const std::vector<Bytes>& originals, const std::vector<std::set<Bytes>>& places,
                  const char* missing) {
    for (std::size_t i = 0; i < originals.size(); ++i)
        EXPECT_TRUE(std::any_of(places.begin(), places.end(),
                                [&](const auto& place) { return place.count(originals[i]) != 0; }))
            << "recording " << i << missing;
}

// A store that lost index entries (a cut-off write) and holds a duplicate:
// `verify --repair` and then `retention --apply`, each killed at a random
// moment, lose no recording, and the next run finishes the job.
TEST(BackupCrash, AKilledRepairOrRetentionLosesNothing) {
    test::TempHome home;
    std::mt19937 random(20261211);
    const int trials = std::max(1, Trials() / 3);
    for (int trial = 0; trial < trials; ++trial) {
        SCOPED_TRACE(trial);
        TrashTrial t;
        const fs::path& card = t.card;
        const fs::path& store = t.store;
        MakeCrashCard(card);
        const auto originals = Originals(card);
        ASSERT_EQ(
            test::RunCli({"backup", "--card", card.string(), "--store", store.string()}).exitCode,
            0);
        // Half of February's entries lost, and one of January's twice.
        const fs::path feb = MonthIndexPath(store, 0, 201602);
        const fs::path jan = MonthIndexPath(store, 0, 201601);
        fs::resize_file(feb, fs::file_size(feb) / CallRecord::kSize / 2 * CallRecord::kSize);
        auto janBytes = test::ReadFile(jan);
        janBytes.insert(janBytes.end(), janBytes.begin(), janBytes.begin() + CallRecord::kSize);
        test::WriteFile(jan, janBytes);
        const auto inStoreBefore = FilesUnder(StoreRoot(store, 0), ".lock");

        const std::vector<std::string> repair = {"verify",   "--store", store.string(),
                                                 "--family", "0",       "--repair"};
        KillAtRandom(repair, random);
        EXPECT_EQ(FilesUnder(StoreRoot(store, 0), ".lock"), inStoreBefore);
        auto run = test::RunCli(repair);
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        EXPECT_EQ(ExpectNothingLost(card, store, originals), CardFiles().size());
        EXPECT_EQ(test::RunCli({"verify", "--store", store.string(), "--family", "0"}).exitCode, 0);

        // Every call goes; a listing first.
        const std::vector<std::string> listing = {
            "retention", "--store", store.string(), "--family", "0", "--keep-days", "0"};
        ASSERT_EQ(test::RunCli(listing).exitCode, 0);
        auto apply = listing;
        apply.push_back("--apply");
        KillAtRandom(apply, random);
        ExpectEachIn(originals,
                     {FilesUnder(StoreRoot(store, 0), ".lock"), FilesUnder(t.trash, ".lock")},
                     " is lost");
        run = test::RunCli(apply);
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        ExpectEachIn(originals, {FilesUnder(t.trash, ".lock")}, " not in the trash");
        EXPECT_EQ(ExpectNothingLost(card, store, originals), 0u) << run.out;
        if (HasFailure()) return;
    }
}

// A move whose store takes every call out after each backup, killed at a
// random moment: each recording is on the card, in the store or in the trash,
// and the next run leaves them all in the trash.
TEST(BackupCrash, AKilledMoveWithRetentionAfterItLosesNothing) {
    test::TempHome home;
    std::mt19937 random(20261210);
    const int trials = std::max(1, Trials() / 3);
    for (int trial = 0; trial < trials; ++trial) {
        SCOPED_TRACE(trial);
        TrashTrial t;
        const fs::path& card = t.card;
        const fs::path& store = t.store;
        fs::create_directories(StoreRoot(store, 0) / "CallLog");
        MakeCrashCard(card);
        const auto originals = Originals(card);
        std::vector<std::string> rule = {"retention",   "--store", store.string(), "--family", "0",
                                         "--keep-days", "0"};
        ASSERT_EQ(test::RunCli(rule).exitCode, 0);  // listed before it may run on its own
        rule.insert(rule.end(), {"--after-backup", "on"});
        ASSERT_EQ(test::RunCli(rule).exitCode, 0);

        const std::vector<std::string> args = {"backup",           "--card",       card.string(),
                                               "--store",          store.string(), "--move",
                                               "--apply-retention"};
        KillAtRandom(args, random);
        const auto somewhere = [&] {
            ExpectEachIn(originals,
                         {FilesUnder(card, ".dat"), FilesUnder(StoreRoot(store, 0), ".lock"),
                          FilesUnder(t.trash, ".lock")},
                         " is lost");
        };
        somewhere();

        // A move that finished took the card's log with it: then only the
        // clean-up is left to finish.
        const auto run = fs::exists(card / kCallLogFileName)
                             ? test::RunCli(args)
                             : test::RunCli({"retention", "--store", store.string(), "--family",
                                             "0", "--apply"});
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        somewhere();
        ExpectEachIn(originals, {FilesUnder(t.trash, ".lock")}, " not in the trash");
        if (HasFailure()) return;
    }
}

}  // namespace
}  // namespace lk
