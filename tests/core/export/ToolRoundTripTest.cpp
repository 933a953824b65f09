// Converted files must open in the common tools and decode to what our own
// decoders produce. Skipped where ffmpeg or sox is not installed.
#include <gtest/gtest.h>

#include <gsm.h>

#include <cstdio>
#include <cstdlib>

#include "TestSignal.h"
#include "export/ConvertXtrToWav.h"
#include "export/RecordingWriter.h"
#include "playback/GsmCodec.h"
#include "playback/RecordingDecoder.h"
#include "support/TempDir.h"

namespace lk {
namespace {

bool Have(const char* tool) {
    const std::string cmd = std::string("command -v ") + tool + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

// Runs a command and returns its standard output as 16-bit samples.
std::vector<std::int16_t> RunForSamples(const std::string& cmd) {
    std::vector<std::int16_t> out;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return out;
    std::int16_t buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 2, 4096, p)) > 0)
        out.insert(out.end(), buf, buf + n);
    ::pclose(p);
    return out;
}

std::vector<std::int16_t> FfmpegDecode(const std::filesystem::path& wav) {
    return RunForSamples("ffmpeg -v error -i '" + wav.string() +
                         "' -f s16le -acodec pcm_s16le -ac 1 -ar 8000 - 2>/dev/null");
}

std::vector<std::int16_t> SoxDecode(const std::filesystem::path& wav) {
    return RunForSamples("sox '" + wav.string() +
                         "' -t raw -e signed-integer -b 16 -L - 2>/dev/null");
}

// Every byte value, repeated, so the whole expansion table is compared.
std::vector<std::uint8_t> AllByteValues(std::size_t count) {
    std::vector<std::uint8_t> v(count);
    for (std::size_t i = 0; i < count; ++i)
        v[i] = static_cast<std::uint8_t>(i * 31 + i / 256);
    return v;
}

class ToolRoundTrip : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!Have("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    }
    // Writes the image as an .xtr, converts it and returns our own decode of it.
    std::vector<std::int16_t> Convert(const std::vector<std::uint8_t>& image) {
        test::WriteFile(dir_ / "a.xtr", image);
        EXPECT_EQ(ConvertXtrToWav(dir_ / "a.xtr", wav()), ConvertResult::Converted);
        auto d = RecordingDecoder::FromBytes(image, true);
        return d ? d->DecodeAll() : std::vector<std::int16_t>{};
    }
    std::filesystem::path wav() const { return dir_ / "a.wav"; }
    test::TempDir dir_;
};

TEST_F(ToolRoundTrip, G711DecodesExactlyInFfmpegAndSox) {
    for (std::uint32_t tag : {kFormatMuLaw, kFormatALaw}) {
        SCOPED_TRACE(tag);
        const auto ours = Convert(BuildXtrImage(tag, AllByteValues(8000 * 2)));
        EXPECT_EQ(FfmpegDecode(wav()), ours);
        if (Have("sox")) {
            EXPECT_EQ(SoxDecode(wav()), ours);
        }
    }
}

TEST_F(ToolRoundTrip, ImaAdpcmDecodesExactlyInSoxAndCloselyInFfmpeg) {
    // sox expands codes with the same shifts and sums as we do; ffmpeg
    // multiplies instead, which rounds a little differently.
    // Whole 4096-byte runs are what the header declares; a payload with a
    // partial run decodes the declared part the same way.
    for (std::size_t samples : {16000u, 20000u}) {
        SCOPED_TRACE(samples);
        const auto image = BuildXtrRecording(kFormatImaAdpcm, test::VoiceLike(samples));
        const auto ours = Convert(image);
        const auto declared = (image.size() - 1440) / 4096 * 8080;
        ASSERT_GE(ours.size(), declared);
        const std::vector<std::int16_t> oursDeclared(
            ours.begin(), ours.begin() + static_cast<std::ptrdiff_t>(declared));
        const auto theirs = FfmpegDecode(wav());
        ASSERT_GE(theirs.size(), declared);
        EXPECT_GT(test::SnrDb(oursDeclared, theirs), 30.0);
        if (Have("sox")) {
            auto soxed = SoxDecode(wav());
            ASSERT_GE(soxed.size(), declared);
            soxed.resize(declared);
            EXPECT_EQ(soxed, oursDeclared);
        }
    }
}

