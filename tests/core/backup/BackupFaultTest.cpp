#include <gtest/gtest.h>

#include "core/backup/BackupTestSupport.h"
#include "core/backup/FaultyFileOps.h"

namespace lk {
namespace {
namespace fs = std::filesystem;
using test::LoadedCard;
using test::RecordingSpec;

std::vector<RecordingSpec> Recordings() {
    RecordingSpec noFile{Missed, "20160215080000", "999"};
    noFile.withFile = false;
    return {{Incoming, "20160214093000", "1"},
            {Outgoing, "20160214100000", "2"},
            noFile,
            {Incoming, "20160301093000", "3"},
            {Note, "20160302093000", "4"},
            {Incoming, "20160303093000", "5"}};
}

struct Fault {
    const char* name;
    std::optional<std::uint64_t> diskBytesLeft;
    std::optional<std::uint64_t> cardVanishesAfter;
    int failingRename = 0;
};

// Every recording is whole on the card or whole in the store; nothing under a
// final store name is a partial copy; no temporary copy is left behind.
void ExpectNothingLost(const LoadedCard& card) {
    for (const auto& s : card.cardFiles) {
        if (!s.withFile) continue;
        SCOPED_TRACE(RecordingFileName(s));
        const auto bytes = test::RecordingBytes(s);
        const bool onCard =
            fs::exists(card.CardFile(s)) && test::ReadFile(card.CardFile(s)) == bytes;
        const bool inStore = fs::exists(card.StoreFile(s));
        if (inStore) {
            EXPECT_EQ(test::ReadFile(card.StoreFile(s)), bytes);
        }
        EXPECT_TRUE(onCard || inStore);
    }
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(card.StoreRootPath(), ec);
         !ec && it != fs::end(it); it.increment(ec))
        EXPECT_FALSE(IsPartialName(it->path().filename().string())) << it->path();
    // Whatever the index names is there.
    for (const auto& [path, count] : test::IndexedPaths(card.StoreRootPath()))
        EXPECT_TRUE(fs::exists(path)) << path;
}

void ExpectCompleteBackup(const LoadedCard& card, bool move) {
    const auto indexed = test::IndexedPaths(card.StoreRootPath());
    for (const auto& s : card.cardFiles) {
        SCOPED_TRACE(RecordingFileName(s));
        fs::path stored = card.StoreFile(s);
        if (!s.withFile) {
            stored += kMarkerSuffix;
        } else {
            EXPECT_EQ(test::ReadFile(stored), test::RecordingBytes(s));
            EXPECT_EQ(fs::exists(card.CardFile(s)), !move);
        }
        const auto it = indexed.find(stored.string());
        ASSERT_NE(it, indexed.end());
        EXPECT_EQ(it->second, 1);  // once, however many runs it took
    }
    EXPECT_EQ(indexed.size(), card.cardFiles.size());
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(card.StoreRootPath() / "CallLog", ec))
        if (test::IsIndexFile(e.path())) {
            EXPECT_EQ(fs::file_size(e.path()) % CallRecord::kSize, 0u) << e.path();
        }
    EXPECT_EQ(fs::exists(card.state->cardLogPath), !move);
}

TEST(BackupFaults, ASecondRunCompletesWhatAFaultInterrupted) {
    const Fault faults[] = {
        {"disk full from the start", 0, std::nullopt, 0},
        {"disk full inside the first copy", 2500, std::nullopt, 0},
        {"disk full inside an index record", 5000 + 1076 + 5000 + 500, std::nullopt, 0},
        {"disk full inside a later copy", 5000 + 1076 + 5000 + 1076 + 3000, std::nullopt, 0},
        {"card pulled before any byte", std::nullopt, 0, 0},
        {"card pulled inside the second copy", std::nullopt, 7000, 0},
        {"first rename fails", std::nullopt, std::nullopt, 1},
        {"third rename fails", std::nullopt, std::nullopt, 3},
    };
    for (bool move : {false, true}) {
        for (const auto& f : faults) {
            SCOPED_TRACE(testing::Message() << f.name << (move ? " (move)" : " (copy)"));
            LoadedCard card(0, Recordings());
            test::FaultyFileOps files;
            files.cardRoot = card.root;
            files.diskBytesLeft = f.diskBytesLeft;
            files.cardVanishesAfter = f.cardVanishesAfter;
            files.failingRename = f.failingRename;

            const auto first = card.RunAll(move, &files);
            EXPECT_GT(first.failed + first.indexWriteFailures, 0);
            EXPECT_FALSE(first.cardLogDeleted);
            EXPECT_TRUE(fs::exists(card.state->cardLogPath));
            ExpectNothingLost(card);

            files.Heal();
            const auto second = card.RunAll(move, &files);
            EXPECT_EQ(second.failed, 0);
            EXPECT_EQ(second.cardLogDeleted, move);
            ExpectCompleteBackup(card, move);

            const auto third = card.RunAll(false, &files);
            EXPECT_EQ(third.backedUp, 0);
        }
    }
}

}  // namespace
}  // namespace lk
