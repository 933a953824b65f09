#include <iostream>
#include <memory>
#include <vector>

#include <nlohmann/json.hpp>

#include "CliAudit.h"
#include "CliCard.h"
#include "Command.h"
#include "ListPage.h"
#include "TerminalProgress.h"
#include "card/RecordExportItems.h"
#include "export/BatchExport.h"

namespace lk::cli {

namespace {

struct AudioOptions {
    std::string format;
    std::string to;
    std::string nameTemplate = kDefaultNameTemplate;
    std::string existing = "fail";
    std::vector<std::string> files;
    std::string card;
    std::string store;
    int family = -1;
    int page = kAllRecordsPage;
    bool json = false;
};

// The records of a page of a card or store, as export items.
std::optional<RecordExportItems> PageItems(const AudioOptions& o) {
    auto loaded = LoadCardOrStore({o.card, o.store, o.family, {}});
    if (!loaded) return std::nullopt;
    const std::vector<const CallRecord*> rows = RowsOfPage(loaded->Records(), o.page);
    return ExportItemsOf(rows);
}

int RunExportAudio(const AudioOptions& o) {
    const auto format = AudioFormatByName(o.format);
    if (!format) throw CLI::ValidationError("--format", "wav, mp3, opus or flac");
    const bool fromFiles = !o.files.empty();
    if (static_cast<int>(fromFiles) + !o.card.empty() + !o.store.empty() != 1)
        throw CLI::ValidationError("export-audio",
                                   "give FILE..., or --card DIR, or --store DIR --family N");
    if (!o.store.empty() && o.family != 0 && o.family != 1)
        throw CLI::ValidationError("--family", "--store needs --family 0 or 1");
    std::string templateError;
    const auto names = NameTemplate::Parse(o.nameTemplate, &templateError);
    if (!names) throw CLI::ValidationError("--template", templateError);
    if (!AudioFormatAvailable(*format)) {
        PrintError("this system's sound-file library cannot write " + o.format + " files");
        return kExitFailure;
    }

    RecordExportItems items;
    if (fromFiles) {
        for (const auto& f : o.files) {
            NameFields fields;
            fields.file = std::filesystem::path(f).stem().string();
            items.items.push_back({f, std::move(fields)});
        }
    } else {
        auto paged = PageItems(o);
        if (!paged) return kExitFailure;
        items = std::move(*paged);
    }

    BatchExportOptions options;
    options.format = *format;
    options.folder = o.to;
    options.names = *names;
    options.existing = o.existing == "skip"        ? ExistingFiles::Skip
                       : o.existing == "keep-both" ? ExistingFiles::KeepBoth
                                                   : ExistingFiles::Fail;
    TerminalProgress bar("export");
    const auto result = ExportBatch(items.items, options, bar, {});
    bar.End();

    auto rows = nlohmann::json::array();
    auto print = [&](const std::string& source, const std::string& destination,
                     std::string_view status, const std::string& reason) {
        if (o.json) {
            rows.push_back({{"source", source},
                            {"destination", destination},
                            {"result", status},
                            {"reason", reason}});
            return;
        }
        std::cout << source << " -> " << (destination.empty() ? "-" : destination) << ": " << status
                  << (reason.empty() ? "" : " (" + reason + ")") << '\n';
    };
    for (const auto& left : items.leftOut)
        print(left.recording.string(), {}, ExportStatusName(ExportStatus::CannotDecode),
              left.reason);
    for (const auto& out : result.outcomes)
        print(out.source.string(), out.destination.string(), ExportStatusName(out.result.status),
              out.result.reason);
    if (o.json) std::cout << rows.dump(2) << '\n';
    // What left the store is logged, even when some recordings failed.
    std::vector<std::string> exported;
    for (const auto& out : result.outcomes)
        if (out.result.status == ExportStatus::Written)
            exported.push_back(out.source.string() + " -> " + out.destination.string());
    const int logged = exported.empty() ? kExitOk
                                        : AuditAfter(o.store, o.family, "exported audio", exported,
                                                     o.format, kExitOk);
    const auto failed = result.Failed() + items.leftOut.size();
    if (failed > 0) {
        std::cerr << "linekeeper-cli export-audio: " << failed << " of "
                  << result.outcomes.size() + items.leftOut.size() << " not exported\n";
        return kExitFailure;
    }
    return logged;
}

}  // namespace

void AddExportAudioCommand(CLI::App& app, CommandContext& ctx) {
    auto opts = std::make_shared<AudioOptions>();
    auto* cmd = app.add_subcommand(
        "export-audio", "Write recordings as WAV, MP3, Opus or FLAC files into a folder");
    cmd->add_option("--format", opts->format, "wav, mp3, opus or flac")
        ->required()
        ->check(CLI::IsMember({"wav", "mp3", "opus", "flac"}));
    cmd->add_option("--to", opts->to, "Target folder")->required()->check(CLI::ExistingDirectory);
    cmd->add_option("--template", opts->nameTemplate,
                    "File names: {date} {time} {year} {month} {day} {hour} {minute} {second} "
                    "{type} {number} {name} {file}; \"/\" makes folders (default {file})");
    cmd->add_option("--existing", opts->existing,
                    "A file of the name exists: fail (default), skip, keep-both")
        ->check(CLI::IsMember({"fail", "skip", "keep-both"}));
    cmd->add_option("FILE", opts->files, "Recordings (.xtr or .wav)");
    cmd->add_option("--card", opts->card, "Folder of a recorder's card");
    cmd->add_option("--store", opts->store, "Backup folder (holds the store folders)");
    cmd->add_option("--family", opts->family, "Device family of the store (0 or 1)");
    cmd->add_option("--page", opts->page, "Page of the list (1-11; 0 and 11 give page 1)")
        ->check(CLI::Range(0, 11));
    cmd->add_flag("--json", opts->json, "Print JSON");
    cmd->callback([opts, &ctx] { ctx.exitCode = RunExportAudio(*opts); });
}

}  // namespace lk::cli
