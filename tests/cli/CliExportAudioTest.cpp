// export-audio: a page or named files into a folder in a format, one line per
// file, a failure in the exit code, nothing replaced.
#include <gtest/gtest.h>

#include <set>

#include <nlohmann/json.hpp>

#include "card/CallLog.h"
#include "export/RecordingWriter.h"
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
        v[i] = static_cast<std::int16_t>(((i / 25) % 2 ? 1 : -1) * 5000);
    return v;
}

// Two incoming calls from one number in one minute, an outgoing call, and a
// missed call without a recording; GSM recordings in 201601/.
void WriteCard(const fs::path& root) {
    struct Call {
        int type;
        std::u16string number;
        std::string file;
    };
    const Call calls[] = {{Incoming, u"5550100", "a.xtr"},
                          {Incoming, u"5550100", "b.xtr"},
                          {Outgoing, u"5550142", "c.xtr"},
                          {Missed, u"5550199", ""}};
    std::vector<std::uint8_t> log;
    for (const Call& c : calls) {
        CardRecordFields f;
        f.type = c.type;
        f.year = 2016;
        f.month = 1;
        f.day = 2;
        f.hour = 10;
        f.minute = 20;
        f.number = c.number;
        f.callSeconds = 5;
        f.recordSeconds = 2;
        if (!c.file.empty()) {
            f.relativePath = u"201601\\" + std::u16string(c.file.begin(), c.file.end());
            test::WriteFile(root / "201601" / c.file, BuildXtrRecording(kFormatGsm, Tone(16000)));
        }
        const auto rec = BuildCardRecord(f, 0);
        log.insert(log.end(), rec.begin(), rec.end());
    }
    test::WriteFile(root / kCallLogFileName, log);
}

TEST(CliExportAudio, PageOfACardWithATemplate) {
    test::TempHome home;
    test::TempDir card, out;
    WriteCard(card.path());
    auto run = test::RunCli({"export-audio", "--format", "mp3", "--to", out.path().string(),
                             "--template", "{year}/{type} {number} {hour}-{minute}", "--card",
                             card.path().string(), "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto rows = json::parse(run.out);
    ASSERT_EQ(rows.size(), 3u);  // the missed call has no recording
    std::set<std::string> names;
    for (const auto& row : rows) {
        EXPECT_EQ(row["result"], "written");
        const fs::path destination = row["destination"].get<std::string>();
        EXPECT_TRUE(fs::is_regular_file(destination));
        EXPECT_EQ(destination.parent_path(), out / "2016");
        names.insert(destination.filename().string());
    }
    EXPECT_EQ(names,
              (std::set<std::string>{"Incoming 5550100 10-20.mp3", "Incoming 5550100 10-20 (2).mp3",
                                     "Outgoing 5550142 10-20.mp3"}));

    // Page 2 (outgoing calls) alone, by default under the recordings' names.
    test::TempDir page;
    run = test::RunCli({"export-audio", "--format", "opus", "--to", page.path().string(), "--card",
                        card.path().string(), "--page", "2"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::is_regular_file(page / "c.opus"));
    EXPECT_EQ(std::distance(fs::directory_iterator(page.path()), fs::directory_iterator()), 1);
    EXPECT_NE(run.out.find("c.opus: written"), std::string::npos) << run.out;
}

TEST(CliExportAudio, FilesFailuresAndExistingFiles) {
    test::TempHome home;
    test::TempDir dir, out;
    test::WriteFile(dir / "good.xtr", BuildXtrRecording(kFormatGsm, Tone(8000)));
    test::WriteFile(dir / "bad.xtr", {1, 2, 3});
    const auto args = [&](std::vector<std::string> more) {
        std::vector<std::string> a = {"export-audio", "--format", "flac", "--to",
                                      out.path().string()};
        a.insert(a.end(), more.begin(), more.end());
        return a;
    };
    // One undecodable file: listed as failed, the other written, exit 1.
    auto run = test::RunCli(args({(dir / "bad.xtr").string(), (dir / "good.xtr").string()}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("bad.flac: cannot decode"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("good.flac: written"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(out / "bad.flac"));
    const auto size = fs::file_size(out / "good.flac");

    // Again: the file exists and is not replaced, unless asked to keep both.
    run = test::RunCli(args({(dir / "good.xtr").string()}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("good.flac: exists"), std::string::npos) << run.out;
    EXPECT_EQ(fs::file_size(out / "good.flac"), size);
    EXPECT_EQ(test::RunCli(args({"--existing", "skip", (dir / "good.xtr").string()})).exitCode, 0);
    run = test::RunCli(args({"--existing", "keep-both", (dir / "good.xtr").string()}));
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_TRUE(fs::is_regular_file(out / "good (2).flac"));

    // Templates that would leave the folder, and bad arguments, are refused.
    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"--template", "../{file}", (dir / "good.xtr").string()},
             {"--template", "/tmp/{file}", (dir / "good.xtr").string()},
             {"--template", "{nope}", (dir / "good.xtr").string()},
             {},
             {"--card", dir.path().string(), (dir / "good.xtr").string()}}) {
        EXPECT_EQ(test::RunCli(args(bad)).exitCode, 2);
    }
    EXPECT_EQ(test::RunCli({"export-audio", "--format", "ogg", "--to", out.path().string(),
                            (dir / "good.xtr").string()})
                  .exitCode,
              2);
}

TEST(CliExportAudio, MailCarriesCompactCopies) {
    test::TempHome home;
    test::TempDir card, out;
    WriteCard(card.path());
    for (const char* as : {"mp3", "opus"}) {
        SCOPED_TRACE(as);
        const auto eml = out / (std::string(as) + ".eml");
        const auto run = test::RunCli({"mail", "--card", card.path().string(), "a.xtr", "c.xtr",
                                       "--attach-as", as, "--eml", eml.string()});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const auto text = test::ReadText(eml);
        EXPECT_NE(text.find("a." + std::string(as)), std::string::npos);
        EXPECT_NE(text.find("c." + std::string(as)), std::string::npos);
        EXPECT_EQ(text.find("a.wav"), std::string::npos);
    }
    EXPECT_EQ(test::RunCli({"mail", "--card", card.path().string(), "a.xtr", "--attach-as", "ogg",
                            "--eml", (out / "x.eml").string()})
                  .exitCode,
              2);
}

}  // namespace
}  // namespace lk
