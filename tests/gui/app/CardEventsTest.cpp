// The card watch on real mounts: a card mounted, pulled and ejected while the
// window runs. Mounting cases need a private mount namespace (ctest starts
// this program under `unshare -m`) and root; they skip, saying why, elsewhere.

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <QSignalSpy>
#include <QStatusBar>
#include <cstdio>
#include <fstream>

#include "GuiFixture.h"
#include "app/CardWatchDriver.h"
#include "app/MountWatch.h"
#include "card/BackupStore.h"
#include "card/CallLog.h"
#include "export/RecordingWriter.h"
#include "playback/XtrFormat.h"
#include "player/CPlayerDlg.h"
#include "player/CWaveView.h"
#include "support/CardEject.h"
#include "support/Commands.h"
#include "support/GuiText.h"
#include "support/RunCli.h"
#include "widgets/CSortListCtrl.h"

namespace lk::gui::test {
namespace {
namespace fs = std::filesystem;

const std::vector<CardCall> kCalls = {{Incoming, 0, 1}, {Outgoing, 0, 2}, {Incoming, 0, 3}};
constexpr int kBackupRows = 2;

int Shell(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p) != nullptr)
            out += buf;
        ::pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

std::string Quoted(const fs::path& p) {
    return "'" + p.string() + "'";
}

bool Mounted(const fs::path& at) {
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line))
        if (line.find(" " + at.string() + " ") != std::string::npos) return true;
    return false;
}

// Real recordings (4 seconds of one level) in place of the fixture's placeholders.
void WritePlayableCard(const fs::path& root) {
    WriteCard(root, kCalls);
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.path().extension() != ".wav") continue;
        std::vector<std::int16_t> pcm(4 * 8000, 1200);
        lk::test::WriteFile(e.path(), BuildWavRecording(pcm));
    }
}

// This user's removable-media folder, on a tmpfs of the private namespace so
// that nothing is made on the machine's own /media.
class MediaFolder {
  public:
    MediaFolder() {
        if (::geteuid() != 0) {
            why_ = "mounting needs root";
            return;
        }
        if (!std::getenv("LK_PRIVATE_MOUNTS")) {
            why_ = "not in a mount namespace of its own (ctest runs this under unshare -m)";
            return;
        }
        const passwd* pw = ::getpwuid(::geteuid());
        if (!pw || !fs::is_directory("/media") || Shell("mount -t tmpfs lk-media /media") != 0) {
            why_ = "no tmpfs could be mounted on /media";
            return;
        }
        mounted_ = true;
        base_ = fs::path("/media") / pw->pw_name;
        fs::create_directories(base_);
    }
    ~MediaFolder() {
        if (mounted_) Shell("umount -l /media");
    }
    bool Ready() const { return mounted_; }
    const std::string& Why() const { return why_; }
    fs::path operator/(const std::string& name) const { return base_ / name; }

  private:
    fs::path base_;
    bool mounted_ = false;
    std::string why_;
};

// A card made in a staging folder, then moved onto its mount point in one
// step (as a desktop's automounter shows it: complete at the mount event).
class CardMount {
  public:
    enum class Kind { Tmpfs, ExfatFuse, FatFuse };
    static const char* Name(Kind k) {
        return k == Kind::Tmpfs ? "tmpfs" : k == Kind::ExfatFuse ? "exfat-fuse" : "fusefat";
    }

