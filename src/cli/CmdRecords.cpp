#include "Command.h"

namespace lk::cli {

void AddRecordsCommand(CLI::App& app, CommandContext& ctx) {
    auto* cmd = app.add_subcommand("records", "List the calls of a card or a backup store");
    cmd->callback([&ctx] { ctx.exitCode = kExitOk; });
}

}  // namespace lk::cli
