#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "backup/RepairCardLog.h"
#include "card/CallLog.h"
#include "card/LogRebuild.h"
#include "core/card/CardFixture.h"
#include "phonebook/PhoneBookFile.h"
#include "support/ReadOnlyTree.h"

namespace lk {
namespace {
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// A card folder on a fake removable volume, and a folder beside it that a
// link on the card points into.
struct LinkedCard {
    test::TempHome home{false};
    test::TempDir dir;
    test::FakeVolumes volumes;
    fs::path root = dir / "card";
    fs::path outside = dir / "outside";
    std::unique_ptr<RecorderState> state;
    char letter = 0;
    int devType;

    explicit LinkedCard(int family, const std::vector<test::RecordingSpec>& files = {})
        : devType(family) {
        test::MakeCard(root, devType, files);
        fs::create_directories(outside);
        volumes.Add(root);
        state = std::make_unique<RecorderState>(volumes.MakeProbe());
        letter = state->volumes.LetterOf(root);
        state->devType = devType;
    }
    CardVolume Volume() const { return CardVolume{letter, root, {}}; }
    // Replaces the card file `name` by a link to outside/`name` holding `bytes`.
    fs::path LinkOut(const std::string& name, const Bytes& bytes) {
        const fs::path target = outside / name;
        test::WriteFile(target, bytes);
        fs::remove(root / name);
        fs::create_symlink(target, root / name);
        return target;
    }
    void PutRecording(const std::string& name) {
        const fs::path folder =
            devType == 1 ? root / "RECORD" / name.substr(0, 6) : root / name.substr(0, 6);
        test::WriteFile(folder / name, Bytes(4000, 9));
    }
};

const Bytes kPrecious = {'k', 'e', 'e', 'p', ' ', 'm', 'e'};

TEST(CardLinks, NoWriteFollowsALinkOnTheCard) {
    enum class Op { Repair, Rebuild, AddContact, ChangeContact, MarkLogRecord };
    struct Case {
        const char* what;
        const char* linked;  // the card file that is a link
        Op op;
        int devType;
    } cases[] = {
        {"repair saves its copy over a linked copy", kCallLogBackupFileName, Op::Repair, 0},
        {"repair appends to a linked log", kCallLogFileName, Op::Repair, 0},
        {"rebuild appends to a linked log", kCallLogFileName, Op::Rebuild, 0},
        {"rebuild appends to a linked log (family 1)", kCallLogFileName, Op::Rebuild, 1},
        {"a contact is added to a linked phone book", kPhoneBookFileName, Op::AddContact, 1},
        {"a contact is changed in a linked phone book", kPhoneBookFileName, Op::ChangeContact, 1},
        {"a mark is written into a linked log", kCallLogFileName, Op::MarkLogRecord, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LinkedCard card(c.devType);
        card.PutRecording("20160102102033-I-5551234.wav");
        // The bait is a whole number of records of every kind, so that only
        // the link stands in the way of a write.
        Bytes bait(128 * 155 * 2, 1);
        const fs::path target = card.LinkOut(c.linked, bait);
        NoProgress none;
        switch (c.op) {
            case Op::Repair: {
                const auto r = RepairCardLog(card.Volume(), none, {});
                EXPECT_FALSE(r.failureReason.empty());
                EXPECT_EQ(r.added, 0);
                break;
            }
            case Op::Rebuild: {
                // Rebuild runs on an empty log.
                bait.clear();
                test::WriteFile(target, bait);
                ASSERT_TRUE(QueueLogRebuild(*card.state, card.letter));
                const auto r = LogRebuildThread(*card.state);
                EXPECT_EQ(r.added, 0);
                EXPECT_EQ(r.failed, 1);
                EXPECT_NE(r.failureReason.find("link"), std::string::npos) << r.failureReason;
                break;
            }
            case Op::AddContact:
                EXPECT_EQ(AddContact(card.root / kPhoneBookFileName,
                                     BuildContactRecord(u"Eve", {u"1"}, 0, "CP1252")),
                          PhoneBookWrite::IoError);
                break;
            case Op::ChangeContact:
                EXPECT_EQ(ChangeContact(card.root / kPhoneBookFileName, 0,
                                        BuildContactRecord(u"Eve", {u"1"}, 0, "CP1252")),
                          PhoneBookWrite::IoError);
                EXPECT_FALSE(LoadPhoneBook(card.root / kPhoneBookFileName).found);
                break;
            case Op::MarkLogRecord:
                EXPECT_FALSE(WriteCardMark(card.Volume(), 0, 0, 1));
                break;
        }
        EXPECT_EQ(test::ReadFile(target), bait);
        EXPECT_TRUE(fs::is_symlink(card.root / c.linked));
    }
}

TEST(CardLinks, ARecordingThatIsALinkIsNotAddedToTheLog) {
    LinkedCard card(0);
    test::WriteFile(card.outside / "20160102102033-I-5551234.wav", Bytes(4000, 9));
    fs::create_directories(card.root / "201601");
    fs::create_symlink(card.outside / "20160102102033-I-5551234.wav",
                       card.root / "201601" / "20160102102033-I-5551234.wav");
    NoProgress none;
    const auto r = RepairCardLog(card.Volume(), none, {});
    EXPECT_EQ(r.added, 0);
    EXPECT_EQ(r.writeFailures, 1);
    EXPECT_EQ(fs::file_size(card.root / kCallLogFileName), 0u);
}

TEST(RepairHonesty, AMissedCallWithoutARecordingIsNotAnUnsafePath) {
    test::RecordingSpec missed{Missed, "20160215080000", "999"};
    missed.withFile = false;
    missed.relativePath = u"";
    test::RecordingSpec climbing{Incoming, "20160215090000", "1"};
    climbing.relativePath = u"..\\..\\20160215090000-I-1.wav";
    LinkedCard card(0, {missed, climbing});
    // The fixture names a path for every record; a missed call names none.
    auto log = test::ReadFile(card.root / kCallLogFileName);
    std::fill(log.begin() + card128::kPath, log.begin() + card128::kPath + card128::kPathSize, 0);
    test::WriteFile(card.root / kCallLogFileName, log);
    NoProgress none;
    const auto r = RepairCardLog(card.Volume(), none, {});
    EXPECT_EQ(r.unsafeLogPaths, 1);
    EXPECT_TRUE(r.failureReason.empty()) << r.failureReason;
}

TEST(RepairHonesty, AReadOnlyCardIsAFailureWithItsReason) {
    for (const bool rebuild : {false, true}) {
        SCOPED_TRACE(rebuild ? "rebuild" : "repair");
        LinkedCard card(0);
        card.PutRecording("20160102102033-I-5551234.wav");
        test::ReadOnlyTree readOnly(card.root);
        if (!readOnly.Holds()) GTEST_SKIP() << "this file system cannot be made read-only here";
        NoProgress none;
        if (rebuild) {
            ASSERT_TRUE(QueueLogRebuild(*card.state, card.letter));
            const auto r = LogRebuildThread(*card.state);
            EXPECT_EQ(r.failed, 1);
            EXPECT_FALSE(r.failureReason.empty());
        } else {
            // Not even the log's copy can be saved: the repair says so and
            // changes nothing.
            const auto r = RepairCardLog(card.Volume(), none, {});
            EXPECT_EQ(r.added, 0);
            EXPECT_FALSE(r.backupWritten);
            EXPECT_NE(r.failureReason.find("copy"), std::string::npos) << r.failureReason;
        }
    }
}

}  // namespace
}  // namespace lk
