#pragma once
// Writes the grid of a record list (a heading row, then one row per list row)
// into a spreadsheet file: .xlsx through libxlsxwriter, or .csv (UTF-8 with a
// byte order mark). Every cell is text, so "00123" keeps its zeros. The file
// appears under its name only when it is complete.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "app/ProgressReporter.h"

namespace lk {

// Where the rows come from: read one at a time, so that a long list is never
// held twice in memory.
struct SheetSource {
    std::vector<std::string> headings;  // UTF-8, one per column
    std::size_t rowCount = 0;
    // Fills `cells` (UTF-8, one per column; missing cells are empty) for row i.
    std::function<void(std::size_t row, std::vector<std::string>& cells)> row;
};

enum class SheetFormat { Xlsx, Csv };

enum class SheetWriteResult {
    Written,
    CreateFailed,  // the file could not be created at all
    WriteFailed,   // writing failed part way; nothing is left behind
    Stopped,       // a stop was asked for; nothing is left behind
};

// Xlsx unless the name ends in ".csv" (any case).
SheetFormat SheetFormatFor(const std::filesystem::path& path);

// One progress step per data row (range: the row count); `stop` is polled
// before each row.
SheetWriteResult WriteSheet(const std::filesystem::path& path, SheetFormat format,
                            const SheetSource& source, ProgressReporter& progress,
                            std::stop_token stop);
// Without progress and without a stop.
SheetWriteResult WriteSheet(const std::filesystem::path& path, SheetFormat format,
                            const SheetSource& source);

// A cell's text as the CSV file holds it: a leading apostrophe in front of
// text that starts with "=", "+", "-", "@", a tab or a carriage return (or
// the full-width "＝＋－＠"), so that a spreadsheet opening the file shows the
// text instead of computing it; anything else unchanged.
std::string CsvSafeText(std::string_view text);

// One CSV field: quoted (with doubled quotes) when it holds a comma, a quote,
// a line break or leading or trailing blanks.
std::string CsvField(std::string_view text);

// A spreadsheet row of the list: column 0 is `markText` for a marked row and
// empty otherwise, column 1 (an icon only) is empty, the rest as shown.
std::vector<std::string> SheetRowCells(std::vector<std::string> shown, bool marked,
                                       std::string_view markText);

// "Calls YYYY-MM-DD.xlsx"
std::string DefaultSheetFileName(int year, int month, int day);

}  // namespace lk
