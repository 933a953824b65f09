// One recording, one copy, one live entry: records naming one recording, markers
// and the recordings that later replace them, runs sharing a store, and the
// reasons a record fails with.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fstream>
#include <thread>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include "backup/IndexLock.h"
#include "core/backup/BackupTestSupport.h"
#include "core/backup/FaultyFileOps.h"

namespace lk {
namespace {
namespace fs = std::filesystem;
using test::LoadedCard;
using test::RecordingSpec;

BackupResult RunWith(LoadedCard& card, bool move, std::optional<bool> ignoreCase,
                     FileOps* files = nullptr) {
    BackupOptions o = card.Options(move, files);
    o.cardIgnoresCase = ignoreCase;
    NoProgress none;
    return BackupAllThread(*card.state, o, none, {});
}

// Live index entries naming each stored path, over every month file.
std::map<std::string, int> LiveEntries(const fs::path& storeRoot) {
    std::map<std::string, int> seen;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(storeRoot / "CallLog", ec))
        for (const auto& r :
             test::IsIndexFile(e.path()) ? test::ReadIndex(e.path()) : std::vector<CallRecord>{})
            if (r.IsLive()) ++seen[ToUtf8(FieldText(r.filePath))];
    return seen;
}

std::u16string Upper(const std::string& s) {
    std::u16string out = FromUtf8(s);
    for (auto& c : out)
        if (c >= u'a' && c <= u'z') c -= 0x20;
    return out;
}

// A recorder writes two (or more) records for one recording: it is one copy and
// one entry, the first record's; the others count as already held.
TEST(BackupOneRecording, RecordsNamingOneRecordingGiveOneCopyAndOneEntry) {
    struct Case {
        const char* what;
        bool move;
        bool otherCase;  // the second record names the file in upper case
    } cases[] = {
        {"copy", false, false},
        {"move", true, false},
        {"copy, named in another case on a card that ignores case", false, true},
        {"move, named in another case on a card that ignores case", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const RecordingSpec a{Incoming, "20261001091205", "5550142"};
        RecordingSpec b = a;
        if (c.otherCase) b.relativePath = u"202610\\" + Upper(test::RecordingFileName(a));
        RecordingSpec other{Outgoing, "20261002091205", "7"};
        LoadedCard card(0, {a, b, other});

        const auto r =
            RunWith(card, c.move, c.otherCase ? std::optional<bool>(true) : std::nullopt);
        EXPECT_EQ(r.failed, 0) << r.failureReason;
        EXPECT_EQ(r.backedUp, 2);
        EXPECT_EQ(r.skipped, 1);
        ASSERT_EQ(r.items.size(), 3u);
        EXPECT_EQ(r.items[1].outcome, BackupOutcome::AlreadyHeld);
        EXPECT_TRUE(r.items[1].indexed);
        EXPECT_EQ(r.items[1].destination, card.StoreFile(a));
        EXPECT_EQ(r.cardNotCleared, 0) << r.cardClearReason;
        EXPECT_EQ(r.cardLogDeleted, c.move);
        EXPECT_EQ(fs::exists(card.CardFile(a)), !c.move);
        EXPECT_EQ(test::ReadFile(card.StoreFile(a)), test::RecordingBytes(a));
        EXPECT_FALSE(fs::exists(card.StoreFile(a).parent_path() /
                                StoreNameVariant(test::RecordingFileName(a), 2)));
        const auto live = LiveEntries(card.StoreRootPath());
        EXPECT_EQ(live.size(), 2u);
        EXPECT_EQ(live.at(card.StoreFile(a).string()), 1);
    }
}

enum class CardState {
    Unmounted,          // the card's folders are gone, its mount point left empty
    ReaderGone,         // every card access fails with ENOTCONN
    OtherCaseStrict,    // the log names the file in another case on a case-sensitive card
    Undecodable,        // the log's path bytes do not map to characters
    FifoInsteadOfFile,  // a FIFO where the recording should be
    FolderInsteadOfFile,
};

// A recording that cannot be read is not backed up: no marker stands for it,
// its record fails with the reason, and a move keeps the card's log.
TEST(BackupMarkers, AnUnreadableRecordingFailsItsRecordAndMakesNoMarker) {
    struct Case {
        const char* what;
        CardState state;
        const char* reason;
    } cases[] = {
        {"card unmounted after its log was read", CardState::Unmounted,
         "the card's device is gone"},
        {"card reader gone", CardState::ReaderGone, "the card's device is gone"},
        {"named in another case on a case-sensitive card", CardState::OtherCaseStrict,
         "the card names the recording in another letter case"},
        {"log path bytes without characters", CardState::Undecodable,
         "the card's log names the recording in characters that cannot be read"},
        {"a FIFO in place of the recording", CardState::FifoInsteadOfFile,
         "the recording on the card is not a regular file"},
        {"a folder in place of the recording", CardState::FolderInsteadOfFile,
         "the recording on the card is not a regular file"},
    };
    for (const bool move : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << c.what << (move ? " (move)" : " (copy)"));
            const RecordingSpec rec{Incoming, "20160214093000", "1"};
            RecordingSpec named = rec;
            if (c.state == CardState::OtherCaseStrict)
                named.relativePath = u"201602\\" + Upper(test::RecordingFileName(rec));
            if (c.state == CardState::Undecodable)
                named.relativePath = u"201602\\20160214093000-I-?.wav";
            LoadedCard card(0, {named, {Incoming, "20160214100000", "2"}});
            if (c.state == CardState::OtherCaseStrict || c.state == CardState::Undecodable)
                test::WriteFile(card.CardFile(rec), test::RecordingBytes(rec));
            if (c.state == CardState::Undecodable) {
                // A byte that code page 1252 leaves without a character.
                auto log = test::ReadFile(card.state->cardLogPath);
                std::replace(log.begin(), log.begin() + 128, std::uint8_t{'?'}, std::uint8_t{0x81});
                test::WriteFile(card.state->cardLogPath, log);
                card.state->records.ReplaceAll(RecordListId::Card);
                RecordLoaderThread(*card.state, {});
            }
            test::FaultyFileOps files;
            files.cardRoot = card.root;
            switch (c.state) {
                case CardState::Unmounted:
                    for (const auto& e : fs::directory_iterator(card.root))
                        fs::remove_all(e.path());
                    break;
                case CardState::ReaderGone:
                    files.cardGone = true;
                    break;
                case CardState::FifoInsteadOfFile:
                    fs::remove(card.CardFile(rec));
                    ASSERT_EQ(::mkfifo(card.CardFile(rec).c_str(), 0644), 0);
                    break;
                case CardState::FolderInsteadOfFile:
                    fs::remove(card.CardFile(rec));
                    fs::create_directory(card.CardFile(rec));
                    break;
                default:
                    break;
            }
            const auto r = RunWith(card, move, false, &files);
            EXPECT_GE(r.failed, 1);
            EXPECT_EQ(r.items.at(0).outcome, BackupOutcome::Failed);
            EXPECT_EQ(r.failureReason, c.reason);
            EXPECT_FALSE(r.cardLogDeleted);
            for (const auto& [path, n] : LiveEntries(card.StoreRootPath()))
                EXPECT_EQ(path.find(kMarkerSuffix), std::string::npos) << path;
            fs::path marker = card.StoreFile(rec);
            marker += kMarkerSuffix;
            EXPECT_FALSE(fs::exists(marker));
        }
    }
}

