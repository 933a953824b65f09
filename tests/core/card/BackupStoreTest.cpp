#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "card/BackupStore.h"
#include "card/CallLog.h"
#include "card/RecordCommands.h"
#include "card/RecorderState.h"
#include "core/card/CardFixture.h"
#include "platform/TextCodec.h"
#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;

TEST(BackupStore, NamesFoldersAndIndexFiles) {
    const fs::path base = "/store";
    EXPECT_EQ(StoreRoot(base, 0), fs::path("/store/ZuzeVavazoBackup"));
    EXPECT_EQ(StoreRoot(base, 1), fs::path("/store/ZuzeVavazoBackupK"));
    EXPECT_EQ(MonthIndexPath(base, 0, 2016, 2),
              fs::path("/store/ZuzeVavazoBackup/CallLog/201602CallLogBK.dat"));
    EXPECT_EQ(MonthIndexPath(base, 1, 201512),
              fs::path("/store/ZuzeVavazoBackupK/CallLog/201512CallLogBK.dat"));
}

TEST(BackupStore, ListsTheMonthsOfOneFamily) {
    test::TempDir dir;
    test::WriteText(MonthIndexPath(dir.path(), 0, 2016, 2), "");
    test::WriteText(MonthIndexPath(dir.path(), 0, 2015, 12), "");
    test::WriteText(dir.path() / "ZuzeVavazoBackup" / "CallLog" / "notes.txt", "");
    test::WriteText(dir.path() / "ZuzeVavazoBackup" / "CallLog" / "abcCallLogBK.dat", "");
    test::WriteText(MonthIndexPath(dir.path(), 1, 2017, 1), "");
    auto months = ListBackupMonths(dir.path(), 0);
    std::sort(months.begin(), months.end());
    EXPECT_EQ(months, (std::vector<int>{0, 201512, 201602}));
    EXPECT_EQ(ListBackupMonths(dir.path(), 1), (std::vector<int>{201701}));
    EXPECT_TRUE(ListBackupMonths(dir / "nothing", 0).empty());
}

CallRecord IndexRecord(int month, int i) {
    CallRecord r;
    r.cardBytes[0] = 1;
    r.inUse = 1;
    r.type = Incoming;
    r.time = SystemTime{2016, static_cast<std::uint16_t>(month), 0, 1, 12,
                        0,    static_cast<std::uint16_t>(i),     0};
    SetFieldText(r.filePath,
                 u"/store/x" + std::u16string(1, static_cast<char16_t>(u'0' + i)) + u".wav");
    return r;
}

std::vector<std::uint8_t> IndexFile(int month, int count) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < count; ++i) {
        const auto image = IndexRecord(month, i).ToBytes();
        bytes.insert(bytes.end(), image.begin(), image.end());
    }
    return bytes;
}

TEST(BackupStore, DeleteAndMarkChangeOneRecordInPlace) {
    test::TempDir dir;
    const auto path = MonthIndexPath(dir.path(), 0, 2016, 2);
    const auto original = IndexFile(2, 3);
    test::WriteFile(path, original);

    auto second = IndexRecord(2, 1);
    ASSERT_TRUE(ClearBackupEntry(dir.path(), 0, second, 1));
    ASSERT_TRUE(WriteBackupMark(dir.path(), 0, second, 2, 1));
    EXPECT_FALSE(ClearBackupEntry(dir.path(), 0, second, 3));
    auto otherMonth = IndexRecord(3, 0);
    EXPECT_FALSE(ClearBackupEntry(dir.path(), 0, otherMonth, 0));

    const auto after = test::ReadFile(path);
    ASSERT_EQ(after.size(), 3228u);
    auto expected = original;
    expected[1076 + 4] = 0;
    expected[1076 + 132] = 0;
    expected[2 * 1076 + 7] = 1;
    expected[2 * 1076 + 144] = 1;
    EXPECT_EQ(after, expected);
}

class FixedProbe : public VolumeProbe {
  public:
    explicit FixedProbe(std::vector<MountedVolume> v) : v_(std::move(v)) {}
    std::vector<MountedVolume> Mounted() override { return v_; }

  private:
    std::vector<MountedVolume> v_;
};

