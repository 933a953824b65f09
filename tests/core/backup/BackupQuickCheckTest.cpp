// The quick check: a card file unchanged since its backup is not read again,
// and nothing but a content check lets a changed file or a move through.

#include <gtest/gtest.h>

#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>

#include "core/backup/BackupTestSupport.h"

namespace lk {
namespace {
namespace fs = std::filesystem;
using test::LoadedCard;
using test::RecordingSpec;

// The real file system, counting the operations that read recordings.
class CountingFileOps : public RealFileOps {
  public:
    int comparisons = 0;
    int copies = 0;
    std::optional<bool> SameContent(const fs::path& a, const fs::path& b) override {
        ++comparisons;
        return RealFileOps::SameContent(a, b);
    }
    bool CopyToNewFile(const fs::path& from, const fs::path& to) override {
        ++copies;
        return RealFileOps::CopyToNewFile(from, to);
    }
};

void SetWriteTime(const fs::path& p, const timespec& t) {
    const timespec times[2] = {t, t};
    ::utimensat(AT_FDCWD, p.c_str(), times, 0);
}

timespec WriteTime(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mtim;
}

TEST(BackupQuickCheck, AnUnchangedCardIsNotReadAgainInCopyMode) {
    std::vector<RecordingSpec> calls = {{Incoming, "20160214093000", "1"},
                                        {Outgoing, "20160214100000", "2"},
                                        {Incoming, "20160301093000", "3"}};
    LoadedCard card(0, calls);
    CountingFileOps files;
    ASSERT_EQ(card.RunAll(false, &files).backedUp, 3);
    files.comparisons = files.copies = 0;
    const auto r = card.RunAll(false, &files);
    EXPECT_EQ(r.skipped, 3);
    EXPECT_EQ(files.comparisons, 0);
    EXPECT_EQ(files.copies, 0);
    // Moving reads every file once more before it goes from the card.
    const auto moved = card.RunAll(true, &files);
    EXPECT_EQ(moved.skipped, 3);
    EXPECT_EQ(files.comparisons, 3);
    EXPECT_TRUE(moved.cardLogDeleted);
}

// More day folders than a run holds open at once, met out of time order: each
// recording is still looked for in its own folder.
TEST(BackupQuickCheck, ManyDayFoldersOutOfOrderAreEachLookedAtInTheirOwn) {
    std::vector<RecordingSpec> calls;
    for (int i = 0; i < 90; ++i) {
        const int day = i % 2 == 0 ? i / 2 : 89 - i / 2;  // early and late days in turn
        char stamp[16];
        std::snprintf(stamp, sizeof stamp, "2016%02d%02d093000", 1 + day / 28, 1 + day % 28);
        calls.push_back({Incoming, stamp, std::to_string(i)});
    }
    LoadedCard card(0, calls);
    CountingFileOps files;
    ASSERT_EQ(card.RunAll(false, &files).backedUp, 90);
    files.comparisons = files.copies = 0;
    EXPECT_EQ(card.RunAll(false, &files).skipped, 90);
    EXPECT_EQ(files.comparisons + files.copies, 0);
    // A copy lost from a folder met early is made again, and only that one.
    fs::remove(card.StoreFile(calls[2]));
    const auto r = card.RunAll(false, &files);
    EXPECT_EQ(r.backedUp, 1);
    EXPECT_EQ(files.copies, 1);
}

// A card file whose bytes changed is compared, and kept beside the first copy.
TEST(BackupQuickCheck, AChangedCardFileIsComparedNotTrusted) {
    struct Case {
        const char* what;
        bool sameWriteTime;  // the rewrite sets the old write time back
    } cases[] = {{"other bytes, same size, another time", false},
                 {"other bytes, same size, the same write time", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const RecordingSpec rec{Incoming, "20160214093000", "1"};
        LoadedCard card(0, {rec});
        CountingFileOps files;
        ASSERT_EQ(card.RunAll(false, &files).backedUp, 1);
        const fs::path onCard = card.CardFile(rec);
        const timespec before = WriteTime(onCard);
        auto bytes = test::RecordingBytes(rec);
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(b ^ 0x5A);
        test::WriteFile(onCard, bytes);
        if (c.sameWriteTime) {
            SetWriteTime(onCard, before);
        } else {
            SetWriteTime(onCard, {before.tv_sec + 60, before.tv_nsec});
        }
        const auto r = card.RunAll(false, &files);
        EXPECT_EQ(r.backedUp, 1);
        const fs::path stored = card.StoreFile(rec);
        EXPECT_EQ(test::ReadFile(stored), test::RecordingBytes(rec));
        EXPECT_EQ(
            test::ReadFile(stored.parent_path() / StoreNameVariant(stored.filename().string(), 2)),
            bytes);
    }
}

}  // namespace
}  // namespace lk
