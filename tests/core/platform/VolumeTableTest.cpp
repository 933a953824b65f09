#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/MountInfo.h"
#include "platform/VolumeTable.h"
#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;

// The test changes `mounted` between refreshes, as a user plugging cards would.
struct FakeState {
    std::vector<MountedVolume> mounted;
};

class FakeProbe final : public VolumeProbe {
  public:
    explicit FakeProbe(std::shared_ptr<FakeState> state) : state_(std::move(state)) {}
    std::vector<MountedVolume> Mounted() override { return state_->mounted; }

  private:
    std::shared_ptr<FakeState> state_;
};

MountedVolume Fixed(const char* root) {
    return {root, false, 1000, 500};
}
MountedVolume Card(const char* root) {
    return {root, true, 2000, 1500};
}

std::string Letters(const VolumeTable& t) {
    std::string s;
    for (const auto& v : t.Volumes())
        s += std::string(1, v.letter) + "=" + v.root.string() + " ";
    return s;
}

TEST(VolumeTable, GivesLettersAndKeepsThemWhileMounted) {
    auto state = std::make_shared<FakeState>();
    state->mounted = {Fixed("/home"), Fixed("/"), Card("/media/u/CARD_A")};
    VolumeTable table(std::make_unique<FakeProbe>(state));
    EXPECT_EQ(Letters(table), "C=/ D=/home E=/media/u/CARD_A ");
    EXPECT_EQ(table.LogicalDriveMask(), (1u << 2) | (1u << 3) | (1u << 4));

    struct Step {
        const char* what;
        std::vector<MountedVolume> mounted;
        const char* letters;
    };
    const Step steps[] = {
        {"a second card comes",
         {Fixed("/"), Fixed("/home"), Card("/media/u/CARD_A"), Card("/media/u/CARD_B")},
         "C=/ D=/home E=/media/u/CARD_A F=/media/u/CARD_B "},
        {"the first card goes",
         {Fixed("/"), Fixed("/home"), Card("/media/u/CARD_B")},
         "C=/ D=/home F=/media/u/CARD_B "},
        {"a third card takes the free letter",
         {Card("/media/u/CARD_C"), Fixed("/"), Fixed("/home"), Card("/media/u/CARD_B")},
         "C=/ D=/home E=/media/u/CARD_C F=/media/u/CARD_B "},
        {"reported in another order, with a trailing slash",
         {Card("/media/u/CARD_B/"), Card("/media/u/CARD_C"), Fixed("/home"), Fixed("/")},
         "C=/ D=/home E=/media/u/CARD_C F=/media/u/CARD_B "},
        {"a reader without a medium reports nothing", {Fixed("/"), Fixed("/home")}, "C=/ D=/home "},
    };
    for (const auto& s : steps) {
        state->mounted = s.mounted;
        table.Refresh();
        EXPECT_EQ(Letters(table), s.letters) << s.what;
    }
}

TEST(VolumeTable, AnswersDriveQueries) {
    auto state = std::make_shared<FakeState>();
    state->mounted = {Fixed("/"), Card("/media/u/CARD"), Card("/media/u/CARD/inner"),
                      Fixed("/data")};
    VolumeTable table(std::make_unique<FakeProbe>(state));
    EXPECT_EQ(table.GetDriveType('C'), DriveType::Fixed);
    EXPECT_EQ(table.GetDriveType('D'), DriveType::Removable);
    EXPECT_EQ(table.GetDriveType('F'), DriveType::Fixed);
    EXPECT_EQ(table.GetDriveType('Q'), DriveType::NoRootDir);
    EXPECT_EQ(table.GetDriveType('A'), DriveType::NoRootDir);
    ASSERT_TRUE(table.Find('d').has_value());
    EXPECT_EQ(table.Find('D')->totalBytes, 2000u);
    EXPECT_EQ(table.Find('D')->freeBytes, 1500u);
    EXPECT_FALSE(table.Find('G').has_value());

    struct Case {
        const char* path;
        char letter;
    };
    const Case cases[] = {
        {"/media/u/CARD/201601/x.wav", 'D'}, {"/media/u/CARD", 'D'},
        {"/media/u/CARD/inner/x.wav", 'E'},  // the deepest root wins
        {"/media/u/CARDX/x.wav", 'C'},       // a name prefix is not a parent
        {"/data/../media/u/CARD/x", 'D'},    {"/usr/bin", 'C'},
    };
    for (const auto& c : cases)
        EXPECT_EQ(table.LetterOf(c.path), c.letter) << c.path;
}

TEST(VolumeTable, RunsOutOfLettersAtZ) {
    auto state = std::make_shared<FakeState>();
    state->mounted.push_back(Fixed("/"));
    for (int i = 0; i < 30; ++i)
        state->mounted.push_back({fs::path("/mnt/v" + std::to_string(i)), true, 1, 1});
    VolumeTable table(std::make_unique<FakeProbe>(state));
    EXPECT_EQ(table.Volumes().size(), 24u);  // C to Z
    EXPECT_EQ(table.Volumes().back().letter, 'Z');
    EXPECT_EQ(table.Volumes().back().root, "/mnt/v22");
    EXPECT_EQ(table.LogicalDriveMask(), 0x3FFFFFCu);
    // With no root file system reported, the first volume still starts at D.
    state->mounted = {Card("/media/x")};
    VolumeTable other(std::make_unique<FakeProbe>(state));
    EXPECT_EQ(Letters(other), "D=/media/x ");
}