TEST(RecordCommands, DeleteClearsTheCardEntryAndHandsTheRecordBack) {
    test::TempDir card;
    std::vector<std::uint8_t> log;
    for (int i = 0; i < 3; ++i) {
        CardRecordFields f;
        f.number = u"55" + std::u16string(1, static_cast<char16_t>(u'0' + i));
        f.relativePath = u"201601\\2016010112000" +
                         std::u16string(1, static_cast<char16_t>(u'0' + i)) + u"-I-1.wav";
        auto rec = BuildCardRecord(f, 0);
        log.insert(log.end(), rec.begin(), rec.end());
    }
    test::WriteFile(card / kCallLogFileName, log);

    RecorderState state(std::make_unique<FixedProbe>(
        std::vector<MountedVolume>{{card.path(), true, 1 << 20, 1 << 19}}));
    state.volumes.Refresh();
    const char letter = state.volumes.LetterOf(card.path());
    ASSERT_NE(letter, 0);
    const CardVolume volume{letter, card.path()};
    for (int i = 0; i < 3; ++i) {
        auto r = std::make_unique<CallRecord>();
        ASSERT_TRUE(ParseCardRecord128(
            ByteSpan(log).subspan(static_cast<std::size_t>(i) * 128, 128), *r, volume, {}));
        r->index = i;
        state.records.Append(RecordListId::Card, std::move(r));
    }
    state.viewingBackup = 0;
    const auto target = FieldText(state.records.Card()[1]->filePath);

    std::vector<std::u16string> told;  // paths of records announced as leaving
    const int listener = state.records.Listen([&](const LeavingRecords& l) {
        for (const CallRecord* r : l.records)
            told.push_back(FieldText(r->filePath));  // still alive while told
    });
    ASSERT_TRUE(SetRecordMarkByPath(state, {}, target, 1));
    EXPECT_EQ(DeleteRecordByPath(state, {}, target), RecordDeleteResult::Deleted);
    EXPECT_EQ(told, std::vector<std::u16string>{target});
    EXPECT_EQ(state.records.Card().size(), 2u);
    EXPECT_EQ(DeleteRecordByPath(state, {}, target), RecordDeleteResult::NotFound);
    state.records.StopListening(listener);

    auto expected = log;
    expected[128] = 0;
    expected[128 + 3] = 1;
    EXPECT_EQ(test::ReadFile(card / kCallLogFileName), expected);
}

}  // namespace
}  // namespace lk

namespace lk {
namespace {

// A card-log write that fails must leave the record where it was and say so;
// counted as deleted it would come back on the next load.
TEST(RecordCommands, AFailedLogWriteIsNoDeletion) {
    struct Case {
        const char* what;
        bool removeLog;     // the log is gone from the card
        bool forgetVolume;  // the card's drive is no longer known
    };
    for (const Case c : {Case{"log missing", true, false}, Case{"card gone", false, true}}) {
        SCOPED_TRACE(c.what);
        test::TempDir card;
        CardRecordFields f;
        f.number = u"5551";
        f.relativePath = u"201601\\20160101120000-I-1.wav";
        const auto bytes = BuildCardRecord(f, 0);
        test::WriteFile(card / kCallLogFileName, bytes);
        test::FakeVolumes volumes;
        volumes.Add(card.path(), true, 1 << 20);
        RecorderState state(volumes.MakeProbe());
        state.volumes.Refresh();
        const char letter = state.volumes.LetterOf(card.path());
        ASSERT_NE(letter, 0);
        auto r = std::make_unique<CallRecord>();
        ASSERT_TRUE(ParseCardRecord128(ByteSpan(bytes), *r, CardVolume{letter, card.path()}, {}));
        r->index = 0;
        const auto path = FieldText(r->filePath);
        state.records.Append(RecordListId::Card, std::move(r));
        state.viewingBackup = 0;

        int told = 0;
        const int listener = state.records.Listen([&](const LeavingRecords&) { ++told; });
        if (c.removeLog) std::filesystem::remove(card / kCallLogFileName);
        if (c.forgetVolume) {
            volumes.Remove(card.path());
            state.volumes.Refresh();
        }
        EXPECT_EQ(DeleteRecordByPath(state, {}, path), RecordDeleteResult::EntryNotCleared);
        EXPECT_FALSE(SetRecordMarkByPath(state, {}, path, 1));
        EXPECT_EQ(state.records.Card().size(), 1u);
        EXPECT_EQ(told, 0);
        state.records.StopListening(listener);
    }
}

}  // namespace
}  // namespace lk