// A marker made for a recording that was missing gives way to the recording
// when a later run finds it: the call is listed once, with its audio.
TEST(BackupMarkers, ARecordingThatAppearsLaterReplacesItsMarker) {
    for (const bool move : {false, true}) {
        SCOPED_TRACE(move);
        RecordingSpec late{Incoming, "20160214093000", "1"};
        late.withFile = false;
        LoadedCard card(0, {late, {Incoming, "20160214100000", "2"}});
        auto r = card.RunAll(false);
        EXPECT_EQ(r.items.at(0).outcome, BackupOutcome::Marker);
        fs::path marker = card.StoreFile(late);
        marker += kMarkerSuffix;
        ASSERT_TRUE(fs::exists(marker));

        test::WriteFile(card.CardFile(late), test::RecordingBytes(late));
        r = card.RunAll(move);
        EXPECT_EQ(r.failed, 0) << r.failureReason;
        EXPECT_EQ(r.items.at(0).outcome, move ? BackupOutcome::Moved : BackupOutcome::Copied);
        EXPECT_EQ(test::ReadFile(card.StoreFile(late)), test::RecordingBytes(late));
        EXPECT_FALSE(fs::exists(marker));
        const auto live = LiveEntries(card.StoreRootPath());
        EXPECT_EQ(live.count(marker.string()), 0u);
        EXPECT_EQ(live.at(card.StoreFile(late).string()), 1);
        EXPECT_EQ(live.size(), 2u);
        // Positions of the other entries are kept: the file only grew.
        EXPECT_EQ(test::ReadIndex(card.IndexFile("201602")).size(), 3u);

        r = card.RunAll(false);
        EXPECT_EQ(r.backedUp, 0);
        EXPECT_EQ(LiveEntries(card.StoreRootPath()), live);
    }
}

