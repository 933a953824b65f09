#include <gtest/gtest.h>

#include <set>

#include "card/LogRebuild.h"
#include "card/RecordLoader.h"
#include "core/card/CardFixture.h"

namespace lk {
namespace {
namespace fs = std::filesystem;

struct EmptyCard {
    test::TempHome home{false};
    test::TempDir dir;
    test::FakeVolumes volumes;
    fs::path root = dir / "card";
    std::unique_ptr<RecorderState> state;
    char letter = 0;
    int devType;

    explicit EmptyCard(int family) : devType(family) {
        test::MakeCard(root, devType, {});
        volumes.Add(root);
        state = std::make_unique<RecorderState>(volumes.MakeProbe());
        letter = state->volumes.LetterOf(root);
        state->devType = devType;
    }
    fs::path Folder(const std::string& month) const {
        return devType == 1 ? root / "RECORD" / month : root / month;
    }
    void Put(const std::string& month, const std::string& name, std::size_t bytes = 8192) {
        test::WriteFile(Folder(month) / name, std::vector<std::uint8_t>(bytes, 7));
    }
};

TEST(LogRebuild, AppendsOneRecordPerRecordingFile) {
    for (int devType : {0, 1}) {
        SCOPED_TRACE(devType);
        EmptyCard card(devType);
        card.Put("201601", "20160102102033-I-5551234.wav");
        card.Put("201601", "20160103102033-NOTE-.xtr");
        card.Put("201602", "20160214093000-O-77.wav");
        card.Put("201602", "readme.txt");               // not a recording
        card.Put("201602", "20160214093000-X-1.wav");   // unknown type code
        card.Put("201613", "20161302102033-I-1.wav");   // not a month folder
        card.Put("2016011", "20160102102033-I-2.wav");  // not a month folder
        fs::create_directories(card.Folder("201603") / "20160301000000-I-1.wav");  // a folder
        // A month folder that is a link could lead off the card.
        test::WriteFile(card.dir / "elsewhere" / "20160401000000-I-9.wav", {1, 2, 3});
        fs::create_directory_symlink(card.dir / "elsewhere", card.Folder("201604"));

        // A torn record at the end of the log goes before anything is appended.
        test::WriteFile(card.root / kCallLogFileName, std::vector<std::uint8_t>(50, 1));

        std::vector<std::pair<char, bool>> status;
        ASSERT_TRUE(QueueLogRebuild(*card.state, card.letter));
        const auto r = LogRebuildThread(
            *card.state, {}, [&](char d, bool active) { status.emplace_back(d, active); });
        EXPECT_EQ(r.added, 3);
        EXPECT_EQ(r.drives, 1);
        EXPECT_EQ(status,
                  (std::vector<std::pair<char, bool>>{{card.letter, true}, {card.letter, false}}));
        EXPECT_EQ(card.state->rebuildRunning.load(), 0);
        EXPECT_EQ(fs::file_size(card.root / kCallLogFileName),
                  3u * static_cast<unsigned>(RecordSize(devType, true)));
        EXPECT_EQ(
            std::set<int>(card.state->cardMonthFolders.begin(), card.state->cardMonthFolders.end()),
            (std::set<int>{201601, 201602, 201603}));

        // The next card-watch tick reads the rebuilt log.
        card.state->cardDrive = card.letter;
        card.state->cardLogPath = card.root / kCallLogFileName;
        card.state->loadFromCard = 1;
        RecordLoaderThread(*card.state, {});
        ASSERT_EQ(card.state->records.Card().size(), 3u);
        std::set<std::string> numbers;
        for (const auto& rec : card.state->records.Card()) {
            numbers.insert(ToUtf8(FieldText(rec->number)));
            EXPECT_TRUE(fs::exists(ToUtf8(FieldText(rec->filePath))));
        }
        EXPECT_EQ(numbers, (std::set<std::string>{"5551234", "", "77"}));
    }
}

TEST(LogRebuild, OneWorkerDrainsTheQueueWithoutDuplicates) {
    EmptyCard card(0);
    card.Put("201601", "20160102102033-I-1.wav");
    EXPECT_TRUE(QueueLogRebuild(*card.state, card.letter));
    EXPECT_FALSE(QueueLogRebuild(*card.state, card.letter));  // already queued, worker claimed
    EXPECT_FALSE(QueueLogRebuild(*card.state, 'Q'));          // joins the same run
    EXPECT_EQ(card.state->rebuildQueue.size(), 2u);

    const auto r = LogRebuildThread(*card.state);
    EXPECT_EQ(r.drives, 2);  // the unknown drive is taken and skipped
    EXPECT_EQ(r.added, 1);
    EXPECT_TRUE(card.state->rebuildQueue.empty());
    EXPECT_EQ(card.state->rebuildRunning.load(), 0);
    EXPECT_TRUE(QueueLogRebuild(*card.state, card.letter));  // a later card starts a new worker
}

TEST(LogRebuild, QuittingStopsAtOnce) {
    EmptyCard card(0);
    card.Put("201601", "20160102102033-I-1.wav");
    QueueLogRebuild(*card.state, card.letter);
    card.state->quitting = 1;
    const auto r = LogRebuildThread(*card.state);
    EXPECT_EQ(r.added, 0);
    EXPECT_EQ(card.state->rebuildRunning.load(), 0);
    EXPECT_EQ(fs::file_size(card.root / kCallLogFileName), 0u);
}

}  // namespace
}  // namespace lk
