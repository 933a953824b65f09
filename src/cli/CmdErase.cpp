#include <memory>
#include <string>

#include "CleanupReport.h"
#include "CliCard.h"
#include "Command.h"

namespace lk::cli {

namespace {

struct EraseArgs {
    std::string store;
    int family = 0;
    std::string card;
    std::string number;
    bool apply = false;
    bool json = false;
};

int RunErase(const EraseArgs& a) {
    if (!a.card.empty()) {
        PrintError("erasing from a card is not supported yet; erase from the store only");
        return kExitUsage;
    }
    std::error_code ec;
    CleanupOptions o;
    o.backupPath = std::filesystem::absolute(a.store, ec).lexically_normal();
    o.devType = a.family;
    o.apply = a.apply;
    const std::string number = a.number;
    o.select = [number](const CallRecord& r) { return NumberMatches(r, number); };
    o.action = "erased";
    o.detail = "number " + a.number;
    const std::atomic<int> stop{0};
    return ReportCleanup(CleanStore(o, stop), a.apply, a.json);
}

}  // namespace

void AddEraseCommand(CLI::App& app, CommandContext& ctx) {
    auto a = std::make_shared<EraseArgs>();
    auto* cmd = app.add_subcommand(
        "erase", "List (or, with --apply, move to the trash) every call with one number");
    cmd->add_option("--store", a->store, "Backup path holding the store folder")->required();
    cmd->add_option("--family", a->family, "Device family (0 or 1)")
        ->required()
        ->check(CLI::Range(0, 1));
    cmd->add_option("--card", a->card, "Card folder whose calls with the number go too");
    cmd->add_option("--number", a->number, "The number; digits compared alone")->required();
    cmd->add_flag("--apply", a->apply,
                  "Move the listed recordings to the trash and clear their entries (after a "
                  "listing)");
    cmd->add_flag("--json", a->json, "Print JSON");
    cmd->callback([a, &ctx] { ctx.exitCode = RunErase(*a); });
}

}  // namespace lk::cli
