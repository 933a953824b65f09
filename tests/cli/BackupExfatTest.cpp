// A backup store on an exFAT stick: no hard links, no rename that refuses to
// replace. The test makes an exFAT image, mounts it through exfat-fuse and
// backs a card up into it with the command-line tool, copying and moving.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include <unistd.h>

#include "card/BackupStore.h"
#include "core/card/CardFixture.h"
#include "support/RunCli.h"

namespace lk {
namespace {
namespace fs = std::filesystem;
using test::RecordingSpec;

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

// An exFAT file system on a loop device, mounted through FUSE; `why` says what
// was missing when it could not be mounted.
class ExfatMount {
  public:
    explicit ExfatMount(const fs::path& dir) : image_(dir / "stick.img"), at_(dir / "stick") {
        if (!fs::exists("/dev/fuse")) {
            why_ = "no /dev/fuse here";
            return;
        }
        if (Shell("command -v mkfs.exfat") != 0 || Shell("command -v mount.exfat-fuse") != 0) {
            why_ = "exfatprogs or exfat-fuse is not installed";
            return;
        }
        if (::geteuid() != 0) {
            why_ = "attaching the image to a loop device needs root";
            return;
        }
        fs::create_directories(at_);
        if (Shell("truncate -s 64M '" + image_.string() + "' && mkfs.exfat '" + image_.string() +
                  "'") != 0) {
            why_ = "mkfs.exfat failed";
            return;
        }
        device_ = Output("losetup -f --show '" + image_.string() + "'");
        if (device_.empty()) {
            why_ = "no free loop device";
            return;
        }
        if (Shell("mount.exfat-fuse '" + device_ + "' '" + at_.string() + "'") != 0) {
            why_ = "mount.exfat-fuse failed";
            return;
        }
        mounted_ = true;
    }
    ~ExfatMount() {
        if (mounted_)
            Shell("fusermount -u '" + at_.string() + "' || umount '" + at_.string() + "'");
        if (!device_.empty()) Shell("losetup -d '" + device_ + "'");
    }
    bool Mounted() const { return mounted_; }
    const std::string& Why() const { return why_; }
    const fs::path& At() const { return at_; }

  private:
    fs::path image_;
    fs::path at_;
    std::string device_;
    std::string why_;
    bool mounted_ = false;
};

TEST(BackupExfatStore, CopyAndMoveIntoAnExfatStick) {
    test::TempHome home;
    test::TempDir dir;
    ExfatMount stick(dir.path());
    if (!stick.Mounted()) GTEST_SKIP() << "cannot mount an exFAT image: " << stick.Why();

    RecordingSpec missed{Missed, "20160215080000", "999"};
    missed.withFile = false;
    const std::vector<RecordingSpec> calls = {{Incoming, "20160214093000", "1"},
                                              {Outgoing, "20160214100000", "2"},
                                              missed,
                                              {Incoming, "20160301093000", "3"}};
    for (const bool move : {false, true}) {
        SCOPED_TRACE(move ? "move" : "copy");
        const fs::path card = dir / (move ? "card-move" : "card-copy");
        const fs::path store = stick.At() / (move ? "moved" : "copied");
        test::MakeCard(card, 0, calls);
        std::vector<std::string> args = {"backup", "--card", card.string(), "--store",
                                         store.string()};
        if (move) args.push_back("--move");
        auto run = test::RunCli(args);
        ASSERT_EQ(run.exitCode, 0) << run.out << run.err;

        const fs::path root = StoreRoot(store, 0);
        std::map<std::string, int> live;
        for (const auto& e : fs::directory_iterator(root / "CallLog")) {
            if (e.path().filename().string().find("CallLogBK.dat") == std::string::npos) continue;
            const auto bytes = test::ReadFile(e.path());
            EXPECT_EQ(bytes.size() % CallRecord::kSize, 0u);
            for (std::size_t off = 0; off + CallRecord::kSize <= bytes.size();
                 off += CallRecord::kSize) {
                const auto r =
                    CallRecord::FromBytes(ByteSpan(bytes.data() + off, CallRecord::kSize));
                if (r.IsLive()) ++live[ToUtf8(FieldText(r.filePath))];
            }
        }
        EXPECT_EQ(live.size(), calls.size());
        for (const auto& s : calls) {
            fs::path stored =
                root / s.stamp.substr(0, 6) / s.stamp.substr(0, 8) / test::RecordingFileName(s);
            if (!s.withFile) {
                stored += ".tmp";
            } else {
                EXPECT_EQ(test::ReadFile(stored), test::RecordingBytes(s));
                EXPECT_EQ(fs::exists(card / test::RecordingRelative(s, 0)), !move);
            }
            EXPECT_EQ(live[stored.string()], 1) << stored;
        }
        EXPECT_EQ(fs::exists(card / kCallLogFileName), !move);
        if (!move) {
            run = test::RunCli(args);  // nothing new the second time
            EXPECT_EQ(run.exitCode, 0) << run.err;
            EXPECT_NE(run.out.find("backed up 0, already held 4"), std::string::npos) << run.out;
        }
    }
}

}  // namespace
}  // namespace lk
