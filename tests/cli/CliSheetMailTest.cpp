#include <gtest/gtest.h>

#include <cstdlib>

#include <nlohmann/json.hpp>

#include "card/CallLog.h"
#include "export/ConvertXtrToWav.h"
#include "export/RecordingWriter.h"
#include "playback/XtrFormat.h"
#include "support/RunCli.h"
#include "support/SheetReadBack.h"
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

struct Call {
    int type;
    int day;
    std::u16string number;
    std::string file;  // in 201601/, "" for none
    int mark = 0;
    bool write = true;
};

// Oldest first, as the recorder writes them.
const std::vector<Call> kCalls = {
    {Incoming, 2, u"00123", "20160102102000-I-00123.xtr", 1},
    {Outgoing, 3, u"5550142", "20160103102000-O-5550142.wav"},
    {Note, 4, u"", "20160104102000-NOTE-.xtr"},
    {Missed, 5, u"5550100", "20160105102000-I-5550100.xtr", 0, false},
};

void WriteCard(const fs::path& root, const std::vector<Call>& calls) {
    std::vector<std::uint8_t> log;
    for (const Call& c : calls) {
        CardRecordFields f;
        f.type = c.type;
        f.mark = c.mark;
        f.year = 2016;
        f.month = 1;
        f.day = c.day;
        f.hour = 10;
        f.minute = 20;
        f.number = c.number;
        f.callSeconds = 65;
        f.recordSeconds = 3;
        f.relativePath = u"201601\\" + std::u16string(c.file.begin(), c.file.end());
        const auto rec = BuildCardRecord(f, 0);
        log.insert(log.end(), rec.begin(), rec.end());
        if (!c.write) continue;
        const auto path = root / "201601" / c.file;
        if (c.file.ends_with(".wav"))
            test::WriteFile(path, BuildWavRecording(Tone(8000 * 2)));
        else
            test::WriteFile(path, BuildXtrRecording(kFormatGsm, Tone(8000 * 3)));
    }
    test::WriteFile(root / kCallLogFileName, log);
}

TEST(CliSheet, WritesThePageNewestFirst) {
    if (!test::PythonHasModule("openpyxl")) GTEST_SKIP() << "python3-openpyxl is not installed";
    test::TempHome home;
    test::TempDir card, out;
    WriteCard(card.path(), kCalls);
    struct Case {
        int page;
        std::vector<int> days;  // the rows, by day
    } const cases[] = {{1, {5, 4, 3, 2}}, {0, {5, 4, 3, 2}}, {11, {5, 4, 3, 2}},
                       {2, {3}},          {3, {5, 2}},       {7, {2}}};
    for (const auto& c : cases) {
        const auto file = out / ("p" + std::to_string(c.page) + ".xlsx");
        const auto run = test::RunCli({"export-sheet", "--card", card.path().string(), "--page",
                                       std::to_string(c.page), "-o", file.string()});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const auto sheet = test::ReadSheetBack(file);
        ASSERT_FALSE(sheet.contains("error")) << sheet["error"];
        const auto& cells = sheet["cells"];
        ASSERT_EQ(cells.size(), c.days.size() + 1) << c.page;
        EXPECT_EQ(cells[0],
                  json::array({"Mark", "File", "Type", "Date and Time", "Number", "Call Length",
                               "Recording Length", "Remark", "File Path"}));
        for (std::size_t i = 0; i < c.days.size(); ++i) {
            const auto& row = cells[i + 1];
            char date[32];
            std::snprintf(date, sizeof date, "01/%02d/16 10:20:00", c.days[i]);
            EXPECT_EQ(row[3], date) << c.page;
            EXPECT_EQ(row[0], c.days[i] == 2 ? "Marked" : "") << c.page;
            EXPECT_EQ(row[1], "");
            EXPECT_EQ(row[5], "00:01:05");
        }
    }
    // The marked call keeps the leading zeros of its number; a note has none.
    const auto sheet = test::ReadSheetBack(out / "p1.xlsx");
    EXPECT_EQ(sheet["cells"][4][4], "00123 ");
    EXPECT_EQ(sheet["cells"][4][2], "Incoming");
    EXPECT_EQ(sheet["cells"][2][4], "");
    // A recording that is missing shows the stored length.
    EXPECT_EQ(sheet["cells"][1][6], "00:00:03");
    EXPECT_EQ(sheet["cells"][4][6], "00:00:03");
    EXPECT_TRUE(sheet["cells"][1][8].get<std::string>().ends_with("-I-5550100.xtr"));
}