// A chroot's mount table may lack "/" or be empty; C is the root folder anyway.
TEST(VolumeTable, DriveCIsTheRootFolderListedOrNot) {
    struct Case {
        const char* what;
        std::string mountInfo;
    };
    const Case cases[] = {
        {"no mount table", ""},
        {"no root entry", "36 35 98:0 / /proc rw,noatime - proc proc rw\n"},
        {"root listed", "22 1 8:1 / / rw,relatime - ext4 /dev/sda1 rw\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto mounted = MountedVolumesFrom(c.mountInfo, {});
        ASSERT_EQ(std::count_if(mounted.begin(), mounted.end(),
                                [](const MountedVolume& v) { return v.root == "/"; }),
                  1);
        struct Fixed final : VolumeProbe {
            std::vector<MountedVolume> v;
            std::vector<MountedVolume> Mounted() override { return v; }
        };
        auto probe = std::make_unique<Fixed>();
        probe->v = mounted;
        VolumeTable table(std::move(probe));
        const auto drive = table.Find('C');
        ASSERT_TRUE(drive.has_value());
        EXPECT_EQ(drive->root, "/");
        EXPECT_EQ(table.GetDriveType('C'), DriveType::Fixed);
    }
}

TEST(VolumeTable, CardRootFoldersActAsRemovableVolumes) {
    test::TempDir dir;
    fs::create_directories(dir.path() / "cardA");
    fs::create_directories(dir.path() / "cardB");
    const std::string list =
        (dir.path() / "cardA").string() + "::" + (dir.path() / "missing").string();
    const char* old = std::getenv("LINEKEEPER_CARD_ROOTS");
    const std::string previous = old ? old : "";
    ::setenv("LINEKEEPER_CARD_ROOTS", list.c_str(), 1);

    VolumeTable table(MakeSystemVolumeProbe({dir.path() / "cardB"}));
    const char a = table.LetterOf(dir.path() / "cardA" / "CallLog.dat");
    const char b = table.LetterOf(dir.path() / "cardB");
    ASSERT_NE(a, 0);
    ASSERT_NE(b, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(table.GetDriveType(a), DriveType::Removable);
    EXPECT_EQ(table.GetDriveType(b), DriveType::Removable);
    EXPECT_GT(table.Find(a)->totalBytes, 0u);
    EXPECT_EQ(table.Find(a)->root, fs::weakly_canonical(dir.path() / "cardA"));
    // The folder that does not exist (a reader without a medium) is not listed.
    for (const auto& v : table.Volumes())
        EXPECT_NE(v.root.filename(), "missing");
    ASSERT_TRUE(table.Find('C').has_value());
    EXPECT_EQ(table.Find('C')->root, "/");

    // The card folder goes away: its letter is freed, the other keeps its own.
    fs::remove_all(dir.path() / "cardA");
    table.Refresh();
    EXPECT_FALSE(table.Find(a).has_value());
    EXPECT_EQ(table.LetterOf(dir.path() / "cardB"), b);

    if (old)
        ::setenv("LINEKEEPER_CARD_ROOTS", previous.c_str(), 1);
    else
        ::unsetenv("LINEKEEPER_CARD_ROOTS");
}

TEST(MountInfo, ParsesLinesWithEscapesAndOptionalFields) {
    const std::string text =
        "26 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
        "40 26 8:17 / /media/u/MY\\040CARD rw,nosuid shared:5 master:2 - vfat /dev/sdb1 rw\n"
        "41 26 8:2 /srv/data /mnt/bind rw - ext4 /dev/sda2 rw\n"
        "garbage line\n"
        "42 26 0:50 / /proc rw - proc proc rw";
    const auto m = ParseMountInfo(text);
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[0].mountPoint, "/");
    EXPECT_EQ(m[0].major, 8u);
    EXPECT_EQ(m[0].minor, 2u);
    EXPECT_EQ(m[1].mountPoint, "/media/u/MY CARD");
    EXPECT_EQ(m[1].fsType, "vfat");
    EXPECT_EQ(m[1].source, "/dev/sdb1");
    EXPECT_EQ(m[2].root, "/srv/data");
    EXPECT_EQ(m[3].fsType, "proc");
    EXPECT_TRUE(IsPseudoFileSystem("proc"));
    EXPECT_TRUE(IsPseudoFileSystem("tmpfs"));
    EXPECT_FALSE(IsPseudoFileSystem("vfat"));
    EXPECT_FALSE(IsPseudoFileSystem("exfat"));
}

}  // namespace
}  // namespace lk