// sox plays every sample our decoder gives, for lengths on and around the
// block and run boundaries (an hour of recording ends 1024 bytes into a run).
TEST(ImaAdpcmLength, SoxReadsAsManySamplesAsWeDecode) {
    if (!Have("sox")) GTEST_SKIP() << "sox not installed";
    test::TempDir dir;
    for (const std::size_t n :
         {256u, 300u, 4095u, 4096u, 4097u, 5000u, 65535u, 65536u, 66560u, 4055u * 3600u + 1024u}) {
        SCOPED_TRACE(n);
        std::vector<std::uint8_t> payload = AllByteValues(n);
        for (std::size_t b = 0; b < n; b += 256) {
            payload[b] = 0;  // block headers: a quiet start, a valid step index
            if (b + 1 < n) payload[b + 1] = 0;
            if (b + 2 < n) payload[b + 2] = static_cast<std::uint8_t>(b / 256 % 89);
            if (b + 3 < n) payload[b + 3] = 0;
        }
        const auto image = BuildXtrImage(kFormatImaAdpcm, payload);
        test::WriteFile(dir / "a.xtr", image);
        ASSERT_EQ(ConvertXtrToWav(dir / "a.xtr", dir / "a.wav"), ConvertResult::Converted);
        const auto decoder = RecordingDecoder::FromBytes(image, true);
        ASSERT_TRUE(decoder);
        const auto ours = decoder->DecodeAll();
        const auto soxed = SoxDecode(dir / "a.wav");
        EXPECT_EQ(soxed.size(), ours.size());
        EXPECT_TRUE(soxed == ours);
    }
}

TEST_F(ToolRoundTrip, GsmWavDecodesInFfmpegAndSoxLikeLibgsm) {
    const auto pcm = test::VoiceLike(8000 * 3 + 200);
    const auto ours = Convert(BuildXtrRecording(kFormatGsm, pcm));
    ASSERT_FALSE(ours.empty());

    // libgsm's own reading of the 65-byte blocks is the reference.
    const auto file = test::ReadFile(wav());
    gsm g = gsm_create();
    int one = 1;
    gsm_option(g, GSM_OPT_WAV49, &one);
    std::vector<std::int16_t> reference;
    for (std::size_t off = 60; off + 65 <= file.size(); off += 65) {
        gsm_signal frame[320];
        gsm_decode(g, const_cast<gsm_byte*>(file.data() + off), frame);
        gsm_decode(g, const_cast<gsm_byte*>(file.data() + off + 33), frame + 160);
        reference.insert(reference.end(), frame, frame + 320);
    }
    gsm_destroy(g);
    ASSERT_EQ(reference.size(), (ours.size() + 319) / 320 * 320);
    reference.resize(ours.size());
    EXPECT_EQ(reference, ours);

    // The frames are the recording's own: ffmpeg hears exactly what libgsm
    // decodes from the .xtr.
    auto theirs = FfmpegDecode(wav());
    ASSERT_GE(theirs.size(), ours.size());
    theirs.resize(ours.size());
    EXPECT_EQ(theirs, ours);
    if (Have("sox")) {
        auto soxed = SoxDecode(wav());
        ASSERT_GE(soxed.size(), ours.size());
        soxed.resize(ours.size());
        EXPECT_EQ(soxed, ours);
    }
}

