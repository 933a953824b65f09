#include <gtest/gtest.h>

#include <array>

#include "TestSignal.h"
#include "export/RecordingWriter.h"
#include "playback/GsmCodec.h"
#include "playback/RecordingDecoder.h"

namespace lk {
namespace {

// GSM full rate keeps the waveform only roughly; compare after the codec's delay.
double BestSnr(const std::vector<std::int16_t>& want, const std::vector<std::int16_t>& got) {
    double best = -100;
    for (std::size_t lag = 0; lag < 40; ++lag)
        best = std::max(best, test::SnrDb(want, got, lag));
    return best;
}

TEST(GsmCodec, EncodedSignalDecodesBackWithinTheCodecsMargin) {
    const auto pcm = test::VoiceLike(16000);
    const auto payload = EncodeGsmPayload(pcm);
    ASSERT_EQ(payload.size(), 100 * kGsmFrameSize);
    for (std::size_t f = 0; f < 100; ++f)
        EXPECT_EQ(payload[f * kGsmFrameSize] >> 4, 0xD);
    const auto decoded = DecodeGsmPayload(payload);
    ASSERT_EQ(decoded.size(), pcm.size());
    EXPECT_GT(BestSnr(pcm, decoded), 5.0);
}

TEST(GsmCodec, RejectedFrameGivesZerosAndShortFrameIsPadded) {
    GsmDecoder decoder;
    ASSERT_TRUE(decoder.Valid());
    std::array<std::int16_t, kGsmFrameSamples> out;
    out.fill(77);
    std::array<std::uint8_t, kGsmFrameSize> bad{};
    bad.fill(0x55);  // first nibble 5, not 0xD
    EXPECT_FALSE(decoder.DecodeFrame(bad, out));
    for (auto s : out)
        EXPECT_EQ(s, 0);

    // A 10-byte tail decodes as a whole frame padded with zeros.
    const auto payload = EncodeGsmPayload(test::VoiceLike(320));
    std::vector<std::uint8_t> truncated(payload.begin(), payload.begin() + 33 + 10);
    std::vector<std::uint8_t> padded = truncated;
    padded.resize(66, 0);
    EXPECT_EQ(DecodeGsmPayload(truncated), DecodeGsmPayload(padded));
    EXPECT_EQ(DecodeGsmPayload(truncated).size(), 2 * kGsmFrameSamples);
}

TEST(GsmCodec, Wav49PacksTwoFramesIn65Bytes) {
    GsmEncoder encoder(true);
    ASSERT_TRUE(encoder.Valid());
    std::vector<std::uint8_t> out;
    encoder.Encode(test::VoiceLike(3 * 160), out);  // three frames round up to two blocks
    EXPECT_EQ(out.size(), 2 * kGsmWav49BlockSize);
}

}  // namespace
}  // namespace lk