TEST(CliSheet, CsvAndFailures) {
    test::TempHome home;
    test::TempDir card, out;
    WriteCard(card.path(), kCalls);
    auto run = test::RunCli({"export-sheet", "--card", card.path().string(), "--page", "2", "-o",
                             (out / "a.csv").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string csv = test::ReadText(out / "a.csv");
    EXPECT_TRUE(csv.starts_with(
        "\xEF\xBB\xBFMark,File,Type,Date and Time,Number,Call Length,Recording Length,Remark,"
        "File Path\r\n,,Outgoing,01/03/16 10:20:00,\"5550142 \",00:01:05,00:00:02,,"))
        << csv;

    test::WriteText(out / "plain", "x");
    run = test::RunCli({"export-sheet", "--card", card.path().string(), "-o",
                        (out / "plain" / "a.xlsx").string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("could not be created"), std::string::npos) << run.err;
    // An empty page writes nothing and is no error.
    run = test::RunCli({"export-sheet", "--card", card.path().string(), "--page", "5", "-o",
                        (out / "none.xlsx").string()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(fs::exists(out / "none.xlsx"));
    EXPECT_EQ(test::RunCli({"export-sheet", "-o", "x.xlsx"}).exitCode, 2);
    EXPECT_EQ(test::RunCli({"export-sheet", "--card", card.path().string()}).exitCode, 2);
    EXPECT_EQ(test::RunCli({"export-sheet", "--card", (out / "nope").string(), "-o",
                            (out / "b.xlsx").string()})
                  .exitCode,
              1);
}

constexpr char kReadDraft[] = R"PY(
import email, email.policy, json, sys
msg = email.message_from_bytes(open(sys.argv[1], 'rb').read(), policy=email.policy.default)
parts = list(msg.iter_parts())
print(json.dumps({"subject": str(msg["subject"]),
                  "body": parts[0].get_payload(decode=True).decode('utf-8'),
                  "files": [[p.get_filename(), p.get_payload(decode=True).hex()] for p in parts[1:]]}))
)PY";

// Notes and tags join the sheet as two columns after the nine only when a
// row shown has one, and the mail body after the call's lines.
TEST(CliSheetMail, NotesAndTagsGoWithTheExports) {
    if (!test::PythonHasModule("openpyxl")) GTEST_SKIP() << "python3-openpyxl is not installed";
    test::TempHome home;
    test::TempDir card, out;
    WriteCard(card.path(), kCalls);
    const std::string noted = kCalls[1].file;  // day 3, alone on page 2
    const std::string note = "Preis\nbestätigt";
    auto cli = [&](std::vector<std::string> args) {
        args.insert(args.begin() + 1, {"--card", card.path().string()});
        return test::RunCli(args);
    };
    auto sheet = [&](int page) {
        const auto file = out / ("p" + std::to_string(page) + ".xlsx");
        const auto run = cli({"export-sheet", "--page", std::to_string(page), "-o", file.string()});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return test::ReadSheetBack(file)["cells"];
    };
    EXPECT_EQ(sheet(1)[0].size(), 9u);
    ASSERT_EQ(cli({"note", "--file", noted, "--set", note}).exitCode, 0);
    ASSERT_EQ(cli({"tag", "--file", noted, "--add", "order", "--add", "done"}).exitCode, 0);

    struct Case {
        int page;
        std::size_t columns;
        std::vector<std::pair<std::string, std::string>> notes;  // per row: Note, Tags
    } const cases[] = {
        {1, 11, {{"", ""}, {"", ""}, {note, "done, order"}, {"", ""}}},
        {2, 11, {{note, "done, order"}}},
        {3, 9, {}},
    };
    for (const auto& c : cases) {
        const auto cells = sheet(c.page);
        ASSERT_EQ(cells[0].size(), c.columns) << c.page;
        if (c.columns == 9) continue;
        EXPECT_EQ(cells[0][9], "Note");
        EXPECT_EQ(cells[0][10], "Tags");
        ASSERT_EQ(cells.size(), c.notes.size() + 1) << c.page;
        for (std::size_t i = 0; i < c.notes.size(); ++i) {
            EXPECT_EQ(cells[i + 1][9], c.notes[i].first) << c.page << " row " << i;
            EXPECT_EQ(cells[i + 1][10], c.notes[i].second) << c.page << " row " << i;
        }
    }

    const auto eml = out / "m.eml";
    const auto run = cli({"mail", kCalls[0].file, noted, "--as-recorded", "--eml", eml.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto parsed = test::RunPython(kReadDraft, {eml.string()});
    ASSERT_EQ(parsed.exitCode, 0) << parsed.err;
    const std::string body = json::parse(parsed.out)["body"];
    EXPECT_NE(body.find("Type:Outgoing\r\nNote:Preis\r\nbestätigt\r\nTags:done, order\r\n\r\n"),
              std::string::npos)
        << body;
    EXPECT_EQ(body.find("Note:"), body.rfind("Note:")) << "only the noted call";
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string s;
    char b[3];
    for (const auto x : bytes) {
        std::snprintf(b, sizeof b, "%02x", x);
        s += b;
    }
    return s;
}

TEST(CliMail, DraftHoldsBodyAndAttachments) {
    test::TempHome home;
    test::TempDir card, out, ref;
    WriteCard(card.path(), kCalls);
    const auto xtr = card / "201601" / kCalls[0].file;
    const auto wav = card / "201601" / kCalls[1].file;
    ASSERT_EQ(ConvertXtrToWav(xtr, ref / "x.wav"), ConvertResult::Converted);
    struct Case {
        std::vector<std::string> args;
        std::vector<std::pair<std::string, fs::path>> files;  // name, bytes from
        std::size_t bodyRecords;
    } const cases[] = {
        {{kCalls[1].file, xtr.string()},
         {{kCalls[1].file, wav}, {"20160102102000-I-00123.wav", ref / "x.wav"}},
         2},
        {{kCalls[0].file, kCalls[1].file, "--as-recorded"},
         {{kCalls[0].file, xtr}, {kCalls[1].file, wav}},
         2},
        // A recording that is gone keeps its lines in the body.
        {{kCalls[3].file}, {}, 1},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"mail", "--card", card.path().string()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back("--eml");
        args.push_back((out / "m.eml").string());
        const auto run = test::RunCli(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const auto parsed = test::RunPython(kReadDraft, {(out / "m.eml").string()});
        ASSERT_EQ(parsed.exitCode, 0) << parsed.err;
        const auto j = json::parse(parsed.out);
        EXPECT_EQ(j["subject"], "Zuze Vavazo Records");
        const std::string body = j["body"];
        EXPECT_EQ(std::count(body.begin(), body.end(), '\n'),
                  static_cast<long>(5 * c.bodyRecords + 3));
        EXPECT_EQ(body.find('\n'), body.find("\r\n") + 1) << "CR LF lines";
        ASSERT_EQ(j["files"].size(), c.files.size());
        for (std::size_t i = 0; i < c.files.size(); ++i) {
            EXPECT_EQ(j["files"][i][0], c.files[i].first);
            EXPECT_EQ(j["files"][i][1], Hex(test::ReadFile(c.files[i].second)));
        }
        // The WAV copies went with the draft.
        EXPECT_TRUE(!fs::exists(home.path() / "temp") || fs::is_empty(home.path() / "temp"));
    }
    EXPECT_EQ(test::RunCli({"mail", "--card", card.path().string(), "nosuch.xtr", "--eml",
                            (out / "n.eml").string()})
                  .exitCode,
              1);
    EXPECT_FALSE(fs::exists(out / "n.eml"));
}

// A mail short of a recording says which and why, and fails; the rest goes.
TEST(CliMail, RecordingsLeftOutAreNamedAndTheCommandFails) {
    test::TempHome home;
    test::TempDir card, out;
    WriteCard(card.path(), kCalls);
    const auto broken = card / "201601" / kCalls[2].file;  // the note's recording
    test::WriteFile(broken, std::vector<std::uint8_t>(1440 + 10, 0));
    for (const bool asRecorded : {false, true}) {
        std::vector<std::string> args{
            "mail",         "--card", card.path().string(),    kCalls[0].file,
            kCalls[2].file, "--eml",  (out / "m.eml").string()};
        if (asRecorded) args.push_back("--as-recorded");
        const auto run = test::RunCli(args);
        if (asRecorded) {
            // Attached as it is: nothing is left out.
            EXPECT_EQ(run.exitCode, 0) << run.err;
            EXPECT_EQ(run.err.find("left out"), std::string::npos) << run.err;
        } else {
            EXPECT_EQ(run.exitCode, 1) << run.err;
            EXPECT_NE(run.err.find("left out of the mail: " + broken.string() +
                                   ": too short to hold a recording"),
                      std::string::npos)
                << run.err;
            EXPECT_EQ(run.err.find(kCalls[0].file), std::string::npos) << run.err;
        }
        const auto parsed = test::RunPython(kReadDraft, {(out / "m.eml").string()});
        ASSERT_EQ(parsed.exitCode, 0) << parsed.err;
        EXPECT_EQ(json::parse(parsed.out)["files"].size(), asRecorded ? 2u : 1u);
    }
}

// Stand-ins for xdg-email and xdg-open early on PATH record their arguments.
class FakeDesktop {
  public:
    FakeDesktop(int emailExit, int openExit) {
        Write("xdg-email", emailExit);
        Write("xdg-open", openExit);
        const char* old = std::getenv("PATH");
        oldPath_ = old ? old : "";
        ::setenv("PATH", (bin_.path().string() + ":" + oldPath_).c_str(), 1);
    }
    ~FakeDesktop() { ::setenv("PATH", oldPath_.c_str(), 1); }
    std::string Args(const char* tool) const {
        const auto p = bin_ / (std::string(tool) + ".args");
        return fs::exists(p) ? test::ReadText(p) : std::string();
    }

  private:
    void Write(const char* tool, int exitCode) {
        const auto p = bin_ / tool;
        test::WriteText(p, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + (bin_ / tool).string() +
                               ".args\"\nexit " + std::to_string(exitCode) + "\n");
        fs::permissions(p, fs::perms::owner_all);
    }
    test::TempDir bin_;
    std::string oldPath_;
};

TEST(CliMail, HandsTheMessageToTheDesktop) {
    test::TempHome home;
    test::TempDir card;
    WriteCard(card.path(), kCalls);
    const auto xtr = card / "201601" / kCalls[0].file;
    {
        // xdg-email takes it; the WAV copy stays for the mail program.
        FakeDesktop desktop(0, 0);
        const auto run = test::RunCli({"mail", "--card", card.path().string(), kCalls[0].file});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::string args = desktop.Args("xdg-email");
        EXPECT_NE(args.find("--subject\nZuze Vavazo Records\n"), std::string::npos) << args;
        EXPECT_NE(args.find("--body\n"), std::string::npos);
        const auto copy = home.path() / "temp" / "20160102102000-I-00123.wav";
        EXPECT_NE(args.find("--attach\n" + copy.string() + "\n"), std::string::npos) << args;
        EXPECT_TRUE(fs::exists(copy));
        EXPECT_EQ(desktop.Args("xdg-open"), "");
    }
    {
        // No mail program for xdg-email: the draft is opened instead.
        FakeDesktop desktop(3, 0);
        const auto run = test::RunCli({"mail", "--card", card.path().string(), kCalls[1].file});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const auto draft = home.path() / "temp" / "Recordings.eml";
        EXPECT_EQ(desktop.Args("xdg-open"), draft.string() + "\n");
        EXPECT_TRUE(fs::exists(draft));
    }
    {
        FakeDesktop desktop(3, 3);
        const auto run = test::RunCli({"mail", "--card", card.path().string(), kCalls[1].file});
        EXPECT_EQ(run.exitCode, 1);
    }
    {
        FakeDesktop desktop(1, 0);
        const auto run = test::RunCli({"mail", "--card", card.path().string(), kCalls[1].file});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(desktop.Args("xdg-open"), "") << "a way that failed ends the search";
    }
}

}  // namespace
}  // namespace lk
