// Delete, mark, mail and WAV export act only on files below the card or
// store a record was read from, and only on the entry it was read from.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>

#include "card/BackupStore.h"
#include "card/RecordCommands.h"
#include "card/RecordLoader.h"
#include "core/card/CardFixture.h"
#include "mail/MailMessage.h"
#include "platform/TextCodec.h"

namespace lk {
namespace {
namespace fs = std::filesystem;

CallRecord StoreRecord(int year, int month, int second, const fs::path& filePath) {
    CallRecord r;
    r.cardBytes[CallRecord::kCardInUseByte] = 1;
    r.inUse = 1;
    r.type = Incoming;
    r.time = SystemTime{static_cast<std::uint16_t>(year),
                        static_cast<std::uint16_t>(month),
                        0,
                        1,
                        12,
                        0,
                        static_cast<std::uint16_t>(second),
                        0};
    SetFieldText(r.filePath, FromUtf8(filePath.string()));
    return r;
}

// A store with month index files written record by record, loaded as the
// window loads it.
struct Store {
    test::TempHome home{false};
    test::TempDir dir;
    fs::path backupPath = dir / "backup";
    fs::path root = StoreRoot(backupPath, 0);
    test::FakeVolumes volumes;
    RecorderState state{volumes.MakeProbe()};

