#include <gtest/gtest.h>

#include "TestSignal.h"
#include "export/RecordingWriter.h"
#include "platform/ByteIo.h"
#include "playback/RecordingDecoder.h"
#include "support/TempDir.h"

namespace lk {
namespace {

std::unique_ptr<RecordingDecoder> FromImage(std::vector<std::uint8_t> image, bool isXtr = true,
                                            RecordingOpenError* error = nullptr) {
    return RecordingDecoder::FromBytes(std::move(image), isXtr, error);
}

TEST(RecordingDecoder, ReadsEachEncodingWithThePlayersSecondLayout) {
    struct Case {
        std::uint32_t tag;
        std::uint32_t decodedTag;
        std::size_t bytesPerSecond;
        double minSnr;
    };
    const Case cases[] = {
        {kFormatGsm, kFormatGsm, 1650, -100},  // GSM quality is checked in its own test
        {kFormatImaAdpcm, kFormatImaAdpcm, 16000, 20},
        {kFormatMuLaw, kFormatMuLaw, 8000, 30},
        {kFormatALaw, kFormatALaw, 8000, 30},
        {5, kFormatMuLaw, 8000, 30},  // unlisted tags read as µ-law
    };
    const auto pcm = test::VoiceLike(8000 * 3 + 1234);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tag);
        auto image = BuildXtrImage(c.tag, EncodePayload(c.tag, pcm), BookmarkNote(1, 2));
        const auto payloadSize = image.size() - 1440;
        auto d = FromImage(image);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->StoredFormatTag(), c.tag);
        EXPECT_EQ(d->FormatTag(), c.decodedTag);
        EXPECT_EQ(d->DataOffset(), 1440u);
        EXPECT_EQ(d->BytesPerSecond(), c.bytesPerSecond);
        const auto rate = c.decodedTag == kFormatImaAdpcm ? 4055 : c.bytesPerSecond;
        EXPECT_EQ(d->TotalSeconds(), payloadSize / rate);
        EXPECT_EQ(d->Marked(), (MarkedSegment{1, 2}));

        const auto all = d->DecodeAll();
        EXPECT_GE(all.size(), pcm.size());
        EXPECT_GT(test::SnrDb(pcm, all), c.minSnr);
        // The seconds laid end to end give the whole payload.
        std::vector<std::int16_t> joined;
        for (unsigned i = 0;; ++i) {
            const auto s = d->DecodeSecond(i);
            if (s.empty()) break;
            EXPECT_LE(s.size(), 8000u);
            joined.insert(joined.end(), s.begin(), s.end());
        }
        if (c.tag == kFormatGsm) {
            // GSM seconds share one decoder state; a fresh one gives the same.
            EXPECT_EQ(joined, DecodeGsmPayload(d->Payload()));
        } else {
            EXPECT_EQ(joined, all);
        }
    }
}

TEST(RecordingDecoder, ReadsWavRecordingsAsImaAdpcmBehindSixtyBytes) {
    const auto pcm = test::VoiceLike(8000 * 2);
    auto d = FromImage(BuildWavRecording(pcm), false);
    ASSERT_TRUE(d);
    EXPECT_FALSE(d->IsXtr());
    EXPECT_EQ(d->FormatTag(), kFormatImaAdpcm);
    EXPECT_EQ(d->DataOffset(), 60u);
    EXPECT_EQ(d->TotalSeconds(), d->Payload().size() / 4055);
    EXPECT_EQ(d->Marked(), std::nullopt);
    EXPECT_EQ(d->DecodeSecond(0).size(), 8000u);
    EXPECT_GT(test::SnrDb(pcm, d->DecodeAll()), 20.0);
}

TEST(RecordingDecoder, RefusesDamagedFilesWithoutReadingPastThem) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> image;
        bool isXtr;
        RecordingOpenError want;
    };
    std::vector<std::uint8_t> beyond(2000, 0);
    WriteU32(beyond, 4, 2001);
    WriteU32(beyond, 8, kFormatGsm);
    std::vector<std::uint8_t> huge(64, 0);
    WriteU32(huge, 4, 0xFFFFFFFF);
    const Case cases[] = {
        {"empty xtr", {}, true, RecordingOpenError::Empty},
        {"empty wav", {}, false, RecordingOpenError::Empty},
        {"no header", std::vector<std::uint8_t>(11, 0), true, RecordingOpenError::NoHeader},
        {"offset beyond the end", beyond, true, RecordingOpenError::DataOffsetBeyond},
        {"offset near 4 GB", huge, true, RecordingOpenError::DataOffsetBeyond},
        {"wav shorter than its header", std::vector<std::uint8_t>(59, 0), false,
         RecordingOpenError::BrokenWav},
    };
    for (const auto& c : cases) {
        RecordingOpenError error = RecordingOpenError::None;
        EXPECT_FALSE(FromImage(c.image, c.isXtr, &error)) << c.what;
        EXPECT_EQ(error, c.want) << c.what;
    }
    RecordingOpenError error = RecordingOpenError::None;
    EXPECT_FALSE(RecordingDecoder::Open("/nonexistent/x.xtr", &error));
    EXPECT_EQ(error, RecordingOpenError::CannotRead);
}

