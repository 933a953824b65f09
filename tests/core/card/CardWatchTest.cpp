#include <gtest/gtest.h>

#include "app/Settings.h"
#include "card/BackupStore.h"
#include "card/CardWatch.h"
#include "card/RecordLoader.h"
#include "core/card/CardFixture.h"

namespace lk {
namespace {
namespace fs = std::filesystem;
using test::FakeVolumes;

struct Watch {
    test::TempHome home{false};
    test::TempDir dir;
    FakeVolumes volumes;
    RecorderState state{volumes.MakeProbe()};
    fs::path beeps = dir / "beeps";
    test::FakeGate gate;
    CardWatch watch{state, gate, {[this] { return dir / "backup"; }}};
    std::vector<const CallRecord*> freed;  // announced to the lists' listeners
    int listener = 0;

    Watch() {
        listener = state.records.Listen([this](const LeavingRecords& l) {
            for (const CallRecord* r : l.records)
                freed.push_back(r);
        });
        test::WriteText(beeps / "beep1.wav", "one");
        test::WriteText(beeps / "beep3.wav", "three");
        EXPECT_TRUE(WriteSettingString("Device", "Family0"));
        EXPECT_TRUE(WriteSettingString("Device2", "Family1"));
    }
    ~Watch() { state.records.StopListening(listener); }
    // A folder with a call log (and a phone book for family 1) on a volume.
    fs::path Card(const std::string& name, int devType = 0, bool removable = true,
                  std::uint64_t total = std::uint64_t{1} << 30, bool sizeKnown = true) {
        const fs::path root = dir / name;
        test::MakeCard(root, devType, {{Incoming, "20160102102033", "1"}});
        volumes.Add(root, removable, total, sizeKnown);
        return root;
    }
    char LetterOf(const fs::path& root) {
        state.volumes.Refresh();
        return state.volumes.LetterOf(root);
    }
    // What the record session does when the tick asked for a card load.
    void Load() {
        state.loadFromCard = 1;
        RecordLoaderOptions options;
        options.backupPath = dir / "backup";
        (void)RecordLoaderThread(state, options);
    }
};

TEST(CardWatch, StartupLoadsTheBackupThenWatches) {
    Watch w;
    const auto a = w.watch.StartupTick();
    EXPECT_EQ(a.next, WatchNext::Watch);
    EXPECT_FALSE(a.startLoader);  // no store yet
}

TEST(CardWatch, StartupReadsACardPresentAtOnceElseTheBackupFirst) {
    for (bool present : {true, false}) {
        SCOPED_TRACE(present);
        Watch w;
        test::WriteText(MonthIndexPath(w.dir / "backup", 0, 201601), std::string(1076, '\0'));
        const fs::path root = w.Card("card");
        if (!present) w.volumes.Remove(root);
        w.state.volumes.Refresh();
        EXPECT_EQ(w.watch.FindCard().has_value(), present);
        const auto a = w.watch.StartupTick();
        EXPECT_EQ(a.next, WatchNext::Watch);
        EXPECT_TRUE(a.startLoader);
        EXPECT_EQ(a.loadSource, present ? LoadSource::Card : LoadSource::Store);
        EXPECT_EQ(w.state.cardDrive.load() != 0, present);
        EXPECT_EQ(a.cardFamily.has_value(), present);
    }
}

TEST(CardWatch, TakesOnlyARemovableVolumeWithAMediumAndACallLog) {
    struct Case {
        const char* name;
        bool removable;
        std::uint64_t total;
        bool withLog;
        bool taken;
        bool sizeKnown = true;
    };
    const Case cases[] = {
        {"card in a reader", true, 1u << 30, true, true},
        {"same log on a fixed disk", false, 1u << 30, true, false},
        {"reader without a medium", true, 0, true, false},
        {"medium below 1 KiB", true, 1023, true, false},
        {"removable without a call log", true, 1u << 30, false, false},
        // exfat-fuse and fusefat report 0 blocks: mounted means present.
        {"FUSE driver without sizes", true, 0, true, true, false},
        {"FUSE volume on a fixed disk", false, 0, true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Watch w;
        const fs::path root = w.Card("card", 0, c.removable, c.total, c.sizeKnown);
        if (!c.withLog) fs::remove(root / kCallLogFileName);
        const auto a = w.watch.CardWatchTick();
        EXPECT_EQ(a.startLoader, c.taken);
        EXPECT_EQ(w.state.cardDrive.load() != 0, c.taken);
        if (c.taken) {
            EXPECT_EQ(w.state.cardDrive.load(), w.LetterOf(root));
            EXPECT_EQ(w.state.cardLogPath, root / kCallLogFileName);
            EXPECT_EQ(a.loadSource, LoadSource::Card);
            EXPECT_EQ(ReadSettingInt("DevType"), 0);
        }
    }
}

TEST(CardWatch, SetsUpEachFamily) {
    for (int devType : {0, 1}) {
        SCOPED_TRACE(devType);
        Watch w;
        w.state.devType = 1 - devType;
        const fs::path root = w.Card("card", devType);
        const auto a = w.watch.CardWatchTick();
        EXPECT_EQ(w.state.devType.load(), devType);
        EXPECT_EQ(ReadSettingInt("DevType"), devType);
        EXPECT_EQ(a.cardFamily, devType);
        EXPECT_EQ(a.disablePhoneBook, devType == 0);  // the previous family was 1
        EXPECT_EQ(a.loadPhoneBook.has_value(), devType == 1);
        if (devType == 1) {
            EXPECT_EQ(*a.loadPhoneBook, root / kPhoneBookFileName);
        }
        // Prompt files go only onto family-0 cards.
        EXPECT_EQ(NeedsPromptFiles(root, devType), devType == 0);
    }
}

TEST(CardWatch, NeverOverwritesPromptFilesOnTheCard) {
    Watch w;
    const fs::path root = w.dir / "card";
    test::WriteText(root / "beep1.wav", "the card's own");
    w.Card("card");
    EXPECT_TRUE(NeedsPromptFiles(root, 0));
    CopyBeepFiles(root, w.beeps);
    EXPECT_FALSE(NeedsPromptFiles(root, 0));
    EXPECT_EQ(test::ReadText(root / "beep1.wav"), "the card's own");
    EXPECT_EQ(test::ReadText(root / "beep3.wav"), "three");
}

TEST(CardWatch, TheFirstReaderWinsUntilItsCardLeaves) {
    Watch w;
    const fs::path first = w.Card("f");
    const fs::path second = w.Card("g");
    w.watch.CardWatchTick();
    EXPECT_EQ(w.state.cardDrive.load(), w.LetterOf(first));
    w.Load();
    ASSERT_FALSE(w.state.records.Card().empty());

    auto a = w.watch.CardWatchTick();  // loaded and present: nothing to do
    EXPECT_FALSE(a.startLoader);
    EXPECT_EQ(w.state.cardDrive.load(), w.LetterOf(first));

    w.volumes.Remove(first);
    a = w.watch.CardWatchTick();
    EXPECT_EQ(w.state.cardDrive.load(), w.LetterOf(second));
    EXPECT_TRUE(a.startLoader);
}

TEST(CardWatch, RemovalWhileCardRecordsShowClearsAndReloadsTheBackup) {
    for (int devType : {0, 1}) {
        SCOPED_TRACE(devType);
        Watch w;
        const fs::path root = w.Card("card", devType);
        w.watch.CardWatchTick();
        w.Load();
        ASSERT_EQ(w.state.viewingBackup.load(), 0);
        CallRecord* shown = w.state.records.Card().front().get();

        w.volumes.Remove(root);
        const auto a = w.watch.CardWatchTick();
        EXPECT_EQ(w.state.cardDrive.load(), 0);
        EXPECT_EQ(w.state.viewingBackup.load(), 1);
        EXPECT_TRUE(a.clearPanes);
        EXPECT_EQ(a.next, WatchNext::ReloadBackup);
        EXPECT_TRUE(a.cardRemoved);
        EXPECT_TRUE(a.refreshDiskSpace);
        EXPECT_EQ(a.clearPhoneBook, devType == 1);
        // The panes heard of the record before it was freed.
        ASSERT_EQ(w.freed.size(), 1u);
        EXPECT_EQ(w.freed[0], shown);
        EXPECT_TRUE(w.state.records.Card().empty());
        EXPECT_FALSE(a.startLoader);
    }
}

TEST(CardWatch, RemovalWhileTheBackupShowsKeepsThePanes) {
    Watch w;
    const fs::path root = w.Card("card");
    w.watch.CardWatchTick();
    w.Load();
    w.state.viewingBackup = 1;  // the user switched to the backup records
    w.volumes.Remove(root);
    const auto a = w.watch.CardWatchTick();
    EXPECT_EQ(w.state.cardDrive.load(), 0);
    EXPECT_FALSE(a.clearPanes);
    EXPECT_EQ(a.next, WatchNext::Unchanged);
    EXPECT_EQ(w.freed.size(), 1u);
}

TEST(CardWatch, RemovalClearsThePhoneBookWhateverIsShown) {
    for (int viewingBackup : {0, 1}) {
        SCOPED_TRACE(viewingBackup);
        Watch w;
        const fs::path root = w.Card("card", 1);
        w.watch.CardWatchTick();
        w.Load();
        w.state.viewingBackup = viewingBackup;
        w.volumes.Remove(root);
        EXPECT_TRUE(w.watch.CardWatchTick().clearPhoneBook);
    }
}

TEST(CardWatch, RescanForgetsTheCardAndReadsItAgain) {
    Watch w;
    w.Card("card");
    w.watch.CardWatchTick();
    w.Load();
    auto a = w.watch.ManualRescan();
    EXPECT_EQ(w.state.cardDrive.load(), 0);
    EXPECT_EQ(a.next, WatchNext::LookSoon);
    a = w.watch.CardWatchTick();
    EXPECT_TRUE(a.clearPanes);  // card records were shown and are freed now
    EXPECT_EQ(w.freed.size(), 1u);
    EXPECT_TRUE(a.startLoader);
}

TEST(CardWatch, DoesNothingWhileTheLoaderOrARebuildRuns) {
    Watch w;
    w.Card("card");
    w.gate.running = true;
    auto a = w.watch.CardWatchTick();
    EXPECT_EQ(w.state.cardDrive.load(), 0);
    a = w.watch.ManualRescan();
    EXPECT_TRUE(a.showBusyMessage);
    EXPECT_EQ(a.next, WatchNext::Unchanged);
    a = w.watch.BackupReloadTick();
    EXPECT_FALSE(a.clearPanes);
    EXPECT_EQ(a.next, WatchNext::Unchanged);

    w.gate.running = false;
    w.state.rebuildRunning = 1;
    a = w.watch.CardWatchTick();
    EXPECT_EQ(w.state.cardDrive.load(), 0);
    EXPECT_FALSE(a.startLoader);
}

TEST(CardWatch, BackupReloadAnnouncesTheOldRecordsBeforeFreeingThem) {
    Watch w;
    w.state.records.Append(RecordListId::Backup, std::make_unique<CallRecord>());
    const auto a = w.watch.BackupReloadTick();
    EXPECT_TRUE(a.clearPanes);
    EXPECT_EQ(w.freed.size(), 1u);
    EXPECT_EQ(a.next, WatchNext::Watch);
}

}  // namespace
}  // namespace lk
