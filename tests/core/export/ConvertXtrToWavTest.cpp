#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "TestSignal.h"
#include "export/ConvertXtrToWav.h"
#include "export/GsmWavWriter.h"
#include "export/RecordingWriter.h"
#include "export/WavHeaders.h"
#include "platform/ByteIo.h"
#include "playback/GsmCodec.h"
#include "playback/RecordingDecoder.h"
#include "playback/XtrFormat.h"
#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> XtrWithPayload(std::uint32_t tag, std::size_t n,
                                         std::uint8_t fill = 0x5A) {
    return BuildXtrImage(tag, std::vector<std::uint8_t>(n, fill));
}

std::size_t FilesIn(const fs::path& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
}

TEST(ConvertXtrToWav, ResultsFollowSizeAndEncoding) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> image;
        ConvertResult want;
        std::size_t wavSize;  // 0: no file
    };
    const Case cases[] = {
        {"empty", {}, ConvertResult::SourceTooSmall, 0},
        {"header only", std::vector<std::uint8_t>(1440, 0), ConvertResult::SourceTooSmall, 0},
        {"32-byte payload", XtrWithPayload(kFormatMuLaw, 32), ConvertResult::SourceTooSmall, 0},
        {"33-byte mu-law payload", XtrWithPayload(kFormatMuLaw, 33), ConvertResult::Converted,
         58 + 33},
        {"a-law", XtrWithPayload(kFormatALaw, 8000), ConvertResult::Converted, 58 + 8000},
        {"ima 5000", XtrWithPayload(kFormatImaAdpcm, 5000), ConvertResult::Converted, 60 + 5120},
        {"unlisted tag", XtrWithPayload(5, 8000), ConvertResult::NotConverted, 0},
        {"gsm under a second", BuildXtrRecording(kFormatGsm, test::VoiceLike(7000)),
         ConvertResult::WriteFailed, 0},
        {"gsm 2 s", BuildXtrRecording(kFormatGsm, test::VoiceLike(16000)), ConvertResult::Converted,
         60 + 50 * 65},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        test::WriteFile(dir / "src" / "a.xtr", c.image);
        fs::create_directories(dir / "out");
        EXPECT_EQ(ConvertXtrToWav(dir / "src" / "a.xtr", dir / "out" / "a.wav"), c.want);
        if (c.wavSize) {
            EXPECT_EQ(fs::file_size(dir / "out" / "a.wav"), c.wavSize);
        }
        EXPECT_EQ(FilesIn(dir / "out"), c.wavSize ? 1u : 0u);  // no temporary left behind
    }
}

TEST(ConvertXtrToWav, CopiesPayloadFromFixedOffsetBehindItsHeader) {
    test::TempDir dir;
    std::vector<std::uint8_t> payload(5000);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(i * 7);
    auto image = BuildXtrImage(kFormatImaAdpcm, payload);
    WriteU32(image, 4, 2000);  // the conversion ignores the data offset
    test::WriteFile(dir / "a.xtr", image);
    ASSERT_EQ(ConvertXtrToWav(dir / "a.xtr", dir / "a.wav"), ConvertResult::Converted);
    const auto wav = test::ReadFile(dir / "a.wav");
    const auto header = ConvertedImaAdpcmWavHeader(5000);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), wav.begin()));
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), wav.begin() + 60));
    ASSERT_EQ(wav.size(), 60u + 5120u);
    EXPECT_TRUE(std::all_of(wav.begin() + 60 + 5000, wav.end(), [](auto b) { return b == 0; }));
}

// The header declares exactly what follows it, for payloads ending on and
// around block (256 bytes), run (4096) and power-of-two boundaries.
TEST(ConvertXtrToWav, ImaAdpcmDeclaresTheDataItWrites) {
    std::vector<std::size_t> lengths{33, 255, 256, 257, 511, 512, 4095, 4096, 4097, 5000};
    for (std::size_t p = 13; p <= 22; ++p)
        for (const std::ptrdiff_t d : {-257, -1, 0, 1, 1024})
            lengths.push_back(static_cast<std::size_t>((std::ptrdiff_t{1} << p) + d));
    lengths.push_back(4055 * 3600 + 1024);  // an hour, plus a partial run
    test::TempDir dir;
    for (const std::size_t n : lengths) {
        SCOPED_TRACE(n);
        std::vector<std::uint8_t> payload(n);
        for (std::size_t i = 0; i < n; ++i)
            payload[i] = static_cast<std::uint8_t>(i * 13 + 5);
        test::WriteFile(dir / "a.xtr", BuildXtrImage(kFormatImaAdpcm, payload));
        ASSERT_EQ(ConvertXtrToWav(dir / "a.xtr", dir / "a.wav"), ConvertResult::Converted);
        const auto size = fs::file_size(dir / "a.wav");
        std::vector<std::uint8_t> header(60);
        std::ifstream(dir / "a.wav", std::ios::binary)
            .read(reinterpret_cast<char*>(header.data()), 60);
        const auto blocks = (n + 255) / 256;
        EXPECT_EQ(ReadU32(header, 4), size - 8) << "RIFF size";
        EXPECT_EQ(ReadU32(header, 56), size - 60) << "data size";
        EXPECT_EQ(size - 60, blocks * 256);
        EXPECT_EQ(ReadU32(header, 48), blocks * 505) << "fact sample count";
    }
}

