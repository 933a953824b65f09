#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

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

// The record as the loader hands it out: read from `file` at `position`.
void ReadFrom(CallRecord& r, const fs::path& root, const fs::path& file, int position,
              RecordSourceFile::Kind kind = RecordSourceFile::Kind::StoreIndex, int size = 1076) {
    auto source = std::make_shared<RecordSourceFile>();
    source->kind = kind;
    source->root = root;
    source->file = file;
    source->recordSize = size;
    r.origin = RecordOrigin{source, position};
}

TEST(BackupStore, DeleteAndMarkChangeOneRecordInPlace) {
    test::TempDir dir;
    const auto root = StoreRoot(dir.path(), 0);
    const auto path = MonthIndexPath(dir.path(), 0, 2016, 2);
    const auto original = IndexFile(2, 3);
    test::WriteFile(path, original);

    auto second = IndexRecord(2, 1);
    SetFieldText(second.filePath, FromUtf8((root / "201602" / "20160201" / "x1.wav").string()));
    ReadFrom(second, root, path, 1);
    ASSERT_TRUE(DeleteRecordFiles(second).done);
    auto third = IndexRecord(2, 2);
    SetFieldText(third.filePath, {});
    ReadFrom(third, root, path, 2);
    ASSERT_TRUE(WriteRecordMark(third, 1).done);
    EXPECT_EQ(third.marked, 1);
    auto past = IndexRecord(2, 3);
    ReadFrom(past, root, path, 3);
    EXPECT_FALSE(DeleteRecordFiles(past).done);
    // A record that is not the one at its position changes nothing.
    auto otherMonth = IndexRecord(3, 0);
    SetFieldText(otherMonth.filePath, {});
    ReadFrom(otherMonth, root, path, 0);
    const auto refused = DeleteRecordFiles(otherMonth);
    EXPECT_FALSE(refused.done);
    EXPECT_NE(refused.reason.find("changed"), std::string::npos) << refused.reason;

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
        ReadFrom(*r, card.path(), card / kCallLogFileName, i, RecordSourceFile::Kind::CardLog, 128);
        state.records.Append(RecordListId::Card, std::move(r));
    }
    CallRecord& target = *state.records.Card()[1];
    const fs::path recording(ToUtf8(FieldText(target.filePath)));
    test::WriteText(recording, "RIFF");

    ASSERT_TRUE(WriteRecordMark(target, 1).done);
    EXPECT_EQ(target.marked, 1);
    ASSERT_TRUE(DeleteRecordFiles(target).done);
    EXPECT_FALSE(fs::exists(recording));
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
        ReadFrom(*r, card.path(), card / kCallLogFileName, 0, RecordSourceFile::Kind::CardLog, 128);
        if (c.removeLog) std::filesystem::remove(card / kCallLogFileName);
        if (c.forgetVolume) std::filesystem::remove_all(card.path());
        const auto deleted = DeleteRecordFiles(*r);
        EXPECT_FALSE(deleted.done);
        EXPECT_FALSE(deleted.reason.empty());
        EXPECT_FALSE(WriteRecordMark(*r, 1).done);
        EXPECT_EQ(r->marked, 0);
    }
}

}  // namespace
}  // namespace lk