    CardMount(Kind kind, const fs::path& scratch, const std::function<void(const fs::path&)>& fill,
              const std::string& source = "lk-card")
        : staging_(scratch / "staging") {
        fs::create_directories(staging_);
        if (kind == Kind::Tmpfs) {
            if (Shell("mount -t tmpfs " + source + " " + Quoted(staging_)) != 0) {
                why_ = "tmpfs could not be mounted";
                return;
            }
        } else {
            if (!fs::exists("/dev/fuse")) {
                why_ = "no /dev/fuse here";
                return;
            }
            const bool fat = kind == Kind::FatFuse;
            const std::string mkfs = fat ? "mkfs.fat" : "mkfs.exfat";
            const std::string driver = fat ? "fusefat" : "mount.exfat-fuse";
            if (Shell("{ command -v " + mkfs + " && command -v " + driver + "; }") != 0) {
                why_ = mkfs + " or " + driver + " is not installed";
                return;
            }
            const fs::path image = scratch / "card.img";
            if (Shell("truncate -s 32M " + Quoted(image) + " && " + mkfs + " " + Quoted(image)) !=
                0) {
                why_ = mkfs + " failed";
                return;
            }
            device_ = Output("losetup -f --show " + Quoted(image));
            if (device_.empty()) {
                why_ = "no free loop device";
                return;
            }
            // fusefat mounts read-only unless told to write.
            const std::string options = fat ? " -o rw+" : "";
            if (Shell(driver + options + " " + device_ + " " + Quoted(staging_)) != 0) {
                why_ = driver + " failed";
                return;
            }
        }
        staged_ = true;
        fill(staging_);
    }
    ~CardMount() {
        if (!at_.empty() && Mounted(at_)) Shell("umount -l " + Quoted(at_));
        if (staged_ && Mounted(staging_)) Shell("umount -l " + Quoted(staging_));
        if (!device_.empty()) Shell("losetup -d " + device_);
    }
    bool Ready() const { return staged_; }
    const std::string& Why() const { return why_; }
    bool MoveTo(const fs::path& at) {
        fs::create_directories(at);
        if (Shell("mount --move " + Quoted(staging_) + " " + Quoted(at)) != 0) return false;
        at_ = at;
        return true;
    }
    bool Unmount() { return Shell("umount " + Quoted(at_)) == 0; }

  private:
    fs::path staging_, at_;
    std::string device_, why_;
    bool staged_ = false;
};

class CardEvents : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        WriteBackupMonth(backup.path(), 201512, kBackupRows);
    }
    // The window on the machine's own mount table, its timers running.
    void StartOnMounts(std::vector<fs::path> cardRoots = {}) {
        StartOptions o;
        o.cardRoots = std::move(cardRoots);
        o.showWindow = false;
        o.sink = std::make_unique<lk::test::FakeAudioSink>(sound);
        ASSERT_TRUE(app().InitInstance(std::move(o)));
        // Past the start: the backup is listed and the watch polls.
        ASSERT_TRUE(WaitFor([this] { return frame().TimerActive(TimerCardWatch); }));
        ASSERT_TRUE(WaitIdle());
    }
    // Only an event can find the card now.
    void PollRarely() { frame().StartTimer(TimerCardWatch, 3600 * 1000); }
    bool CardListed() {
        return WaitFor([this] {
            return app().State().viewingBackup == 0 && rows(PageAll) == int(kCalls.size()) &&
                   frame().statusBar()->currentMessage().startsWith(Lang(309));
        });
    }
    bool BackupListed() {
        return WaitFor([this] {
            return app().State().viewingBackup == 1 && !app().Session().Busy() &&
                   rows(PageAll) == kBackupRows;
        });
    }
    lk::test::TempDir scratch;
};

TEST_F(CardEvents, AMountedCardIsListedByItsMountEventAndLeavesTheSameWay) {
    MediaFolder media;
    if (!media.Ready()) GTEST_SKIP() << media.Why();
    for (auto kind :
         {CardMount::Kind::Tmpfs, CardMount::Kind::ExfatFuse, CardMount::Kind::FatFuse}) {
        SCOPED_TRACE(CardMount::Name(kind));
        lk::test::TempDir dir;
        CardMount card(kind, dir.path(), [](const fs::path& r) { WriteCard(r, kCalls); });
        if (!card.Ready()) {
            std::printf("skipped %s: %s\n", CardMount::Name(kind), card.Why().c_str());
            continue;
        }
        StartOnMounts();
        ASSERT_TRUE(frame().CardWatcher().Events().Watching());
        PollRarely();
        ASSERT_TRUE(card.MoveTo(media / "CARD"));
        EXPECT_TRUE(CardListed());
        ASSERT_TRUE(card.Unmount());
        EXPECT_TRUE(BackupListed());
        app().ExitInstance();
    }
}

