#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "backup/ImportRecords.h"
#include "export/WavHeaders.h"
#include "platform/TextCodec.h"
#include "support/RecordedProgress.h"
#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;
using Records = std::vector<std::unique_ptr<CallRecord>>;

OutlookContact Contact(std::u16string name, std::u16string number) {
    OutlookContact c;
    SetFieldText(c.displayName, name);
    SetFieldText(c.numbers[0], number);
    return c;
}

TEST(ImportRecordFile, FollowsTheNameRules) {
    struct Case {
        const char* name;
        bool imported;
        int type;
        SystemTime time;
        const char16_t* number;
    } cases[] = {
        {"20160616123045-I-5551234.xtr",
         true,
         Incoming,
         {2016, 6, 0, 16, 12, 30, 45, 0},
         u"5551234"},
        {"20160616123045-NOTE.wav", true, Note, {2016, 6, 0, 16, 12, 30, 45, 0}, u""},
        {"20160616123045-O-.wav", true, Outgoing, {2016, 6, 0, 16, 12, 30, 45, 0}, u""},
        {"20160616123045-TRIG-1.2.wav", true, Triggered, {2016, 6, 0, 16, 12, 30, 45, 0}, u"1"},
        {"20161316123045-I-1.xtr", true, Incoming, {2016, 13, 0, 16, 12, 30, 45, 0}, u"1"},
        {"20160616123045-X-1.wav", false, 0, {}, u""},
        {"20160616123045-i-1.wav", false, 0, {}, u""},
        {"20160616123045-TRIGX-1.wav", false, 0, {}, u""},
        {"2016061612304-I-1.wav", false, 0, {}, u""},
        {"20160616250000-I-1.xtr", false, 0, {}, u""},
        {"20160600123045-I-1.xtr", false, 0, {}, u""},
        {"20160616126045-I-1.xtr", false, 0, {}, u""},
        {"20160616123045-I-5551234", false, 0, {}, u""},
        {"20160616123045-NOTE", false, 0, {}, u""},
        {"20160616123045-I-1234567890123456789012345.wav", false, 0, {}, u""},  // 46 characters
        {"20160616123045-I-1234567890123456789012345678901.x", false, 0, {}, u""},
        {"20160616123045-I-12\\..\\..\\x.wav", false, 0, {}, u""},
        {"x.wav", false, 0, {}, u""},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        const fs::path path = dir / c.name;
        Records records;
        EXPECT_EQ(ImportRecordFile(path, records, {}), c.imported) << c.name;
        if (!c.imported || records.size() != 1) {
            EXPECT_TRUE(records.empty()) << c.name;
            continue;
        }
        const CallRecord& r = *records[0];
        EXPECT_EQ(r.type, c.type) << c.name;
        EXPECT_EQ(r.time, c.time) << c.name;
        EXPECT_EQ(FieldText(r.number), c.number) << c.name;
        EXPECT_EQ(r.inUse, 1);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.marked, 0);
        EXPECT_FALSE(r.IsLive()) << "records built from names carry no card bytes";
        EXPECT_EQ(FieldText(r.filePath), FromUtf8(path.string()));
    }
}

TEST(ImportRecordFile, MeasuresTheFileAndCutsTheCardPath) {
    test::TempDir dir;
    const fs::path deep = dir / std::string(70, 'd') / "20160616123045-I-5551234.wav";
    // The recorder's WAV header, then silence.
    std::vector<std::uint8_t> wav(4156 + 4096, 0);
    const auto header = ImaAdpcmWavHeader(0, 0);
    std::copy(header.begin(), header.end(), wav.begin());
    test::WriteFile(deep, wav);
    Records records;
    ASSERT_TRUE(ImportRecordFile(deep, records, {}));
    EXPECT_EQ(records[0]->callSeconds, 2);
    EXPECT_EQ(records[0]->recordSeconds, 2);
    EXPECT_EQ(FieldText(records[0]->cardPath), FromUtf8(deep.string()).substr(0, 63));
    EXPECT_EQ(FieldText(records[0]->filePath), FromUtf8(deep.string()));
}

