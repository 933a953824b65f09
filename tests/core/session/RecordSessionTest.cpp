// The record session's contract: one load at a time, claims that cannot be
// leaked, and mark and delete that reach the file each record came from.

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <stdexcept>
#include <thread>

#include "backup/BackupEngine.h"
#include "backup/ImportRecords.h"
#include "card/BackupStore.h"
#include "core/card/CardFixture.h"
#include "session/RecordSession.h"
#include "support/RecordedProgress.h"

namespace lk {
namespace {
namespace fs = std::filesystem;

// A card mounted on a fake volume, opened through a session.
struct CardSession {
    test::TempHome home{false};
    test::TempDir dir;
    test::FakeVolumes volumes;
    fs::path root = dir / "card";
    std::unique_ptr<RecordSession> session;

    explicit CardSession(const std::vector<test::RecordingSpec>& calls) {
        test::MakeCard(root, 0, calls);
        volumes.Add(root);
        session = std::make_unique<RecordSession>(volumes.MakeProbe());
        session->UseCard(session->State().volumes.LetterOf(root), root / kCallLogFileName, 0);
    }
    LoadOutcome LoadCard() {
        NoProgress none;
        return LoadCard(none);
    }
    LoadOutcome LoadCard(ProgressReporter& progress) {
        LoadRequest request;
        request.source = LoadSource::Card;
        return session->Load(request, progress, {});
    }
};

// A reporter whose calls a test scripts (blocking, throwing).
struct ScriptedProgress final : ProgressReporter {
    std::function<void()> onBegin;
    std::function<void()> onStep;
    void Begin(int) override {
        if (onBegin) onBegin();
    }
    void Step(int, int, const std::string&) override {
        if (onStep) onStep();
    }
    void End() override {}
};

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

void WriteIndex(const fs::path& backupPath, int yyyymm, const std::vector<CallRecord>& records) {
    std::vector<std::uint8_t> bytes;
    for (const auto& r : records) {
        const auto image = r.ToBytes();
        bytes.insert(bytes.end(), image.begin(), image.end());
    }
    test::WriteFile(MonthIndexPath(backupPath, 0, yyyymm), bytes);
}

TEST(RecordSession, ALoadWhileALoadRunsIsRefused) {
    CardSession card({{Incoming, "20160102102033", "1"}, {Outgoing, "20160102112033", "2"}});
    std::promise<void> started, mayGoOn;
    auto goOn = mayGoOn.get_future().share();
    bool first = true;
    ScriptedProgress slow;
    slow.onBegin = [&] {
        if (!std::exchange(first, false)) return;
        started.set_value();
        goOn.wait();
    };
    std::thread running([&] { (void)card.LoadCard(slow); });
    started.get_future().wait();

    const LoadOutcome second = card.LoadCard();
    EXPECT_TRUE(second.refused);
    EXPECT_FALSE(card.session->TryClaim());
    EXPECT_TRUE(card.session->Busy());
    mayGoOn.set_value();
    running.join();

    // The finished load handed its claim to its outcome, which is gone now.
    EXPECT_FALSE(card.session->Busy());
    const LoadOutcome third = card.LoadCard();
    ASSERT_FALSE(third.refused);
    EXPECT_EQ(card.session->Records().Card().size(), 2u);
    // Its views are to be filled: the list stays claimed until that is done.
    ASSERT_TRUE(third.refill);
    EXPECT_TRUE(third.claim);
    EXPECT_TRUE(card.LoadCard().refused);
}

TEST(RecordSession, AClaimReleasedByAnExceptionFreesTheSession) {
    CardSession card({{Incoming, "20160102102033", "1"}});
    try {
        const SessionClaim claim = card.session->TryClaim();
        ASSERT_TRUE(claim);
        throw std::runtime_error("a command failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(card.session->Busy());

    // A progress reporter that throws in the middle of a load.
    ScriptedProgress throwing;
    throwing.onStep = [] { throw std::runtime_error("window gone"); };
    EXPECT_THROW((void)card.LoadCard(throwing), std::runtime_error);
    EXPECT_FALSE(card.session->Busy());

    // Moving a claim moves the duty to give it back, once.
    SessionClaim a = card.session->TryClaim();
    SessionClaim b = std::move(a);
    EXPECT_FALSE(a);
    a.Release();
    EXPECT_TRUE(card.session->Busy());
    b = SessionClaim{};
    EXPECT_FALSE(card.session->Busy());
}

// The backup walks the card's list and appends to the store's: it runs only
// under a claim of this session, so that no load frees what it walks. The
// load's claim is still out here (its views are to be filled).
TEST(RecordSession, ABackupRunsOnlyUnderAClaimOfThisSession) {
    CardSession card({{Incoming, "20160102102033", "1"}, {Outgoing, "20160102112033", "2"}});
    const LoadOutcome loaded = card.LoadCard();
    ASSERT_TRUE(loaded.claim);
    RecordSession other(card.volumes.MakeProbe());
    const SessionClaim othersClaim = other.TryClaim();
    const SessionClaim refused = card.session->TryClaim();
    ASSERT_FALSE(refused);

    BackupOptions options;
    options.backupPath = card.dir / "backup";
    const fs::path storeRoot = StoreRoot(options.backupPath, 0);
    CallRecord* first = card.session->Records().Card()[0].get();
    struct Case {
        const char* what;
        const SessionClaim& under;
        bool selectedOnly;
        int backedUp;  // -1: refused, nothing done
    };
    const Case cases[] = {
        {"no claim while the load's is out", refused, false, -1},
        {"another session's claim", othersClaim, false, -1},
        {"no claim, selected records", refused, true, -1},
        {"the load's claim, selected records", loaded.claim, true, 1},
        {"the load's claim", loaded.claim, false, 1},  // the first is held already
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        NoProgress none;
        const auto r = c.selectedOnly ? card.session->BackupSelected(c.under, std::span(&first, 1),
                                                                     options, none, {})
                                      : card.session->BackupAll(c.under, options, none, {});
        ASSERT_EQ(r.has_value(), c.backedUp >= 0);
        if (r) {
            EXPECT_EQ(r->backedUp, c.backedUp);
            EXPECT_EQ(r->failed, 0);
        } else {
            EXPECT_FALSE(fs::exists(storeRoot));
            EXPECT_TRUE(card.session->Records().Backup().empty());
        }
    }
    EXPECT_EQ(card.session->Records().Backup().size(), 2u);
    EXPECT_TRUE(card.session->Busy());
}

// The card watch sits below the session and only asks it: while any claim is
// out (a backup, an import, a repair) it neither takes a card nor asks for a
// load, and the load it then asks for says what the card lacks.
TEST(RecordSession, TheCardWatchStartsNoLoadWhileAClaimIsOut) {
    CardSession card({{Incoming, "20160102102033", "1"}});
    card.session->UseCard(0, {}, 0);
    CardWatch watch = card.session->Watch({[&] { return card.dir / "backup"; }});
    {
        const SessionClaim importing = card.session->TryClaim();
        const CardWatchActions a = watch.CardWatchTick();
        EXPECT_FALSE(a.startLoader);
        EXPECT_EQ(card.session->State().cardDrive.load(), 0);
        EXPECT_TRUE(watch.ManualRescan().showBusyMessage);
    }
    const CardWatchActions a = watch.CardWatchTick();
    ASSERT_TRUE(a.startLoader);
    EXPECT_EQ(a.loadSource, LoadSource::Card);
    LoadRequest request;
    request.source = a.loadSource;
    const LoadOutcome loaded = card.session->Load(request);
    ASSERT_FALSE(loaded.refused);
    EXPECT_EQ(card.session->Records().Card().size(), 1u);
    // The load asks for the prompt files and writes nothing to the card itself.
    EXPECT_EQ(loaded.promptFilesFor, card.root);
    EXPECT_FALSE(fs::exists(card.root / "beep1.wav"));
}

// A stop asked for mid-load (the window closing) ends it like quitting does:
// the outcome says so, nothing is to be refilled and the claim is back.
TEST(RecordSession, AStopAskedForEndsTheLoadAndGivesTheClaimBack) {
    CardSession card({{Incoming, "20160102102033", "1"},
                      {Outgoing, "20160102112033", "2"},
                      {Missed, "20160103102033", "3"}});
    test::RecordedProgress progress;
    progress.stopAfter = 1;
    LoadRequest request;
    request.source = LoadSource::Card;
    const LoadOutcome stopped = card.session->Load(request, progress, progress.Token());
    EXPECT_TRUE(stopped.stopped);
    EXPECT_FALSE(stopped.refill);
    EXPECT_FALSE(stopped.claim);
    EXPECT_EQ(progress.positions.size(), 1u);
    EXPECT_EQ(progress.ends, 0);
    EXPECT_FALSE(card.session->Busy());

    // The next load reads the card again from its start.
    const LoadOutcome again = card.LoadCard();
    ASSERT_FALSE(again.refused);
    EXPECT_FALSE(again.stopped);
    EXPECT_EQ(card.session->Records().Card().size(), 3u);
}

// Each case loads one source, marks then deletes one record, and says which
// file must hold the change at which entry; every other file stays as it was.
TEST(RecordSession, MarkAndDeleteActOnTheFileAndPositionTheRecordWasReadFrom) {
    test::TempHome home{false};
    test::TempDir dir;
    test::FakeVolumes volumes;

    // The card: the second live call (log entry 2, entry 1 is deleted).
    const fs::path cardRoot = dir / "card";
    test::MakeCard(cardRoot, 0,
                   {{Incoming, "20160102102033", "1"},
                    {Outgoing, "20160102112033", "2", false},
                    {Missed, "20160103102033", "3"}});
    volumes.Add(cardRoot);

    // The store: a call dated March but filed second in February's index,
    // while March's index holds a call of the same time at that position.
    const fs::path backupPath = dir / "backup";
    const fs::path storeRoot = StoreRoot(backupPath, 0);
    const fs::path misfiledCopy = storeRoot / "201602" / "20160201" / "a.wav";
    test::WriteText(misfiledCopy, "RIFF");
    WriteIndex(backupPath, 201602,
               {StoreRecord(2016, 2, 5, storeRoot / "201602" / "20160201" / "b.wav"),
                StoreRecord(2016, 3, 0, misfiledCopy)});
    WriteIndex(backupPath, 201603,
               {StoreRecord(2016, 3, 0, storeRoot / "201603" / "20160301" / "c.wav"),
                StoreRecord(2016, 3, 0, storeRoot / "201603" / "20160301" / "d.wav")});

    // An imported folder: its records were read from no file that could take a change.
    const fs::path folder = dir / "imported";
    const fs::path importedFile = folder / "20160102102033-I-7.wav";
    test::WriteText(importedFile, "RIFF");

    const fs::path cardLog = cardRoot / kCallLogFileName;
    const fs::path february = MonthIndexPath(backupPath, 0, 201602);
    const fs::path march = MonthIndexPath(backupPath, 0, 201603);
    const std::vector<fs::path> files = {cardLog, february, march, importedFile};

    struct Case {
        const char* what;
        RecordListId list;
        std::size_t pick;        // which record of the list
        fs::path changed;        // the file that takes the change; empty: none
        std::size_t entryStart;  // the entry's first byte there
        std::size_t markByte, inUseByte;
        bool leavesList;
    };
    const Case cases[] = {
        {"card", RecordListId::Card, 1, cardLog, 2 * 128, card128::kMark, card128::kInUse, false},
        {"store, filed under another month", RecordListId::Backup, 1, february, 1076,
         CallRecord::kCardBytesOffset + CallRecord::kCardMarkByte,
         CallRecord::kCardBytesOffset + CallRecord::kCardInUseByte, true},
        {"imported folder", RecordListId::Folder, 0, {}, 0, 0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RecordSession session(volumes.MakeProbe());
        session.UseCard(session.State().volumes.LetterOf(cardRoot), cardLog, 0);
        LoadRequest request;
        request.backupPath = backupPath;
        if (c.list == RecordListId::Card) {
            request.source = LoadSource::Card;
            ASSERT_FALSE(session.Load(request).refused);
        } else if (c.list == RecordListId::Backup) {
            request.source = LoadSource::Store;
            ASSERT_FALSE(session.Load(request).refused);
        } else {
            RecordList found;
            NoProgress none;
            (void)ImportFolder(folder, found, {}, none, {});
            session.AddImported(std::move(found));
        }
        const RecordList& list = session.Records().List(c.list);
        ASSERT_GT(list.size(), c.pick);
        CallRecord& record = *list[c.pick];

        std::vector<std::vector<std::uint8_t>> before;
        for (const auto& f : files)
            before.push_back(test::ReadFile(f));
        auto expectOnly = [&](const std::vector<std::uint8_t>& wanted) {
            for (std::size_t i = 0; i < files.size(); ++i) {
                if (files[i] == c.changed) {
                    EXPECT_EQ(test::ReadFile(files[i]), wanted) << files[i];
                } else if (files[i] != importedFile || fs::exists(importedFile)) {
                    EXPECT_EQ(test::ReadFile(files[i]), before[i]) << files[i];
                }
            }
        };

        const RecordChange mark = session.Mark(record, 1);
        EXPECT_EQ(mark.done, !c.changed.empty()) << mark.reason;
        std::vector<std::uint8_t> marked;
        if (!c.changed.empty()) {
            marked = test::ReadFile(c.changed);
            EXPECT_EQ(marked[c.entryStart + c.markByte], 1);
            EXPECT_EQ(record.marked, 1);
            expectOnly(marked);
        } else {
            expectOnly({});
            EXPECT_EQ(record.marked, 0);
        }

        const fs::path recording = fs::path(ToUtf8(FieldText(record.filePath)));
        const std::size_t sizeBefore = list.size();
        const RecordDeletion deletion = session.Delete(record);
        EXPECT_EQ(deletion.change.done, !c.changed.empty()) << deletion.change.reason;
        EXPECT_EQ(deletion.removed, c.leavesList);
        EXPECT_EQ(list.size(), sizeBefore - (c.leavesList ? 1 : 0));
        if (!c.changed.empty()) {
            auto cleared = marked;
            cleared[c.entryStart + c.inUseByte] = 0;
            if (c.list == RecordListId::Backup)
                cleared[c.entryStart + CallRecord::kInUseOffset] = 0;
            expectOnly(cleared);
            EXPECT_FALSE(fs::exists(recording));
        } else {
            expectOnly({});
            EXPECT_TRUE(fs::exists(importedFile));
        }
    }
}

TEST(RecordSession, ListenersSeeARecordLeaveBeforeItIsFreed) {
    test::TempHome home{false};
    test::TempDir dir;
    test::FakeVolumes volumes;
    const fs::path backupPath = dir / "backup";
    const fs::path copy = StoreRoot(backupPath, 0) / "201602" / "20160201" / "a.wav";
    test::WriteText(copy, "RIFF");
    WriteIndex(backupPath, 201602, {StoreRecord(2016, 2, 5, copy)});

    RecordSession session(volumes.MakeProbe());
    LoadRequest request;
    request.source = LoadSource::Store;
    request.backupPath = backupPath;
    ASSERT_TRUE(session.Load(request).storeIndexFound);
    ASSERT_EQ(session.Records().Backup().size(), 1u);
    const CallRecord* record = session.Records().Backup()[0].get();

    int told = 0;
    const int listener = session.Listen([&](const LeavingRecords& leaving) {
        ++told;
        ASSERT_EQ(leaving.records.count(record), 1u);
        // Still whole and still listed while the listener looks at it.
        EXPECT_EQ(session.ListOf(*record), RecordListId::Backup);
        EXPECT_EQ(ToUtf8(FieldText(record->filePath)), copy.string());
    });
    EXPECT_TRUE(session.Delete(*record).removed);
    EXPECT_EQ(told, 1);
    session.StopListening(listener);
}

}  // namespace
}  // namespace lk
