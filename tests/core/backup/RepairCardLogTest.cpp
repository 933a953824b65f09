#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "backup/RepairCardLog.h"
#include "card/CallLog.h"
#include "platform/TextCodec.h"
#include "support/RecordedProgress.h"
#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

CardVolume Card(const test::TempDir& dir) {
    return CardVolume{'E', dir.path(), {}};
}

Bytes Record(const std::u16string& relativePath, int devType, bool live = true) {
    CardRecordFields f;
    f.year = 2016;
    f.number = u"1";
    f.relativePath = relativePath;
    auto raw = BuildCardRecord(f, devType);
    if (!live) raw[0] = 0;
    return raw;
}

Bytes Log(const std::vector<Bytes>& records) {
    Bytes out;
    for (const auto& r : records)
        out.insert(out.end(), r.begin(), r.end());
    return out;
}

std::vector<std::u16string> PathsOfLog(const fs::path& log, int devType) {
    std::vector<std::u16string> paths;
    const auto bytes = test::ReadFile(log);
    const std::size_t size = devType == 1 ? 256 : 128;
    const std::size_t at = devType == 1 ? card256::kPath : card128::kPath;
    for (std::size_t i = 0; i + size <= bytes.size(); i += size) {
        std::string path;
        for (std::size_t k = at; bytes[i + k] != 0; ++k)
            path.push_back(static_cast<char>(bytes[i + k]));
        paths.push_back(FromUtf8(path));
    }
    return paths;
}

TEST(RepairCardLog, AddsOnlyRecordingsTheLogDoesNotName) {
    test::TempDir card;
    const Bytes original = Log({
        Record(u"201601/20160102102033-I-1.wav", 0),          // '/' spelling counts as known
        Record(u"201601\\20160102102033-I-1.wav", 0),         // a duplicate is one known path
        Record(u"201601\\20160102102034-O-2.wav", 0, false),  // deleted: not known
        Record(u"201601\\20160102102035-I-3.xtr", 0),
    });
    test::WriteFile(card / "CallLog.dat", original);
    for (const char* name :
         {"20160102102033-I-1.wav", "20160102102034-O-2.wav", "20160102102035-I-3.xtr",
          "20160102102036-NOTE-.wav", "x.wav.bak", "notes.txt"})
        test::WriteText(card / "201601" / name, "");

    test::RecordedProgress progress;
    const auto r = RepairCardLog(Card(card), progress, {});
    const int steps = static_cast<int>(progress.positions.size());

    EXPECT_TRUE(r.cardFound);
    EXPECT_EQ(r.devType, 0);
    EXPECT_TRUE(r.backupWritten);
    EXPECT_EQ(test::ReadFile(card / "CallLog_BK.dat"), original);
    EXPECT_EQ(r.knownPaths, 2);
    EXPECT_EQ(r.filesListed, 8);  // the log and its copy are listed too
    EXPECT_EQ(steps, 9);          // one per file, then the final count
    EXPECT_EQ(r.candidates, 5);
    EXPECT_EQ(r.added, 2);
    EXPECT_EQ(r.failed, 1);  // x.wav.bak

    const auto after = test::ReadFile(card / "CallLog.dat");
    ASSERT_EQ(after.size(), original.size() + 2 * 128);
    EXPECT_TRUE(std::equal(original.begin(), original.end(), after.begin()))
        << "existing records moved";
    const auto paths = PathsOfLog(card / "CallLog.dat", 0);
    EXPECT_EQ(paths[4], u"201601\\20160102102034-O-2.wav");
    EXPECT_EQ(paths[5], u"201601\\20160102102036-NOTE-.wav");
}

// A FAT card holds one file for "X.WAV" and "x.wav": a log naming the
// recording in another letter case names it all the same.
TEST(RepairCardLog, ARecordingNamedInAnotherCaseIsKnownWhereTheCardIgnoresCase) {
    for (const bool ignoresCase : {true, false}) {
        SCOPED_TRACE(ignoresCase);
        test::TempDir card;
        test::WriteFile(card / "CallLog.dat", Log({Record(u"201601\\20160102102033-I-1.WAV", 0),
                                                   Record(u"201601\\20160102102034-o-2.wav", 0)}));
        test::WriteText(card / "201601/20160102102033-I-1.wav", "");
        test::WriteText(card / "201601/20160102102034-O-2.wav", "");
        NoProgress none;
        const auto r = RepairCardLog(Card(card), none, {}, ignoresCase);
        EXPECT_EQ(r.added, ignoresCase ? 0 : 2);
        EXPECT_EQ(PathsOfLog(card / "CallLog.dat", 0).size(), ignoresCase ? 2u : 4u);
    }
}

