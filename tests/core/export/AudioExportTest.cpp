// Files written to share must play in the common tools as the same sound, and
// a failed write must leave nothing under the final name.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TestSignal.h"
#include "export/AudioExport.h"
#include "export/RecordingWriter.h"
#include "playback/RecordingDecoder.h"
#include "playback/XtrFormat.h"
#include "support/ReadOnlyTree.h"
#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;

bool Have(const char* tool) {
    const std::string cmd = std::string("command -v ") + tool + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

std::vector<std::int16_t> FfmpegDecode(const fs::path& file) {
    std::vector<std::int16_t> out;
    const std::string cmd = "ffmpeg -v error -i '" + file.string() +
                            "' -f s16le -acodec pcm_s16le -ac 1 -ar 8000 - 2>/dev/null";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return out;
    std::int16_t buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 2, 4096, p)) > 0)
        out.insert(out.end(), buf, buf + n);
    ::pclose(p);
    return out;
}

// The best normalised correlation of `got` against `want` over shifts of up
// to `maxShift` samples either way (encoders add a delay of their own).
double BestCorrelation(const std::vector<std::int16_t>& want, const std::vector<std::int16_t>& got,
                       int maxShift) {
    double best = -1;
    for (int shift = -maxShift; shift <= maxShift; ++shift) {
        double sw = 0, sg = 0, swg = 0;
        for (std::size_t i = 0; i < want.size(); ++i) {
            const auto j = static_cast<std::ptrdiff_t>(i) + shift;
            if (j < 0 || j >= static_cast<std::ptrdiff_t>(got.size())) continue;
            const double w = want[i], g = got[static_cast<std::size_t>(j)];
            sw += w * w;
            sg += g * g;
            swg += w * g;
        }
        if (sw > 0 && sg > 0) best = std::max(best, swg / std::sqrt(sw * sg));
    }
    return best;
}

std::vector<fs::path> FilesIn(const fs::path& dir) {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(dir))
        out.push_back(e.path().filename());
    return out;
}

struct Source {
    const char* name;
    std::uint32_t tag;
};

constexpr Source kSources[] = {{"gsm", kFormatGsm}, {"ima", kFormatImaAdpcm}};

TEST(AudioExport, EveryFormatDecodesInFfmpegToOurSound) {
    if (!Have("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    const bool gst = Have("gst-discoverer-1.0") &&
                     std::system("gst-inspect-1.0 opusdec >/dev/null 2>&1") == 0 &&
                     std::system("gst-inspect-1.0 mpg123audiodec >/dev/null 2>&1") == 0;
    test::TempDir dir;
    for (const auto& source : kSources) {
        const auto image = BuildXtrRecording(source.tag, test::VoiceLike(8000 * 3 + 123));
        const auto xtr = dir / (std::string(source.name) + ".xtr");
        test::WriteFile(xtr, image);
        const auto ours = RecordingDecoder::FromBytes(image, true)->DecodeAll();
        for (const auto format : kAudioFormats) {
            SCOPED_TRACE(std::string(source.name) + " as " + std::string(AudioFormatName(format)));
            ASSERT_TRUE(AudioFormatAvailable(format));
            const auto out =
                dir / (std::string(source.name) + "." + std::string(AudioFormatName(format)));
            const auto written = ExportRecordingAs(xtr, out, format);
            ASSERT_TRUE(written.Ok()) << written.reason;
            const auto theirs = FfmpegDecode(out);
            // Length within 20 ms.
            EXPECT_LE(std::abs(static_cast<long>(theirs.size()) - static_cast<long>(ours.size())),
                      160L);
            EXPECT_GE(BestCorrelation(ours, theirs, 800), 0.95);
            // GStreamer's stock plugins play no GSM or IMA ADPCM WAV: the compact formats only.
            if (gst && format != AudioFormat::Wav) {
                const std::string cmd =
                    "gst-discoverer-1.0 '" + out.string() + "' 2>&1 | grep -q 'Duration: 0:00:03'";
                EXPECT_EQ(std::system(cmd.c_str()), 0) << "GStreamer cannot read " << out;
            }
        }
    }
    // Nothing but the sources and the exports: no temporary file stays.
    EXPECT_EQ(FilesIn(dir.path()).size(), std::size(kSources) * (1 + std::size(kAudioFormats)));
}

TEST(AudioExport, ExistingFileIsNeverReplacedAndBadSourcesWriteNothing) {
    test::TempDir dir;
    const auto xtr = dir / "call.xtr";
    test::WriteFile(xtr, BuildXtrRecording(kFormatGsm, test::VoiceLike(8000)));
    test::WriteFile(dir / "short.xtr", {1, 2, 3});
    test::WriteText(dir / "fake.wav", "RIFF but not a wave file at all");
    for (const auto format : kAudioFormats) {
        SCOPED_TRACE(AudioFormatName(format));
        const auto ext = "." + std::string(AudioFormatName(format));
        const auto taken = dir / ("taken" + ext);
        test::WriteText(taken, "keep me");
        const auto r = ExportRecordingAs(xtr, taken, format);
        EXPECT_EQ(r.status, ExportStatus::Exists);
        EXPECT_EQ(test::ReadText(taken), "keep me");

        for (const char* bad : {"short.xtr", "fake.wav", "missing.xtr"}) {
            SCOPED_TRACE(bad);
            const auto target = dir / (std::string("bad") + ext);
            EXPECT_EQ(ExportRecordingAs(dir / bad, target, format).status,
                      ExportStatus::CannotDecode);
            EXPECT_FALSE(fs::exists(target));
        }
    }
    EXPECT_EQ(FilesIn(dir.path()).size(), 3u + std::size(kAudioFormats));
}

TEST(AudioExport, ReadOnlyFolderFailsAndLeavesNothing) {
    test::TempDir dir;
    const auto xtr = dir / "call.xtr";
    test::WriteFile(xtr, BuildXtrRecording(kFormatGsm, test::VoiceLike(8000)));
    fs::create_directory(dir / "locked");
    test::ReadOnlyTree locked(dir / "locked");
    if (!locked.Holds()) GTEST_SKIP() << "this file system cannot refuse writes to root";
    for (const auto format : kAudioFormats) {
        SCOPED_TRACE(AudioFormatName(format));
        const auto r = ExportRecordingAs(xtr, dir / "locked" / "call.out", format);
        EXPECT_EQ(r.status, ExportStatus::WriteFailed);
        EXPECT_FALSE(r.reason.empty());
    }
    EXPECT_TRUE(fs::is_empty(dir / "locked"));
}

// A full disk, as the file-size limit makes it: the write fails part way
// (EFBIG in place of ENOSPC) in a child process, so the limit stays there.
TEST(AudioExport, FolderRunningFullFailsAndLeavesNothing) {
    test::TempDir dir;
    const auto xtr = dir / "long.xtr";
    test::WriteFile(xtr, BuildXtrRecording(kFormatImaAdpcm, test::VoiceLike(8000 * 60)));
    for (const auto format : kAudioFormats) {
        SCOPED_TRACE(AudioFormatName(format));
        fs::create_directory(dir / "full");
        const auto target = dir / "full" / ("long." + std::string(AudioFormatName(format)));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{16384, 16384};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            const auto r = ExportRecordingAs(xtr, target, format);
            ::_exit(static_cast<int>(r.status));
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(ExportStatus::WriteFailed));
        EXPECT_TRUE(fs::is_empty(dir / "full"));
        fs::remove_all(dir / "full");
    }
}

}  // namespace
}  // namespace lk