    void File(int yyyymm, const std::vector<CallRecord>& records) {
        std::vector<std::uint8_t> bytes;
        for (const auto& r : records) {
            const auto image = r.ToBytes();
            bytes.insert(bytes.end(), image.begin(), image.end());
        }
        test::WriteFile(MonthIndexPath(backupPath, 0, yyyymm), bytes);
    }
    const RecordList& Load() {
        const auto load = LoadBackupIndex(state, backupPath, test::FakeGate{});
        EXPECT_TRUE(load.startLoader);
        RecordLoaderOptions options;
        options.backupPath = backupPath;
        (void)RecordLoaderThread(state, options);
        return state.records.Backup();
    }
};

// Every way an index entry can name a file that is not the store's own.
TEST(RecordCommands, PoisonedIndexEntriesAreRefusedByEveryCommand) {
    struct Entry {
        const char* what;
        std::function<fs::path(const Store&, const fs::path& victim)> filePath;
    };
    const std::vector<Entry> entries = {
        {"absolute path outside", [](const Store&, const fs::path& v) { return v; }},
        {"climbs out with ..",
         [](const Store& s, const fs::path& v) {
             return s.root / "201601" / ".." / ".." / ".." / v.parent_path().filename() /
                    v.filename();
         }},
        {"through a link inside the store",
         [](const Store& s, const fs::path& v) {
             fs::create_directories(s.root / "201601");
             fs::create_directory_symlink(v.parent_path(), s.root / "201601" / "20160101");
             return s.root / "201601" / "20160101" / v.filename();
         }},
        {"a file of another store",
         [](const Store& s, const fs::path&) {
             const auto other = s.dir / "other" / "ZuzeVavazoBackup" / "201601" / "20160101" /
                                "20160101120000-I-1.xtr";
             test::WriteText(other, "recording of another store");
             return other;
         }},
    };
    struct Command {
        const char* what;
        std::function<bool(CallRecord&, const fs::path& scratch)> run;  // true: it acted
    };
    const std::vector<Command> commands = {
        {"delete", [](CallRecord& r, const fs::path&) { return DeleteRecordFiles(r).done; }},
        {"mark", [](CallRecord& r, const fs::path&) { return WriteRecordMark(r, 1).done; }},
        {"mail as WAV",
         [](CallRecord& r, const fs::path& scratch) {
             const auto a = PrepareMailAttachments({r}, false, scratch);
             EXPECT_EQ(a.leftOut.size(), 1u);
             if (!a.leftOut.empty()) {
                 EXPECT_FALSE(a.leftOut[0].reason.empty());
             }
             return !a.files.empty();
         }},
        {"mail as recorded",
         [](CallRecord& r, const fs::path& scratch) {
             const auto a = PrepareMailAttachments({r}, true, scratch);
             EXPECT_EQ(a.leftOut.size(), 1u);
             return !a.files.empty();
         }},
        {"export as WAV",
         [](CallRecord& r, const fs::path&) {
             const auto recording = RecordingOf(r);
             return recording.path && recording.path->Open(O_RDONLY).Ok();
         }},
    };
    for (const Entry& e : entries) {
        for (const Command& c : commands) {
            SCOPED_TRACE(std::string(e.what) + " / " + c.what);
            Store s;
            const fs::path victim = s.dir / "outside" / "20160101120000-I-1.xtr";
            test::WriteText(victim, "the victim's own file");
            const fs::path named = e.filePath(s, victim);
            s.File(201601, {StoreRecord(2016, 1, 0, named)});
            const auto indexBefore = test::ReadFile(MonthIndexPath(s.backupPath, 0, 201601));
            const RecordList& list = s.Load();
            ASSERT_EQ(list.size(), 1u);
            const fs::path scratch = s.dir / "scratch";
            fs::create_directories(scratch);

            EXPECT_FALSE(c.run(*list[0], scratch));
            EXPECT_EQ(test::ReadText(victim), "the victim's own file");
            EXPECT_EQ(test::ReadFile(MonthIndexPath(s.backupPath, 0, 201601)), indexBefore);
            EXPECT_EQ(list[0]->marked, 0);
            EXPECT_TRUE(fs::is_empty(scratch));
        }
    }
}

// The reasons name the refusal, so that the user can tell a poisoned entry
// from a full disk.
TEST(RecordCommands, RefusalsSayWhy) {
    Store s;
    const fs::path victim = s.dir / "outside" / "v.wav";
    test::WriteText(victim, "v");
    fs::create_directories(s.root / "201601");
    fs::create_directory_symlink(victim.parent_path(), s.root / "201601" / "20160101");
    s.File(201601, {StoreRecord(2016, 1, 0, victim),
                    StoreRecord(2016, 1, 1, s.root / "201601" / "20160101" / "v.wav")});
    const RecordList& list = s.Load();
    ASSERT_EQ(list.size(), 2u);
    const auto outside = DeleteRecordFiles(*list[0]);
    EXPECT_NE(outside.reason.find("outside"), std::string::npos) << outside.reason;
    const auto linked = DeleteRecordFiles(*list[1]);
    EXPECT_NE(linked.reason.find("symbolic link"), std::string::npos) << linked.reason;
}

// A record filed under another month than its date is changed in the file
// it was read from; the file of its date's month is not touched.
TEST(RecordCommands, InPlaceChangesGoToTheFileTheRecordWasReadFrom) {
    for (const bool mark : {false, true}) {
        SCOPED_TRACE(mark ? "mark" : "delete");
        Store s;
        const fs::path copy = s.root / "201602" / "20160201" / "a.wav";
        test::WriteText(copy, "RIFF");
        // Filed under February, dated March; March's file holds a call of
        // the same time at the same position.
        s.File(201602, {StoreRecord(2016, 2, 5, s.root / "201602" / "20160201" / "b.wav"),
                        StoreRecord(2016, 3, 0, copy)});
        s.File(201603, {StoreRecord(2016, 3, 0, s.root / "201603" / "20160301" / "c.wav"),
                        StoreRecord(2016, 3, 0, s.root / "201603" / "20160301" / "d.wav")});
        const auto february = test::ReadFile(MonthIndexPath(s.backupPath, 0, 201602));
        const auto march = test::ReadFile(MonthIndexPath(s.backupPath, 0, 201603));
        const RecordList& list = s.Load();
        ASSERT_EQ(list.size(), 4u);
        CallRecord& misfiled = *list[1];
        ASSERT_EQ(FieldText(misfiled.filePath), FromUtf8(copy.string()));

        const RecordChange change =
            mark ? WriteRecordMark(misfiled, 1) : DeleteRecordFiles(misfiled);
        ASSERT_TRUE(change.done) << change.reason;
        auto expected = february;
        if (mark) {
            expected[1076 + 7] = 1;
            expected[1076 + 144] = 1;
        } else {
            expected[1076 + 4] = 0;
            expected[1076 + 132] = 0;
        }
        EXPECT_EQ(test::ReadFile(MonthIndexPath(s.backupPath, 0, 201602)), expected);
        EXPECT_EQ(test::ReadFile(MonthIndexPath(s.backupPath, 0, 201603)), march);
        EXPECT_EQ(fs::exists(copy), mark);
    }
}

// A card month folder that is a link to a folder elsewhere: the file there
// stays, and the log entry too.
TEST(RecordCommands, ACardMonthFolderThatIsALinkIsNotDeletedThrough) {
    test::CardOnVolume card(0, {});
    CardRecordFields f;
    f.relativePath = u"201601\\20160101120000-I-1.wav";
    const auto raw = BuildCardRecord(f, 0);
    test::WriteFile(card.root / kCallLogFileName, raw);
    const fs::path elsewhere = card.dir / "elsewhere";
    test::WriteText(elsewhere / "20160101120000-I-1.wav", "not the card's");
    fs::create_directory_symlink(elsewhere, card.root / "201601");

    (void)RecordLoaderThread(*card.state, {});
    ASSERT_EQ(card.state->records.Card().size(), 1u);
    const RecordChange change = DeleteRecordFiles(*card.state->records.Card()[0]);
    EXPECT_FALSE(change.done);
    EXPECT_NE(change.reason.find("symbolic link"), std::string::npos) << change.reason;
    EXPECT_EQ(test::ReadText(elsewhere / "20160101120000-I-1.wav"), "not the card's");
    EXPECT_EQ(test::ReadFile(card.root / kCallLogFileName), raw);
}

// FIFOs planted under a log's or a recording's name: everything finishes
// (a hang fails the test by the harness's timeout) and the FIFO is refused.
TEST(RecordCommands, FifosAreRefusedNotWaitedFor) {
    {
        SCOPED_TRACE("card log");
        test::CardOnVolume card(0, {});
        fs::remove(card.root / kCallLogFileName);
        ASSERT_EQ(::mkfifo((card.root / kCallLogFileName).c_str(), 0600), 0);
        const auto r = RecordLoaderThread(*card.state, {});
        EXPECT_EQ(r.filesRead, 0);
        EXPECT_TRUE(card.state->records.Card().empty());
    }
    {
        SCOPED_TRACE("store index");
        Store s;
        fs::create_directories(MonthIndexPath(s.backupPath, 0, 201601).parent_path());
        ASSERT_EQ(::mkfifo(MonthIndexPath(s.backupPath, 0, 201601).c_str(), 0600), 0);
        EXPECT_TRUE(s.Load().empty());
    }
    {
        SCOPED_TRACE("recording");
        Store s;
        const fs::path fifo = s.root / "201601" / "20160101" / "20160101120000-I-1.xtr";
        fs::create_directories(fifo.parent_path());
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        s.File(201601, {StoreRecord(2016, 1, 0, fifo)});
        const RecordList& list = s.Load();
        ASSERT_EQ(list.size(), 1u);
        const auto deleted = DeleteRecordFiles(*list[0]);
        EXPECT_FALSE(deleted.done);
        EXPECT_EQ(deleted.reason, std::string("recording not removed: ") + kNotARegularFile);
        for (const bool asRecorded : {false, true}) {
            const auto a = PrepareMailAttachments({*list[0]}, asRecorded, s.dir.path());
            EXPECT_TRUE(a.files.empty());
            ASSERT_EQ(a.leftOut.size(), 1u);
            EXPECT_EQ(a.leftOut[0].reason, kNotARegularFile);
        }
        struct stat st {};
        ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode));
    }
}