TEST(RecordingDecoder, ShortPayloadsGiveZeroSecondsAndBoundedSamples) {
    // Payload equal to the data offset: nothing to play, nothing read.
    std::vector<std::uint8_t> exact(1440, 0);
    WriteU32(exact, 4, 1440);
    WriteU32(exact, 8, kFormatImaAdpcm);
    auto d = FromImage(exact);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->TotalSeconds(), 0u);
    EXPECT_TRUE(d->DecodeAll().empty());
    EXPECT_TRUE(d->DecodeSecond(0).empty());
    EXPECT_TRUE(d->DecodeSecond(0xFFFFFFFF).empty());

    // A data offset inside the header area and a GSM payload of 34 bytes:
    // two frames, the second padded (and rejected, as its first nibble is 0).
    std::vector<std::uint8_t> small(12 + 34, 0);
    WriteU32(small, 4, 12);
    WriteU32(small, 8, kFormatGsm);
    small[12] = 0xD0;
    d = FromImage(small);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->DecodeSecond(0).size(), 320u);
    EXPECT_EQ(d->Marked(), std::nullopt);
}

TEST(RecordingDecoder, OpensFilesByPathRule) {
    test::TempDir dir;
    const auto pcm = test::VoiceLike(8000);
    const auto image = BuildXtrRecording(kFormatMuLaw, pcm);
    test::WriteFile(dir / "a.xtr", image);
    test::WriteFile(dir / "a.wav", BuildWavRecording(pcm));
    auto x = RecordingDecoder::Open(dir / "a.xtr");
    auto w = RecordingDecoder::Open(dir / "a.wav");
    ASSERT_TRUE(x && w);
    EXPECT_TRUE(x->IsXtr());
    EXPECT_FALSE(w->IsXtr());
    EXPECT_EQ(x->TotalSeconds(), 1u);
}

}  // namespace
}  // namespace lk

namespace lk {
namespace {

TEST(PromptSounds, BuiltBeepsAreAudibleWavRecordings) {
    for (const char* name : {"beep1.wav", "beep3.wav"}) {
        SCOPED_TRACE(name);
        auto d = RecordingDecoder::Open(test::BinDir() / "Config" / name);
        ASSERT_TRUE(d);
        const auto pcm = d->DecodeAll();
        ASSERT_GE(pcm.size(), 2000u);
        int peak = 0;
        for (auto s : pcm)
            peak = std::max(peak, std::abs(static_cast<int>(s)));
        EXPECT_GT(peak, 5000);
        EXPECT_LT(std::abs(static_cast<int>(pcm.front())), 200);  // soft start
    }
}

}  // namespace
}  // namespace lk

#include "card/RecordingLength.h"
#include "export/WavHeaders.h"

namespace lk {
namespace {

TEST(RecordingDecoder, TotalSecondsAgreeWithTheListLengthRule) {
    for (std::uint32_t tag : {kFormatGsm, kFormatImaAdpcm, kFormatMuLaw, kFormatALaw, 5u}) {
        for (std::size_t payload : {0u, 1u, 1649u, 1650u, 4054u, 4055u, 8000u, 12345u, 40000u}) {
            SCOPED_TRACE(testing::Message() << "tag " << tag << " payload " << payload);
            auto image = BuildXtrImage(tag, std::vector<std::uint8_t>(payload, 0xD0));
            const auto want = RecordingSecondsOf(image.size(), true, ByteSpan(image).first(12));
            EXPECT_EQ(FromImage(image)->TotalSeconds(), want);
        }
    }
    for (std::size_t size : {60u, 4114u, 4115u, 20000u}) {
        // The recorder's header, then silence.
        const auto header = ImaAdpcmWavHeader(0, 0);
        std::vector<std::uint8_t> wav(size, 0);
        std::copy(header.begin(), header.end(), wav.begin());
        EXPECT_EQ(FromImage(wav, false)->TotalSeconds(), RecordingSecondsOf(size, false, {}))
            << size;
    }
}

}  // namespace
}  // namespace lk
