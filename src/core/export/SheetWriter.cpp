#include "export/SheetWriter.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>

#include <xlsxwriter.h>

#include "platform/AtomicFile.h"
#include "platform/ByteIo.h"

namespace lk {
namespace fs = std::filesystem;

namespace {

constexpr double kColumnWidth = 20.0;

// Puts the finished file in place; an uncommitted one is removed with its writer.
SheetWriteResult Finish(AtomicFileWriter& out) {
    return out.Commit() ? SheetWriteResult::Written : SheetWriteResult::WriteFailed;
}

// Uncompressed size of one member of a finished zip file, read from its
// central directory; nullopt when the file does not end in a whole directory.
std::optional<std::uint64_t> ZipMemberSize(const fs::path& zip, std::string_view member) {
    std::ifstream in(zip, std::ios::binary);
    if (!in) return std::nullopt;
    in.seekg(0, std::ios::end);
    const auto fileSize = static_cast<std::uint64_t>(in.tellg());
    constexpr std::uint64_t kEndRecord = 22, kMaxComment = 0xFFFF;
    if (fileSize < kEndRecord) return std::nullopt;
    const std::uint64_t tailSize = std::min(fileSize, kEndRecord + kMaxComment);
    std::vector<std::uint8_t> tail(tailSize);
    in.seekg(static_cast<std::streamoff>(fileSize - tailSize));
    in.read(reinterpret_cast<char*>(tail.data()), static_cast<std::streamsize>(tailSize));
    if (!in) return std::nullopt;
    std::size_t end = tail.size() - kEndRecord + 1;
    while (end-- > 0)
        if (ReadU32(tail, end) == 0x06054b50) break;
    if (end == static_cast<std::size_t>(-1)) return std::nullopt;
    const std::uint64_t dirSize = ReadU32(tail, end + 12);
    const std::uint64_t dirOffset = ReadU32(tail, end + 16);
    if (dirOffset + dirSize > fileSize) return std::nullopt;
    std::vector<std::uint8_t> dir(dirSize);
    in.seekg(static_cast<std::streamoff>(dirOffset));
    in.read(reinterpret_cast<char*>(dir.data()), static_cast<std::streamsize>(dirSize));
    if (!in) return std::nullopt;
    for (std::size_t pos = 0; pos + 46 <= dir.size();) {
        if (ReadU32(dir, pos) != 0x02014b50) return std::nullopt;
        const std::size_t nameLength = ReadU16(dir, pos + 28);
        const std::size_t next =
            pos + 46 + nameLength + ReadU16(dir, pos + 30) + ReadU16(dir, pos + 32);
        if (pos + 46 + nameLength > dir.size()) return std::nullopt;
        const std::string_view name(reinterpret_cast<const char*>(dir.data() + pos + 46),
                                    nameLength);
        if (name == member) return ReadU32(dir, pos + 24);
        pos = next;
    }
    return std::nullopt;
}

SheetWriteResult WriteXlsx(const fs::path& path, const SheetSource& source,
                           ProgressReporter& progress, const std::stop_token& stop) {
    // libxlsxwriter opens its output by name, and only when the workbook is
    // closed. It is handed the temporary file already created (safely, and
    // early, so that a folder that refuses new files is told apart from a
    // write that fails later), by a name that reaches that very file.
    AtomicFileWriter out;
    if (!out.Open(path)) return SheetWriteResult::CreateFailed;
    const fs::path temp = out.HandlePath();
    // Rows are written in order and flushed as they go: memory stays flat
    // however long the list is.
    lxw_workbook_options wbOptions{};
    wbOptions.constant_memory = LXW_TRUE;
    const std::string tempName = temp.string();
    lxw_workbook* book = workbook_new_opt(tempName.c_str(), &wbOptions);
    if (book == nullptr) return SheetWriteResult::WriteFailed;
    lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);
    lxw_format* cell = workbook_add_format(book);
    bool ok = sheet != nullptr && cell != nullptr;
    if (ok) {
        format_set_num_format(cell, "@");
        format_set_border(cell, LXW_BORDER_THIN);
        format_set_border_color(cell, LXW_COLOR_BLACK);
        format_set_align(cell, LXW_ALIGN_CENTER);
        format_set_align(cell, LXW_ALIGN_VERTICAL_CENTER);
    }
    const auto columns = static_cast<lxw_col_t>(source.headings.size());
    if (ok && columns > 0)
        ok = worksheet_set_column(sheet, 0, static_cast<lxw_col_t>(columns - 1), kColumnWidth,
                                  nullptr) == LXW_NO_ERROR;
    std::uint64_t textBytes = 0;
    for (lxw_col_t c = 0; ok && c < columns; ++c) {
        ok = worksheet_write_string(sheet, 0, c, source.headings[c].c_str(), cell) == LXW_NO_ERROR;
        textBytes += source.headings[c].size();
    }
    std::vector<std::string> cells;
    bool stopped = false;
    for (std::size_t r = 0; ok && r < source.rowCount; ++r) {
        if (ShouldStop(stop, progress)) {
            stopped = true;
            break;
        }
        cells.clear();
        source.row(r, cells);
        cells.resize(columns);
        const auto rowIndex = static_cast<lxw_row_t>(r + 1);
        for (lxw_col_t c = 0; ok && c < columns; ++c) {
            ok = worksheet_write_string(sheet, rowIndex, c, cells[c].c_str(), cell) == LXW_NO_ERROR;
            textBytes += cells[c].size();
        }
        if (ok) progress.Step(static_cast<int>(r + 1), static_cast<int>(source.rowCount), {});
    }
    const lxw_error closed = workbook_close(book);  // frees the workbook in every case
    if (!ok || stopped || closed != LXW_NO_ERROR)
        return stopped ? SheetWriteResult::Stopped : SheetWriteResult::WriteFailed;
    // libxlsxwriter does not notice when writing its row store or the file
    // fails part way (a full disk): it then closes a valid but cut workbook.
    // The sheet holds every text inline, so a sheet shorter than the texts
    // is a failed write.
    const auto sheetSize = ZipMemberSize(temp, "xl/worksheets/sheet1.xml");
    if (!sheetSize || *sheetSize < textBytes) return SheetWriteResult::WriteFailed;
    return Finish(out);
}

SheetWriteResult WriteCsv(const fs::path& path, const SheetSource& source,
                          ProgressReporter& progress, const std::stop_token& stop) {
    AtomicFileWriter out;
    if (!out.Open(path)) return SheetWriteResult::CreateFailed;
    bool ok = true;
    const std::size_t columns = source.headings.size();
    auto writeRow = [&](const std::vector<std::string>& cells) {
        std::string line;
        for (std::size_t c = 0; c < columns; ++c) {
            if (c > 0) line += ',';
            if (c < cells.size()) line += CsvField(CsvSafeText(cells[c]));
        }
        line += "\r\n";
        ok = ok && out.Write(line);
    };
    ok = out.Write(std::string_view("\xEF\xBB\xBF", 3));
    writeRow(source.headings);
    std::vector<std::string> cells;
    bool stopped = false;
    for (std::size_t r = 0; ok && r < source.rowCount; ++r) {
        if (ShouldStop(stop, progress)) {
            stopped = true;
            break;
        }
        cells.clear();
        source.row(r, cells);
        writeRow(cells);
        if (ok) progress.Step(static_cast<int>(r + 1), static_cast<int>(source.rowCount), {});
    }
    if (!ok || stopped) return stopped ? SheetWriteResult::Stopped : SheetWriteResult::WriteFailed;
    return Finish(out);
}

}  // namespace

