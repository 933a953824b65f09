#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "card/RecordingLength.h"
#include "core/playback/WavFixture.h"
#include "export/WavHeaders.h"
#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> Xtr(std::size_t size, std::uint32_t dataOffset, std::uint32_t tag) {
    std::vector<std::uint8_t> b(size, 0);
    MutableByteSpan s(b);
    WriteU32(s, 4, dataOffset);
    WriteU32(s, 8, tag);
    return b;
}

// The recorder's WAV header followed by zeros up to `size` bytes.
std::vector<std::uint8_t> RecorderWav(std::size_t size) {
    std::vector<std::uint8_t> b(size, 0);
    const auto header = ImaAdpcmWavHeader(0, 0);
    std::copy_n(header.begin(), std::min(size, header.size()), b.begin());
    return b;
}

TEST(RecordingLength, BothRulesOnSizesAndHeaders) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        unsigned roundedUp;
        unsigned shown;
    } cases[] = {
        {"a.wav", RecorderWav(4155), 0, 1},
        {"b.wav", RecorderWav(4156), 1, 1},
        {"c.wav", RecorderWav(60 + 4096 * 3), 3, 3},
        {"d.wav", RecorderWav(59), 0, 0},
        {"e.wav", {}, 0, 0},
        {"no-header.wav", std::vector<std::uint8_t>(60 + 4096 * 3), 0, 0},
        {"gsm.xtr", Xtr(3361, 60, 49), 3, 2},
        {"gsm-small.xtr", Xtr(3089, 60, 49), 0, 1},
        {"ima.xtr", Xtr(1440 + 4096 * 2, 1440, 17), 2, 2},
        {"ima-odd.xtr", Xtr(1440 + 4096 * 2 + 1, 1440, 17), 3, 2},
        {"mulaw.xtr", Xtr(1440 + 16000, 1440, 7), 2, 2},
        {"alaw.xtr", Xtr(1440 + 16001, 1440, 6), 3, 2},
        {"other-tag.xtr", Xtr(1440 + 8000, 1440, 5), 1, 1},
        {"offset-past-end.xtr", Xtr(4000, 0xFFFFFF00u, 49), 0, 0},
        {"tiny.xtr", Xtr(5, 0, 0), 0, 0},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        const auto path = dir / c.name;
        test::WriteFile(path, c.bytes);
        EXPECT_EQ(RecordingSecondsRoundedUp(path), c.roundedUp) << c.name;
        EXPECT_EQ(RecordingSeconds(path), c.shown) << c.name;
    }
    EXPECT_EQ(RecordingSecondsRoundedUp(dir / "missing.xtr"), 0u);
    EXPECT_EQ(RecordingSeconds(dir / "missing.wav"), 0u);
}

TEST(RecordingLength, OtherWavFilesByWhatTheyHold) {
    struct Case {
        const char* what;
        test::WavFields fields;
        std::size_t dataBytes;
        unsigned roundedUp;
        unsigned shown;
    };
    test::WavFields pcm16;
    pcm16.order = "fldl";  // audio behind a LIST chunk, another after it
    test::WavFields pcm8;
    pcm8.blockAlign = 1;
    pcm8.bits = 8;
    test::WavFields ima;
    ima.tag = 17;
    ima.blockAlign = 1024;
    ima.bits = 4;
    test::WavFields gsm;
    gsm.tag = 49;
    gsm.blockAlign = 65;
    gsm.bits = 0;
    test::WavFields stereo;
    stereo.channels = 2;
    stereo.blockAlign = 4;
    const Case cases[] = {
        {"16-bit PCM", pcm16, 16000 * 2 + 2, 3, 2},
        {"8-bit PCM", pcm8, 8000 * 5, 5, 5},
        {"IMA ADPCM in 1024-byte blocks", ima, 1024 * 8, 3, 2},  // 8 * 2041 samples
        {"GSM in 65-byte blocks", gsm, 65 * 50, 2, 2},           // 16000 samples
        {"stereo, by its declared byte rate", stereo, 32000 * 3 + 1, 4, 3},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto path = dir / "x.wav";
        test::WriteFile(path, test::BuildWav(c.fields, std::vector<std::uint8_t>(c.dataBytes, 0)));
        EXPECT_EQ(RecordingSecondsRoundedUp(path), c.roundedUp);
        EXPECT_EQ(RecordingSeconds(path), c.shown);
    }
}

TEST(RecordingLength, ReadOnlyFilesStillHaveALength) {
    test::TempDir dir;
    const auto path = dir / "ro.xtr";
    test::WriteFile(path, Xtr(1440 + 1650 * 4, 1440, 49));
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(RecordingSecondsRoundedUp(path), 4u);
    EXPECT_EQ(RecordingSeconds(path), 4u);
}

}  // namespace
}  // namespace lk