TEST_F(CardEvents, ThePollFindsTheCardWhenTheMountTableIsNotWatched) {
    MediaFolder media;
    if (!media.Ready()) GTEST_SKIP() << media.Why();
    CardMount card(CardMount::Kind::Tmpfs, scratch.path(),
                   [](const fs::path& r) { WriteCard(r, kCalls); });
    if (!card.Ready()) GTEST_SKIP() << card.Why();
    StartOnMounts();
    QSignalSpy changes(&frame().CardWatcher().Events(), &MountWatch::Changed);
    frame().CardWatcher().Events().SetEnabled(false);
    EXPECT_EQ(frame().TimerInterval(TimerCardWatch), CardWatchDriver::kPollMs);
    ASSERT_TRUE(card.MoveTo(media / "CARD"));
    EXPECT_TRUE(CardListed());
    ASSERT_TRUE(card.Unmount());
    EXPECT_TRUE(BackupListed());
    EXPECT_EQ(changes.count(), 0);
}

TEST_F(CardEvents, ACallLogWrittenIntoACardFolderIsSeenAtOnce) {
    // A folder given as a card has no mount event: its entries are watched.
    const fs::path folder = scratch.path() / "card";
    fs::create_directories(folder);
    StartOnMounts({folder});
    PollRarely();
    EXPECT_TRUE(frame().CardWatcher().Events().WatchedFolders().contains(
        QString::fromStdString(folder.string())));
    WriteCard(folder, kCalls);
    EXPECT_TRUE(CardListed());
}

TEST_F(CardEvents, ACardWithoutSizesIsTakenAndItsSpaceShownUnknown) {
    // What exfat-fuse and fusefat report: no blocks at all.
    WriteCard(card.path(), kCalls);
    Start();
    {
        std::lock_guard<std::mutex> g(volumes->lock);
        volumes->mounted.push_back({card.path(), true, 0, 0, false});
    }
    Tick(TimerStartup);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(app().State().viewingBackup, 0);
    EXPECT_EQ(rows(PageAll), int(kCalls.size()));
    EXPECT_TRUE(frame().StatusText(4).contains(Lang(390))) << frame().StatusText(4).toStdString();
}

// Card files named by the log in another letter case than the card lists them.
TEST_F(CardEvents, AnExfatCardFindsRecordingsInAnyLetterCase) {
    lk::test::TempDir dir;
    CardMount card(CardMount::Kind::ExfatFuse, dir.path(), [](const fs::path& root) {
        WritePlayableCard(root);
        // The recorder's log says "...-I-1.wav"; the card lists "...-I-1.WAV".
        std::vector<fs::path> files;
        for (const auto& e : fs::directory_iterator(root / "201601"))
            files.push_back(e.path());
        for (const fs::path& f : files) {
            const std::string bytes = lk::test::ReadText(f);
            fs::remove(f);
            std::string upper = f.filename().string();
            for (char& c : upper)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            lk::test::WriteText(f.parent_path() / upper, bytes);
        }
    });
    if (!card.Ready()) GTEST_SKIP() << card.Why();
    const fs::path root = scratch.path() / "mnt";
    ASSERT_TRUE(card.MoveTo(root));
    volumes->mounted.push_back({root, true, 32u << 20, 16u << 20});
    Start();
    Tick(TimerStartup);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(rows(PageAll), int(kCalls.size()));
    CSortListCtrl* list = pane(PageAll).List();
    for (int row = 0; row < list->RowCount(); ++row) {
        const fs::path path(FieldText(list->RowData(row)->filePath));
        EXPECT_EQ(path.extension(), ".WAV") << path;  // as the card lists it
        EXPECT_TRUE(fs::exists(path)) << path;
    }
    CPlayerDlg& player = *view().PlayerPane();
    player.SetManualTimers(true);
    list->SelectRow(0);
    view().OnCommand(CmdPlay);
    ASSERT_TRUE(WaitFor([&] { return !player.Loading(); }));
    EXPECT_EQ(player.WaveView()->Total(), 4);
    EXPECT_TRUE(player.WaveView()->Hint().isEmpty()) << player.WaveView()->Hint().toStdString();
}

