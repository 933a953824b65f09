#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include <nlohmann/json.hpp>

#include "card/CallLog.h"
#include "core/playback/WavFixture.h"
#include "export/RecordingWriter.h"
#include "platform/ByteIo.h"
#include "playback/RecordingDecoder.h"
#include "playback/XtrFormat.h"
#include "support/RunCli.h"
#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::vector<std::int16_t> Tone(std::size_t n) {
    std::vector<std::int16_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::int16_t>(((i / 20) % 2 ? 1 : -1) * 4000 + static_cast<int>(i % 97));
    return v;
}

TEST(CliRecordings, InfoReportsHeaderLengthsAndNote) {
    test::TempHome home;
    test::TempDir dir;
    const auto note = BookmarkNote(2, 5) + "\r\nCall back tomorrow";
    test::WriteFile(dir / "a.xtr", BuildXtrRecording(kFormatImaAdpcm, Tone(8000 * 3), note));
    test::WriteFile(dir / "b.wav", BuildWavRecording(Tone(8000 * 2)));

    auto run = test::RunCli({"info", (dir / "a.xtr").string(), "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    auto j = json::parse(run.out);
    const auto payload = fs::file_size(dir / "a.xtr") - 1440;
    EXPECT_EQ(j["formatTag"], 17);
    EXPECT_EQ(j["dataOffset"], 1440);
    EXPECT_EQ(j["seconds"], payload / 4055);
    EXPECT_EQ(j["secondsRoundedUp"], (payload + 4095) / 4096);
    EXPECT_EQ(j["markedSegment"], json::array({2, 5}));
    EXPECT_EQ(j["annotation"], "Call back tomorrow");
    EXPECT_EQ(j["format"], "IMA ADPCM");
    EXPECT_EQ(j.size(), 7u);

    run = test::RunCli({"info", (dir / "b.wav").string(), "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    j = json::parse(run.out);
    EXPECT_EQ(j["formatTag"], 17);
    EXPECT_EQ(j["dataOffset"], 60);
    EXPECT_TRUE(j["markedSegment"].is_null());
    EXPECT_TRUE(j["annotation"].is_null());

    EXPECT_EQ(test::RunCli({"info", (dir / "missing.xtr").string()}).exitCode, 1);
    EXPECT_EQ(test::RunCli({"info"}).exitCode, 2);
}

TEST(CliRecordings, InfoAndDecodeReadWavFilesOfOtherToolsByTheirHeader) {
    test::TempHome home;
    test::TempDir dir;
    std::vector<std::uint8_t> pcmBytes;
    const auto tone = Tone(8000 * 2 + 400);
    for (auto v : tone)
        test::PutU16(pcmBytes, static_cast<std::uint16_t>(v));
    test::WavFields list;
    list.order = "fldl";
    test::WavFields mulaw;
    mulaw.tag = 7;
    mulaw.blockAlign = 1;
    mulaw.bits = 8;
    test::WavFields stereo;
    stereo.channels = 2;
    stereo.blockAlign = 4;
    test::WavFields mp3;
    mp3.tag = 0x55;
    mp3.blockAlign = 1;
    mp3.bits = 0;
    struct Case {
        const char* name;
        std::vector<std::uint8_t> file;
        int exitCode;
        int formatTag;
        int dataOffset;
        unsigned seconds, roundedUp;
        const char* says;  // in the one line of a refusal, or in the format
    } cases[] = {
        {"pcm.wav", test::BuildWav(list, pcmBytes), 0, 1, 62, 2, 3, "16-bit PCM, 8000 Hz, mono"},
        {"ulaw.wav", test::BuildWav(mulaw, std::vector<std::uint8_t>(8000 * 3, 0xFF)), 0, 7, 44, 3,
         3, "law, 8000 Hz, mono"},
        {"stereo.wav", test::BuildWav(stereo, pcmBytes), 1, 0, 0, 0, 0, "channels"},
        {"mp3.wav", test::BuildWav(mp3, pcmBytes), 1, 0, 0, 0, 0, "MP3"},
        {"noise.wav", std::vector<std::uint8_t>(9000, 0x5A), 1, 0, 0, 0, 0, "RIFF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = dir / c.name;
        test::WriteFile(file, c.file);
        const auto out = dir / (std::string(c.name) + ".pcm.wav");
        auto info = test::RunCli({"info", file.string(), "--json"});
        auto decode = test::RunCli({"decode", file.string(), "-o", out.string()});
        EXPECT_EQ(info.exitCode, c.exitCode) << info.err;
        EXPECT_EQ(decode.exitCode, c.exitCode) << decode.err;
        if (c.exitCode != 0) {
            for (const auto* run : {&info, &decode}) {
                EXPECT_TRUE(run->out.empty());
                EXPECT_NE(run->err.find(c.says), std::string::npos) << run->err;
                EXPECT_EQ(std::count(run->err.begin(), run->err.end(), '\n'), 1) << run->err;
            }
            EXPECT_FALSE(fs::exists(out));
            continue;
        }
        const auto j = json::parse(info.out);
        EXPECT_EQ(j["formatTag"], c.formatTag);
        EXPECT_EQ(j["dataOffset"], c.dataOffset);
        EXPECT_EQ(j["seconds"], c.seconds);
        EXPECT_EQ(j["secondsRoundedUp"], c.roundedUp);
        EXPECT_NE(j["format"].get<std::string>().find(c.says), std::string::npos) << j["format"];
        const auto wav = test::ReadFile(out);
        const auto d = RecordingDecoder::FromBytes(c.file, false);
        ASSERT_TRUE(d);
        const auto pcm = d->DecodeAll();
        ASSERT_EQ(wav.size(), 44 + 2 * pcm.size());
        for (std::size_t i = 0; i < pcm.size(); i += 331)
            ASSERT_EQ(ReadI16(wav, 44 + 2 * i), pcm[i]) << i;
    }
}

TEST(CliRecordings, DecodeWritesPcmWavThatToolsOpen) {
    test::TempHome home;
    test::TempDir dir;
    const auto image = BuildXtrRecording(kFormatGsm, Tone(8000 * 2 + 100));
    test::WriteFile(dir / "a.xtr", image);
    auto run = test::RunCli({"decode", (dir / "a.xtr").string(), "-o", (dir / "a.wav").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const auto wav = test::ReadFile(dir / "a.wav");
    const auto pcm = RecordingDecoder::FromBytes(image, true)->DecodeAll();
    ASSERT_EQ(wav.size(), 44 + 2 * pcm.size());
    EXPECT_EQ(ReadU16(wav, 20), 1);      // PCM
    EXPECT_EQ(ReadU32(wav, 24), 8000u);  // rate
    for (std::size_t i = 0; i < pcm.size(); i += 997)
        EXPECT_EQ(ReadI16(wav, 44 + 2 * i), pcm[i]);

    for (const char* check : {"ffmpeg -v error -i '%s' -f null - >/dev/null 2>&1",
                              "sox '%s' -n stat >/dev/null 2>&1"}) {
        const std::string tool(check, std::string_view(check).find(' '));
        if (std::system(("command -v " + tool + " >/dev/null").c_str()) != 0) continue;
        std::string cmd(check);
        cmd.replace(cmd.find("%s"), 2, (dir / "a.wav").string());
        EXPECT_EQ(std::system(cmd.c_str()), 0) << tool;
    }

    // Damaged input: refused with a message, nothing written.
    test::WriteFile(dir / "bad.xtr", std::vector<std::uint8_t>(5, 0));
    run = test::RunCli({"decode", (dir / "bad.xtr").string(), "-o", (dir / "bad.wav").string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(run.err.empty());
    EXPECT_FALSE(fs::exists(dir / "bad.wav"));
    EXPECT_EQ(test::RunCli({"decode", (dir / "a.xtr").string()}).exitCode, 2);
}

TEST(CliRecordings, ExportWavReportsEachFileAndSkipsNonXtr) {
    test::TempHome home;
    test::TempDir dir;
    fs::create_directories(dir / "out");
    test::WriteFile(dir / "card" / "20160616-I-555.xtr",
                    BuildXtrRecording(kFormatMuLaw, Tone(8000)));
    test::WriteFile(dir / "card" / "small.xtr",
                    BuildXtrImage(kFormatMuLaw, std::vector<std::uint8_t>(10)));
    test::WriteFile(dir / "card" / "x.wav", BuildWavRecording(Tone(8000)));

    auto run = test::RunCli(
        {"export-wav", (dir / "card" / "20160616-I-555.xtr").string(),
         (dir / "card" / "x.wav").string(), (dir / "card" / "small.xtr").string(),
         (dir / "card" / "gone.xtr").string(), "--to", (dir / "out").string(), "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto j = json::parse(run.out);
    ASSERT_EQ(j.size(), 3u);
    EXPECT_EQ(j[0]["source"], (dir / "card" / "20160616-I-555.xtr").string());
    EXPECT_EQ(j[0]["destination"], (dir / "out" / "20160616-I-555.wav").string());
    EXPECT_EQ(j[0]["result"], "Converted");
    EXPECT_EQ(j[1]["result"], "SourceTooSmall");
    EXPECT_EQ(j[2]["result"], "SourceOpenFailed");
    EXPECT_NE(run.err.find("x.wav"), std::string::npos);  // the skip is reported
    EXPECT_TRUE(fs::exists(dir / "out" / "20160616-I-555.wav"));
    EXPECT_FALSE(fs::exists(dir / "out" / "x.wav"));

    EXPECT_EQ(test::RunCli({"export-wav", (dir / "card" / "small.xtr").string()}).exitCode, 2);
    EXPECT_EQ(test::RunCli({"export-wav", (dir / "card" / "small.xtr").string(), "--to",
                            (dir / "nowhere").string()})
                  .exitCode,
              2);
}

TEST(CliRecordings, DemoCardHoldsAReadableLogAndItsRecordings) {
    test::TempHome home;
    test::TempDir dir;
    const auto run = test::RunCli({"demo-card", (dir / "card").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const auto log = test::ReadFile(dir / "card" / "CallLog.dat");
    ASSERT_EQ(log.size() % 128, 0u);
    const CardVolume card{'E', dir / "card"};
    std::set<int> types;
    std::set<std::string> months;
    int live = 0, missing = 0, recordings = 0;
    std::uintmax_t bytes = 0;
    for (std::size_t off = 0; off < log.size(); off += 128) {
        CallRecord r;
        ASSERT_TRUE(ParseCardRecord128(ByteSpan(log).subspan(off, 128), r, card, {}));
        ++live;
        types.insert(r.type);
        const auto rel = std::string(reinterpret_cast<const char*>(&log[off + card128::kPath]));
        if (rel.empty()) continue;  // missed calls have no recording
        ++recordings;
        months.insert(rel.substr(0, 6));
        auto path = rel;
        std::replace(path.begin(), path.end(), '\\', '/');
        const auto file = dir / "card" / path;
        if (!fs::exists(file)) {
            ++missing;
            continue;
        }
        bytes += fs::file_size(file);
        auto d = RecordingDecoder::Open(file);
        ASSERT_TRUE(d) << rel;
        EXPECT_GE(d->TotalSeconds(), 1u) << rel;
    }
    EXPECT_GE(live, 25);
    EXPECT_EQ(types, (std::set<int>{2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(months.size(), 2u);
    EXPECT_EQ(missing, 1);
    EXPECT_GT(recordings, 20);
    EXPECT_LT(bytes, 2u * 1024 * 1024);

    // A second run does not overwrite the card.
    EXPECT_EQ(test::RunCli({"demo-card", (dir / "card").string()}).exitCode, 1);
}

}  // namespace
}  // namespace lk