SheetFormat SheetFormatFor(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".csv" ? SheetFormat::Csv : SheetFormat::Xlsx;
}

SheetWriteResult WriteSheet(const fs::path& path, SheetFormat format, const SheetSource& source,
                            ProgressReporter& progress, std::stop_token stop) {
    if (path.empty() || !path.has_filename() || !source.row) return SheetWriteResult::CreateFailed;
    progress.Begin(static_cast<int>(source.rowCount));
    const SheetWriteResult result = format == SheetFormat::Csv
                                        ? WriteCsv(path, source, progress, stop)
                                        : WriteXlsx(path, source, progress, stop);
    progress.End();
    return result;
}

SheetWriteResult WriteSheet(const fs::path& path, SheetFormat format, const SheetSource& source) {
    NoProgress none;
    return WriteSheet(path, format, source, none, {});
}

std::string CsvSafeText(std::string_view text) {
    // Spreadsheets read a cell that starts like this as a formula or a
    // number ("+4930123456", "=HYPERLINK(...)", "@SUM(...)"); a tab or a
    // carriage return in front hides such a start. Full-width forms are
    // included because some spreadsheets treat them alike.
    static constexpr std::string_view kStarts[] = {
        "=",           "+", "-", "@", "\t", "\r", "\xEF\xBC\x9D", "\xEF\xBC\x8B", "\xEF\xBC\x8D",
        "\xEF\xBC\xA0"};
    for (const auto start : kStarts)
        if (text.starts_with(start)) return "'" + std::string(text);
    return std::string(text);
}

std::string CsvField(std::string_view text) {
    const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote) return std::string(text);
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::vector<std::string> SheetRowCells(std::vector<std::string> shown, bool marked,
                                       std::string_view markText) {
    if (shown.size() < 2) shown.resize(2);
    shown[0] = marked ? std::string(markText) : std::string();
    shown[1].clear();
    return shown;
}

std::string DefaultSheetFileName(int year, int month, int day) {
    char name[64];
    std::snprintf(name, sizeof name, "Calls %04d-%02d-%02d.xlsx", year, month, day);
    return name;
}

}  // namespace lk