// WAV files that the tools write themselves (ffmpeg adds a LIST chunk before
// the audio; sox writes "fact" chunks and pads odd blocks) play as the tools
// themselves decode them.
TEST_F(ToolRoundTrip, WavFilesWrittenByTheToolsDecodeAsTheToolsDecodeThem) {
    const auto pcm = test::VoiceLike(8000 * 2 + 333);
    const auto raw = dir_ / "in.raw";
    {
        std::vector<std::uint8_t> bytes;
        for (auto v : pcm) {
            bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(v) & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(v) >> 8));
        }
        test::WriteFile(raw, bytes);
    }
    const std::string ffIn =
        "ffmpeg -v error -y -f s16le -ar 8000 -ac 1 -i '" + raw.string() + "' ";
    const std::string soxIn =
        "sox -t raw -e signed-integer -b 16 -L -r 8000 -c 1 '" + raw.string() + "' ";
    struct Case {
        const char* what;
        const char* tool;
        std::string command;  // %o is the WAV written
        AudioCoding coding;
        bool exact;  // else close
    } cases[] = {
        {"ffmpeg 16-bit PCM", "ffmpeg", ffIn + "-c:a pcm_s16le %o", AudioCoding::Pcm16, true},
        {"ffmpeg 8-bit PCM", "ffmpeg", ffIn + "-c:a pcm_u8 %o", AudioCoding::Pcm8, true},
        {"ffmpeg mu-law", "ffmpeg", ffIn + "-c:a pcm_mulaw %o", AudioCoding::MuLaw, true},
        {"ffmpeg A-law", "ffmpeg", ffIn + "-c:a pcm_alaw %o", AudioCoding::ALaw, true},
        {"ffmpeg IMA ADPCM", "ffmpeg", ffIn + "-c:a adpcm_ima_wav %o", AudioCoding::ImaAdpcm,
         false},
        {"ffmpeg GSM", "ffmpeg", ffIn + "-c:a libgsm_ms %o", AudioCoding::GsmWav49, true},
        {"sox 16-bit PCM", "sox", soxIn + "-e signed-integer -b 16 %o", AudioCoding::Pcm16, true},
        {"sox 8-bit PCM", "sox", soxIn + "-e unsigned-integer -b 8 %o", AudioCoding::Pcm8, true},
        {"sox mu-law", "sox", soxIn + "-e u-law %o", AudioCoding::MuLaw, true},
        {"sox A-law", "sox", soxIn + "-e a-law %o", AudioCoding::ALaw, true},
        {"sox IMA ADPCM", "sox", soxIn + "-e ima-adpcm %o", AudioCoding::ImaAdpcm, true},
        {"sox GSM", "sox", soxIn + "-e gsm-full-rate %o", AudioCoding::GsmWav49, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!Have(c.tool)) continue;
        const auto file = dir_ / "tool.wav";
        std::filesystem::remove(file);
        auto cmd = c.command;
        cmd.replace(cmd.find("%o"), 2, "'" + file.string() + "'");
        ASSERT_EQ(std::system((cmd + " 2>/dev/null").c_str()), 0) << cmd;

        auto r = RecordingDecoder::Load(file);
        ASSERT_TRUE(r.decoder) << r.reason;
        EXPECT_EQ(r.decoder->Codec().coding, c.coding);
        const auto ours = r.decoder->DecodeAll();
        auto theirs = std::string(c.tool) == "sox" ? SoxDecode(file) : FfmpegDecode(file);
        ASSERT_GE(ours.size(), pcm.size());
        ASSERT_GE(theirs.size(), pcm.size());
        // The tools may differ on how much padding of the last block they
        // keep; the recording's own length is compared.
        std::vector<std::int16_t> a(ours.begin(),
                                    ours.begin() + static_cast<std::ptrdiff_t>(pcm.size()));
        theirs.resize(pcm.size());
        if (c.exact) {
            EXPECT_EQ(a, theirs);
        } else {
            // ffmpeg's rounding drifts over its 1024-byte blocks; sox reads
            // the same file exactly as we do.
            EXPECT_GT(test::SnrDb(theirs, a), 20.0);
            if (Have("sox")) {
                auto soxed = SoxDecode(file);
                soxed.resize(pcm.size());
                EXPECT_EQ(a, soxed);
            }
        }
        if (c.coding != AudioCoding::GsmWav49) {
            EXPECT_GT(test::SnrDb(pcm, a), 10.0) << "sounds like the source";
        }
    }
}

}  // namespace
}  // namespace lk
