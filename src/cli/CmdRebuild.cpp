#include <iostream>

#include <nlohmann/json.hpp>

#include "CliCard.h"
#include "Command.h"
#include "card/CallLog.h"
#include "card/LogRebuild.h"

namespace lk::cli {
namespace fs = std::filesystem;

namespace {

struct RebuildArgs {
    std::string card;
    bool json = false;
};

int RunRebuild(const RebuildArgs& args) {
    auto card = OpenCardWithLog(args.card);
    if (!card) return kExitFailure;
    std::error_code ec;
    const int devType = card->devType;
    RecordSession& session = *card->session;
    const RecorderState& state = session.State();
    const auto size = fs::file_size(state.cardLogPath, ec);
    if (ec) {
        std::cerr << "linekeeper-cli rebuild: cannot read " << state.cardLogPath.string() << "\n";
        return kExitFailure;
    }
    // Only a log without a single whole record is rebuilt, as on card insertion.
    const bool empty = size < static_cast<std::uintmax_t>(RecordSize(devType, true));
    LogRebuildResult r;
    if (empty && session.QueueRebuild(card->volume.letter))
        r = session.RebuildLogs(card->volume.codePage);
    const int added = r.added;

    if (args.json) {
        std::cout << nlohmann::json{{"added", added},
                                    {"rebuilt", empty},
                                    {"failed", r.failed},
                                    {"failureReason", r.failureReason}}
                         .dump(2)
                  << "\n";
    } else if (empty) {
        std::cout << "added " << added << " records to " << state.cardLogPath.string() << "\n";
    } else {
        std::cout << "the call log holds records; nothing rebuilt\n";
    }
    if (r.failed > 0) {
        std::cerr << "linekeeper-cli rebuild: " << r.failed
                  << " recordings could not be added: " << r.failureReason << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

void AddRebuildCommand(CLI::App& app, CommandContext& ctx) {
    auto args = std::make_shared<RebuildArgs>();
    auto* cmd = app.add_subcommand("rebuild", "Rebuild an empty card call log from its recordings");
    cmd->add_option("--card", args->card, "Card folder holding CallLog.dat")->required();
    cmd->add_flag("--json", args->json, "Print the result as JSON");
    cmd->callback([args, &ctx] { ctx.exitCode = RunRebuild(*args); });
}

}  // namespace lk::cli