TEST(BackupReasons, AFailingStoreSaysWhy) {
    enum class Store { FolderIsAFile, IndexFull, ReadOnly };
    struct Case {
        const char* what;
        Store store;
        const char* reason;
    } cases[] = {
        {"a store month folder is a plain file", Store::FolderIsAFile,
         "a store path is not a folder"},
        {"the copies fit, their index entries do not", Store::IndexFull,
         "no space left on the store's device"},
        {"the store's device is mounted read-only", Store::ReadOnly,
         "the store's device is read-only"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LoadedCard card(0, {{Incoming, "20160214093000", "1"}, {Incoming, "20160214100000", "2"}});
        test::FaultyFileOps files;
        files.cardRoot = card.root;
        bool mounted = false;
        switch (c.store) {
            case Store::FolderIsAFile:
                fs::create_directories(card.StoreRootPath());
                test::WriteFile(card.StoreRootPath() / "201602", {1});
                break;
            case Store::IndexFull:
                files.diskBytesLeft = 2 * card.cardFiles[0].fileBytes;
                break;
            case Store::ReadOnly:
                fs::create_directories(card.backupPath);
                mounted = ::mount(card.backupPath.c_str(), card.backupPath.c_str(), nullptr,
                                  MS_BIND, nullptr) == 0;
                if (mounted && ::mount(nullptr, card.backupPath.c_str(), nullptr,
                                       MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
                    ::umount(card.backupPath.c_str());
                    mounted = false;
                }
                if (!mounted) {
                    std::cout << "skipped: a read-only bind mount needs the right to mount\n";
                    continue;
                }
                break;
        }
        const auto r = card.RunAll(false, &files);
        if (mounted) ::umount(card.backupPath.c_str());
        EXPECT_EQ(r.failed, 2);
        EXPECT_EQ(r.backedUp, 0);
        EXPECT_EQ(r.failureReason, c.reason);
    }
}

// Two runs of one card into one store at the same moment, in one process, with
// the lock file that stands in where the file system refuses locks.
TEST(BackupSharedStore, TwoRunsOfOneCardIndexEachRecordingOnce) {
    for (const auto mode : {IndexLock::Mode::Auto, IndexLock::Mode::LockFileOnly}) {
        SCOPED_TRACE(mode == IndexLock::Mode::Auto ? "lock" : "lock file");
        std::vector<RecordingSpec> calls;
        for (int i = 0; i < 40; ++i) {
            char stamp[16];
            std::snprintf(stamp, sizeof stamp, "2016%02d14%02d%02d00", 1 + i % 3, i % 24, i);
            calls.push_back({Incoming, stamp, std::to_string(i)});
            calls.back().fileBytes = 700;
        }
        LoadedCard first(0, calls);
        LoadedCard second(0, calls);
        second.backupPath = first.backupPath;
        RealFileOps filesA, filesB;
        filesA.lockMode = filesB.lockMode = mode;
        BackupResult ra, rb;
        std::thread a([&] { ra = first.RunAll(false, &filesA); });
        std::thread b([&] { rb = second.RunAll(false, &filesB); });
        a.join();
        b.join();
        EXPECT_EQ(ra.failed + rb.failed, 0);
        EXPECT_EQ(ra.backedUp + rb.backedUp, 40);
        const auto live = LiveEntries(first.StoreRootPath());
        EXPECT_EQ(live.size(), 40u);
        for (const auto& [path, n] : live)
            EXPECT_EQ(n, 1) << path;
        for (const auto& e : fs::recursive_directory_iterator(first.StoreRootPath()))
            EXPECT_FALSE(e.path().extension() == ".lock" || IsPartialName(e.path().filename()))
                << e.path();
    }
}

// Enough copies for a batch to be copied and renamed by several threads at
// once, two runs at the same moment, and names taken in every way: by a
// twin of the same batch, and by another program's file in the store.
TEST(BackupSharedStore, CopiesMadeSeveralAtOnceKeepEveryRecordingOnce) {
    std::vector<RecordingSpec> calls;
    for (int i = 0; i < 96; ++i) {
        char stamp[16];
        std::snprintf(stamp, sizeof stamp, "2016%02d%02d10%02d00", 1 + i % 2, 1 + i % 5, i % 60);
        calls.push_back({Incoming, stamp, std::to_string(i)});
        calls.back().fileBytes = 600 + static_cast<std::size_t>(i);
        if (i % 8 == 7) {
            // Another card file the log names under the same store name.
            RecordingSpec twin = calls.back();
            twin.relativePath =
                FromUtf8(stamp).substr(0, 6) + u"\\x" + FromUtf8(test::RecordingFileName(twin));
            calls.push_back(twin);
        }
    }
    LoadedCard first(0, calls);
    LoadedCard second(0, calls);
    second.backupPath = first.backupPath;
    const auto twinBytes = [](const RecordingSpec& c) {
        return std::vector<std::uint8_t>(c.fileBytes, static_cast<std::uint8_t>(c.fileBytes));
    };
    std::map<std::vector<std::uint8_t>, int> wanted;  // every card file's bytes, copies of it
    for (const auto& c : calls) {
        if (c.relativePath.empty()) {
            wanted[test::RecordingBytes(c)] = 0;
            continue;
        }
        wanted[twinBytes(c)] = 0;
        for (auto* card : {&first, &second})
            test::WriteFile(card->root / c.stamp.substr(0, 6) / ("x" + test::RecordingFileName(c)),
                            twinBytes(c));
    }
    // A file of another program under one recording's own name stays as it is.
    const std::vector<std::uint8_t> foreign = {1, 2, 3};
    test::WriteFile(first.StoreFile(calls[3]), foreign);

    BackupResult ra, rb;
    std::thread a([&] { ra = first.RunAll(false); });
    std::thread b([&] { rb = second.RunAll(false); });
    a.join();
    b.join();
    EXPECT_EQ(ra.failed + rb.failed, 0);
    EXPECT_EQ(ra.backedUp + rb.backedUp, static_cast<int>(calls.size()));
    EXPECT_EQ(test::ReadFile(first.StoreFile(calls[3])), foreign);
    for (const auto& [path, n] : LiveEntries(first.StoreRootPath())) {
        EXPECT_EQ(n, 1) << path;
        const auto bytes = test::ReadFile(path);
        ASSERT_EQ(wanted.count(bytes), 1u) << path;
        ++wanted[bytes];
    }
    for (const auto& [bytes, copies] : wanted)
        EXPECT_EQ(copies, 1) << bytes.size() << " bytes";
    for (const auto& e : fs::recursive_directory_iterator(first.StoreRootPath()))
        EXPECT_FALSE(IsPartialName(e.path().filename())) << e.path();
}

void Age(const fs::path& p, int seconds) {
    const timeval old[2] = {{::time(nullptr) - seconds, 0}, {::time(nullptr) - seconds, 0}};
    ::utimes(p.c_str(), old);
}

// What a dead run left behind: its lock file and its partial copies go once
// it is proven gone, another live run's never.
TEST(BackupSharedStore, OnlyProvenStaleLeftoversAreCleared) {
    const RecordingSpec rec{Incoming, "20160214093000", "1"};
    LoadedCard card(0, {rec});
    const fs::path day = card.StoreFile(rec).parent_path();
    fs::create_directories(day);
    fs::create_directories(card.StoreRootPath() / "CallLog");
    // No process has this pid (above the kernel's limit).
    const std::string dead = "4194304999";
    const std::string host = HostTag();
    struct Leftover {
        std::string name;
        int age;
        bool removed;
    } leftovers[] = {
        {"x.wav.lkpart-" + host + "-" + dead + "-00000001", 3600, true},
        {"x.wav.lkpart-" + host + "-" + dead + "-00000002", 5, false},  // too young
        {"x.wav.lkpart-" + host + "-" + std::to_string(::getpid()) + "-00000003", 3600, false},
        {"x.wav.lkpart-other.host-" + dead + "-00000004", 3600, false},
        {"x.wav.lkpart", 3600, false},  // owner unknown
    };
    for (const auto& l : leftovers) {
        test::WriteFile(day / l.name, {1, 2, 3});
        Age(day / l.name, l.age);
    }
    fs::path lock = card.IndexFile("201602");
    lock += ".lock";
    const std::string owner = host + " " + dead + "\n";
    test::WriteFile(lock, std::vector<std::uint8_t>(owner.begin(), owner.end()));
    RealFileOps files;
    files.lockMode = IndexLock::Mode::LockFileOnly;
    const auto r = card.RunAll(false, &files);
    EXPECT_EQ(r.backedUp, 1);
    EXPECT_FALSE(fs::exists(lock));
    for (const auto& l : leftovers)
        EXPECT_EQ(fs::exists(day / l.name), !l.removed) << l.name;
}

// Several runs that find one stale lock file at once: one of them breaks it,
// and the rest wait for the lock it then holds instead of breaking that too.
TEST(BackupSharedStore, AStaleLockFileBrokenByManyAtOnceLetsOneIn) {
    test::TempDir dir;
    const fs::path index = dir / "201602.dat";
    fs::path lock = index;
    lock += ".lock";
    const std::string owner = HostTag() + " 4194304999\n";  // no such process
    std::atomic<int> inside{0}, overlaps{0}, failures{0};
    for (int round = 0; round < 100 && overlaps == 0; ++round) {
        test::WriteFile(lock, std::vector<std::uint8_t>(owner.begin(), owner.end()));
        std::atomic<int> ready{0};
        std::vector<std::thread> runs;
        for (int t = 0; t < 4; ++t)
            runs.emplace_back([&] {
                ++ready;
                while (ready < 4)
                    std::this_thread::yield();
                int error = 0;
                const auto held = IndexLock::Acquire(index, IndexLock::Mode::LockFileOnly, &error);
                if (!held) {
                    ++failures;
                    return;
                }
                if (++inside > 1) ++overlaps;
                std::this_thread::sleep_for(std::chrono::microseconds(300));
                --inside;
            });
        for (auto& r : runs)
            r.join();
    }
    EXPECT_EQ(overlaps, 0);
    EXPECT_EQ(failures, 0);
    EXPECT_FALSE(fs::exists(lock));
}

}  // namespace
}  // namespace lk

