#include "export/SheetWriter.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include "support/RecordedProgress.h"
#include "support/SheetReadBack.h"
#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;
using Grid = std::vector<std::vector<std::string>>;

const std::vector<std::string> kHeadings{"Mark", "File",   "Type",   "Date", "Number",
                                         "Call", "Length", "Remark", "Path"};

SheetSource SourceOf(const Grid& rows) {
    SheetSource s;
    s.headings = kHeadings;
    s.rowCount = rows.size();
    s.row = [&rows](std::size_t i, std::vector<std::string>& cells) { cells = rows[i]; };
    return s;
}

// A long list whose rows are made on demand.
SheetSource LongSource(std::size_t n) {
    SheetSource s;
    s.headings = kHeadings;
    s.rowCount = n;
    // Varied texts, so that the zipped workbook cannot shrink them away.
    s.row = [](std::size_t i, std::vector<std::string>& cells) {
        cells.clear();
        std::uint64_t x = i * 0x9E3779B97F4A7C15ull + 1;
        for (int c = 0; c < 9; ++c) {
            std::string text;
            for (int k = 0; k < 4; ++k) {
                x ^= x << 13;
                x ^= x >> 7;
                x ^= x << 17;
                text += std::to_string(x);
            }
            cells.push_back(text);
        }
    };
    return s;
}

std::vector<std::string> Files(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    return names;
}

bool HaveOpenpyxl() {
    static const bool have = test::PythonHasModule("openpyxl");
    return have;
}

const Grid kThreeRows{
    SheetRowCells({"", "", "Incoming", "06/16/16 10:20:30", "00123 Ann", "00:01:05", "00:01:04", "",
                   "/c/201606/20160616102030-I-00123.xtr"},
                  true, "Marked"),
    SheetRowCells({"", "", "Outgoing", "06/16/16 11:00:00", "0044 Bäckerei Müller", "00:00:09",
                   "00:00:08", "call back, soon", "/c/201606/b.wav"},
                  false, "Marked"),
    SheetRowCells(
        {"", "", "Note", "06/17/16 09:00:00", "", "00:00:00", "00:00:03", "", "/c/201606/n.xtr"},
        true, "Marked"),
};

