#include <gtest/gtest.h>

#include "app/Settings.h"
#include "card/BackupStore.h"
#include "card/LogRebuild.h"
#include "card/RecordLoader.h"
#include "core/card/CardFixture.h"
#include "support/RecordedProgress.h"

namespace lk {
namespace {
namespace fs = std::filesystem;
using test::CardOnVolume;
using test::RecordingSpec;

CallRecord LiveRecord(int type, int marked = 0) {
    CallRecord r;
    r.cardBytes[CallRecord::kCardInUseByte] = 1;
    r.inUse = 1;
    r.type = type;
    r.marked = marked;
    return r;
}

// --- reading the card -----------------------------------------------------

TEST(RecordLoader, ReadsLiveCardRecordsWithTheirPositions) {
    for (int devType : {0, 1}) {
        SCOPED_TRACE(devType);
        CardOnVolume card(devType, {{Incoming, "20160102102033", "1"},
                                    {Outgoing, "20160102112033", "2", false},
                                    {Missed, "20160103102033", "3"}});
        test::RecordedProgress progress;
        const auto r = RecordLoaderThread(*card.state, {}, progress, {});
        const std::vector<std::string>& texts = progress.messages;

        ASSERT_EQ(card.state->records.Card().size(), 2u);
        EXPECT_EQ(card.state->records.Card()[0]->index, 0);
        EXPECT_EQ(card.state->records.Card()[1]->index, 2);
        EXPECT_EQ(card.state->records.Card()[1]->time.second, 33);
        EXPECT_EQ(progress.begins, 1);
        EXPECT_EQ(progress.ends, 1);
        ASSERT_EQ(texts.size(), 3u);
        EXPECT_EQ(texts[1], "2/3");
        EXPECT_NE(texts[0].find("20160102102033-I-1.wav 1/3"), std::string::npos) << texts[0];
        EXPECT_EQ(card.state->viewingBackup.load(), 0);
        EXPECT_TRUE(r.populate);
        EXPECT_FALSE(r.rebuildQueued);
    }
}

// A stop asked for by the token or by the one watching (Cancel) ends the load
// after the record in hand; what was read stays listed and End is not called.
TEST(RecordLoader, AStopMidLoadKeepsTheRecordsReadSoFar) {
    for (const bool byCancel : {false, true}) {
        SCOPED_TRACE(byCancel);
        CardOnVolume card(0, {{Incoming, "20160102102033", "1"},
                              {Outgoing, "20160102112033", "2"},
                              {Missed, "20160103102033", "3"}});
        test::RecordedProgress progress;
        progress.stopAfter = 1;
        const std::stop_token stop = byCancel ? std::stop_token{} : progress.Token();
        if (byCancel) progress.stopAfter = 0, progress.cancelled = true;
        const auto r = RecordLoaderThread(*card.state, {}, progress, stop);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(card.state->records.Card().size(), byCancel ? 0u : 1u);
        EXPECT_EQ(progress.positions.size(), byCancel ? 0u : 1u);
        EXPECT_EQ(progress.ends, 0);
    }
}

TEST(RecordLoader, DropsLogEntriesThatPointOutsideTheCard) {
    const std::u16string hostile[] = {u"..\\..\\20160102102033-I-1.wav",
                                      u"\\etc\\20160102102033-I-1.wav",
                                      u"C:\\20160102102033-I-1.wav"};
    std::vector<RecordingSpec> cardFiles;
    for (const auto& rel : hostile) {
        RecordingSpec s;
        s.relativePath = rel;
        cardFiles.push_back(s);
    }
    cardFiles.push_back({Incoming, "20160102102033", "ok"});
    CardOnVolume card(0, cardFiles);
    RecordLoaderThread(*card.state, {});
    ASSERT_EQ(card.state->records.Card().size(), 1u);
    EXPECT_EQ(card.state->records.Card()[0]->index, 3);
}

TEST(RecordLoader, QueuesARebuildOnlyForALogWithoutAWholeRecord) {
    struct Case {
        const char* name;
        std::size_t logBytes;  // 0xFF-free bytes written as the log; SIZE_MAX: deleted records
        bool rebuild;
    };
    const Case cases[] = {{"empty file", 0, true},
                          {"shorter than one record", 127, true},
                          {"only deleted records", SIZE_MAX, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CardOnVolume card(0, {{Incoming, "20160102102033", "1", false}});
        if (c.logBytes != SIZE_MAX)
            test::WriteFile(card.state->cardLogPath, std::vector<std::uint8_t>(c.logBytes, 1));
        const auto r = RecordLoaderThread(*card.state, {});
        EXPECT_EQ(r.rebuildQueued, c.rebuild);
        EXPECT_EQ(r.startRebuildWorker, c.rebuild);
        EXPECT_EQ(card.state->rebuildQueue.size(), c.rebuild ? 1u : 0u);
        EXPECT_TRUE(card.state->records.Card().empty());
        // Backup was already shown: nothing to refill.
        EXPECT_EQ(card.state->viewingBackup.load(), 1);
        EXPECT_FALSE(r.populate);
    }
}

TEST(RecordLoader, AnEmptyCardSwitchesFromCardRecordsToTheBackup) {
    CardOnVolume card(0, {{Incoming, "20160102102033", "1", false}});
    card.state->viewingBackup = 0;
    const auto r = RecordLoaderThread(*card.state, {});
    EXPECT_EQ(card.state->viewingBackup.load(), 1);
    EXPECT_TRUE(r.populate);
}

TEST(RecordLoader, OffersTheAutomaticBackupOnlyWhenItIsOn) {
    struct Case {
        int autoBackup;  // -1: not set
        bool offered;
    };
    // Whether or not a backup will run, the card just read is what shows next.
    const Case cases[] = {{-1, false}, {0, false}, {1, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.autoBackup);
        CardOnVolume card(0, {{Incoming, "20160102102033", "1"}});
        if (c.autoBackup >= 0) {
            EXPECT_TRUE(WriteSettingInt("AutoBackup", c.autoBackup));
        }
        const auto r = RecordLoaderThread(*card.state, {});
        EXPECT_EQ(r.offerAutoBackup, c.offered);
        EXPECT_EQ(card.state->viewingBackup.load(), 0);
        EXPECT_TRUE(r.populate);
    }
}

TEST(RecordLoader, NothingIsOfferedWithoutCardRecords) {
    CardOnVolume card(0, {{Incoming, "20160102102033", "1", false}});
    EXPECT_TRUE(WriteSettingInt("AutoBackup", 1));
    const auto r = RecordLoaderThread(*card.state, {});
    EXPECT_FALSE(r.offerAutoBackup);
    EXPECT_TRUE(card.state->records.Card().empty());
}

TEST(RecordLoader, QuittingStopsBeforeAnyRecordIsListed) {
    CardOnVolume card(0, {{Incoming, "20160102102033", "1"}});
    card.state->quitting = 1;
    const auto r = RecordLoaderThread(*card.state, {});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(card.state->records.Card().empty());
}

// --- reading the backup store ---------------------------------------------

struct Store {
    test::TempHome home{false};
    test::TempDir dir;
    fs::path backupPath = dir / "backup";
    test::FakeVolumes volumes;
    RecorderState state{volumes.MakeProbe()};

    // Appends one record to its month file; returns its image.
    CallRecord Add(const std::string& stamp, int type, const fs::path& filePath, bool live = true,
                   int devType = 0) {
        CallRecord r = LiveRecord(type);
        if (!live) r.cardBytes[CallRecord::kCardInUseByte] = 0;
        r.index = 99;
        r.time.year = static_cast<std::uint16_t>(std::stoi(stamp.substr(0, 4)));
        r.time.month = static_cast<std::uint16_t>(std::stoi(stamp.substr(4, 2)));
        SetFieldText(r.cardPath, FromUtf8("E:\\" + stamp.substr(0, 6) + "\\" + stamp + "-I-1.wav"));
        SetFieldText(r.filePath, FromUtf8(filePath.string()));
        const auto path = MonthIndexPath(backupPath, devType, r.time.year, r.time.month);
        auto bytes = test::ReadFile(path);
        const auto image = r.ToBytes();
        bytes.insert(bytes.end(), image.begin(), image.end());
        test::WriteFile(path, bytes);
        return r;
    }
    fs::path Copy(const std::string& stamp, const std::string& name) const {
        return StoreRoot(backupPath, 0) / stamp.substr(0, 6) / stamp.substr(0, 8) / name;
    }
};

TEST(RecordLoader, ReadsMonthFilesOldestFirst) {
    Store s;
    s.Add("20160214093000", Incoming, s.Copy("20160214093000", "a.wav"));
    s.Add("20151224093000", Outgoing, s.Copy("20151224093000", "b.wav"));
    s.Add("20151225093000", Missed, s.Copy("20151225093000", "c.wav"), false);
    s.Add("20151226093000", Note, s.Copy("20151226093000", "d.wav"));

    auto load = LoadBackupIndex(s.state, s.backupPath, test::FakeGate{});
    ASSERT_TRUE(load.found);
    ASSERT_TRUE(load.startLoader);
    EXPECT_EQ(s.state.backupMonths, (std::vector<int>{201512, 201602}));
    test::RecordedProgress progress;
    RecordLoaderOptions options;
    options.backupPath = s.backupPath;
    const auto r = RecordLoaderThread(s.state, options, progress, {});

    ASSERT_EQ(s.state.records.Backup().size(), 3u);
    EXPECT_EQ(s.state.records.Backup()[0]->type, Outgoing);
    EXPECT_EQ(s.state.records.Backup()[1]->type, Note);
    EXPECT_EQ(s.state.records.Backup()[1]->index, 2);  // position in its file, not the stored 99
    EXPECT_EQ(s.state.records.Backup()[2]->type, Incoming);
    EXPECT_EQ(progress.begins, 2);  // one run per month file
    EXPECT_EQ(s.state.viewingBackup.load(), 1);
    EXPECT_TRUE(r.populate);
}

TEST(RecordLoader, IgnoresATrailingPartialRecordAndCutsOverlongTexts) {
    Store s;
    s.Add("20160214093000", Incoming, s.Copy("20160214093000", "a.wav"));
    const auto path = MonthIndexPath(s.backupPath, 0, 2016, 2);
    auto bytes = test::ReadFile(path);
    // Fill the number and name fields to their ends, then add a torn record.
    for (std::size_t i = 0; i < 64; ++i) {
        WriteU16(bytes, CallRecord::kNumberOffset + 2 * i, '9');
        WriteU16(bytes, CallRecord::kNameOffset + 2 * i, 'n');
    }
    bytes.insert(bytes.end(), 1075, 1);
    test::WriteFile(path, bytes);

    LoadBackupIndex(s.state, s.backupPath, test::FakeGate{});
    RecordLoaderOptions options;
    options.backupPath = s.backupPath;
    RecordLoaderThread(s.state, options);
    ASSERT_EQ(s.state.records.Backup().size(), 1u);
    EXPECT_EQ(FieldText(s.state.records.Backup()[0]->number).size(), 31u);
    EXPECT_EQ(FieldText(s.state.records.Backup()[0]->name).size(), 36u);
}

TEST(RecordLoader, NoIndexFileStartsNoLoad) {
    Store s;
    s.state.records.Append(RecordListId::Backup, std::make_unique<CallRecord>());
    int told = 0;
    const int listener = s.state.records.Listen(
        [&](const LeavingRecords& l) { told += static_cast<int>(l.records.size()); });
    auto load = LoadBackupIndex(s.state, s.backupPath, test::FakeGate{});
    EXPECT_FALSE(load.found);
    EXPECT_FALSE(load.startLoader);
    EXPECT_EQ(told, 1);  // announced before it was freed under a pane
    s.state.records.StopListening(listener);
    EXPECT_TRUE(s.state.records.Backup().empty());
}

TEST(RecordLoader, ABusyLoaderIsNotStartedTwice) {
    Store s;
    s.Add("20160214093000", Incoming, s.Copy("20160214093000", "a.wav"));
    test::FakeGate loading;
    loading.running = true;
    auto load = LoadBackupIndex(s.state, s.backupPath, loading);
    EXPECT_TRUE(load.found);
    EXPECT_FALSE(load.startLoader);
}

TEST(RecordLoader, FindsCopiesAgainAfterTheStoreMoved) {
    Store s;
    const fs::path here = s.Copy("20160214093000", "20160214093000-I-5.wav");
    test::WriteFile(here, {1, 2, 3});
    struct Case {
        std::string stored;
        bool reRooted;
    };
    const Case cases[] = {
        {"/old/place/ZuzeVavazoBackup/201602/20160214/20160214093000-I-5.wav", true},
        {"D:\\Store\\ZuzeVavazoBackup\\201602\\20160214\\20160214093000-I-5.wav", true},
        {"/old/place/ZuzeVavazoBackup/201602/20160214/missing.wav", false},
        {"D:\\x\\..\\..\\20160214093000-I-5.wav", false},
        {"/old/201602/20160215/20160214093000-I-5.wav", false},  // day outside its month
        {here.string(), false},                                  // still where it was
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        CallRecord r = LiveRecord(Incoming);
        SetFieldText(r.filePath, FromUtf8(c.stored));
        EXPECT_EQ(ReRootBackupRecord(r, StoreRoot(s.backupPath, 0)), c.reRooted);
        if (c.reRooted) {
            EXPECT_EQ(ToUtf8(FieldText(r.filePath)), here.string());
        }
    }

    s.Add("20160214093000", Incoming, fs::path(cases[0].stored));
    LoadBackupIndex(s.state, s.backupPath, test::FakeGate{});
    RecordLoaderOptions options;
    options.backupPath = s.backupPath;
    const auto r = RecordLoaderThread(s.state, options);
    EXPECT_EQ(r.pathsReRooted, 1);
    ASSERT_EQ(s.state.records.Backup().size(), 1u);
    EXPECT_EQ(ToUtf8(FieldText(s.state.records.Backup()[0]->filePath)), here.string());
}

}  // namespace
}  // namespace lk
