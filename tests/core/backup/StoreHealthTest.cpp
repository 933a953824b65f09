// Checksums written by the backup, and the store check that reads them back:
// flipped bytes, orphans, duplicate entries, poisoned checksum files, and the
// audit trail of each repair.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "backup/AuditTrail.h"
#include "backup/FileOps.h"
#include "backup/IndexLock.h"
#include "backup/StoreChecksums.h"
#include "backup/StoreCleanup.h"
#include "backup/StoreVerify.h"
#include "core/backup/BackupTestSupport.h"
#include "platform/Trash.h"
#include "platform/Xxh128.h"
#include "support/TempDir.h"

namespace lk {
namespace {
namespace fs = std::filesystem;
using test::LoadedCard;
using test::RecordingSpec;

std::vector<RecordingSpec> TwoMonths() {
    return {{Incoming, "20160214093000", "5551234"},
            {Outgoing, "20160215101500", "77"},
            {Incoming, "20160301120000", "42"}};
}

VerifyResult Verify(const LoadedCard& card, bool repair) {
    VerifyOptions o;
    o.backupPath = card.backupPath;
    o.devType = card.devType;
    o.repair = repair;
    NoProgress none;
    return VerifyStore(o, none, {});
}

int Count(const VerifyResult& r, StoreProblemKind kind) {
    return static_cast<int>(std::count_if(r.problems.begin(), r.problems.end(),
                                          [&](const StoreProblem& p) { return p.kind == kind; }));
}

std::string ReadText(const fs::path& p) {
    const auto bytes = test::ReadFile(p);
    return std::string(bytes.begin(), bytes.end());
}

// xxhsum -c (or another checker), run in the store folder as a user would.
int SumsCheck(const fs::path& storeRoot, const std::string& sumsName,
              const std::string& tool = "xxhsum") {
    const std::string cmd = "cd '" + storeRoot.string() + "' && " + tool + " -c 'CallLog/" +
                            sumsName + "' >/dev/null 2>&1";
    return std::system(cmd.c_str());
}

TEST(StoreHealth, BackupWritesChecksumsThatXxhsumAcceptsForCopyAndMove) {
    for (const bool move : {false, true}) {
        SCOPED_TRACE(move);
        LoadedCard card(0, TwoMonths());
        const auto r = card.RunAll(move);
        ASSERT_EQ(r.backedUp, 3);
        const fs::path root = card.StoreRootPath();
        const std::string feb = ReadText(ChecksumFilePath(root, 201602));
        EXPECT_NE(
            feb.find("  201602/20160214/" + test::RecordingFileName(card.cardFiles[0]) + "\n"),
            std::string::npos)
            << feb;
        EXPECT_EQ(std::count(feb.begin(), feb.end(), '\n'), 2);
        EXPECT_EQ(SumsCheck(root, "201602.xxh128"), 0);
        EXPECT_EQ(SumsCheck(root, "201603.xxh128"), 0);

        const auto v = Verify(card, false);
        EXPECT_TRUE(v.Clean());
        EXPECT_EQ(v.checksumsMatched, 3);
        EXPECT_EQ(v.withoutChecksum, 0);

        // A second run copies nothing and adds no line.
        card.RunAll(move);
        EXPECT_EQ(ReadText(ChecksumFilePath(root, 201602)), feb);
    }
}

TEST(StoreHealth, AFlippedByteIsCaughtAndNeverRepairedAway) {
    LoadedCard card(0, TwoMonths());
    card.RunAll(false);
    const fs::path copy = card.StoreFile(card.cardFiles[1]);
    auto bytes = test::ReadFile(copy);
    bytes[bytes.size() / 2] ^= 0x10;
    test::WriteFile(copy, bytes);

    for (const bool repair : {false, true}) {
        const auto v = Verify(card, repair);
        EXPECT_FALSE(v.Clean());
        ASSERT_EQ(Count(v, StoreProblemKind::ChecksumMismatch), 1);
        EXPECT_EQ(v.problems[0].file,
                  "201602/20160215/" + test::RecordingFileName(card.cardFiles[1]));
        EXPECT_FALSE(v.problems[0].repaired);
        EXPECT_EQ(test::ReadFile(copy), bytes);  // the evidence stays as it is
    }
}

// Stores of earlier versions recorded SHA-256 in "YYYYMM.sha256": those lines
// still prove their copies, alone or beside the newer checksums, and a copy
// they cover is not given a second line.
TEST(StoreHealth, OlderSha256LinesStillCatchAFlippedByte) {
    for (const bool keepNewer : {false, true})
        for (const bool flip : {false, true}) {
            SCOPED_TRACE(std::to_string(keepNewer) + std::to_string(flip));
            LoadedCard card(0, TwoMonths());
            card.RunAll(false);
            const fs::path root = card.StoreRootPath();
            const std::string cmd =
                "cd '" + root.string() + "' && sha256sum 201602/*/* > CallLog/201602.sha256";
            ASSERT_EQ(std::system(cmd.c_str()), 0);
            if (!keepNewer) fs::remove(ChecksumFilePath(root, 201602));
            const fs::path copy = card.StoreFile(card.cardFiles[1]);
            if (flip) {
                auto bytes = test::ReadFile(copy);
                bytes[0] ^= 1;
                test::WriteFile(copy, bytes);
            }
            const auto v = Verify(card, true);
            EXPECT_EQ(v.Clean(), !flip);
            EXPECT_EQ(Count(v, StoreProblemKind::ChecksumMismatch), flip ? 1 + keepNewer : 0);
            EXPECT_EQ(v.checksumsMatched, flip ? 2 : 3);
            EXPECT_EQ(v.withoutChecksum, 0);
            EXPECT_EQ(v.checksumsWritten, 0);
            EXPECT_EQ(fs::exists(ChecksumFilePath(root, 201602)), keepNewer);
        }
}

TEST(StoreHealth, OrphansAreAdoptedOnceWithTheirChecksumAndAnAuditLine) {
    LoadedCard card(0, TwoMonths());
    card.RunAll(false);
    const fs::path root = card.StoreRootPath();
    // A recording a cut-off backup left without an entry, in a month with an
    // index and in one without.
    const fs::path orphan = root / "201602/20160220/20160220080000-I-999.wav";
    test::WriteFile(orphan, std::vector<std::uint8_t>(3000, 9));
    test::WriteFile(root / "201605/20160501/20160501080000-O-1.wav",
                    std::vector<std::uint8_t>(100, 1));
    test::WriteFile(root / "201602/20160220/notes.txt", std::vector<std::uint8_t>(3, 1));

    auto v = Verify(card, false);
    EXPECT_FALSE(v.Clean());
    EXPECT_EQ(Count(v, StoreProblemKind::Orphan), 2);
    EXPECT_FALSE(fs::exists(card.IndexFile("201605")));  // checking writes nothing

    v = Verify(card, true);
    EXPECT_TRUE(v.Clean()) << (v.problems.empty() ? "" : v.problems[0].file);
    EXPECT_EQ(v.adopted, 2);
    const auto index = test::ReadIndex(card.IndexFile("201602"));
    ASSERT_EQ(index.size(), 3u);
    EXPECT_TRUE(index[2].IsLive());
    EXPECT_EQ(ToUtf8(FieldText(index[2].filePath)), orphan.string());
    EXPECT_EQ(ToUtf8(FieldText(index[2].number)), "999");
    EXPECT_EQ(test::ReadIndex(card.IndexFile("201605")).size(), 1u);
    EXPECT_EQ(SumsCheck(root, "201602.xxh128"), 0);
    EXPECT_EQ(SumsCheck(root, "201605.xxh128"), 0);

    v = Verify(card, true);
    EXPECT_TRUE(v.Clean());
    EXPECT_EQ(v.adopted, 0);
    EXPECT_EQ(test::ReadIndex(card.IndexFile("201602")).size(), 3u);

    const auto audit = ReadAudit(card.backupPath);
    int adopted = 0;
    for (const auto& a : audit.records)
        if (a.event.action == "adopted") ++adopted;
    EXPECT_EQ(adopted, 2);
}

TEST(StoreHealth, DuplicateEntriesAreDroppedKeepingTheFirst) {
    LoadedCard card(0, TwoMonths());
    card.RunAll(false);
    const fs::path index = card.IndexFile("201602");
    auto bytes = test::ReadFile(index);
    const std::vector<std::uint8_t> first(bytes.begin(), bytes.begin() + CallRecord::kSize);
    bytes.insert(bytes.end(), first.begin(), first.end());
    bytes.insert(bytes.end(), first.begin(), first.end());
    test::WriteFile(index, bytes);

    auto v = Verify(card, false);
    EXPECT_EQ(Count(v, StoreProblemKind::DuplicateEntry), 2);
    v = Verify(card, true);
    EXPECT_TRUE(v.Clean());
    EXPECT_EQ(v.duplicatesDropped, 2);
    const auto after = test::ReadIndex(index);
    ASSERT_EQ(after.size(), 4u);  // the file never shrinks
    EXPECT_TRUE(after[0].IsLive());
    EXPECT_TRUE(after[1].IsLive());
    EXPECT_FALSE(after[2].IsLive());
    EXPECT_FALSE(after[3].IsLive());
    EXPECT_EQ(after[2].inUse, 0);
    EXPECT_TRUE(Verify(card, false).Clean());
}

TEST(StoreHealth, OlderStoresGetTheirMissingChecksumsAndAPartialRecordIsCompleted) {
    LoadedCard card(0, TwoMonths());
    card.RunAll(false);
    const fs::path root = card.StoreRootPath();
    fs::remove(ChecksumFilePath(root, 201602));
    {
        std::ofstream tail(card.IndexFile("201603"), std::ios::app | std::ios::binary);
        tail << "cut off";
    }
    auto v = Verify(card, false);
    EXPECT_EQ(v.withoutChecksum, 2);
    EXPECT_EQ(Count(v, StoreProblemKind::PartialRecord), 1);
    EXPECT_FALSE(v.Clean());

    v = Verify(card, true);
    EXPECT_TRUE(v.Clean());
    EXPECT_EQ(v.checksumsWritten, 2);
    EXPECT_EQ(fs::file_size(card.IndexFile("201603")) % CallRecord::kSize, 0u);
    EXPECT_EQ(SumsCheck(root, "201602.xxh128"), 0);
    v = Verify(card, false);
    EXPECT_TRUE(v.Clean());
    EXPECT_EQ(v.checksumsMatched, 3);
}

TEST(StoreHealth, APoisonedChecksumFileIsReadAsDataOnly) {
    LoadedCard card(0, TwoMonths());
    card.RunAll(false);
    const fs::path root = card.StoreRootPath();
    const fs::path outside = card.dir / "secret.wav";
    test::WriteFile(outside, std::vector<std::uint8_t>(10, 1));
    const std::string zeros(32, '0');
    const std::string poison = ReadText(ChecksumFilePath(root, 201602)) + "garbage line\n" + zeros +
                               "  ../../secret.wav\n" + zeros + "  /etc/passwd\n" + zeros +
                               "  201602/20160214/../../../secret.wav\n" + zeros +
                               "  201603/20160301/x.wav\n" + zeros.substr(3) + "  torn";
    test::WriteFile(ChecksumFilePath(root, 201602),
                    std::vector<std::uint8_t>(poison.begin(), poison.end()));
    const auto before = fs::last_write_time(outside);

    auto v = Verify(card, true);
    EXPECT_TRUE(v.Clean()) << v.problems.size();
    EXPECT_EQ(v.damagedChecksumLines, 6);
    EXPECT_EQ(v.checksumsMatched, 3);
    EXPECT_EQ(fs::last_write_time(outside), before);

    // A checksum file that is a link is not followed, read or written through.
    fs::remove(ChecksumFilePath(root, 201603));
    fs::create_symlink(outside, ChecksumFilePath(root, 201603));
    v = Verify(card, true);
    EXPECT_EQ(Count(v, StoreProblemKind::ChecksumFileDamaged), 1);
    EXPECT_EQ(test::ReadFile(outside), std::vector<std::uint8_t>(10, 1));

    // New backups end a torn line before adding theirs.
    fs::remove(ChecksumFilePath(root, 201603));
    LoadedCard more(0, {{Incoming, "20160216093000", "8"}});
    more.backupPath = card.backupPath;
    more.RunAll(false);
    EXPECT_EQ(SumsCheck(root, "201602.xxh128") == 0, false);  // the poison is still there
    const std::string after = ReadText(ChecksumFilePath(root, 201602));
    EXPECT_NE(after.find("torn\n"), std::string::npos);
    const auto v2 = Verify(card, false);
    EXPECT_EQ(v2.checksumsMatched, 3);
    EXPECT_EQ(v2.withoutChecksum, 1);  // the month whose checksum file was a link
}

TEST(StoreHealth, AChecksumFileThatIsAFifoNeitherBlocksTheBackupNorTheCheck) {
    LoadedCard card(0, TwoMonths());
    const fs::path root = card.StoreRootPath();
    fs::create_directories(root / "CallLog");
    ASSERT_EQ(::mkfifo(ChecksumFilePath(root, 201602).c_str(), 0644), 0);
    const auto r = card.RunAll(false);
    EXPECT_EQ(r.backedUp, 3);
    const auto v = Verify(card, true);
    EXPECT_EQ(Count(v, StoreProblemKind::ChecksumFileDamaged), 1);
    EXPECT_EQ(v.withoutChecksum, 2);
    EXPECT_EQ(v.checksumsMatched, 1);
    EXPECT_EQ(fs::status(ChecksumFilePath(root, 201602)).type(), fs::file_type::fifo);
}

TEST(StoreHealth, EntriesNamingLinksMissingFilesOrOtherFoldersAreReported) {
    LoadedCard card(0, TwoMonths());
    card.RunAll(false);
    const fs::path root = card.StoreRootPath();
    const fs::path outside = card.dir / "elsewhere.wav";
    test::WriteFile(outside, std::vector<std::uint8_t>(10, 1));
    fs::remove(card.StoreFile(card.cardFiles[0]));
    fs::create_symlink(outside, card.StoreFile(card.cardFiles[0]));
    fs::remove(card.StoreFile(card.cardFiles[2]));
    const auto v = Verify(card, true);
    EXPECT_FALSE(v.Clean());
    EXPECT_EQ(Count(v, StoreProblemKind::NotRegularFile), 1);
    EXPECT_EQ(Count(v, StoreProblemKind::MissingFile), 1);
    EXPECT_EQ(v.filesChecked, 1);
}

TEST(StoreHealth, OnlyPlainNamesOfTheirOwnMonthCountAsStoreKeys) {
    const struct {
        const char* key;
        bool ok;
    } cases[] = {
        {"201602/20160214/20160214093000-I-1.wav", true},
        {"201602/20160214/x.wav.tmp", true},
        {"201603/20160314/20160314093000-I-1.wav", false},  // another month
        {"201602/20160314/20160314093000-I-1.wav", false},  // a day of another month
        {"201602/20160214/../../../etc/passwd", false},
        {"201602/20160214/..", false},
        {"201602/2016021x/a.wav", false},
        {"/201602/20160214/a.wav", false},
        {"201602/20160214/a\\b.wav", false},
        {"201602/20160214/a\nb.wav", false},
        {"201602/20160214/", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsMonthStoreKey(c.key, 201602), c.ok) << c.key;
    EXPECT_EQ(FormatChecksumLine({}, "../x", 201602), "");
}

// The copy is made in chunks: a file ending on, just before or just after a
// chunk edge must still be copied whole and hashed as it was copied.
TEST(StoreHealth, CopiesAreHashedWholeAtEveryChunkEdge) {
    test::TempDir dir;
    RealFileOps ops;
    constexpr std::size_t kChunk = 128 << 10;
    const std::size_t sizes[] = {0, 1, kChunk - 1, kChunk, kChunk + 1, 3 * kChunk, (1 << 20) + 17};
    for (const std::size_t size : sizes) {
        std::vector<std::uint8_t> bytes(size);
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<std::uint8_t>((i * 131 + size) >> 3);
        const fs::path from = dir / ("in" + std::to_string(size));
        const fs::path to = dir / ("out" + std::to_string(size));
        test::WriteFile(from, bytes);
        ASSERT_TRUE(ops.CopyToNewFile(from, to)) << size;
        EXPECT_EQ(ops.LastCopiedBytes(), size);
        EXPECT_EQ(test::ReadFile(to), bytes) << size;
        Xxh128 expected;
        expected.Update(ByteSpan(bytes.data(), bytes.size()));
        ASSERT_TRUE(ops.LastCopiedDigest().has_value()) << size;
        EXPECT_EQ(DigestHex(*ops.LastCopiedDigest()), DigestHex(expected.Finish())) << size;
    }
}

// One hash serves every copy of a thread: a copy cut off half way (here by
// a file size limit, as a full disk would) must not leave its bytes in the
// checksum of the next one.
TEST(StoreHealth, ACopyCutOffHalfWayLeavesNothingInTheNextChecksum) {
    test::TempDir dir;
    RealFileOps ops;
    std::vector<std::uint8_t> big(600 << 10, 7), small(5000, 9);
    test::WriteFile(dir / "big", big);
    test::WriteFile(dir / "small", small);

    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit cut = old;
    cut.rlim_cur = 300 << 10;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &cut), 0);
    const bool copied = ops.CopyToNewFile(dir / "big", dir / "big.copy");
    const int error = ops.LastError();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_FALSE(copied);
    EXPECT_EQ(error, EFBIG);

