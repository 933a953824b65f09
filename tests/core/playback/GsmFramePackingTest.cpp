#include <gtest/gtest.h>

#include <gsm.h>

#include "TestSignal.h"
#include "export/RecordingWriter.h"
#include "playback/GsmCodec.h"
#include "playback/GsmFramePacking.h"
#include "playback/RecordingDecoder.h"

namespace lk {
namespace {

std::vector<std::int16_t> DecodeWav49(const std::vector<std::uint8_t>& blocks) {
    GsmDecoder d(true);
    std::vector<std::int16_t> out;
    d.DecodeWav49Blocks(blocks, out);
    return out;
}

std::vector<std::uint8_t> Repack(ByteSpan frames) {
    std::vector<std::uint8_t> out;
    std::array<std::uint8_t, kGsmWav49PairSize> pair{};
    const auto n = frames.size() / kGsmPackedFrameSize;
    for (std::size_t f = 0; f < n; f += 2) {
        const auto first = frames.subspan(f * 33, 33);
        const ByteSpan second =
            f + 1 < n ? frames.subspan((f + 1) * 33, 33) : ByteSpan(SilentGsmFrame());
        PackWav49Pair(first, second, pair);
        out.insert(out.end(), pair.begin(), pair.end());
    }
    return out;
}

TEST(GsmFramePacking, RepackedFramesDecodeToTheSameSamples) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> frames;
    };
    std::vector<std::uint8_t> extremes;
    // Every parameter at its largest and smallest value, alternately.
    for (int f = 0; f < 4; ++f) {
        std::vector<std::uint8_t> frame(33, f % 2 ? 0xFF : 0x00);
        frame[0] = static_cast<std::uint8_t>(0xD0 | (frame[0] & 0x0F));
        extremes.insert(extremes.end(), frame.begin(), frame.end());
    }
    const Case cases[] = {
        {"speech", EncodeGsmPayload(test::VoiceLike(8000 * 2))},
        {"loud speech, odd frame count", EncodeGsmPayload(test::VoiceLike(160 * 51, 30000))},
        {"silence", EncodeGsmPayload(std::vector<std::int16_t>(160 * 6, 0))},
        {"extreme parameters", extremes},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto frames = c.frames.size() / 33;
        const auto plain = DecodeGsmPayload(c.frames);
        ASSERT_EQ(plain.size(), frames * 160);
        auto repacked = DecodeWav49(Repack(c.frames));
        ASSERT_EQ(repacked.size(), (frames + 1) / 2 * 320);
        repacked.resize(plain.size());
        EXPECT_EQ(repacked, plain);
    }
}

TEST(GsmFramePacking, FramesWithoutTheMarkAreRecognised) {
    const auto good = EncodeGsmPayload(test::VoiceLike(160));
    EXPECT_TRUE(IsStandardGsmFrame(good));
    EXPECT_TRUE(IsStandardGsmFrame(SilentGsmFrame()));
    std::vector<std::uint8_t> bad(good);
    bad[0] = static_cast<std::uint8_t>((bad[0] & 0x0F) | 0x50);
    EXPECT_FALSE(IsStandardGsmFrame(bad));
    EXPECT_FALSE(IsStandardGsmFrame({}));
    // The silent partner decodes quietly.
    int peak = 0;
    for (auto s : DecodeGsmPayload(SilentGsmFrame()))
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_LT(peak, 64);
}

}  // namespace
}  // namespace lk
