#include <gtest/gtest.h>

#include "TestSignal.h"
#include "export/DecodeToWav.h"
#include "export/RecordingWriter.h"
#include "export/WavHeaders.h"
#include "platform/ByteIo.h"
#include "playback/RecordingDecoder.h"
#include "playback/XtrFormat.h"
#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;

TEST(DecodeToWav, PiecewiseOutputEqualsTheWholeDecode) {
    // Long enough to span several read pieces, with a partial last unit.
    const auto pcm = test::VoiceLike(8000 * 40 + 77);
    struct Case {
        const char* name;
        std::vector<std::uint8_t> image;
    };
    const Case cases[] = {
        {"a.xtr", BuildXtrRecording(kFormatGsm, pcm)},
        {"b.xtr", BuildXtrRecording(kFormatImaAdpcm, pcm)},
        {"c.xtr", BuildXtrRecording(kFormatMuLaw, pcm)},
        {"d.xtr", BuildXtrRecording(kFormatALaw, pcm)},
        {"e.wav", BuildWavRecording(pcm)},
    };
    test::TempDir dir;
    for (auto c : cases) {
        SCOPED_TRACE(c.name);
        c.image.resize(c.image.size() - 5);  // a torn last unit
        test::WriteFile(dir / c.name, c.image);
        ASSERT_EQ(DecodeRecordingToWav(dir / c.name, dir / "out.wav"), DecodeToWavResult::Written);
        const auto whole = RecordingDecoder::FromBytes(c.image, IsXtrPath(c.name))->DecodeAll();
        const auto wav = test::ReadFile(dir / "out.wav");
        const auto header = Pcm16WavHeader(static_cast<std::uint32_t>(whole.size()));
        ASSERT_EQ(wav.size(), header.size() + 2 * whole.size());
        EXPECT_TRUE(std::equal(header.begin(), header.end(), wav.begin()));
        bool same = true;
        for (std::size_t i = 0; i < whole.size() && same; ++i)
            same = ReadI16(wav, header.size() + 2 * i) == whole[i];
        EXPECT_TRUE(same);
    }
}

TEST(DecodeToWav, RefusesDamagedInputWithoutWriting) {
    test::TempDir dir;
    std::vector<std::uint8_t> beyond(3000, 0);
    WriteU32(beyond, 4, 3001);
    const std::pair<std::vector<std::uint8_t>, DecodeToWavResult> cases[] = {
        {{}, DecodeToWavResult::Empty},
        {std::vector<std::uint8_t>(11, 1), DecodeToWavResult::NoHeader},
        {beyond, DecodeToWavResult::DataOffsetBeyond},
    };
    for (const auto& [image, want] : cases) {
        test::WriteFile(dir / "x.xtr", image);
        EXPECT_EQ(DecodeRecordingToWav(dir / "x.xtr", dir / "x.wav"), want);
        EXPECT_FALSE(fs::exists(dir / "x.wav"));
    }
    EXPECT_EQ(DecodeRecordingToWav(dir / "none.xtr", dir / "x.wav"), DecodeToWavResult::CannotRead);
    test::WriteFile(dir / "y.xtr", BuildXtrRecording(kFormatMuLaw, test::VoiceLike(100)));
    EXPECT_EQ(DecodeRecordingToWav(dir / "y.xtr", dir / "no" / "x.wav"),
              DecodeToWavResult::WriteFailed);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2);  // no leftovers
}

}  // namespace
}  // namespace lk