    ASSERT_TRUE(ops.CopyToNewFile(dir / "small", dir / "small.copy"));
    Xxh128 expected;
    expected.Update(ByteSpan(small.data(), small.size()));
    ASSERT_TRUE(ops.LastCopiedDigest().has_value());
    EXPECT_EQ(DigestHex(*ops.LastCopiedDigest()), DigestHex(expected.Finish()));
}

TEST(StoreHealth, RetentionSparesMarkedAndRecentCallsAndOtherTypes) {
    const std::time_t now = 1481328000;  // 2016-12-10
    auto call = [](int type, int year, int month, int day) {
        CallRecord r;
        r.type = type;
        r.time.year = static_cast<std::uint16_t>(year);
        r.time.month = static_cast<std::uint16_t>(month);
        r.time.day = static_cast<std::uint16_t>(day);
        return r;
    };
    const RetentionRule days90{90, {}};
    const RetentionRule missedOnly{90, {Missed}};
    EXPECT_TRUE(RetentionSelects(call(Incoming, 2016, 9, 1), days90, now));
    EXPECT_FALSE(RetentionSelects(call(Incoming, 2016, 9, 12), days90, now));  // 89 days old
    EXPECT_FALSE(RetentionSelects(call(Incoming, 2016, 9, 1), missedOnly, now));
    EXPECT_TRUE(RetentionSelects(call(Missed, 2016, 9, 1), missedOnly, now));
    CallRecord marked = call(Incoming, 2015, 1, 1);
    marked.cardBytes[CallRecord::kCardMarkByte] = 1;
    EXPECT_FALSE(RetentionSelects(marked, days90, now));
    // No time in the record: the copy's name tells it.
    CallRecord unnamed = call(Incoming, 0, 0, 0);
    SetFieldText(unnamed.filePath, u"/s/201501/20150101/20150101100000-I-1_2.wav");
    EXPECT_TRUE(RetentionSelects(unnamed, days90, now));
    SetFieldText(unnamed.filePath, u"/s/201501/20150101/x.wav");
    EXPECT_FALSE(RetentionSelects(unnamed, days90, now));

    CallRecord r;
    SetFieldText(r.number, u"+49 (30) 555-1234");
    EXPECT_TRUE(NumberMatches(r, "4930 5551234"));
    EXPECT_FALSE(NumberMatches(r, "305551234"));
    SetFieldText(r.number, u"Anonymous");
    EXPECT_TRUE(NumberMatches(r, "Anonymous"));
    EXPECT_FALSE(NumberMatches(r, ""));
}

TEST(StoreHealth, AuditTrailSurvivesADamagedTrailingLine) {
    test::TempDir dir;
    ASSERT_TRUE(AppendAudit(dir.path(), std::vector<AuditEvent>{{"erased", 0, "a.wav", "555"}}).ok);
    {
        std::ofstream f(dir / kAuditFileName, std::ios::app);
        f << "{\"time\":\"2026-01-01T00:00:00Z\",\"act";  // cut off by a crash
    }
    ASSERT_TRUE(
        AppendAudit(dir.path(), std::vector<AuditEvent>{{"moved to trash", 1, "b.wav", ""}}).ok);
    const auto read = ReadAudit(dir.path());
    EXPECT_TRUE(read.found);
    EXPECT_EQ(read.damagedLines, 1);
    ASSERT_EQ(read.records.size(), 2u);
    EXPECT_EQ(read.records[0].event.action, "erased");
    EXPECT_EQ(read.records[0].event.detail, "555");
    EXPECT_EQ(read.records[1].event.action, "moved to trash");
    EXPECT_EQ(read.records[1].event.family, 1);
    EXPECT_FALSE(read.records[1].user.empty());
    EXPECT_FALSE(read.records[1].host.empty());
}

TEST(StoreHealth, MonthsAreCalendarMonthsHeldToTheEndOfShorterOnes) {
    auto at = [](int y, int m, int d, int hour = 12) {
        SystemTime t;
        t.year = static_cast<std::uint16_t>(y);
        t.month = static_cast<std::uint16_t>(m);
        t.day = static_cast<std::uint16_t>(d);
        t.hour = static_cast<std::uint16_t>(hour);
        return t;
    };
    const struct {
        SystemTime now;
        int months;
        SystemTime cutoff;
    } cases[] = {
        {at(2024, 3, 31), 1, at(2024, 2, 29)},   // leap year
        {at(2023, 3, 31), 1, at(2023, 2, 28)},   //
        {at(2024, 5, 31), 1, at(2024, 4, 30)},   // a 30-day month
        {at(2024, 7, 31), 2, at(2024, 5, 31)},   // a 31-day month keeps the 31st
        {at(2024, 2, 29), 12, at(2023, 2, 28)},  // a year back from a leap day
        {at(2024, 1, 15), 1, at(2023, 12, 15)},  // across the new year
        {at(2024, 1, 31), 14, at(2022, 11, 30)}, {at(2024, 6, 10), 0, at(2024, 6, 10)},
    };
    for (const auto& c : cases) {
        const SystemTime got = MonthsBefore(c.now, c.months);
        EXPECT_EQ(got, c.cutoff) << c.now.year << "-" << c.now.month << "-" << c.now.day << " less "
                                 << c.months << ": " << got.year << "-" << got.month << "-"
                                 << got.day;
    }

    // A call goes only once it is older than the cut-off, to the second.
    const RetentionRule oneMonth{0, {}, 1, {}};
    auto call = [](SystemTime t) {
        CallRecord r;
        r.type = Incoming;
        r.time = t;
        return r;
    };
    SystemTime justBefore = at(2024, 2, 29, 11);
    justBefore.minute = 59;
    justBefore.second = 59;
    EXPECT_TRUE(RetentionSelects(call(justBefore), oneMonth, at(2024, 3, 31)));
    EXPECT_FALSE(RetentionSelects(call(at(2024, 2, 29)), oneMonth, at(2024, 3, 31)));
    EXPECT_TRUE(RetentionSelects(call(at(2023, 2, 28, 11)), oneMonth, at(2023, 3, 31)));
    EXPECT_EQ(RetentionRuleText(oneMonth), "keep 1 months");
    EXPECT_EQ(RetentionRuleText({90, {Missed, Note2, Incoming, Note}, 0, {}}),
              "keep 90 days, types incoming,missed,note");

    // Tagged calls are spared through the hook, and only those.
    RetentionRule tagged = oneMonth;
    tagged.isTagged = [](const CallRecord& r) { return r.callSeconds == 7; };
    CallRecord kept = call(at(2020, 1, 1));
    kept.callSeconds = 7;
    EXPECT_FALSE(RetentionSelects(kept, tagged, at(2024, 3, 31)));
    EXPECT_TRUE(RetentionSelects(call(at(2020, 1, 1)), tagged, at(2024, 3, 31)));
}

TEST(StoreHealth, TheVolumesSharedTrashIsUsedOnlyWhenStickyAndNoLink) {
    test::TempDir dir;
    const std::string uid = std::to_string(::getuid());
    const struct {
        const char* name;
        std::function<void(const fs::path&)> make;
        bool shared;
    } cases[] = {
        {"sticky folder",
         [](const fs::path& t) {
             fs::create_directory(t);
             ::chmod(t.c_str(), 01777);
         },
         true},
        {"folder without the sticky bit",
         [](const fs::path& t) {
             fs::create_directory(t);
             ::chmod(t.c_str(), 0777);
         },
         false},
        {"link to a sticky folder",
         [](const fs::path& t) {
             fs::create_directory(t.parent_path() / "real");
             ::chmod((t.parent_path() / "real").c_str(), 01777);
             fs::create_directory_symlink("real", t);
         },
         false},
        {"plain file", [](const fs::path& t) { test::WriteText(t, "x"); }, false},
        {"none", [](const fs::path&) {}, false},
    };
    int n = 0;
    for (const auto& c : cases) {
        const fs::path top = dir / std::to_string(n++);
        fs::create_directories(top);
        c.make(top / ".Trash");
        const auto chosen = SharedVolumeTrash(top);
        EXPECT_EQ(chosen.has_value(), c.shared) << c.name;
        if (chosen) {
            EXPECT_EQ(*chosen, top / ".Trash" / uid) << c.name;
        }
    }
}

TEST(StoreHealth, AUserActionIsLoggedOnlyWithAStoreAndNeverWaitsLongForTheLock) {
    test::TempDir dir;
    // No backup path set up, or none there: nothing to log, nothing wrong.
    EXPECT_TRUE(AuditUserAction({}, "deleted", {"a.wav"}, {}).ok);
    EXPECT_TRUE(AuditUserAction(dir / "absent", "deleted", {"a.wav"}, {}).ok);
    EXPECT_FALSE(fs::exists(dir / "absent"));

    ASSERT_TRUE(AuditUserAction(dir.path(), "deleted", {"a.wav", "b.wav"}, "", 0).ok);
    ASSERT_TRUE(AuditUserAction(dir.path(), "exported sheet", {}, "3 calls").ok);
    auto read = ReadAudit(dir.path());
    ASSERT_EQ(read.records.size(), 3u);
    EXPECT_EQ(read.records[1].event.file, "b.wav");
    EXPECT_EQ(read.records[1].event.family, 0);
    EXPECT_EQ(read.records[2].event.action, "exported sheet");
    EXPECT_EQ(read.records[2].event.detail, "3 calls");

    // Another PC holds the trail's lock and does not let go.
    int error = 0;
    const auto held = IndexLock::Acquire(dir / kAuditFileName, IndexLock::Mode::Auto, &error);
    ASSERT_TRUE(held.has_value()) << error;
    const std::vector<AuditEvent> one{{"mailed", -1, "c.wav", ""}};
    const auto written = AppendAudit(dir.path(), one, std::chrono::milliseconds(50));
    EXPECT_FALSE(written.ok);
    EXPECT_NE(written.error.find("locked"), std::string::npos) << written.error;
    EXPECT_EQ(ReadAudit(dir.path()).records.size(), 3u);
}

}  // namespace
}  // namespace lk