TEST(SheetWriter, XlsxHoldsTheGridAsFormattedText) {
    if (!HaveOpenpyxl()) GTEST_SKIP() << "python3-openpyxl is not installed";
    test::TempDir dir;
    const auto file = dir / "Calls.xlsx";
    test::RecordedProgress progress;
    ASSERT_EQ(WriteSheet(file, SheetFormat::Xlsx, SourceOf(kThreeRows), progress, {}),
              SheetWriteResult::Written);
    EXPECT_EQ(progress.positions, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(progress.totals, (std::vector<int>{3, 3, 3, 3}));
    EXPECT_EQ(progress.ends, 1);
    EXPECT_EQ(Files(dir.path()), std::vector<std::string>{"Calls.xlsx"});

    const auto sheet = test::ReadSheetBack(file);
    ASSERT_FALSE(sheet.contains("error")) << sheet["error"];
    EXPECT_EQ(sheet["sheets"], 1);
    EXPECT_EQ(sheet["rows"], 4);
    EXPECT_EQ(sheet["cols"], 9);
    const auto& cells = sheet["cells"];
    for (std::size_t c = 0; c < 9; ++c)
        EXPECT_EQ(cells[0][c], kHeadings[c]) << "heading " << c;
    for (std::size_t r = 0; r < 3; ++r)
        for (std::size_t c = 0; c < 9; ++c)
            EXPECT_EQ(cells[r + 1][c], kThreeRows[r][c]) << "row " << r << " col " << c;
    // Leading zeros survive because the cells are text, not numbers.
    EXPECT_EQ(cells[1][4], "00123 Ann");
    EXPECT_EQ(cells[2][4], "0044 Bäckerei Müller");
    // Marked rows only carry the mark; column B is always empty.
    EXPECT_EQ(cells[1][0], "Marked");
    EXPECT_EQ(cells[2][0], "");
    EXPECT_EQ(cells[3][0], "Marked");
    for (std::size_t r = 1; r < 4; ++r)
        EXPECT_EQ(cells[r][1], "");
    // Every non-empty cell is stored as a string.
    for (std::size_t r = 0; r < 4; ++r)
        for (std::size_t c = 0; c < 9; ++c)
            if (cells[r][c] != "") {
                EXPECT_EQ(sheet["types"][r][c], "s") << r << "," << c;
            }

    EXPECT_EQ(sheet["formats"], nlohmann::json::array({"@"}));
    EXPECT_EQ(sheet["borders"],
              nlohmann::json::array({"thin:FF000000,thin:FF000000,thin:FF000000,thin:FF000000"}));
    EXPECT_EQ(sheet["align"], nlohmann::json::array({"center/center"}));
    for (const char* col : {"A", "B", "C", "D", "E", "F", "G", "H", "I"}) {
        ASSERT_TRUE(sheet["widths"].contains(col)) << col;
        // Width 20 in characters, stored with the cell padding.
        EXPECT_NEAR(sheet["widths"][col].get<double>(), 20.71, 0.01) << col;
    }
}

TEST(SheetWriter, CsvFieldsAreQuotedOnlyWhereNeeded) {
    struct Case {
        std::string in, out;
    } const cases[] = {
        {"", ""},
        {"00123", "00123"},
        {"plain text", "plain text"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\r\nlines", "\"two\r\nlines\""},
        {"line\nfeed", "\"line\nfeed\""},
        {" padded", "\" padded\""},
        {"trailing ", "\"trailing \""},
        {"Müller", "Müller"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CsvField(c.in), c.out) << c.in;
}

TEST(SheetWriter, CsvIsTheSameGridWithByteOrderMark) {
    test::TempDir dir;
    const auto file = dir / "Calls.csv";
    ASSERT_EQ(SheetFormatFor(file), SheetFormat::Csv);
    ASSERT_EQ(WriteSheet(file, SheetFormat::Csv, SourceOf(kThreeRows)), SheetWriteResult::Written);
    const std::string text = test::ReadText(file);
    const std::string expected =
        "\xEF\xBB\xBFMark,File,Type,Date,Number,Call,Length,Remark,Path\r\n"
        "Marked,,Incoming,06/16/16 10:20:30,00123 Ann,00:01:05,00:01:04,,"
        "/c/201606/20160616102030-I-00123.xtr\r\n"
        ",,Outgoing,06/16/16 11:00:00,0044 Bäckerei Müller,00:00:09,00:00:08,"
        "\"call back, soon\",/c/201606/b.wav\r\n"
        "Marked,,Note,06/17/16 09:00:00,,00:00:00,00:00:03,,/c/201606/n.xtr\r\n";
    EXPECT_EQ(text, expected);
}

TEST(SheetWriter, FormatFollowsTheFileName) {
    struct Case {
        const char* name;
        SheetFormat format;
    } const cases[] = {{"a.xlsx", SheetFormat::Xlsx},
                       {"a.CSV", SheetFormat::Csv},
                       {"a.csv", SheetFormat::Csv},
                       {"a", SheetFormat::Xlsx},
                       {"a.csv.xlsx", SheetFormat::Xlsx}};
    for (const auto& c : cases)
        EXPECT_EQ(SheetFormatFor(c.name), c.format) << c.name;
    EXPECT_EQ(DefaultSheetFileName(2016, 6, 1), "Calls 2016-06-01.xlsx");
}

TEST(SheetWriter, RowCellsKeepOnlyTheMarkInColumnA) {
    EXPECT_EQ(SheetRowCells({"x", "y", "Incoming"}, true, "M"),
              (std::vector<std::string>{"M", "", "Incoming"}));
    EXPECT_EQ(SheetRowCells({"x", "y", "Incoming"}, false, "M"),
              (std::vector<std::string>{"", "", "Incoming"}));
    EXPECT_EQ(SheetRowCells({}, true, "M"), (std::vector<std::string>{"M", ""}));
}

TEST(SheetWriter, AFolderThatCannotHoldTheFileLeavesNothing) {
    test::TempDir dir;
    test::WriteText(dir / "plain", "a file, not a folder");
    for (const auto format : {SheetFormat::Xlsx, SheetFormat::Csv}) {
        EXPECT_EQ(WriteSheet(dir / "plain" / "Calls.xlsx", format, SourceOf(kThreeRows)),
                  SheetWriteResult::CreateFailed);
        EXPECT_EQ(WriteSheet(dir / "missing" / "Calls.csv", format, SourceOf(kThreeRows)),
                  SheetWriteResult::CreateFailed);
    }
    EXPECT_EQ(Files(dir.path()), std::vector<std::string>{"plain"});
}

// A disk that fills up part way: the file size limit makes every write past
// it fail (EFBIG), for root as for anyone.
TEST(SheetWriter, AWriteFailingPartWayLeavesNoFile) {
    for (const auto format : {SheetFormat::Xlsx, SheetFormat::Csv}) {
        test::TempDir dir;
        const auto file = dir / (format == SheetFormat::Csv ? "big.csv" : "big.xlsx");
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{256 * 1024, 256 * 1024};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            const auto result = WriteSheet(file, format, LongSource(20000));
            ::_exit(static_cast<int>(result));
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(SheetWriteResult::WriteFailed)) << file;
        EXPECT_TRUE(Files(dir.path()).empty()) << file;
    }
}

TEST(SheetWriter, StoppingLeavesNoFile) {
    for (const auto format : {SheetFormat::Xlsx, SheetFormat::Csv}) {
        test::TempDir dir;
        test::RecordedProgress progress;
        progress.stopAfter = 10;
        EXPECT_EQ(WriteSheet(dir / "a.xlsx", format, LongSource(100), progress, progress.Token()),
                  SheetWriteResult::Stopped);
        EXPECT_EQ(progress.positions.size(), 10u);
        EXPECT_TRUE(Files(dir.path()).empty());
    }
}

// Cells a spreadsheet would compute or turn into numbers, read back by an
// independent CSV reader: each keeps its text, behind an apostrophe where it
// starts like a formula. The workbook keeps them as they are, as text cells.
TEST(SheetWriter, FormulaLikeCellsStayText) {
    struct Case {
        std::string cell, csv;
    } const cases[] = {
        {"+4930123456", "'+4930123456"},
        {"=HYPERLINK(\"http://x\",\"y\")", "'=HYPERLINK(\"http://x\",\"y\")"},
        {"-2+3", "'-2+3"},
        {"@SUM(A1:A2)", "'@SUM(A1:A2)"},
        {"\t=1+1", "'\t=1+1"},
        {"\r=1+1", "'\r=1+1"},
        {"\xEF\xBC\x9D"
         "1+1",
         "'\xEF\xBC\x9D"
         "1+1"},  // full-width equals sign
        {"0049 30 123", "0049 30 123"},
        {"call back: +49 30", "call back: +49 30"},
        {"'quoted", "'quoted"},
        {"", ""},
    };
    Grid rows;
    for (const auto& c : cases)
        rows.push_back({"", "", "Incoming", "06/16/16 10:20:30", c.cell, "", "", c.cell, ""});
    test::TempDir dir;
    ASSERT_EQ(WriteSheet(dir / "a.csv", SheetFormat::Csv, SourceOf(rows)),
              SheetWriteResult::Written);
    const auto run = test::RunPython(R"PY(
import csv, json, sys
with open(sys.argv[1], newline="", encoding="utf-8-sig") as f:
    print(json.dumps(list(csv.reader(f))))
)PY",
                                     {(dir / "a.csv").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto grid = nlohmann::json::parse(run.out);
    ASSERT_EQ(grid.size(), std::size(cases) + 1);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(grid[i + 1][4], cases[i].csv) << i;
        EXPECT_EQ(grid[i + 1][7], cases[i].csv) << i;
        EXPECT_EQ(grid[i + 1][3], "06/16/16 10:20:30") << i;
    }

    if (!HaveOpenpyxl()) GTEST_SKIP() << "python3-openpyxl is not installed";
    ASSERT_EQ(WriteSheet(dir / "a.xlsx", SheetFormat::Xlsx, SourceOf(rows)),
              SheetWriteResult::Written);
    const auto sheet = test::ReadSheetBack(dir / "a.xlsx");
    ASSERT_FALSE(sheet.contains("error")) << sheet["error"];
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        if (cases[i].cell.empty() || cases[i].cell.front() == '\r') continue;  // XML drops CR
        EXPECT_EQ(sheet["cells"][i + 1][4], cases[i].cell) << i;
        EXPECT_EQ(sheet["types"][i + 1][4], "s") << i;
    }
}

