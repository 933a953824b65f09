#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CleanupReport.h"
#include "CliCard.h"
#include "Command.h"
#include "card/RecordLoader.h"

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
    std::error_code ec;
    CleanupOptions o;
    o.backupPath = std::filesystem::absolute(a.store, ec).lexically_normal();
    o.devType = a.family;
    o.apply = a.apply;
    const std::string number = a.number;
    o.select = [number](const CallRecord& r) { return NumberMatches(r, number); };
    o.action = "erased";
    // The listing that lets the calls go names the card too.
    o.detail = "number " + a.number + (a.card.empty() ? std::string() : ", card " + a.card);
    // The card first: its listing must not be the one that lets the store go.
    CleanupResult card;
    std::optional<CliCard> opened;
    if (!a.card.empty()) {
        opened = OpenCardWithLog(a.card);
        if (!opened) return kExitFailure;
        const RecorderState& state = opened->session->State();
        LoadRequest load;
        load.source = LoadSource::Card;
        load.backupPath = o.backupPath;
        load.codePage = opened->volume.codePage;
        if (opened->session->Load(load).filesRead == 0) {
            PrintError("cannot read " + state.cardLogPath.string());
            return kExitFailure;
        }
        std::vector<const CallRecord*> records;
        for (const auto& r : state.records.Card())
            records.push_back(r.get());
        CleanupOptions cardOptions = o;
        card = CleanCard(records, cardOptions);
    }
    NoProgress progress;
    CleanupResult result = CleanStore(o, progress, {});
    for (auto& item : card.items) {
        item.file = "card:" + item.file;
        result.items.push_back(std::move(item));
    }
    result.taken += card.taken;
    result.failed += card.failed;
    if (!card.error.empty()) result.error += (result.error.empty() ? "" : "; ") + card.error;
    return ReportCleanup(result, a.apply, a.json);
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
    cmd->add_option(
        "--card", a->card,
        "Card folder whose calls with the number go too (into the card volume's trash)");
    cmd->add_option("--number", a->number, "The number; digits compared alone")->required();
    cmd->add_flag("--apply", a->apply,
                  "Move the listed recordings to the trash and clear their entries (after a "
                  "listing)");
    cmd->add_flag("--json", a->json, "Print JSON");
    cmd->callback([a, &ctx] { ctx.exitCode = RunErase(*a); });
}

}  // namespace lk::cli
