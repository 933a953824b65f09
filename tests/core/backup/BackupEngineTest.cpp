#include <gtest/gtest.h>

#include <algorithm>

#include "core/backup/BackupTestSupport.h"
#include "core/backup/FaultyFileOps.h"
#include "support/RecordedProgress.h"

namespace lk {
namespace {
namespace fs = std::filesystem;
using test::LoadedCard;
using test::RecordingSpec;

std::size_t CountFiles(const fs::path& dir) {
    std::size_t n = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
         it.increment(ec))
        if (it->is_regular_file() &&
            it->path().filename().string().find(kCardFilesSuffix) == std::string::npos &&
            it->path().extension() != ".xxh128")
            ++n;
    return n;
}

TEST(BackupEngine, CopiesIntoMonthAndDayFoldersOfTheFamilysStore) {
    for (int devType : {0, 1}) {
        SCOPED_TRACE(devType);
        LoadedCard card(
            devType, {{Incoming, "20160214093000", "5551234"}, {Outgoing, "20160616093015", "77"}});
        const auto r = card.RunAll(false);
        ASSERT_TRUE(r.started);
        EXPECT_TRUE(r.reachedEnd);
        EXPECT_EQ(r.backedUp, 2);
        EXPECT_EQ(r.failed, 0);
        EXPECT_EQ(card.StoreRootPath().filename(),
                  devType == 1 ? "ZuzeVavazoBackupK" : "ZuzeVavazoBackup");

        for (std::size_t i = 0; i < card.cardFiles.size(); ++i) {
            const auto& s = card.cardFiles[i];
            EXPECT_EQ(test::ReadFile(card.StoreFile(s)), test::RecordingBytes(s));
            EXPECT_TRUE(fs::exists(card.CardFile(s)));  // copy mode keeps the card
            const auto index = test::ReadIndex(card.IndexFile(s.stamp.substr(0, 6)));
            ASSERT_EQ(index.size(), 1u);
            EXPECT_EQ(ToUtf8(FieldText(index[0].filePath)), card.StoreFile(s).string());
            // The rest of the record is the card record's, unchanged.
            CallRecord expected = *card.state->records.Card()[i];
            expected.filePath = index[0].filePath;
            EXPECT_EQ(index[0], expected);
        }
        ASSERT_EQ(card.state->records.Backup().size(), 2u);
        EXPECT_EQ(ToUtf8(FieldText(card.state->records.Backup()[1]->filePath)),
                  card.StoreFile(card.cardFiles[1]).string());
        EXPECT_EQ(CountFiles(card.StoreRootPath()), 4u);  // no partial copies left behind
    }
}

TEST(BackupEngine, MarksRecordsWithoutARecordingAndAddsNothingTheSecondTime) {
    RecordingSpec noFile{Missed, "20160215080000", "999"};
    noFile.withFile = false;
    LoadedCard card(0,
                    {{Incoming, "20151224093000", "1"}, noFile, {Outgoing, "20160214093000", "2"}});
    auto r = card.RunAll(false);
    EXPECT_EQ(r.backedUp, 3);
    ASSERT_EQ(r.items.size(), 3u);
    EXPECT_EQ(r.items[1].outcome, BackupOutcome::Marker);
    fs::path marker = card.StoreFile(noFile);
    marker += ".tmp";
    ASSERT_TRUE(fs::exists(marker));
    EXPECT_EQ(fs::file_size(marker), 0u);
    EXPECT_EQ(test::ReadIndex(card.IndexFile("201512")).size(), 1u);
    const auto february = test::ReadIndex(card.IndexFile("201602"));
    ASSERT_EQ(february.size(), 2u);
    EXPECT_EQ(ToUtf8(FieldText(february[0].filePath)), marker.string());

    const auto sizeBefore = fs::file_size(card.IndexFile("201602"));
    const auto listBefore = card.state->records.Backup().size();
    r = card.RunAll(false);
    EXPECT_EQ(r.backedUp, 0);
    EXPECT_EQ(r.skipped, 3);
    EXPECT_EQ(fs::file_size(card.IndexFile("201602")), sizeBefore);
    EXPECT_EQ(card.state->records.Backup().size(), listBefore);
}

TEST(BackupEngine, GivesNewBackupRecordsTheirPlaceInTheMonthFile) {
    LoadedCard card(0, {{Incoming, "20160214093000", "1"}, {Incoming, "20160215093000", "2"}});
    test::WriteFile(card.IndexFile("201602"), std::vector<std::uint8_t>(3 * CallRecord::kSize, 0));
    card.RunAll(false);
    ASSERT_EQ(card.state->records.Backup().size(), 2u);
    // In-place deletes and marks find the entry by this number.
    EXPECT_EQ(card.state->records.Backup()[0]->index, 3);
    EXPECT_EQ(card.state->records.Backup()[1]->index, 4);
}

TEST(BackupEngine, MoveEmptiesTheCardOnlyAfterEverythingIsSafe) {
    RecordingSpec noFile{Missed, "20160215080000", "999"};
    noFile.withFile = false;
    LoadedCard card(0,
                    {{Incoming, "20160214093000", "1"}, noFile, {Outgoing, "20160301093000", "2"}});
    const auto r = card.RunAll(true);
    EXPECT_EQ(r.backedUp, 3);
    EXPECT_TRUE(r.cardLogDeleted);
    EXPECT_FALSE(fs::exists(card.state->cardLogPath));
    for (const auto& s : card.cardFiles) {
        if (!s.withFile) continue;
        EXPECT_FALSE(fs::exists(card.CardFile(s)));
        EXPECT_EQ(test::ReadFile(card.StoreFile(s)), test::RecordingBytes(s));
    }
}

TEST(BackupEngine, MoveOfRecordingsAlreadyHeldDeletesThemFromTheCardWithoutIndexing) {
    LoadedCard card(0, {{Incoming, "20160214093000", "1"}, {Outgoing, "20160301093000", "2"}});
    card.RunAll(false);
    const auto indexed = test::IndexedPaths(card.StoreRootPath());
    const auto r = card.RunAll(true);
    EXPECT_EQ(r.backedUp, 0);
    EXPECT_EQ(r.skipped, 2);
    EXPECT_TRUE(r.cardLogDeleted);
    EXPECT_EQ(test::IndexedPaths(card.StoreRootPath()), indexed);
    for (const auto& s : card.cardFiles)
        EXPECT_FALSE(fs::exists(card.CardFile(s)));
}

TEST(BackupEngine, AStoppedOrSelectedMoveKeepsTheCallLog) {
    {
        LoadedCard card(0, {{Incoming, "20160214093000", "1"}});
        NoProgress none;
        std::stop_source stop;
        stop.request_stop();
        const auto r = BackupAllThread(*card.state, card.Options(true), none, stop.get_token());
        EXPECT_FALSE(r.reachedEnd);
        EXPECT_TRUE(r.items.empty());
        EXPECT_FALSE(r.cardLogDeleted);
        EXPECT_TRUE(fs::exists(card.state->cardLogPath));
    }
    {
        LoadedCard card(0, {{Incoming, "20160214093000", "1"},
                            {Incoming, "20160215093000", "2"},
                            {Incoming, "20160216093000", "3"}});
        // Top to bottom as the list shows them; an empty row is skipped.
        std::vector<CallRecord*> selected = {card.state->records.Card()[2].get(), nullptr,
                                             card.state->records.Card()[0].get()};
        NoProgress none;
        const auto r = BackupSelectedThread(*card.state, selected, card.Options(true), none, {});
        EXPECT_EQ(r.backedUp, 2);
        EXPECT_TRUE(r.reachedEnd);
        EXPECT_FALSE(r.cardLogDeleted);
        EXPECT_TRUE(fs::exists(card.state->cardLogPath));
        EXPECT_FALSE(fs::exists(card.CardFile(card.cardFiles[0])));
        EXPECT_TRUE(fs::exists(card.CardFile(card.cardFiles[1])));
        EXPECT_FALSE(fs::exists(card.CardFile(card.cardFiles[2])));
        ASSERT_EQ(card.state->records.Backup().size(), 2u);
        EXPECT_EQ(card.state->records.Backup()[0]->time.day, 16);
    }
}

// A stop asked for mid-run (Cancel) ends the run after the record in hand:
// what was copied is in the store and counted, the call log stays.
TEST(BackupEngine, AStopMidRunReportsWhatWasBackedUp) {
    LoadedCard card(0, {{Incoming, "20160214093000", "1"},
                        {Incoming, "20160215093000", "2"},
                        {Incoming, "20160216093000", "3"}});
    test::RecordedProgress progress;
    progress.stopAfter = 1;
    const auto r = BackupAllThread(*card.state, card.Options(true), progress, progress.Token());
    EXPECT_FALSE(r.reachedEnd);
    EXPECT_EQ(r.backedUp, 1);
    EXPECT_EQ(progress.positions, (std::vector<int>{1}));
    EXPECT_FALSE(r.cardLogDeleted);
    EXPECT_TRUE(fs::exists(card.state->cardLogPath));
    EXPECT_TRUE(fs::exists(card.StoreFile(card.cardFiles[0])));
    EXPECT_TRUE(fs::exists(card.CardFile(card.cardFiles[1])));
}

// A stop while a batch is being copied: the copies made are kept and counted,
// the records after them are let go as if never reached, and a move keeps the
// call log and their recordings.
TEST(BackupEngine, AStopWhileABatchIsCopiedLetsTheRestGo) {
    class StoppingCopy : public RealFileOps {
      public:
        std::stop_source stop;
        int copies = 0;
        bool CopyToNewFile(const fs::path& from, const fs::path& to) override {
            if (++copies == 3) stop.request_stop();
            return RealFileOps::CopyToNewFile(from, to);
        }
    };
    std::vector<RecordingSpec> calls;
    for (int i = 0; i < 8; ++i)
        calls.push_back({Incoming, "2016021409300" + std::to_string(i), std::to_string(i)});
    LoadedCard card(0, calls);
    StoppingCopy files;
    NoProgress none;
    const auto r =
        BackupAllThread(*card.state, card.Options(true, &files), none, files.stop.get_token());
    EXPECT_FALSE(r.reachedEnd);
    EXPECT_EQ(r.backedUp, 3);
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(r.items.size(), 3u);
    EXPECT_FALSE(r.cardLogDeleted);
    for (std::size_t i = 0; i < calls.size(); ++i)
        EXPECT_EQ(fs::exists(card.CardFile(calls[i])), i >= 3) << i;
    for (const auto& e : fs::recursive_directory_iterator(card.StoreRootPath()))
        EXPECT_FALSE(IsPartialName(e.path().filename().string())) << e.path();
}

// Copies are made a batch at a time: the bar moves as they are made, never
// back, and ends at the last record, whatever mix of held and new records.
TEST(BackupEngine, ProgressMovesForwardAsCopiesAreMade) {
    const std::vector<RecordingSpec> calls = {{Incoming, "20160214093000", "1"},
                                              {Incoming, "20160214093001", "2"},
                                              {Incoming, "20160214093002", "3"},
                                              {Incoming, "20160214093003", "4"}};
    LoadedCard card(0, calls);
    ASSERT_EQ(card.RunAll(false).backedUp, 4);
    fs::remove(card.StoreFile(calls[0]));  // copied again; the others are held
    fs::remove(card.StoreFile(calls[2]));
    test::RecordedProgress progress;
    const auto r = BackupAllThread(*card.state, card.Options(false), progress, {});
    EXPECT_EQ(r.backedUp + r.skipped, 4);
    ASSERT_EQ(progress.positions.size(), 4u);
    EXPECT_TRUE(std::is_sorted(progress.positions.begin(), progress.positions.end()));
    EXPECT_EQ(progress.positions.back(), 4);
}

TEST(BackupEngine, AFailedMoveKeepsTheCallLogAndTheRecording) {
    LoadedCard card(0, {{Incoming, "20160214093000", "1"}, {Outgoing, "20160301093000", "2"}});
    test::FaultyFileOps files;
    files.failingRename = 2;
    const auto r = card.RunAll(true, &files);
    EXPECT_EQ(r.backedUp, 1);
    EXPECT_EQ(r.failed, 1);
    EXPECT_FALSE(r.cardLogDeleted);
    EXPECT_TRUE(fs::exists(card.state->cardLogPath));
    EXPECT_TRUE(fs::exists(card.CardFile(card.cardFiles[1])));
    EXPECT_FALSE(fs::exists(card.StoreFile(card.cardFiles[1])));
}

TEST(BackupEngine, AnEmptyBackupPathDoesNothing) {
    LoadedCard card(0, {{Incoming, "20160214093000", "1"}});
    BackupOptions options = card.Options(false);
    options.backupPath.clear();
    NoProgress none;
    const auto r = BackupAllThread(*card.state, options, none, {});
    EXPECT_FALSE(r.started);
    EXPECT_FALSE(fs::exists(card.backupPath));
    EXPECT_TRUE(card.state->records.Backup().empty());
}

TEST(BackupEngine, ACopyOfAnotherSizeUnderTheFinalNameIsNotAFinishedBackup) {
    LoadedCard card(0, {{Incoming, "20160214093000", "1"}, {Incoming, "20160215093000", "2"}});
    test::WriteFile(card.StoreFile(card.cardFiles[0]), {1, 2, 3});  // torn by an older program
    test::WriteFile(card.StoreFile(card.cardFiles[1]), test::RecordingBytes(card.cardFiles[1]));
    const auto r = card.RunAll(true);
    ASSERT_EQ(r.items.size(), 2u);
    EXPECT_EQ(r.items[0].outcome, BackupOutcome::Moved);
    // Other bytes under the name are never replaced: the copy takes the next name.
    EXPECT_EQ(test::ReadFile(card.StoreFile(card.cardFiles[0])),
              (std::vector<std::uint8_t>{1, 2, 3}));
    fs::path variant = card.StoreFile(card.cardFiles[0]).parent_path() /
                       StoreNameVariant(RecordingFileName(card.cardFiles[0]), 2);
    EXPECT_EQ(r.items[0].destination, variant);
    EXPECT_EQ(test::ReadFile(variant), test::RecordingBytes(card.cardFiles[0]));
    // Same size: held, and indexed since no index entry named it yet.
    EXPECT_EQ(r.items[1].outcome, BackupOutcome::AlreadyHeld);
    EXPECT_TRUE(r.items[1].indexed);
    EXPECT_EQ(test::IndexedPaths(card.StoreRootPath()).size(), 2u);
    EXPECT_TRUE(r.cardLogDeleted);
}

TEST(BackupEngine, RefusesPathsThatLeaveTheCardOrTheStore) {
    const char16_t* hostile[] = {
        u"D:\\..\\..\\20160101120000-I-1.wav",             // up and out of the card
        u"D:\\/etc/20160101120000-I-1.wav",                // absolute
        u"D:\\C:\\20160101120000-I-1.wav",                 // a drive inside the path
        u"Q:\\201601\\20160101120000-I-1.wav",             // another drive
        u"D:\\201601\\20160101120000-I-1\\..\\..\\x.wav",  // a name that climbs the store
        u"D:\\201601\\20160101120000-I-1/../../x.wav",
        u"D:\\1-x.wav",                         // no timestamp before the hyphen
        u"D:\\201601\\2016010112000X-I-1.wav",  // not a timestamp
    };
    LoadedCard card(0, {{Incoming, "20160101120000", "1"}});
    ASSERT_EQ(card.letter, 'D');
    // Bait outside the card that a climbing path would reach.
    test::WriteFile(card.dir / "20160101120000-I-1.wav", {9, 9, 9});
    const CallRecord model = *card.state->records.Card()[0];
    card.state->records.ReplaceAll(RecordListId::Card);
    for (const auto* path : hostile) {
        auto r = std::make_unique<CallRecord>(model);
        SetFieldText(r->cardPath, path);
        card.state->records.Append(RecordListId::Card, std::move(r));
    }
    const auto r = card.RunAll(true);
    EXPECT_EQ(r.failed, static_cast<int>(std::size(hostile)));
    EXPECT_EQ(r.backedUp, 0);
    for (const auto& item : r.items)
        EXPECT_EQ(item.outcome, BackupOutcome::Refused);
    EXPECT_FALSE(r.cardLogDeleted);
    EXPECT_TRUE(fs::exists(card.dir / "20160101120000-I-1.wav"));
    EXPECT_TRUE(fs::exists(card.CardFile(card.cardFiles[0])));
    EXPECT_EQ(CountFiles(card.backupPath), 0u);
}

TEST(BuildRecordingPath, NamesARecordWithoutAPathFromItsFields) {
    struct Case {
        int type;
        std::u16string number;
        std::u16string prefix;
        std::u16string expected;
    };
    const Case cases[] = {
        {Outgoing, u"", u"E:\\", u"E:\\201606\\20160616093015-O.wav"},
        {Missed, u"555", u"E:\\", u"E:\\201606\\20160616093015-I-555.wav"},
        {Message, u"1", u"E:\\", u"E:\\201606\\20160616093015-I-1.wav"},
        {Note2, u"", u"E:\\", u"E:\\201606\\20160616093015-NOTE.wav"},
        {Triggered, u"", u"E:\\", u"E:\\201606\\20160616093015-TRIG.wav"},
        {99, u"", u"E:\\", u"E:\\201606\\20160616093015-O.wav"},
    };
    for (const auto& c : cases) {
        CallRecord r;
        r.type = c.type;
        r.time = {2016, 6, 0, 16, 9, 30, 15, 0};
        SetFieldText(r.number, c.number);
        SetFieldText(r.cardPath, c.prefix);
        BuildRecordingPath(r);
        EXPECT_EQ(FieldText(r.cardPath), c.expected);
        EXPECT_EQ(FieldText(r.filePath), c.expected);
    }
    // Longer than the card path field: cut there, whole in filePath.
    CallRecord r;
    r.type = Incoming;
    r.time = {2016, 6, 0, 16, 9, 30, 15, 0};
    SetFieldText(r.number, u"1234567890123456789012345678901234567890");
    SetFieldText(r.cardPath, u"E:\\");
    BuildRecordingPath(r);
    const std::u16string whole =
        u"E:\\201606\\20160616093015-I-1234567890123456789012345678901234567890.wav";
    ASSERT_GE(whole.size(), 64u);
    EXPECT_EQ(FieldText(r.cardPath), whole.substr(0, 63));
    EXPECT_EQ(FieldText(r.filePath), whole);
}

TEST(BackupEngine, ARecordWithoutAPathIsBackedUpUnderItsBuiltName) {
    LoadedCard card(0, {{Incoming, "20160616093015", "1"}});
    CallRecord& r = *card.state->records.Card()[0];
    r.type = Outgoing;
    SetFieldText(r.number, u"");
    SetFieldText(r.cardPath, u"D:\\");
    const auto result = card.RunAll(false);
    EXPECT_EQ(result.backedUp, 1);
    EXPECT_TRUE(
        fs::exists(card.StoreRootPath() / "201606" / "20160616" / "20160616093015-O.wav.tmp"));
}

}  // namespace
}  // namespace lk