// Someone sharing the destination folder plants links and files under the
// names an export might pick for its temporary file: the export still
// succeeds and none of them, nor what they point at, is touched.
TEST(SheetWriter, PlantedTemporaryNamesAreNeverWrittenThrough) {
    test::TempDir dir;
    const auto victim = dir / "victim.txt";
    test::WriteText(victim, "precious");
    const auto planted = [&](const fs::path& dest) {
        std::vector<fs::path> names;
        for (unsigned n = 0; n < 64; ++n) {
            fs::path name = dest;
            name += ".part-" + std::to_string(::getpid()) + "-" + std::to_string(n);
            names.push_back(name);
        }
        for (const char* suffix : {".part", ".tmp", "~", ".part-", ".part-XXXXXX"}) {
            fs::path name = dest;
            name += suffix;
            names.push_back(name);
        }
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (i % 2 == 0)
                fs::create_symlink(victim, names[i]);
            else
                test::WriteText(names[i], "someone else's");
        }
        return names;
    };
    std::size_t expectedFiles = 1;  // the victim
    for (const auto format : {SheetFormat::Xlsx, SheetFormat::Csv}) {
        const auto dest = dir / (format == SheetFormat::Csv ? "Calls.csv" : "Calls.xlsx");
        const auto names = planted(dest);
        expectedFiles += names.size() + 1;
        for (int round = 0; round < 3; ++round)
            ASSERT_EQ(WriteSheet(dest, format, SourceOf(kThreeRows)), SheetWriteResult::Written);
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dest)));
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (i % 2 == 0) {
                EXPECT_TRUE(fs::is_symlink(fs::symlink_status(names[i]))) << names[i];
            } else {
                EXPECT_EQ(test::ReadText(names[i]), "someone else's") << names[i];
            }
        }
        // Only the export and the planted names are there.
        EXPECT_EQ(Files(dir.path()).size(), expectedFiles);
    }
    EXPECT_EQ(test::ReadText(victim), "precious");
}

TEST(SheetWriter, AnExistingFileIsReplacedWhole) {
    test::TempDir dir;
    const auto file = dir / "a.csv";
    test::WriteText(file, std::string(100000, 'x'));
    ASSERT_EQ(WriteSheet(file, SheetFormat::Csv, SourceOf(kThreeRows)), SheetWriteResult::Written);
    ASSERT_EQ(WriteSheet(dir / "b.csv", SheetFormat::Csv, SourceOf(kThreeRows)),
              SheetWriteResult::Written);
    EXPECT_EQ(test::ReadText(file), test::ReadText(dir / "b.csv"));
}

}  // namespace
}  // namespace lk
