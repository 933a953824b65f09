#include <gtest/gtest.h>

#include <array>

#include "TestSignal.h"
#include "export/RecordingWriter.h"
#include "playback/ImaAdpcm.h"
#include "playback/RecordingDecoder.h"

namespace lk {
namespace {

std::array<std::int16_t, kImaSamplesPerBlock> Decode(const std::vector<std::uint8_t>& block,
                                                     ImaState* endState = nullptr) {
    std::array<std::int16_t, kImaSamplesPerBlock> out{};
    ImaState s;
    DecodeImaBlock(block, s, out);
    if (endState) *endState = s;
    return out;
}

std::vector<std::uint8_t> Block(std::int16_t first, std::uint8_t index,
                                std::initializer_list<std::uint8_t> codes) {
    std::vector<std::uint8_t> b(kImaBlockSize, 0);
    b[0] = static_cast<std::uint8_t>(first & 0xFF);
    b[1] = static_cast<std::uint8_t>((first >> 8) & 0xFF);
    b[2] = index;
    std::size_t i = 4;
    for (auto c : codes)
        b[i++] = c;
    return b;
}

TEST(ImaAdpcm, DecodesHandComputedBlocks) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> block;
        std::vector<int> firstSamples;
    };
    const Case cases[] = {
        // step 7: code 7 adds 0+7+3+1 = 11, index 8 (step 16); code 0 adds 16>>3 = 2,
        // index 7 (step 14); code 0 adds 1.
        {"positive codes", Block(100, 0, {0x07, 0x00}), {100, 111, 113, 114}},
        // bit 3 subtracts: code 15 at step 7 takes 11 away.
        {"sign bit", Block(-100, 0, {0x0F}), {-100, -111, -109}},
        // code 4 at index 10 (step 19): 2 + 19 = 21, index 12 (step 23); code 1 adds 2 + 5.
        {"low nibble first", Block(0, 10, {0x14}), {0, 21, 28}},
        {"clamped high", Block(32767, 88, {0x77}), {32767, 32767, 32767}},
        {"clamped low", Block(-32768, 88, {0xFF}), {-32768, -32768, -32768}},
        // an index beyond 88 is clamped to 88: step 32767, code 0 adds 4095.
        {"header index clamped", Block(0, 200, {0x00}), {0, 4095}},
    };
    for (const auto& c : cases) {
        const auto out = Decode(c.block);
        for (std::size_t i = 0; i < c.firstSamples.size(); ++i)
            EXPECT_EQ(out[i], c.firstSamples[i]) << c.what << " sample " << i;
    }
}

TEST(ImaAdpcm, StepIndexStaysWithinTable) {
    // 504 codes of 7 drive the index up far beyond 88, then codes 0 drive it below 0.
    std::vector<std::uint8_t> up(kImaBlockSize, 0x77);
    up[0] = up[1] = 0;
    up[2] = 0;
    ImaState s;
    Decode(up, &s);
    EXPECT_EQ(s.stepIndex, 88);
    std::vector<std::uint8_t> down(kImaBlockSize, 0x00);
    Decode(down, &s);
    EXPECT_EQ(s.stepIndex, 0);
}

TEST(ImaAdpcm, ShortLastBlockDecodesAsPaddedWithZeros) {
    auto full = Block(1234, 30, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC});
    const std::vector<std::uint8_t> shortBlock(full.begin(), full.begin() + 10);
    EXPECT_EQ(Decode(shortBlock), Decode(full));
    EXPECT_EQ(Decode({}), Decode(std::vector<std::uint8_t>(kImaBlockSize, 0)));

    // A payload of 1.5 blocks gives two whole blocks of samples.
    std::vector<std::uint8_t> payload(kImaBlockSize + 128, 0x33);
    EXPECT_EQ(DecodeImaPayload(payload).size(), 2 * kImaSamplesPerBlock);
}

TEST(ImaAdpcm, EncoderRoundTripsThroughTheDecoder) {
    const auto pcm = test::VoiceLike(8000);
    const auto payload = EncodeImaPayload(pcm);
    ASSERT_EQ(payload.size(), (8000 + 504) / 505 * kImaBlockSize);
    const auto decoded = DecodeImaPayload(payload);
    ASSERT_GE(decoded.size(), pcm.size());
    // Each block restarts from an exact sample; the rest follows within ADPCM's margin.
    EXPECT_GT(test::SnrDb(pcm, decoded), 20.0);
    for (std::size_t b = 0; b * kImaSamplesPerBlock < pcm.size(); ++b)
        EXPECT_EQ(decoded[b * kImaSamplesPerBlock], pcm[b * kImaSamplesPerBlock]);
    // Padding beyond the signal stays near silence.
    EXPECT_LT(std::abs(decoded.back()), 600);
}

}  // namespace
}  // namespace lk