// The eject command against a stand-in udisks2 on a private bus (a real
// udisksd needs the machine's system bus, polkit and udev).
class FakeUDisks {
  public:
    FakeUDisks(const std::string& device, const fs::path& at, const fs::path& log, bool refuse) {
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!daemon_.waitForStarted(10000) || !daemon_.waitForReadyRead(10000)) return;
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        QStringList args = {address_, QString::fromStdString(device),
                            QString::fromStdString(at.string()),
                            QString::fromStdString(log.string())};
        if (refuse) args << QStringLiteral("refuse");
        service_.start(QString::fromStdString((lk::test::BinDir() / "lk_fake_udisks").string()),
                       args);
        if (!service_.waitForStarted(10000) || !service_.waitForReadyRead(10000)) address_.clear();
    }
    ~FakeUDisks() {
        for (QProcess* p : {&service_, &daemon_}) {
            if (p->state() == QProcess::NotRunning) continue;
            p->terminate();
            if (!p->waitForFinished(5000)) p->kill();
            p->waitForFinished(5000);
        }
    }
    const QString& Address() const { return address_; }

  private:
    QProcess daemon_, service_;
    QString address_;
};

TEST_F(CardEvents, EjectUnmountsThroughUDisksOnceNothingHoldsTheCard) {
    MediaFolder media;
    if (!media.Ready()) GTEST_SKIP() << media.Why();
    struct Case {
        const char* name;
        bool udisks;     // the service runs; else only umount is there
        bool refuse;     // the service refuses this user
        bool holdAFile;  // a program outside keeps a card file open
        EjectResult::Outcome outcome;
        const char* calls;  // what the service was asked, in order
    } const cases[] = {
        {"through udisks2", true, false, false, EjectResult::Outcome::Removable,
         "ResolveDevice /dev/lkcard\nUnmount\nDrive\nPowerOff\n"},
        {"a file still open", true, false, true, EjectResult::Outcome::Busy,
         "ResolveDevice /dev/lkcard\nUnmount\n"},
        {"not permitted", true, true, false, EjectResult::Outcome::NotPermitted,
         "ResolveDevice /dev/lkcard\nUnmount\n"},
        {"without udisks2", false, false, false, EjectResult::Outcome::Removable, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lk::test::TempDir dir;
        CardMount card(
            CardMount::Kind::Tmpfs, dir.path(), [](const fs::path& r) { WritePlayableCard(r); },
            "/dev/lkcard");
        ASSERT_TRUE(card.Ready()) << card.Why();
        const fs::path at = media / "CARD";
        const fs::path log = dir.path() / "calls.log";
        std::optional<FakeUDisks> service;
        if (c.udisks) {
            service.emplace("/dev/lkcard", at, log, c.refuse);
            if (service->Address().isEmpty()) GTEST_SKIP() << "dbus-daemon could not be started";
        }
        StartOnMounts();
        PollRarely();
        // No bus at all stands for a machine without udisks2.
        frame().SetEjectBus(c.udisks ? service->Address()
                                     : QStringLiteral("unix:path=/nonexistent"));
        ASSERT_TRUE(card.MoveTo(at));
        ASSERT_TRUE(CardListed());
        // The player holds the recording it shows: the eject lets it go.
        CPlayerDlg& player = *view().PlayerPane();
        player.SetManualTimers(true);
        pane(PageAll).List()->SelectRow(0);
        view().OnCommand(CmdPlay);
        ASSERT_TRUE(WaitFor([&] { return !player.Loading(); }));
        ASSERT_TRUE(player.Engine().HasRecording());
        std::optional<std::ifstream> held;
        if (c.holdAFile) held.emplace(at / kCallLogFileName);

        messages.clear();
        QSignalSpy finished(&frame(), &CMainFrame::EjectFinished);
        frame().OnCommand(CmdEjectCard);
        ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }));
        EXPECT_FALSE(player.Engine().HasRecording());
        const bool removable = c.outcome == EjectResult::Outcome::Removable;
        EXPECT_EQ(finished.at(0).at(0).toBool(), removable);
        EXPECT_EQ(Mounted(at), !removable);
        ASSERT_EQ(messages.size(), 1u);
        EjectResult expected;
        expected.outcome = c.outcome;
        if (c.outcome != EjectResult::Outcome::Removable) {
            EXPECT_TRUE(messages[0].text.startsWith(Lang(393))) << messages[0].text.toStdString();
        }
        if (c.outcome != EjectResult::Outcome::Failed) {
            EXPECT_EQ(messages[0].text, EjectResultText(expected));
        }
        EXPECT_EQ(lk::test::ReadText(log), c.calls);
        if (removable) {
            EXPECT_TRUE(BackupListed());
        }
        held.reset();
        app().ExitInstance();
    }
}

}  // namespace
}  // namespace lk::gui::test
