// WAV files written by other tools: their RIFF header is read, the formats the
// program has decoders for play as declared, everything else is refused.
#include <gtest/gtest.h>

#include <gsm.h>

#include "TestSignal.h"
#include "WavFixture.h"
#include "export/GsmWavWriter.h"
#include "export/RecordingWriter.h"
#include "playback/G711.h"
#include "playback/RecordingDecoder.h"
#include "playback/WavLayout.h"

namespace lk {
namespace {

using test::BuildWav;
using test::WavFields;

std::vector<std::uint8_t> Pcm16Bytes(const std::vector<std::int16_t>& pcm) {
    std::vector<std::uint8_t> b;
    for (auto s : pcm)
        test::PutU16(b, static_cast<std::uint16_t>(s));
    return b;
}

// libgsm's own reading of 65-byte blocks.
std::vector<std::int16_t> LibgsmWav49(const std::vector<std::uint8_t>& blocks) {
    gsm g = gsm_create();
    int one = 1;
    gsm_option(g, GSM_OPT_WAV49, &one);
    std::vector<std::int16_t> out;
    for (std::size_t off = 0; off + 65 <= blocks.size(); off += 65) {
        gsm_signal frame[320];
        gsm_decode(g, const_cast<gsm_byte*>(blocks.data() + off), frame);
        gsm_decode(g, const_cast<gsm_byte*>(blocks.data() + off + 33), frame + 160);
        out.insert(out.end(), frame, frame + 320);
    }
    gsm_destroy(g);
    return out;
}

std::vector<std::uint8_t> Extra(std::initializer_list<std::uint16_t> words) {
    std::vector<std::uint8_t> b;
    for (auto w : words)
        test::PutU16(b, w);
    return b;
}

struct Playable {
    const char* what;
    std::vector<std::uint8_t> file;
    AudioCoding coding;
    std::uint64_t dataOffset;
    std::vector<std::int16_t> want;  // the decoded samples
};

std::vector<Playable> PlayableCases() {
    const auto voice = test::VoiceLike(8000 * 2 + 123);
    const auto voiceBytes = Pcm16Bytes(voice);
    std::vector<Playable> cases;

    cases.push_back({"16-bit PCM", BuildWav({}, voiceBytes), AudioCoding::Pcm16, 44, voice});
    {
        WavFields s;
        s.order = "fldl";  // LIST chunks of odd size before and after the audio
        cases.push_back({"16-bit PCM behind a LIST chunk", BuildWav(s, voiceBytes),
                         AudioCoding::Pcm16, 62, voice});
    }
    {
        WavFields s;
        s.order = "dlf";  // the audio before its format
        cases.push_back(
            {"format after the data", BuildWav(s, voiceBytes), AudioCoding::Pcm16, 20, voice});
    }
    {
        WavFields s;
        s.tag = 0xFFFE;  // WAVE_FORMAT_EXTENSIBLE, PCM sub-format
        s.fmtExtra = Extra({22, 16, 4, 0, 1, 0, 0, 0x0010, 0x0080, 0xAA00, 0x3800, 0x719B});
        cases.push_back({"extensible PCM", BuildWav(s, voiceBytes), AudioCoding::Pcm16, 68, voice});
    }
    {
        WavFields s;
        s.overrideDataSize = true;
        s.dataSizeField = 0xFFFFFFFF;  // written by a tool that could not seek back
        cases.push_back(
            {"data size unknown", BuildWav(s, voiceBytes), AudioCoding::Pcm16, 44, voice});
    }
    {
        std::vector<std::uint8_t> bytes = {0, 64, 128, 192, 255, 128, 1};
        std::vector<std::int16_t> want = {-32768, -16384, 0, 16384, 32512, 0, -32512};
        WavFields s;
        s.blockAlign = 1;
        s.bits = 8;
        cases.push_back({"8-bit PCM, odd size", BuildWav(s, bytes), AudioCoding::Pcm8, 44, want});
    }
    for (std::uint16_t tag : std::initializer_list<std::uint16_t>{7, 6}) {
        std::vector<std::uint8_t> bytes(8000 + 7);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(i * 37);
        std::vector<std::int16_t> want;
        for (auto b : bytes)
            want.push_back(tag == 7 ? MuLawToLinear(b) : ALawToLinear(b));
        WavFields s;
        s.tag = tag;
        s.blockAlign = 1;
        s.bits = 8;
        s.fmtExtra = Extra({0});
        s.order = "fad";
        s.factSamples = static_cast<std::uint32_t>(bytes.size());
        cases.push_back({tag == 7 ? "mu-law" : "A-law", BuildWav(s, bytes),
                         tag == 7 ? AudioCoding::MuLaw : AudioCoding::ALaw, 58, want});
    }
    {
        // IMA ADPCM in the recorder's blocks but not in its layout: the audio
        // ends where the data chunk says, not at the end of the file.
        const auto payload = EncodeImaPayload(voice);
        WavFields s;
        s.tag = 17;
        s.blockAlign = 256;
        s.bits = 4;
        s.fmtExtra = Extra({2, 505});
        s.order = "fladl";
        cases.push_back({"IMA ADPCM between LIST chunks", BuildWav(s, payload),
                         AudioCoding::ImaAdpcm, 78, DecodeImaPayload(payload)});
    }
    {
        // Larger blocks: the recorder's block with 4 more bytes gives its 505
        // samples and 8 more.
        const auto payload = EncodeImaPayload(voice);
        std::vector<std::uint8_t> wide;
        std::vector<std::int16_t> want;
        const auto pcm256 = DecodeImaPayload(payload);
        for (std::size_t b = 0; b < payload.size() / 256; ++b) {
            wide.insert(wide.end(), payload.begin() + static_cast<std::ptrdiff_t>(b * 256),
                        payload.begin() + static_cast<std::ptrdiff_t>(b * 256 + 256));
            wide.insert(wide.end(), {0x00, 0x00, 0x88, 0x88});
            want.insert(want.end(), pcm256.begin() + static_cast<std::ptrdiff_t>(b * 505),
                        pcm256.begin() + static_cast<std::ptrdiff_t>(b * 505 + 505));
            want.insert(want.end(), 8, 0);  // not compared
        }
        WavFields s;
        s.tag = 17;
        s.blockAlign = 260;
        s.bits = 4;
        s.fmtExtra = Extra({2, 513});
        auto file = BuildWav(s, wide);
        // Only the first 505 samples of each block are checked below.
        cases.push_back({"IMA ADPCM in 260-byte blocks", file, AudioCoding::ImaAdpcm, 48, want});
    }
    {
        const auto payload = GsmWavWriter::Encode(voice);
        WavFields s;
        s.tag = 49;
        s.blockAlign = 65;
        s.bits = 0;
        s.fmtExtra = Extra({2, 320});
        s.order = "fad";
        cases.push_back({"GSM 06.10 in 65-byte blocks", BuildWav(s, payload), AudioCoding::GsmWav49,
                         60, LibgsmWav49(payload)});
    }
    return cases;
}

TEST(WavRecording, PlaysEveryDecodableLayoutAsDeclared) {
    for (auto& c : PlayableCases()) {
        SCOPED_TRACE(c.what);
        const auto layout = ParseWavLayout(ByteSpan(c.file));
        ASSERT_TRUE(layout.Playable()) << layout.reason;
        EXPECT_FALSE(layout.recorderLayout);
        EXPECT_EQ(layout.codec.coding, c.coding);
        EXPECT_EQ(layout.dataOffset, c.dataOffset);

        auto r = RecordingDecoder::Load(c.file, false);
        ASSERT_TRUE(r.decoder) << r.reason;
        auto& d = *r.decoder;
        EXPECT_EQ(d.DataOffset(), c.dataOffset);
        const auto all = d.DecodeAll();
        ASSERT_EQ(all.size(), c.want.size());
        if (d.Codec().unitSize == 260) {
            for (std::size_t b = 0; b < all.size() / 513; ++b)
                for (std::size_t i = 0; i < 505; ++i)
                    ASSERT_EQ(all[b * 513 + i], c.want[b * 513 + i]) << "block " << b;
        } else {
            EXPECT_EQ(all, c.want);
        }
        // The player's seconds join up to the whole recording.
        std::vector<std::int16_t> joined;
        for (unsigned i = 0; i < 100; ++i) {
            const auto s = d.DecodeSecond(i);
            if (s.empty()) break;
            EXPECT_LE(s.size(), 8000u);
            joined.insert(joined.end(), s.begin(), s.end());
        }
        EXPECT_EQ(joined, all);
        EXPECT_EQ(d.TotalSeconds(), all.size() / 8000);
    }
}

TEST(WavRecording, RefusesWhatItCannotDecodeWithAReason) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> file;
        WavVerdict verdict;
        const char* reasonHas;
    };
    const std::vector<std::uint8_t> audio(16000, 0x11);
    auto fields = [](std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                     std::uint16_t align, std::uint16_t bits) {
        WavFields s;
        s.tag = tag;
        s.channels = channels;
        s.rate = rate;
        s.blockAlign = align;
        s.bits = bits;
        return s;
    };
    auto noData = BuildWav(fields(1, 1, 8000, 2, 16), {});
    noData.resize(36);  // the data chunk header is gone
    auto shortFmt = BuildWav(fields(1, 1, 8000, 2, 16), audio);
    shortFmt[16] = 10;  // "fmt " of 10 bytes
    auto fmtPastEnd = BuildWav(fields(1, 1, 8000, 2, 16), {});
    fmtPastEnd.resize(30);
    std::vector<std::uint8_t> recorderNoRiff(4156 + 4096, 0);  // zeros where the header belongs
    const Case cases[] = {
        {"stereo", BuildWav(fields(1, 2, 8000, 4, 16), audio), WavVerdict::Unsupported, "channels"},
        {"44.1 kHz", BuildWav(fields(1, 1, 44100, 2, 16), audio), WavVerdict::Unsupported, "44100"},
        {"16 kHz IMA ADPCM", BuildWav(fields(17, 1, 16000, 256, 4), audio), WavVerdict::Unsupported,
         "16000"},
        {"24-bit PCM", BuildWav(fields(1, 1, 8000, 3, 24), audio), WavVerdict::Unsupported,
         "24-bit"},
        {"Microsoft ADPCM", BuildWav(fields(2, 1, 8000, 256, 4), audio), WavVerdict::Unsupported,
         "Microsoft ADPCM"},
        {"MP3", BuildWav(fields(0x55, 1, 8000, 1, 0), audio), WavVerdict::Unsupported, "MP3"},
        {"float", BuildWav(fields(3, 1, 8000, 4, 32), audio), WavVerdict::Unsupported, "float"},
        {"GSM in other blocks", BuildWav(fields(49, 1, 8000, 33, 0), audio),
         WavVerdict::Unsupported, "GSM"},
        {"no RIFF", recorderNoRiff, WavVerdict::Broken, "RIFF"},
        {"RIFF but not WAVE",
         [&] {
             auto b = BuildWav({}, audio);
             b[8] = 'A';
             return b;
         }(),
         WavVerdict::Broken, "RIFF"},
        {"no data chunk", noData, WavVerdict::Broken, "data"},
        {"no format chunk",
         [&] {
             WavFields s;
             s.order = "d";
             return BuildWav(s, audio);
         }(),
         WavVerdict::Broken, "format"},
        {"format chunk too short", shortFmt, WavVerdict::Broken, "format"},
        {"format chunk past the end", fmtPastEnd, WavVerdict::Broken, "format"},
        {"header cut at 59 bytes",
         [] {
             auto b = BuildWavRecording(test::VoiceLike(8000));
             b.resize(59);
             return b;
         }(),
         WavVerdict::Broken, "data"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto layout = ParseWavLayout(ByteSpan(c.file));
        EXPECT_EQ(layout.verdict, c.verdict);
        EXPECT_NE(layout.reason.find(c.reasonHas), std::string::npos) << layout.reason;
        auto r = RecordingDecoder::Load(c.file, false);
        EXPECT_FALSE(r.decoder);
        EXPECT_EQ(r.error, c.verdict == WavVerdict::Broken ? RecordingOpenError::BrokenWav
                                                           : RecordingOpenError::UnsupportedWav);
        EXPECT_NE(r.reason.find(c.reasonHas), std::string::npos) << r.reason;
        EXPECT_EQ(r.reason.find('\n'), std::string::npos) << "one line";
    }
}

TEST(WavRecording, TheRecordersLayoutKeepsItsFixedRules) {
    // The recorder's header states the whole-run size; the audio still runs
    // to the end of the file, decoded in 256-byte blocks from byte 60.
    const auto pcm = test::VoiceLike(8000 * 3 + 77);
    auto image = BuildWavRecording(pcm);
    image.resize(image.size() + 100, 0x42);  // a tail the data chunk does not count
    const auto layout = ParseWavLayout(ByteSpan(image));
    ASSERT_TRUE(layout.Playable());
    EXPECT_TRUE(layout.recorderLayout);
    EXPECT_EQ(layout.dataOffset, 60u);
    EXPECT_EQ(layout.dataSize, image.size() - 60);
    auto d = RecordingDecoder::FromBytes(image, false);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->FormatTag(), kFormatImaAdpcm);
    EXPECT_EQ(d->TotalSeconds(), (image.size() - 60) / 4055);
    const auto want = DecodeImaPayload(ByteSpan(image).subspan(kWavRecordingHeaderSize));
    EXPECT_EQ(d->DecodeAll(), want);
    EXPECT_EQ(DescribeWavFormat(layout),
              "IMA ADPCM, 8000 Hz, mono, 256-byte blocks (recorder layout)");
}

}  // namespace
}  // namespace lk
