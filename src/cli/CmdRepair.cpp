#include <iostream>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "CliCard.h"
#include "Command.h"
#include "TerminalProgress.h"
#include "backup/RepairCardLog.h"

namespace lk::cli {

namespace {

struct RepairOptions {
    std::string card;
    bool json = false;
};

int RunRepair(const RepairOptions& o) {
    const auto card = CardVolumeForDir(o.card);
    if (!card) {
        return kExitFailure;
    }
    TerminalProgress bar("repair");
    const RepairResult r = RepairCardLog(*card, bar, {});
    bar.End();
    if (o.json) {
        const nlohmann::json out{{"added", r.added},
                                 {"failed", r.failed},
                                 {"writeFailures", r.writeFailures},
                                 {"rejectedNames", r.rejectedNames},
                                 {"failureReason", r.failureReason},
                                 {"knownPaths", r.knownPaths},
                                 {"unsafeLogPaths", r.unsafeLogPaths},
                                 {"backupWritten", r.backupWritten},
                                 {"family", r.devType}};
        std::cout << out.dump(2) << '\n';
    } else {
        std::cout << "added " << r.added << '\n';
        if (r.rejectedNames > 0)
            std::cout << r.rejectedNames << " files are not named as recordings\n";
        if (r.unsafeLogPaths > 0)
            std::cout << r.unsafeLogPaths << " log records name a path outside the card\n";
    }
    if (r.writeFailures > 0)
        std::cerr << "linekeeper-cli repair: " << r.writeFailures
                  << " recording files could not be added"
                  << (r.failureReason.empty() ? "" : ": " + r.failureReason) << '\n';
    else if (!r.failureReason.empty())
        std::cerr << "linekeeper-cli repair: " << r.failureReason << '\n';
    return r.writeFailures > 0 || !r.failureReason.empty() ? kExitFailure : kExitOk;
}

}  // namespace

void AddRepairCommand(CLI::App& app, CommandContext& ctx) {
    auto o = std::make_shared<RepairOptions>();
    auto* cmd = app.add_subcommand(
        "repair",
        "Add the card's recordings that its call log lacks (CallLog_BK.dat is saved first)");
    cmd->add_option("--card", o->card, "Card folder")->required();
    cmd->add_flag("--json", o->json, "Print JSON");
    cmd->callback([o, &ctx] { ctx.exitCode = RunRepair(*o); });
}

}  // namespace lk::cli
