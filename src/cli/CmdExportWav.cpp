#include <iostream>
#include <memory>
#include <vector>

#include <nlohmann/json.hpp>

#include "Command.h"
#include "export/ConvertXtrToWav.h"
#include "playback/XtrFormat.h"

namespace lk::cli {

namespace {

struct ExportOptions {
    std::vector<std::string> files;
    std::string to;
    bool json = false;
};

int RunExport(const ExportOptions& o) {
    std::string folder = o.to;
    if (!folder.ends_with('/')) folder += '/';
    auto results = nlohmann::json::array();
    int converted = 0;
    int failed = 0;
    for (const auto& source : o.files) {
        // Only .xtr recordings are exported, as in the export dialog.
        if (!IsXtrPath(source)) {
            std::cerr << "skipped: " << source << " (not an .xtr recording)\n";
            continue;
        }
        const auto destination = ExportDestination(folder, source);
        const auto result = ConvertXtrToWav(source, destination);
        if (result == ConvertResult::Converted)
            ++converted;
        else
            ++failed;
        if (o.json) {
            results.push_back({{"source", source},
                               {"destination", destination},
                               {"result", ConvertResultName(result)}});
        } else {
            std::cout << source << " -> " << destination << ": " << ConvertResultName(result)
                      << '\n';
        }
    }
    if (o.json) std::cout << results.dump(2) << '\n';
    // Some recordings exported is a result; none at all is a failure.
    if (converted == 0) {
        std::cerr << "linekeeper-cli export-wav: no recording was exported"
                  << (failed > 0 ? " (every conversion failed)" : "") << '\n';
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

void AddExportWavCommand(CLI::App& app, CommandContext& ctx) {
    auto opts = std::make_shared<ExportOptions>();
    auto* cmd = app.add_subcommand("export-wav", "Convert .xtr recordings into standard WAV files");
    cmd->add_option("FILE", opts->files, "Recordings to convert")->required();
    cmd->add_option("--to", opts->to, "Target folder")->required()->check(CLI::ExistingDirectory);
    cmd->add_flag("--json", opts->json, "Print JSON");
    cmd->callback([opts, &ctx] { ctx.exitCode = RunExport(*opts); });
}

}  // namespace lk::cli
