#include "export/SheetWriter.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <string>
#include <system_error>

#include <unistd.h>
#include <xlsxwriter.h>

namespace lk {
namespace fs = std::filesystem;

namespace {

constexpr double kColumnWidth = 20.0;

fs::path TempNameFor(const fs::path& path) {
    static std::atomic<unsigned> counter{0};
    fs::path temp = path;
    temp += ".part-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    return temp;
}

bool Stopped(const SheetWriteOptions& o) {
    return o.stop != nullptr && o.stop->load() != 0;
}

void RemoveQuietly(const fs::path& p) {
    std::error_code ec;
    fs::remove(p, ec);
}

// Renames the finished temporary file into place; removes it on failure.
SheetWriteResult Finish(const fs::path& temp, const fs::path& path) {
    std::error_code ec;
    fs::rename(temp, path, ec);
    if (ec) {
        RemoveQuietly(temp);
        return SheetWriteResult::WriteFailed;
    }
    return SheetWriteResult::Written;
}

SheetWriteResult WriteXlsx(const fs::path& path, const fs::path& temp, const SheetSource& source,
                           const SheetWriteOptions& options) {
    // libxlsxwriter opens its output only when the workbook is closed; the
    // file is created here first so that a folder that refuses new files is
    // told apart from a write that fails later.
    if (std::FILE* probe = std::fopen(temp.c_str(), "wb")) {
        std::fclose(probe);
    } else {
        return SheetWriteResult::CreateFailed;
    }
    // Rows are written in order and flushed as they go: memory stays flat
    // however long the list is.
    lxw_workbook_options wbOptions{};
    wbOptions.constant_memory = LXW_TRUE;
    wbOptions.use_zip64 = LXW_TRUE;
    const std::string tempName = temp.string();
    lxw_workbook* book = workbook_new_opt(tempName.c_str(), &wbOptions);
    if (book == nullptr) {
        RemoveQuietly(temp);
        return SheetWriteResult::WriteFailed;
    }
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
    for (lxw_col_t c = 0; ok && c < columns; ++c)
        ok = worksheet_write_string(sheet, 0, c, source.headings[c].c_str(), cell) == LXW_NO_ERROR;
    std::vector<std::string> cells;
    bool stopped = false;
    for (std::size_t r = 0; ok && r < source.rowCount; ++r) {
        if (Stopped(options)) {
            stopped = true;
            break;
        }
        cells.clear();
        source.row(r, cells);
        cells.resize(columns);
        const auto rowIndex = static_cast<lxw_row_t>(r + 1);
        for (lxw_col_t c = 0; ok && c < columns; ++c)
            ok = worksheet_write_string(sheet, rowIndex, c, cells[c].c_str(), cell) == LXW_NO_ERROR;
        if (ok && options.progress) options.progress(r + 1, source.rowCount);
    }
    const lxw_error closed = workbook_close(book);  // frees the workbook in every case
    if (!ok || stopped || closed != LXW_NO_ERROR) {
        RemoveQuietly(temp);
        return stopped ? SheetWriteResult::Stopped : SheetWriteResult::WriteFailed;
    }
    return Finish(temp, path);
}

SheetWriteResult WriteCsv(const fs::path& path, const fs::path& temp, const SheetSource& source,
                          const SheetWriteOptions& options) {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return SheetWriteResult::CreateFailed;
    const std::size_t columns = source.headings.size();
    auto writeRow = [&](const std::vector<std::string>& cells) {
        std::string line;
        for (std::size_t c = 0; c < columns; ++c) {
            if (c > 0) line += ',';
            if (c < cells.size()) line += CsvField(cells[c]);
        }
        line += "\r\n";
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
    };
    out.write("\xEF\xBB\xBF", 3);
    writeRow(source.headings);
    std::vector<std::string> cells;
    bool stopped = false;
    for (std::size_t r = 0; out && r < source.rowCount; ++r) {
        if (Stopped(options)) {
            stopped = true;
            break;
        }
        cells.clear();
        source.row(r, cells);
        writeRow(cells);
        if (out && options.progress) options.progress(r + 1, source.rowCount);
    }
    out.flush();
    const bool ok = static_cast<bool>(out);
    out.close();
    if (!ok || stopped || out.fail()) {
        RemoveQuietly(temp);
        return stopped ? SheetWriteResult::Stopped : SheetWriteResult::WriteFailed;
    }
    return Finish(temp, path);
}

}  // namespace

SheetFormat SheetFormatFor(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".csv" ? SheetFormat::Csv : SheetFormat::Xlsx;
}

SheetWriteResult WriteSheet(const fs::path& path, SheetFormat format, const SheetSource& source,
                            const SheetWriteOptions& options) {
    if (path.empty() || !path.has_filename() || !source.row) return SheetWriteResult::CreateFailed;
    const fs::path temp = TempNameFor(path);
    return format == SheetFormat::Csv ? WriteCsv(path, temp, source, options)
                                      : WriteXlsx(path, temp, source, options);
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
