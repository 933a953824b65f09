#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "TestSignal.h"
#include "export/RecordingWriter.h"
#include "playback/AudioOutput.h"
#include "playback/G711.h"
#include "playback/GsmCodec.h"
#include "playback/ImaAdpcm.h"
#include "playback/RecordingDecoder.h"
#include "support/FakeAudioSink.h"

namespace lk {
namespace {

using test::FakeAudioSink;
using test::FakeSinkLog;

struct Rig {
    std::shared_ptr<FakeSinkLog> log = std::make_shared<FakeSinkLog>();
    AudioOutput out{std::make_unique<FakeAudioSink>(log)};
};

// The worker lowers the count asynchronously; wait for it to settle.
bool WaitQueued(const AudioOutput& out, int want) {
    for (int i = 0; i < 400 && out.Queued() != want; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return out.Queued() == want;
}

TEST(AudioOutput, WriteBeforeOpenAndAfterCloseFails) {
    Rig r;
    const std::vector<std::uint8_t> piece(16000, 0);
    EXPECT_FALSE(r.out.IsOpen());
    EXPECT_FALSE(r.out.Write(piece));
    EXPECT_FALSE(r.out.Reset());
    ASSERT_TRUE(r.out.Open(OutputFormatType::Pcm));
    EXPECT_TRUE(r.out.Write(piece));
    EXPECT_TRUE(r.out.Close());
    EXPECT_FALSE(r.out.IsOpen());
    EXPECT_FALSE(r.out.WorkerRunning());
    EXPECT_FALSE(r.out.Write(piece));
    EXPECT_EQ(r.log->Count(), 1u);
}

TEST(AudioOutput, DeviceThatCannotOpenLeavesNoWorker) {
    Rig r;
    r.log->canOpen = false;
    EXPECT_FALSE(r.out.Open(OutputFormatType::MuLaw));
    EXPECT_FALSE(r.out.IsOpen());
    EXPECT_FALSE(r.out.WorkerRunning());
    // The type is stored even though the open failed.
    EXPECT_EQ(r.out.Type(), OutputFormatType::MuLaw);
}

TEST(AudioOutput, SecondOpenIsRefusedAndKeepsTheDevice) {
    Rig r;
    ASSERT_TRUE(r.out.Open(OutputFormatType::Pcm));
    EXPECT_FALSE(r.out.Open(OutputFormatType::MuLaw));
    EXPECT_TRUE(r.out.IsOpen());
    EXPECT_TRUE(r.out.WorkerRunning());
    EXPECT_TRUE(r.out.Write(std::vector<std::uint8_t>(4, 0)));
    EXPECT_EQ(r.log->opens, 1);
}

TEST(AudioOutput, MoreThanSixHundredQueuedDropsSilentlyUntilPiecesReturn) {
    Rig r;
    ASSERT_TRUE(r.out.Open(OutputFormatType::Pcm));
    const std::vector<std::uint8_t> piece(2, 0);
    for (int i = 0; i < 601; ++i)
        ASSERT_TRUE(r.out.Write(piece));
    EXPECT_EQ(r.out.Queued(), 601);
    EXPECT_TRUE(r.out.Write(piece));  // dropped, still true
    EXPECT_EQ(r.out.Queued(), 601);
    EXPECT_EQ(r.log->Count(), 601u);
    r.log->Finish(2);
    ASSERT_TRUE(WaitQueued(r.out, 599));
    EXPECT_TRUE(r.out.Write(piece));
    EXPECT_EQ(r.log->Count(), 602u);
    EXPECT_TRUE(r.out.Reset());
    EXPECT_TRUE(WaitQueued(r.out, 0));
}

TEST(AudioOutput, CounterStaysExactUnderConcurrentReports) {
    Rig r;
    ASSERT_TRUE(r.out.Open(OutputFormatType::Pcm));
    const std::vector<std::uint8_t> piece(2, 0);
    std::thread device([&] {
        for (int i = 0; i < 300; ++i) {
            r.log->Finish(1);
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < 300; ++i)
        ASSERT_TRUE(r.out.Write(piece));
    device.join();
    r.log->Finish(1000);
    EXPECT_TRUE(WaitQueued(r.out, 0));
}

// Each type's bytes reach the device as the PCM the core decoders make of them.
TEST(AudioOutput, PiecesAreConvertedToPcmByType) {
    const auto pcm = test::VoiceLike(1010);
    std::vector<std::uint8_t> pcmBytes;
    for (auto s : pcm) {
        pcmBytes.push_back(static_cast<std::uint8_t>(s & 0xFF));
        pcmBytes.push_back(static_cast<std::uint8_t>((s >> 8) & 0xFF));
    }
    std::vector<std::uint8_t> mu, a;
    for (auto s : pcm) {
        mu.push_back(LinearToMuLaw(s));
        a.push_back(LinearToALaw(s));
    }
    const auto ima = EncodeImaPayload(pcm);
    std::vector<std::uint8_t> gsm49;
    {
        GsmEncoder enc(true);
        enc.Encode(pcm, gsm49);
    }
    struct Case {
        OutputFormatType type;
        std::vector<std::uint8_t> bytes;
        std::vector<std::int16_t> want;
        double minSnr;  // exact when 200
    };
    std::vector<std::int16_t> muWant, aWant;
    for (auto b : mu)
        muWant.push_back(MuLawToLinear(b));
    for (auto b : a)
        aWant.push_back(ALawToLinear(b));
    const std::vector<Case> cases = {
        {OutputFormatType::Pcm, pcmBytes, pcm, 200},
        {OutputFormatType::MuLaw, mu, muWant, 200},
        {OutputFormatType::ALaw, a, aWant, 200},
        {OutputFormatType::ImaAdpcm, ima, DecodeImaPayload(ima), 200},
        {OutputFormatType::Gsm, gsm49, pcm, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        Rig r;
        ASSERT_TRUE(r.out.Open(c.type));
        ASSERT_TRUE(r.out.Write(c.bytes));
        ASSERT_EQ(r.log->Count(), 1u);
        const auto& got = r.log->pieces[0];
        if (c.minSnr >= 200) {
            EXPECT_EQ(got, c.want);
        } else {
            // 1010 samples make seven frames, padded to eight: four 65-byte blocks.
            ASSERT_EQ(got.size(), 1280u);
            double best = -100;
            for (std::size_t lag = 0; lag < 40; ++lag)
                best = std::max(best, test::SnrDb(c.want, got, lag));
            EXPECT_GT(best, c.minSnr);
        }
    }
}

TEST(AudioOutput, WaveFormatsOfTheTypes) {
    struct Row {
        OutputFormatType type;
        WaveFormat want;
    };
    const Row rows[] = {
        {OutputFormatType::ImaAdpcm, {17, 4000, 256, 4, 505}},
        {OutputFormatType::MuLaw, {7, 8000, 1, 8, 0}},
        {OutputFormatType::ALaw, {6, 8000, 1, 8, 0}},
        {OutputFormatType::Pcm, {1, 16000, 2, 16, 0}},
        {OutputFormatType::Gsm, {49, 1625, 65, 0, 320}},
    };
    for (const auto& row : rows) {
        const auto got = WaveFormatOf(row.type);
        EXPECT_EQ(got.formatTag, row.want.formatTag);
        EXPECT_EQ(got.avgBytesPerSecond, row.want.avgBytesPerSecond);
        EXPECT_EQ(got.blockAlign, row.want.blockAlign);
        EXPECT_EQ(got.bitsPerSample, row.want.bitsPerSample);
        EXPECT_EQ(got.samplesPerBlock, row.want.samplesPerBlock);
    }
}

}  // namespace
}  // namespace lk