TEST(ImportRecordFile, RefusesPathsThatDoNotFitWhole) {
    test::TempDir dir;
    const fs::path longPath = dir / std::string(250, 'p') / "20160616123045-I-5551234.wav";
    Records records;
    EXPECT_FALSE(ImportRecordFile(longPath, records, {}));
}

TEST(ImportRecordFile, MatchesContactsByTheLastSixCharacters) {
    const ContactList contacts = {Contact(u"Short", u"1234"), Contact(u"Far", u"+44 20 555 1234"),
                                  Contact(u"Suffix", u"0015551234")};
    struct Case {
        const char* name;
        const char16_t* expected;
    } cases[] = {
        {"20160616123045-I-5551234.wav", u"Suffix"},
        {"20160616123045-I-1234.wav", u"Short"},
        {"20160616123045-I-01234.wav", u""},
        {"20160616123045-I-.wav", u""},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        Records records;
        ASSERT_TRUE(ImportRecordFile(dir / c.name, records, contacts)) << c.name;
        EXPECT_EQ(FieldText(records[0]->name), c.expected) << c.name;
    }
}

TEST(ImportFolder, ImportsEveryCandidateBelowTheFolderAndKeepsEarlierRecords) {
    test::TempDir dir;
    test::WriteText(dir / "sub/deeper/20160616123045-I-1.wav", "");
    test::WriteText(dir / "sub/20160617123045-O-2.xtr", "");
    test::WriteText(dir / "abc.wav/readme.txt", "");
    test::WriteText(dir / "abc.wav/20160618123045-N-3.wav", "");
    test::WriteText(dir / "notes.txt", "");
    test::WriteText(dir / "20160619123045-I-4.WAV", "");  // upper case: no candidate

    Records records;
    records.push_back(std::make_unique<CallRecord>());
    test::RecordedProgress progress;
    const auto result = ImportFolder(dir.path(), records, {}, progress, {});
    EXPECT_TRUE(result.folderFound);
    EXPECT_EQ(result.filesListed, 6);
    EXPECT_EQ(result.candidates, 4);
    EXPECT_EQ(result.imported, 3);
    EXPECT_EQ(result.rejected, 1);
    EXPECT_EQ(progress.positions.back(), 6);
    EXPECT_EQ(progress.totals.back(), 6);
    ASSERT_EQ(records.size(), 4u);
    std::vector<std::u16string> numbers;
    for (std::size_t i = 1; i < records.size(); ++i)
        numbers.push_back(FieldText(records[i]->number));
    // Deepest folders are listed first.
    EXPECT_EQ(numbers, (std::vector<std::u16string>{u"3", u"1", u"2"}));

    // Importing again lists the same files again.
    NoProgress none;
    ImportFolder(dir.path(), records, {}, none, {});
    EXPECT_EQ(records.size(), 7u);
}

TEST(ImportFolder, StopsBeforeTheNextFileAndReportsAMissingFolder) {
    test::TempDir dir;
    test::WriteText(dir / "20160616123045-I-1.wav", "");
    Records records;
    test::RecordedProgress progress;
    progress.source.request_stop();
    const auto stopped = ImportFolder(dir.path(), records, {}, progress, progress.Token());
    EXPECT_TRUE(stopped.stopped);
    EXPECT_TRUE(records.empty());

    NoProgress none;
    EXPECT_FALSE(ImportFolder(dir / "missing", records, {}, none, {}).folderFound);
}

// A stop mid-run keeps what was imported before it and says it stopped.
TEST(ImportFolder, AStopMidRunKeepsTheRecordsImportedSoFar) {
    test::TempDir dir;
    for (const char* name : {"20160616123045-I-1.wav", "20160616123046-I-2.wav",
                             "20160616123047-I-3.wav", "20160616123048-I-4.wav"})
        test::WriteText(dir / name, "");
    Records records;
    test::RecordedProgress progress;
    progress.stopAfter = 2;
    const auto r = ImportFolder(dir.path(), records, {}, progress, progress.Token());
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.imported, 2);
    EXPECT_EQ(records.size(), 2u);
    EXPECT_EQ(progress.positions, (std::vector<int>{1, 2}));
}

}  // namespace
}  // namespace lk
