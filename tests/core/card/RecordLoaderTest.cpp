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

std::vector<int> Panes(const CallRecord& r) {
    const auto routing = DistributeRecord(&r);
    if (!routing) return {-1};
    return {routing->begin(), routing->end()};
}

TEST(DistributeRecord, RoutesEveryTypeInOrderOfAdding) {
    struct Case {
        int type;
        int marked;
        std::vector<int> panes;
    };
    const Case cases[] = {
        {Incoming, 0, {1, 3}},
        {Missed, 0, {1, 3, 8}},
        {Outgoing, 0, {2, 1}},
        {Note, 0, {1, 4}},
        {Note2, 0, {1, 4}},
        {Triggered, 0, {1, 5}},
        {Message, 0, {1, 6}},
        {0, 0, {}},
        {9, 0, {}},
        {Missed, 1, {7, 1, 3, 8}},
        {Outgoing, 1, {7, 2, 1}},
        {42, 1, {7}},
        {Incoming, 2, {1, 3}},  // only the value 1 means marked
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " marked " << c.marked);
        EXPECT_EQ(Panes(LiveRecord(c.type, c.marked)), c.panes);
    }
}

TEST(DistributeRecord, RefusesMissingAndDeletedRecords) {
    EXPECT_FALSE(DistributeRecord(nullptr));
    CallRecord deleted = LiveRecord(Incoming);
    deleted.cardBytes[CallRecord::kCardInUseByte] = 0;
    EXPECT_FALSE(DistributeRecord(&deleted));
    deleted.cardBytes[CallRecord::kCardInUseByte] = 2;  // only 1 is live
    EXPECT_FALSE(DistributeRecord(&deleted));
}

TEST(PopulatePanes, FillsNewestFirstAndCountsOnlyRoutedRecords) {
    RecordList list;
    for (int i = 0; i < 4; ++i) {
        list.push_back(std::make_unique<CallRecord>(LiveRecord(i == 1 ? Outgoing : Incoming)));
        list.back()->index = i;
    }
    list[2]->cardBytes[CallRecord::kCardInUseByte] = 0;

    std::vector<std::pair<int, int>> rows;  // category, record index
    test::RecordedProgress progress;
    const auto r = PopulatePanes(
        list, [&](int category, CallRecord& rec) { rows.emplace_back(category, rec.index); },
        progress, {});
    const std::vector<std::string>& texts = progress.messages;
    EXPECT_EQ(progress.totals, std::vector<int>(5, 4));

    const std::vector<std::pair<int, int>> expected = {{1, 3}, {3, 3}, {2, 1},
                                                       {1, 1}, {1, 0}, {3, 0}};
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(r.total, 3);
    EXPECT_EQ(r.handled, 4);
    EXPECT_EQ(texts.back(), "4/3");
}

TEST(PopulatePanes, StopsWhenAskedWithoutEndingTheDialog) {
    RecordList list;
    list.push_back(std::make_unique<CallRecord>(LiveRecord(Incoming)));
    test::RecordedProgress progress;
    progress.source.request_stop();
    const auto r = PopulatePanes(list, {}, progress, progress.Token(), true);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(progress.ends, 0);
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
        EXPECT_EQ(card.state->loaderBusy.load(), 1);  // held until the panes are filled
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
        EXPECT_EQ(card.state->loaderBusy.load(), 0);
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
        bool userStarts;
        bool offered;
        int viewingBackup;
    };
    // Whether or not a backup ran, the card just read is what shows next.
    const Case cases[] = {
        {-1, true, false, 0}, {0, true, false, 0}, {1, false, true, 0}, {1, true, true, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.autoBackup << " " << c.userStarts);
        CardOnVolume card(0, {{Incoming, "20160102102033", "1"}});
        if (c.autoBackup >= 0) {
            EXPECT_TRUE(WriteSettingInt("AutoBackup", c.autoBackup));
        }
        bool offered = false;
        RecordLoaderOptions options;
        options.autoBackupSettleMs = 0;
        options.runAutoBackup = [&] {
            offered = true;
            return c.userStarts;
        };
        const auto r = RecordLoaderThread(*card.state, options);
        EXPECT_EQ(offered, c.offered);
        EXPECT_EQ(card.state->viewingBackup.load(), c.viewingBackup);
        EXPECT_TRUE(r.populate);
    }
}

TEST(RecordLoader, WithoutAMainFrameNothingIsOfferedOrFilled) {
    CardOnVolume card(0, {{Incoming, "20160102102033", "1"}});
    EXPECT_TRUE(WriteSettingInt("AutoBackup", 1));
    RecordLoaderOptions options;
    options.mainFrameExists = false;
    options.runAutoBackup = [] {
        ADD_FAILURE() << "offered without a frame";
        return true;
    };
    const auto r = RecordLoaderThread(*card.state, options);
    EXPECT_FALSE(r.populate);
    EXPECT_EQ(card.state->loaderBusy.load(), 0);
    EXPECT_EQ(card.state->records.Card().size(), 1u);
}

TEST(RecordLoader, QuittingLeavesTheLoaderBusy) {
    CardOnVolume card(0, {{Incoming, "20160102102033", "1"}});
    card.state->quitting = 1;
    const auto r = RecordLoaderThread(*card.state, {});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(card.state->loaderBusy.load(), 1);
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

    auto load = LoadBackupIndex(s.state, s.backupPath);
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

    LoadBackupIndex(s.state, s.backupPath);
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
    auto load = LoadBackupIndex(s.state, s.backupPath);
    EXPECT_FALSE(load.found);
    EXPECT_FALSE(load.startLoader);
    EXPECT_EQ(told, 1);  // announced before it was freed under a pane
    s.state.records.StopListening(listener);
    EXPECT_TRUE(s.state.records.Backup().empty());
    EXPECT_EQ(s.state.loaderBusy.load(), 0);
}

TEST(RecordLoader, ABusyLoaderIsNotStartedTwice) {
    Store s;
    s.Add("20160214093000", Incoming, s.Copy("20160214093000", "a.wav"));
    s.state.loaderBusy = 1;
    auto load = LoadBackupIndex(s.state, s.backupPath);
    EXPECT_TRUE(load.found);
    EXPECT_FALSE(load.startLoader);
    EXPECT_FALSE(StartRecordLoader(s.state));
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
    LoadBackupIndex(s.state, s.backupPath);
    RecordLoaderOptions options;
    options.backupPath = s.backupPath;
    const auto r = RecordLoaderThread(s.state, options);
    EXPECT_EQ(r.pathsReRooted, 1);
    ASSERT_EQ(s.state.records.Backup().size(), 1u);
    EXPECT_EQ(ToUtf8(FieldText(s.state.records.Backup()[0]->filePath)), here.string());
}

}  // namespace
}  // namespace lk
