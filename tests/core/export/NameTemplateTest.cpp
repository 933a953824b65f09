// Export names: every template either lands inside the chosen folder or is
// refused with a reason; calls that would share a name get distinct ones.
#include <gtest/gtest.h>

#include "TestSignal.h"
#include "export/BatchExport.h"
#include "export/NameTemplate.h"
#include "export/RecordingWriter.h"
#include "playback/XtrFormat.h"
#include "support/RecordedProgress.h"
#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;

NameFields Call() {
    NameFields f;
    f.year = 2024;
    f.month = 3;
    f.day = 7;
    f.hour = 9;
    f.minute = 5;
    f.second = 2;
    f.type = "Incoming";
    f.number = "0171 234567";
    f.name = "Anna Berg";
    f.file = "REC0001";
    return f;
}

TEST(NameTemplate, ExpandsFieldsAndMakesEveryPartSafe) {
    struct Case {
        const char* templ;
        NameFields fields;
        const char* want;
    };
    NameFields unsafe = Call();
    unsafe.name = "a/b\\c:d*e?f\"g<h>i|j\x01k";
    NameFields dots = Call();
    dots.name = "..";
    NameFields hidden = Call();
    hidden.name = " .secret. ";
    NameFields empty = Call();
    empty.name.clear();
    empty.number.clear();
    NameFields noTime = Call();
    noTime.year = 0;
    NameFields noFile = Call();
    noFile.file.clear();
    noFile.name.clear();
    NameFields longName = Call();
    longName.name = std::string(151, 'x');
    for (int i = 0; i < 30; ++i)
        longName.name += "\xc3\xa4";  // byte 200 falls inside a character
    const Case cases[] = {
        {"{file}", Call(), "REC0001"},
        {"{date} {time} {type} {number} {name}", Call(),
         "2024-03-07 09-05-02 Incoming 0171 234567 Anna Berg"},
        {"{year}/{month}/{day}/{hour}{minute}{second} {name}", Call(),
         "2024/03/07/090502 Anna Berg"},
        {"{name}", unsafe, "a_b_c_d_e_f_g_h_i_j_k"},
        {"calls/{name}", dots, "calls/REC0001"},  // ".." trimmed to nothing: own name
        {"{name}/{file}", dots, "REC0001"},       // an empty folder is left out
        {"{name}", hidden, "secret"},             // never a hidden file
        {"{name}{number}", empty, "REC0001"},     // all empty: the recording's name
        {"{year}/{file}", noTime, "REC0001"},     // unknown time: no year folder
        {"{name}", noFile, "recording"},          // nothing at all
        {"C:{name}", Call(), "C_Anna Berg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.templ);
        std::string error;
        const auto t = NameTemplate::Parse(c.templ, &error);
        ASSERT_TRUE(t) << error;
        EXPECT_EQ(t->Expand(c.fields), fs::path(c.want));
    }
    const auto cut = NameTemplate::Parse("{name}")->Expand(longName).string();
    EXPECT_EQ(cut.size(), 199u);
}

TEST(NameTemplate, RefusesTemplatesThatLeaveTheFolderOrCannotBeRead) {
    for (const char* bad : {"", "/tmp/{file}", "../{file}", "a/../{file}", "./{file}", "a//{file}",
                            "{file}/", "{nope}", "{file", "file}", "{year/{file}"}) {
        SCOPED_TRACE(bad);
        std::string error;
        EXPECT_FALSE(NameTemplate::Parse(bad, &error));
        EXPECT_FALSE(error.empty());
    }
}

std::vector<ExportItem> ThreeCallsOfOneMinute(const fs::path& source) {
    std::vector<ExportItem> items;
    for (const char* file : {"A", "B", "C"}) {
        auto f = Call();
        f.file = file;
        items.push_back({source, f});
    }
    items[2].fields.name = "ANNA BERG";  // differs only in letter case
    return items;
}

TEST(BatchExport, CallsSharingANameGetDistinctFilesInsideTheFolder) {
    test::TempDir dir;
    const auto xtr = dir / "src.xtr";
    test::WriteFile(xtr, BuildXtrRecording(kFormatGsm, test::VoiceLike(4000)));
    fs::create_directory(dir / "out");
    BatchExportOptions options;
    options.format = AudioFormat::Flac;
    options.folder = dir / "out";
    options.names = *NameTemplate::Parse("{year}/{month}/{name}");
    const auto items = ThreeCallsOfOneMinute(xtr);
    NoProgress none;
    const auto result = ExportBatch(items, options, none, {});
    ASSERT_EQ(result.outcomes.size(), 3u);
    EXPECT_EQ(result.Count(ExportStatus::Written), 3u);
    const auto folder = dir / "out" / "2024" / "03";
    EXPECT_EQ(result.outcomes[0].destination, folder / "Anna Berg.flac");
    EXPECT_EQ(result.outcomes[1].destination, folder / "Anna Berg (2).flac");
    EXPECT_EQ(result.outcomes[2].destination, folder / "ANNA BERG (3).flac");
    for (const auto& o : result.outcomes)
        EXPECT_TRUE(fs::is_regular_file(o.destination)) << o.destination;
}

TEST(BatchExport, ExistingFilesFailSkipOrKeepBothButAreNeverReplaced) {
    test::TempDir dir;
    const auto xtr = dir / "src.xtr";
    test::WriteFile(xtr, BuildXtrRecording(kFormatGsm, test::VoiceLike(4000)));
    struct Case {
        ExistingFiles existing;
        ExportStatus status;
        const char* destination;
    };
    for (const auto& c : {Case{ExistingFiles::Fail, ExportStatus::Exists, "A.opus"},
                          Case{ExistingFiles::Skip, ExportStatus::Skipped, "A.opus"},
                          Case{ExistingFiles::KeepBoth, ExportStatus::Written, "A (2).opus"}}) {
        SCOPED_TRACE(c.destination);
        fs::remove_all(dir / "out");
        fs::create_directory(dir / "out");
        test::WriteText(dir / "out" / "A.opus", "keep me");
        BatchExportOptions options;
        options.format = AudioFormat::Opus;
        options.folder = dir / "out";
        options.existing = c.existing;
        NameFields f;
        f.file = "A";
        NoProgress none;
        const auto result = ExportBatch({{xtr, f}}, options, none, {});
        ASSERT_EQ(result.outcomes.size(), 1u);
        EXPECT_EQ(result.outcomes[0].result.status, c.status);
        EXPECT_EQ(result.outcomes[0].destination.filename(), c.destination);
        EXPECT_EQ(test::ReadText(dir / "out" / "A.opus"), "keep me");
        EXPECT_EQ(result.Failed(), c.existing == ExistingFiles::Fail ? 1u : 0u);
    }
}

TEST(BatchExport, AFolderLinkedElsewhereIsNotWrittenThrough) {
    test::TempDir dir;
    const auto xtr = dir / "src.xtr";
    test::WriteFile(xtr, BuildXtrRecording(kFormatGsm, test::VoiceLike(4000)));
    fs::create_directories(dir / "out");
    fs::create_directories(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", dir / "out" / "2024");
    BatchExportOptions options;
    options.format = AudioFormat::Wav;
    options.folder = dir / "out";
    options.names = *NameTemplate::Parse("{year}/{file}");
    NoProgress none;
    auto f = Call();
    const auto result = ExportBatch({{xtr, f}}, options, none, {});
    ASSERT_EQ(result.outcomes.size(), 1u);
    EXPECT_EQ(result.outcomes[0].result.status, ExportStatus::WriteFailed);
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
}

TEST(BatchExport, StopEndsBetweenFilesAndFailuresDoNotStopTheRest) {
    test::TempDir dir;
    test::WriteFile(dir / "good.xtr", BuildXtrRecording(kFormatGsm, test::VoiceLike(4000)));
    test::WriteFile(dir / "bad.xtr", {1, 2});
    std::vector<ExportItem> items;
    for (const char* f : {"bad", "good"}) {
        NameFields fields;
        fields.file = f;
        items.push_back({dir / (std::string(f) + ".xtr"), fields});
    }
    fs::create_directory(dir / "out");
    BatchExportOptions options;
    options.format = AudioFormat::Mp3;
    options.folder = dir / "out";
    NoProgress none;
    auto result = ExportBatch(items, options, none, {});
    ASSERT_EQ(result.outcomes.size(), 2u);
    EXPECT_EQ(result.outcomes[0].result.status, ExportStatus::CannotDecode);
    EXPECT_EQ(result.outcomes[1].result.status, ExportStatus::Written);
    EXPECT_EQ(result.Failed(), 1u);

    test::RecordedProgress progress;
    progress.stopAfter = 1;  // during the first file
    fs::remove_all(dir / "out");
    fs::create_directory(dir / "out");
    result = ExportBatch(items, options, progress, progress.Token());
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(result.outcomes.size(), 1u);
}

}  // namespace
}  // namespace lk