TEST(ConvertXtrToWav, ReadOnlySourceConvertsAndFailuresKeepTheOldDestination) {
    test::TempDir dir;
    test::WriteFile(dir / "a.xtr", XtrWithPayload(kFormatMuLaw, 8000));
    ::chmod((dir / "a.xtr").c_str(), 0444);
    EXPECT_EQ(ConvertXtrToWav(dir / "a.xtr", dir / "a.wav"), ConvertResult::Converted);
    // An existing destination is replaced by a complete file.
    test::WriteText(dir / "b.wav", "old");
    EXPECT_EQ(ConvertXtrToWav(dir / "a.xtr", dir / "b.wav"), ConvertResult::Converted);
    EXPECT_EQ(fs::file_size(dir / "b.wav"), 58u + 8000u);

    EXPECT_EQ(ConvertXtrToWav(dir / "missing.xtr", dir / "c.wav"), ConvertResult::SourceOpenFailed);
    EXPECT_EQ(ConvertXtrToWav(dir.path(), dir / "c.wav"), ConvertResult::SourceOpenFailed);
    EXPECT_EQ(ConvertXtrToWav(dir / "a.xtr", dir / "no" / "such" / "c.wav"),
              ConvertResult::WriteFailed);
    EXPECT_FALSE(fs::exists(dir / "c.wav"));
}

TEST(ConvertXtrToWav, GsmWavHoldsWholeBlocksAndTheSampleCount) {
    test::TempDir dir;
    const auto pcm = test::VoiceLike(8000 + 100);  // ends inside a block
    ASSERT_TRUE(WriteGsmWav(pcm, dir / "g.wav"));
    const auto wav = test::ReadFile(dir / "g.wav");
    const std::size_t blocks = (pcm.size() + 319) / 320;
    ASSERT_EQ(wav.size(), 60 + blocks * 65);
    const auto header = GsmWavHeader(static_cast<std::uint32_t>(blocks * 65), 8100);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), wav.begin()));

    EXPECT_FALSE(WriteGsmWav(std::span<const std::int16_t>(pcm).first(7999), dir / "h.wav"));
    EXPECT_FALSE(WriteGsmWav(pcm, fs::path()));
    EXPECT_FALSE(fs::exists(dir / "h.wav"));
}

// libgsm's own reading of a GSM WAV file's 65-byte blocks.
std::vector<std::int16_t> DecodeGsmWavFile(const std::vector<std::uint8_t>& file) {
    GsmDecoder decoder(true);
    std::vector<std::int16_t> out;
    decoder.DecodeWav49Blocks(ByteSpan(file).subspan(kGsmWavHeaderSize), out);
    return out;
}

TEST(ConvertXtrToWav, GsmFileCarriesTheRecordingsFramesUnchanged) {
    const auto frames = EncodeGsmPayload(test::VoiceLike(8000 * 3));  // 3 s = 150 frames
    auto damaged = std::vector<std::uint8_t>(frames.begin(), frames.begin() + 2 * 1650);
    damaged[33 * 7] = 0x12;  // frame 7 loses its mark: the decoder gives silence for it
    struct Case {
        const char* what;
        std::size_t payloadSize;
        bool damaged;
    } cases[] = {
        {"two whole seconds", 2 * 1650, false},
        {"a tail under one frame is dropped", 2 * 1650 + 20, false},
        {"a partial last frame is padded", 2 * 1650 + 100, false},
        {"an odd frame count is paired with silence", 1650 + 33 * 7, false},
        {"a damaged frame", 2 * 1650, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        const std::vector<std::uint8_t> payload =
            c.damaged
                ? damaged
                : std::vector<std::uint8_t>(
                      frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(c.payloadSize));
        test::WriteFile(dir / "a.xtr", BuildXtrImage(kFormatGsm, payload));
        ASSERT_EQ(ConvertXtrToWav(dir / "a.xtr", dir / "a.wav"), ConvertResult::Converted);
        const auto kept = c.payloadSize % 1650 < 33
                              ? std::span(payload).first(c.payloadSize / 1650 * 1650)
                              : std::span(payload);
        const auto recording = DecodeGsmPayload(kept);
        // The header is the one the encoder path writes for the same recording.
        ASSERT_TRUE(WriteGsmWav(recording, dir / "b.wav"));
        const auto file = test::ReadFile(dir / "a.wav");
        const auto reencoded = test::ReadFile(dir / "b.wav");
        ASSERT_EQ(file.size(), reencoded.size());
        EXPECT_TRUE(std::equal(file.begin(), file.begin() + kGsmWavHeaderSize, reencoded.begin()));
        if (c.damaged) {
            // Only decoding and encoding again gives silence where the frame was.
            EXPECT_EQ(file, reencoded);
            continue;
        }
        auto decoded = DecodeGsmWavFile(file);
        ASSERT_EQ(decoded.size(), (recording.size() + 319) / 320 * 320);
        decoded.resize(recording.size());
        EXPECT_EQ(decoded, recording) << "the audio is the recording's, sample for sample";
    }
}

TEST(ConvertXtrToWav, DestinationNameFollowsTheExportRule) {
    struct Case {
        const char* folder;
        const char* source;
        const char* want;
    };
    const Case cases[] = {
        {"C:\\", "E:\\201606\\20160616-I-555.xtr", "C:\\20160616-I-555.wav"},
        {"/tmp/out/", "/card/201606/20160616-I-555.xtr", "/tmp/out/20160616-I-555.wav"},
        {"/o/", "a.xtr.xtr", "/o/a.wav.wav"},
        {"/o/", "E:\\dir/mixed\\x.xtrx", "/o/x.wavx"},
        {"/o/", "dir/", "/o/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExportDestination(c.folder, c.source), c.want) << c.source;
}

}  // namespace
}  // namespace lk
