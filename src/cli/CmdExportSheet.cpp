#include <cstdio>
#include <iostream>
#include <memory>

#include "CliAudit.h"
#include "CliCard.h"
#include "CliNotes.h"
#include "Command.h"
#include "ListPage.h"
#include "TerminalProgress.h"
#include "app/LangString.h"
#include "app/Settings.h"
#include "card/RecordRemark.h"
#include "card/RecordingLength.h"
#include "export/SheetWriter.h"
#include "platform/DurationText.h"
#include "platform/TextCodec.h"

namespace lk::cli {

namespace {

struct SheetOptions {
    std::string card;
    std::string store;
    int family = -1;
    int page = kAllRecordsPage;
    std::string out;
};

constexpr int kHeadingStrings[] = {15, 196, 16, 11, 12, 13, 14, 214, 26};
constexpr int kMarkedString = 17;
constexpr int kNoteHeading = 800;
constexpr int kTagsHeading = 801;

std::string TextOr(int number, const char* fallback) {
    std::string text = LangString(number);
    return text.empty() ? fallback : text;
}

std::string JoinTags(const std::vector<std::string>& tags) {
    std::string text;
    for (const auto& t : tags)
        text += (text.empty() ? "" : ", ") + t;
    return text;
}

// The C locale's "%x %X".
std::string CLocaleTime(const SystemTime& t) {
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31) return {};
    char text[48];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d:%02d", int{t.month}, int{t.day},
                  t.year % 100, int{t.hour}, int{t.minute}, int{t.second});
    return text;
}

std::vector<std::string> RowCells(const CallRecord& r, int devType, const std::string& marked) {
    std::vector<std::string> cells(std::size(kHeadingStrings));
    if (r.type >= Incoming && r.type <= Message) cells[2] = LangString(18 + r.type - Incoming);
    cells[3] = CLocaleTime(r.time);
    if (r.type != Note && r.type != Note2 && r.type != Triggered)
        cells[4] = ToUtf8(FieldText(r.number)) + " " + ToUtf8(FieldText(r.name));
    cells[5] = DurationText(r.callSeconds);
    const std::string path = ToUtf8(FieldText(r.filePath));
    unsigned length = path.empty() ? 0 : RecordingSeconds(std::filesystem::path(path));
    if (length == 0) length = static_cast<unsigned>(std::max(0, r.recordSeconds));
    cells[6] = DurationText(static_cast<int>(length));
    if (devType == 1) cells[7] = ToUtf8(RecordRemark(r, CardCodePage()));
    cells[8] = path;
    return SheetRowCells(std::move(cells), r.marked == 1, marked);
}

int RunExportSheet(const SheetOptions& o) {
    if (o.card.empty() == o.store.empty())
        throw CLI::ValidationError("export-sheet",
                                   "give either --card DIR or --store DIR --family N");
    if (!o.store.empty() && o.family != 0 && o.family != 1)
        throw CLI::ValidationError("--family", "--store needs --family 0 or 1");
    auto loaded = LoadCardOrStore({o.card, o.store, o.family, {}});
    if (!loaded) return kExitFailure;

    const int page = o.page >= 1 && o.page <= 10 ? o.page : kAllRecordsPage;
    const std::vector<const CallRecord*> rows = RowsOfPage(loaded->Records(), page);
    if (rows.empty()) {
        std::cerr << "nothing to export: page " << page << " has no rows\n";
        return kExitOk;
    }

    // Note and Tags follow the nine columns only when a row shown has one,
    // so that a sheet of calls without notes stays as it always was.
    CallNotes notes = NotesFor({o.card, o.store, o.family, {}}, loaded->devType);
    std::vector<CallAnnotation> annotations;
    annotations.reserve(rows.size());
    bool annotated = false;
    for (const CallRecord* r : rows) {
        annotations.push_back(notes.Of(*r));
        annotated = annotated || !annotations.back().Empty();
    }
    ReportNotesProblem(notes);

    SheetSource source;
    for (const int s : kHeadingStrings)
        source.headings.push_back(LangString(s));
    if (annotated) {
        source.headings.push_back(TextOr(kNoteHeading, "Note"));
        source.headings.push_back(TextOr(kTagsHeading, "Tags"));
    }
    source.rowCount = rows.size();
    const std::string marked = LangString(kMarkedString);
    source.row = [&](std::size_t i, std::vector<std::string>& cells) {
        cells = RowCells(*rows[i], loaded->devType, marked);
        if (annotated) {
            cells.push_back(annotations[i].note.value_or(""));
            cells.push_back(JoinTags(annotations[i].tags));
        }
    };
    TerminalProgress bar("export");
    const SheetWriteResult written = WriteSheet(o.out, SheetFormatFor(o.out), source, bar, {});
    bar.End();
    switch (written) {
        case SheetWriteResult::Written:
            std::cout << o.out << ": " << rows.size() << " rows\n";
            return AuditAfter(o.store, o.family, "exported sheet", {o.out},
                              std::to_string(rows.size()) + " calls, page " + std::to_string(page),
                              kExitOk);
        case SheetWriteResult::CreateFailed:
            PrintError(LangString(107) + " (" + o.out + ")");
            return kExitFailure;
        default:
            PrintError(LangString(109) + " (" + o.out + ")");
            return kExitFailure;
    }
}

}  // namespace

void AddExportSheetCommand(CLI::App& app, CommandContext& ctx) {
    auto opts = std::make_shared<SheetOptions>();
    auto* cmd = app.add_subcommand("export-sheet", "Write a page's list into a spreadsheet file");
    cmd->add_option("--card", opts->card, "Folder of a recorder's card");
    cmd->add_option("--store", opts->store, "Backup folder (holds the store folders)");
    cmd->add_option("--family", opts->family, "Device family of the store (0 or 1)");
    cmd->add_option("--page", opts->page, "Page of the list (1-11; 0 and 11 give page 1)")
        ->check(CLI::Range(0, 11));
    cmd->add_option("-o", opts->out, "Output file, .xlsx or .csv")->required();
    cmd->callback([opts, &ctx] { ctx.exitCode = RunExportSheet(*opts); });
}

}  // namespace lk::cli