namespace lk {
namespace {

// A run killed between the rename of a copy under a variant name and its index
// entry: the next run indexes the variant, although the name itself is indexed.
TEST(BackupSharedStore, AHeldVariantWithoutItsEntryIsIndexed) {
    const RecordingSpec memo{Note, "20000101000012", ""};
    LoadedCard first(0, {memo});
    ASSERT_EQ(first.RunAll(false).backedUp, 1);
    LoadedCard second(0, {memo});
    second.backupPath = first.backupPath;
    auto other = test::RecordingBytes(memo);
    for (auto& b : other)
        b = static_cast<std::uint8_t>(b + 1);
    test::WriteFile(second.CardFile(memo), other);
    ASSERT_EQ(second.RunAll(false).backedUp, 1);
    // The variant's entry is lost; its copy stays.
    const fs::path index = first.IndexFile("200001");
    auto bytes = test::ReadFile(index);
    bytes.resize(CallRecord::kSize);
    test::WriteFile(index, bytes);

    for (const bool move : {false, true}) {
        SCOPED_TRACE(move);
        const auto r = second.RunAll(move);
        EXPECT_EQ(r.failed, 0);
        EXPECT_EQ(LiveEntries(first.StoreRootPath()).size(), 2u);
    }
}

}  // namespace
}  // namespace lk