TEST(RepairCardLog, ACompleteLogStaysButItsCopyIsRewritten) {
    test::TempDir card;
    const Bytes log = Log({Record(u"201601\\20160102102033-I-1.wav", 0)});
    test::WriteFile(card / "CallLog.dat", log);
    test::WriteText(card / "CallLog_BK.dat", "stale copy");
    test::WriteText(card / "201601/20160102102033-I-1.wav", "");
    NoProgress none;
    const auto r = RepairCardLog(Card(card), none, {});
    EXPECT_EQ(r.added, 0);
    EXPECT_EQ(test::ReadFile(card / "CallLog.dat"), log);
    EXPECT_EQ(test::ReadFile(card / "CallLog_BK.dat"), log);
}

TEST(RepairCardLog, WithoutALogEveryRecordingIsAddedAndNoCopyMade) {
    test::TempDir card;
    test::WriteText(card / "201601/20160102102033-I-1.wav", "");
    test::WriteText(card / "elsewhere/20160203102033-O-2.wav", "");
    NoProgress none;
    const auto r = RepairCardLog(Card(card), none, {});
    EXPECT_FALSE(r.backupWritten);
    EXPECT_FALSE(fs::exists(card / "CallLog_BK.dat"));
    EXPECT_EQ(r.added, 2);
    // The record names the recording's month folder, wherever the file lay.
    EXPECT_EQ(PathsOfLog(card / "CallLog.dat", 0),
              (std::vector<std::u16string>{u"201601\\20160102102033-I-1.wav",
                                           u"201602\\20160203102033-O-2.wav"}));
}

TEST(RepairCardLog, FamilyOneCardsUseTheirOwnRecordsAndFolders) {
    test::TempDir card;
    test::WriteFile(card / "PhoneBook.dat", {});
    test::WriteFile(card / "CallLog.dat",
                    Log({Record(u"RECORD\\201601\\20160102102033-I-1.wav", 1)}));
    test::WriteText(card / "RECORD/201601/20160102102033-I-1.wav", "");
    test::WriteText(card / "RECORD/201601/20160102102034-I-5551234.wav", "");
    NoProgress none;
    const auto r = RepairCardLog(Card(card), none, {});
    EXPECT_EQ(r.devType, 1);
    EXPECT_EQ(r.added, 1);
    const auto bytes = test::ReadFile(card / "CallLog.dat");
    ASSERT_EQ(bytes.size(), 512u);
    EXPECT_EQ(PathsOfLog(card / "CallLog.dat", 1)[1],
              u"RECORD\\201601\\20160102102034-I-5551234.wav");
    // Family-1 numbers are plain characters.
    EXPECT_EQ(bytes[256 + card256::kNumber], '5');
}

TEST(RepairCardLog, LogPathsLeavingTheCardAreNeverKnown) {
    test::TempDir card;
    test::WriteFile(card / "CallLog.dat",
                    Log({
                        Record(u"..\\..\\20160102102033-I-1.wav", 0),
                        Record(u"/etc/20160102102033-I-1.wav", 0),
                        Record(u"C:\\20160102102033-I-1.wav", 0),
                        Record(u"201601\\..\\201601\\20160102102033-I-1.wav", 0),
                    }));
    test::WriteText(card / "201601/20160102102033-I-1.wav", "");
    NoProgress none;
    const auto r = RepairCardLog(Card(card), none, {});
    EXPECT_EQ(r.unsafeLogPaths, 4);
    EXPECT_EQ(r.knownPaths, 0);
    EXPECT_EQ(r.added, 1);
}

TEST(RepairCardLog, NamesThatWouldTurnIntoCardFoldersAreSkipped) {
    test::TempDir card;
    // Legal on this system, but a backslash is a folder separator on the card.
    test::WriteText(card / "201601/20160102102033-I-1\\..\\..\\x.wav", "");
    NoProgress none;
    const auto r = RepairCardLog(Card(card), none, {});
    EXPECT_EQ(r.candidates, 1);
    EXPECT_EQ(r.added, 0);
    EXPECT_EQ(r.failed, 1);
    ASSERT_EQ(r.items.size(), 1u);
    EXPECT_EQ(r.items[0].outcome, RepairOutcome::Unsafe);
    EXPECT_FALSE(fs::exists(card / "CallLog.dat"));
}

class ListedVolumes final : public VolumeProbe {
  public:
    std::vector<MountedVolume> Mounted() override {
        return {{"/", false, 0, 0},
                {"/media/usb", true, 0, 0},
                {"/srv/data", false, 0, 0},
                {"/media/sd", true, 0, 0}};
    }
};

TEST(RepairDriveList, OffersRemovableDrivesInLetterOrder) {
    VolumeTable volumes(std::make_unique<ListedVolumes>());
    EXPECT_EQ(RepairDriveList(volumes), (std::vector<std::string>{"D:\\", "F:\\"}));
}

TEST(RepairCardLog, AMissingCardDoesNothing) {
    test::TempDir dir;
    NoProgress none;
    const auto r = RepairCardLog(CardVolume{'E', dir / "gone", {}}, none, {});
    EXPECT_FALSE(r.cardFound);
    EXPECT_FALSE(fs::exists(dir / "gone"));
}

}  // namespace
}  // namespace lk
