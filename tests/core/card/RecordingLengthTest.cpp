#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "card/RecordingLength.h"
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

TEST(RecordingLength, BothRulesOnSizesAndHeaders) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        unsigned roundedUp;
        unsigned shown;
    } cases[] = {
        {"a.wav", std::vector<std::uint8_t>(4155), 0, 1},
        {"b.wav", std::vector<std::uint8_t>(4156), 1, 1},
        {"c.wav", std::vector<std::uint8_t>(60 + 4096 * 3), 3, 3},
        {"d.wav", std::vector<std::uint8_t>(59), 0, 0},
        {"e.wav", {}, 0, 0},
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