// Another PC clears the entry (a deletion, retention) while this one marks
// it: a mark writes its own bytes only, never the entry as it read it a moment
// before, which brought cleared entries back to life.
TEST(RecordCommands, AMarkNeverWritesBackBytesAnotherWriterChanged) {
    Store s;
    const fs::path rec = s.root / "201601" / "20160101" / "20160101120000-I-1.wav";
    test::WriteText(rec, "recording");
    s.File(201601, {StoreRecord(2016, 1, 0, rec)});
    const RecordList& list = s.Load();
    ASSERT_EQ(list.size(), 1u);
    CallRecord& record = *list[0];
    const fs::path index = MonthIndexPath(s.backupPath, 0, 201601);
    const int fd = ::open(index.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::atomic<bool> done{false};
    std::thread marking([&] {
        for (int i = 0; !done; ++i)
            (void)WriteRecordMark(record, i & 1);
    });
    int undone = 0;
    for (std::uint8_t i = 0; i < 200; ++i) {
        std::uint8_t value[4] = {static_cast<std::uint8_t>(i + 2), 0, 0, 0};
        ASSERT_EQ(::pwrite(fd, value, 4, CallRecord::kInUseOffset), 4);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        std::uint8_t back[4] = {};
        ASSERT_EQ(::pread(fd, back, 4, CallRecord::kInUseOffset), 4);
        undone += back[0] != value[0];
    }
    done = true;
    marking.join();
    ::close(fd);
    EXPECT_EQ(undone, 0);
}

}  // namespace
}  // namespace lk
