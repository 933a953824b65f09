#include <gtest/gtest.h>

#include <cerrno>

#include "core/backup/BackupTestSupport.h"
#include "core/backup/FaultyFileOps.h"
#include "support/ReadOnlyTree.h"

namespace lk {
namespace {
namespace fs = std::filesystem;
using test::LoadedCard;
using test::RecordingSpec;

std::vector<std::uint8_t> OtherBytes(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    return bytes;
}

fs::path Variant(const fs::path& stored, int n) {
    return stored.parent_path() / StoreNameVariant(stored.filename().string(), n);
}

TEST(StoreNameVariant, KeepsTimestampTypeAndNumberReadable) {
    struct Case {
        const char* name;
        int variant;
        const char* expected;
    } cases[] = {
        {"20261001091205-I-5550142.xtr", 1, "20261001091205-I-5550142.xtr"},
        {"20261001091205-I-5550142.xtr", 2, "20261001091205-I-5550142_2.xtr"},
        {"20000101000012-N-.xtr", 3, "20000101000012-N-_3.xtr"},
        {"20160616093015-O.wav", 2, "20160616093015-O_2.wav"},
        {"20160616093015-I-1.2.3.wav", 2, "20160616093015-I-1.2.3_2.wav"},
        {"20160616093015-I-noext", 2, "20160616093015-I-noext_2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string v = StoreNameVariant(c.name, c.variant);
        EXPECT_EQ(v, c.expected);
        // Still timestamp, '-', type, '-', number: what the loader, repair and
        // import read back.
        EXPECT_EQ(v.substr(0, 15), std::string(c.name).substr(0, 15));
    }
}

// Two cards whose recordings meet under one store name: the clock of the
// recorder was reset between them. Nothing of either may be lost, in either mode.
TEST(BackupCollision, ASecondCardsRecordingNeverTakesTheFirstOnesPlace) {
    struct Case {
        const char* what;
        bool move;
        std::size_t secondSize;  // 0: the same size as the first card's
    } cases[] = {
        {"move, same size", true, 0},
        {"move, other size", true, 700},
        {"copy, same size", false, 0},
        {"copy, other size", false, 700},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const RecordingSpec memo{Note, "20000101000012", ""};
        LoadedCard first(0, {memo});
        ASSERT_EQ(first.RunAll(c.move).backedUp, 1);
        const auto firstBytes = test::RecordingBytes(memo);

        LoadedCard second(0, {memo});
        second.backupPath = first.backupPath;
        const auto secondBytes =
            OtherBytes(c.secondSize == 0 ? firstBytes.size() : c.secondSize, 3);
        test::WriteFile(second.CardFile(memo), secondBytes);

        auto r = second.RunAll(c.move);
        ASSERT_EQ(r.items.size(), 1u);
        EXPECT_EQ(r.backedUp, 1);
        EXPECT_EQ(r.skipped, 0);
        const fs::path stored = first.StoreFile(memo);
        EXPECT_EQ(test::ReadFile(stored), firstBytes);  // never replaced
        EXPECT_EQ(r.items[0].destination, Variant(stored, 2));
        EXPECT_EQ(test::ReadFile(Variant(stored, 2)), secondBytes);
        EXPECT_EQ(fs::exists(second.CardFile(memo)), !c.move);
        // The index names both, once each.
        const auto indexed = test::IndexedPaths(first.StoreRootPath());
        EXPECT_EQ(indexed.at(stored.string()), 1);
        EXPECT_EQ(indexed.at(Variant(stored, 2).string()), 1);

        // A second run over the same card adds nothing.
        if (!c.move) {
            r = second.RunAll(false);
            EXPECT_EQ(r.backedUp, 0);
            EXPECT_EQ(r.skipped, 1);
            EXPECT_EQ(test::IndexedPaths(first.StoreRootPath()), indexed);
            EXPECT_FALSE(fs::exists(Variant(stored, 3)));
        }
    }
}

// One card's log naming two different recordings that map to one store name.
TEST(BackupCollision, TwoRecordsOfOneCardUnderOneStoreNameAreBothKept) {
    for (bool move : {false, true}) {
        SCOPED_TRACE(move);
        RecordingSpec a{Incoming, "20261001091205", "5550142"};
        RecordingSpec b = a;
        b.relativePath = u"202610\\x20261001091205-I-5550142.wav";
        LoadedCard card(0, {a, b});
        const auto bBytes = OtherBytes(900, 11);
        test::WriteFile(card.root / "202610" / "x20261001091205-I-5550142.wav", bBytes);

        auto r = card.RunAll(move);
        EXPECT_EQ(r.backedUp, 2);
        EXPECT_EQ(r.failed, 0);
        const fs::path stored = card.StoreFile(a);
        EXPECT_EQ(test::ReadFile(stored), test::RecordingBytes(a));
        EXPECT_EQ(test::ReadFile(Variant(stored, 2)), bBytes);
        EXPECT_EQ(test::IndexedPaths(card.StoreRootPath()).size(), 2u);
        EXPECT_EQ(r.cardLogDeleted, move);
        if (!move) {
            r = card.RunAll(false);
            EXPECT_EQ(r.backedUp, 0);
            EXPECT_EQ(r.skipped, 2);
            EXPECT_EQ(test::IndexedPaths(card.StoreRootPath()).size(), 2u);
        }
    }
}

// Two card files under one store name: the same bytes are kept once, other
// bytes beside them, whichever run or batch put the first copy there.
TEST(BackupCollision, TwoCardFilesUnderOneStoreNameAreKeptOnceEach) {
    struct Case {
        const char* what;
        bool sameBytes;
        bool firstStoredEarlier;  // by a run before this one
    } cases[] = {
        {"same bytes, one run", true, false},
        {"same bytes, stored earlier", true, true},
        {"other bytes, one run", false, false},
        {"other bytes, stored earlier", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingSpec a{Incoming, "20261001091205", "5550142"};
        RecordingSpec b = a;
        b.relativePath = u"202610\\x20261001091205-I-5550142.wav";
        LoadedCard first(0, {a});
        LoadedCard card(0, {a, b});
        const auto bBytes = c.sameBytes ? test::RecordingBytes(a) : OtherBytes(900, 11);
        test::WriteFile(card.root / "202610" / "x20261001091205-I-5550142.wav", bBytes);
        if (c.firstStoredEarlier) {
            ASSERT_EQ(first.RunAll(false).backedUp, 1);
            card.backupPath = first.backupPath;
        }

        const auto r = card.RunAll(false);
        EXPECT_EQ(r.failed, 0);
        const fs::path stored = card.StoreFile(a);
        EXPECT_EQ(test::ReadFile(stored), test::RecordingBytes(a));
        EXPECT_EQ(fs::exists(Variant(stored, 2)), !c.sameBytes);
        if (!c.sameBytes) {
            EXPECT_EQ(test::ReadFile(Variant(stored, 2)), bBytes);
        }
        EXPECT_EQ(test::IndexedPaths(card.StoreRootPath()).size(), c.sameBytes ? 1u : 2u);
    }
}

TEST(BackupCollision, SameBytesAreHeldAndOnlyThenDeletedFromTheCard) {
    const RecordingSpec memo{Note, "20000101000012", ""};
    LoadedCard first(0, {memo});
    first.RunAll(false);
    LoadedCard second(0, {memo});  // the same recording, the same bytes
    second.backupPath = first.backupPath;
    const auto r = second.RunAll(true);
    EXPECT_EQ(r.skipped, 1);
    EXPECT_EQ(r.backedUp, 0);
    EXPECT_FALSE(fs::exists(second.CardFile(memo)));
    EXPECT_FALSE(fs::exists(Variant(first.StoreFile(memo), 2)));
}

// Each record is counted once: re-indexing a held copy is no second backup.
TEST(BackupCollision, CountsAddUpToTheRecords) {
    LoadedCard card(0, {{Incoming, "20160214093000", "1"},
                        {Incoming, "20160214100000", "2"},
                        {Incoming, "20160214110000", "3"}});
    card.RunAll(false);
    fs::remove(card.IndexFile("201602"));  // copies there, index lost
    const auto r = card.RunAll(false);
    EXPECT_EQ(r.backedUp + r.skipped + r.failed, 3);
    EXPECT_EQ(r.skipped, 3);
    EXPECT_EQ(r.reIndexed, 3);
    EXPECT_EQ(test::IndexedPaths(card.StoreRootPath()).size(), 3u);
}

// Links below the card or the store root: nothing is read, written or deleted
// through them, and each such record is counted as failed.
TEST(BackupLinks, NothingIsReachedThroughALink) {
    enum class Link { CardMonthFolder, CardRecording, StoreMonthFolder, StoreIndexFolder };
    struct Case {
        const char* what;
        Link link;
    } cases[] = {
        {"a card month folder links outside", Link::CardMonthFolder},
        {"a recording links outside", Link::CardRecording},
        {"a store month folder links outside", Link::StoreMonthFolder},
        {"the store's index folder links outside", Link::StoreIndexFolder},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const RecordingSpec rec{Incoming, "20160214093000", "1"};
        LoadedCard card(0, {rec, {Outgoing, "20160301093000", "2"}});
        const fs::path outside = card.dir / "outside";
        fs::create_directories(outside);
        const auto bait = OtherBytes(rec.fileBytes, 5);
        test::WriteFile(outside / test::RecordingFileName(rec), bait);
        test::WriteFile(outside / "precious.txt", {1, 2, 3});
        const fs::path month = card.root / "201602";
        switch (c.link) {
            case Link::CardMonthFolder:
                fs::remove_all(month);
                fs::create_directory_symlink(outside, month);
                break;
            case Link::CardRecording:
                fs::remove(card.CardFile(rec));
                fs::create_symlink(outside / test::RecordingFileName(rec), card.CardFile(rec));
                break;
            case Link::StoreMonthFolder:
                fs::create_directories(card.StoreRootPath());
                fs::create_directory_symlink(outside, card.StoreRootPath() / "201602");
                break;
            case Link::StoreIndexFolder:
                fs::create_directories(card.StoreRootPath());
                fs::create_directory_symlink(outside, card.StoreRootPath() / "CallLog");
                break;
        }
        const auto r = card.RunAll(true);
        EXPECT_GE(r.failed, 1);
        EXPECT_FALSE(r.cardLogDeleted);
        EXPECT_TRUE(fs::exists(card.state->cardLogPath));
        // The outside folder is as it was: nothing deleted, added or changed.
        EXPECT_EQ(test::ReadFile(outside / test::RecordingFileName(rec)), bait);
        EXPECT_EQ(test::ReadFile(outside / "precious.txt"), (std::vector<std::uint8_t>{1, 2, 3}));
        std::size_t entries = 0;
        for ([[maybe_unused]] const auto& e : fs::recursive_directory_iterator(outside))
            ++entries;
        EXPECT_EQ(entries, 2u);
        // The bait never lands in the store.
        if (c.link == Link::CardMonthFolder || c.link == Link::CardRecording) {
            EXPECT_FALSE(fs::exists(card.StoreFile(rec)));
        }
        EXPECT_NE(r.failureReason.find("symbolic link"), std::string::npos) << r.failureReason;
    }
}

TEST(BackupHonesty, AFullStoreDiskSaysSo) {
    LoadedCard card(0, {{Incoming, "20160214093000", "1"}, {Incoming, "20160214100000", "2"}});
    test::FaultyFileOps files;
    files.diskBytesLeft = 100;
    const auto r = card.RunAll(false, &files);
    EXPECT_EQ(r.failed, 2);
    EXPECT_EQ(r.failureReason, "no space left on the store's device");
}

TEST(BackupHonesty, AMoveFromAReadOnlyCardSaysTheCardWasNotCleared) {
    LoadedCard card(0, {{Incoming, "20160214093000", "1"}, {Incoming, "20160301100000", "2"}});
    test::ReadOnlyTree readOnly(card.root);
    if (!readOnly.Holds()) GTEST_SKIP() << "this file system cannot be made read-only here";
    const auto r = card.RunAll(true);
    EXPECT_EQ(r.backedUp, 2);        // the copies are safe...
    EXPECT_EQ(r.cardNotCleared, 2);  // ...but the card keeps its recordings
    EXPECT_FALSE(r.cardClearReason.empty());
    EXPECT_FALSE(r.cardLogDeleted);
    for (const auto& s : card.cardFiles) {
        EXPECT_TRUE(fs::exists(card.CardFile(s)));
        EXPECT_EQ(test::ReadFile(card.StoreFile(s)), test::RecordingBytes(s));
    }
}

}  // namespace
}  // namespace lk
