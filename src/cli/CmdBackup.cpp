#include <ctime>
#include <iostream>
#include <optional>

#include <nlohmann/json.hpp>

#include "CliCard.h"
#include "Command.h"
#include "TerminalProgress.h"
#include "backup/BackupEngine.h"
#include "backup/StoreRetention.h"
#include "card/BackupStore.h"
#include "card/CallLog.h"
#include "card/RecordLoader.h"
#include "notes/CallNotes.h"

namespace lk::cli {
namespace fs = std::filesystem;

namespace {

struct BackupArgs {
    std::string card;
    std::string store;
    bool move = false;
    bool json = false;
    bool applyRetention = false;
};

int RunBackup(const BackupArgs& args) {
    auto card = OpenCardWithLog(args.card);
    if (!card) return kExitFailure;
    std::error_code ec;
    const int devType = card->devType;
    // The index keeps whole paths; a relative one would only play from here.
    const fs::path store = fs::absolute(args.store, ec).lexically_normal();
    if (!fs::exists(store, ec)) fs::create_directories(store, ec);
    if (!fs::is_directory(store, ec)) {
        std::cerr << "linekeeper-cli backup: backup store folder cannot be made: " << args.store
                  << "\n";
        return kExitFailure;
    }

    RecordSession& session = *card->session;
    const RecorderState& state = session.State();
    LoadRequest load;
    load.source = LoadSource::Card;
    load.backupPath = store;
    load.codePage = card->volume.codePage;
    TerminalProgress reading("reading");
    LoadOutcome loaded = session.Load(load, reading, {});
    reading.End();
    if (loaded.filesRead == 0) {
        std::cerr << "linekeeper-cli backup: cannot read " << state.cardLogPath.string() << "\n";
        return kExitFailure;
    }
    // The backup walks what the load read: under the load's claim where it
    // kept one, else under a claim of its own.
    const SessionClaim claim = loaded.claim ? std::move(loaded.claim) : session.TryClaim();

    BackupOptions options;
    options.backupPath = store;
    options.devType = devType;
    options.move = args.move;
    TerminalProgress bar("backup");
    const std::optional<BackupResult> ran = session.BackupAll(claim, options, bar, {});
    bar.End();
    if (!ran) {
        std::cerr << "linekeeper-cli backup: the records are busy\n";
        return kExitFailure;
    }
    const BackupResult& r = *ran;

    // The store's confirmed retention rule, after the copies are safe.
    RetentionAfterBackup retention;
    if (args.applyRetention) {
        TerminalProgress cleaning("retention");
        retention =
            ApplyRetentionAfterBackup(store, devType, std::time(nullptr),
                                      TaggedCallsOf(StoreRoot(store, devType)), cleaning, {});
        cleaning.End();
        if (!retention.ran)
            retention.result.error =
                "retention after backup is off for this store (turn it on with retention "
                "--after-backup on)";
    }

    const fs::path storeRoot = StoreRoot(store, devType);
    if (args.json) {
        nlohmann::json out = {
            {"records", state.records.Card().size()},
            {"backedUp", r.backedUp},
            {"skipped", r.skipped},
            {"failed", r.failed},
            {"indexWriteFailures", r.indexWriteFailures},
            {"reIndexed", r.reIndexed},
            {"cardNotCleared", r.cardNotCleared},
            {"failureReason", r.failureReason},
            {"cardClearReason", r.cardClearReason},
            {"move", args.move},
            {"cardLogDeleted", r.cardLogDeleted},
            {"store", storeRoot.string()},
        };
        if (args.applyRetention)
            out["retention"] = {{"rule", retention.rule},
                                {"taken", retention.result.taken},
                                {"failed", retention.result.failed},
                                {"error", retention.result.error}};
        std::cout << out.dump(2) << "\n";
    } else {
        std::cout << "backed up " << r.backedUp << ", already held " << r.skipped << ", failed "
                  << r.failed << " of " << state.records.Card().size() << " records into "
                  << storeRoot.string() << (r.cardLogDeleted ? " (card log deleted)" : "") << "\n";
        if (args.applyRetention && retention.ran)
            std::cout << "retention (" << retention.rule << "): " << retention.result.taken
                      << " calls moved to the trash, " << retention.result.failed << " failed\n";
    }
    if (r.failed > 0 && !r.failureReason.empty())
        std::cerr << "linekeeper-cli backup: " << r.failed
                  << " records were not backed up: " << r.failureReason << "\n";
    if (r.cardNotCleared > 0)
        std::cerr << "linekeeper-cli backup: the card could not be cleared (" << r.cardNotCleared
                  << " recordings are still on it): " << r.cardClearReason << "\n";
    const bool retentionFailed =
        args.applyRetention && (!retention.result.error.empty() || retention.result.failed > 0);
    if (args.applyRetention && !retention.result.error.empty())
        std::cerr << "linekeeper-cli backup: retention: " << retention.result.error << "\n";
    // A record that could not be backed up is a failure, even though the run went
    // on; so is a move that left the card as it was, and retention asked for
    // and not done.
    return r.failed > 0 || r.indexWriteFailures > 0 || r.cardNotCleared > 0 || retentionFailed
               ? kExitFailure
               : kExitOk;
}

}  // namespace

void AddBackupCommand(CLI::App& app, CommandContext& ctx) {
    auto args = std::make_shared<BackupArgs>();
    auto* cmd =
        app.add_subcommand("backup", "Copy (or move) a card's recordings into a backup store");
    cmd->add_option("--card", args->card, "Card folder holding CallLog.dat")->required();
    cmd->add_option("--store", args->store, "Backup path; the store folder is made inside it")
        ->required();
    cmd->add_flag("--move", args->move, "Move the recordings and delete the card's call log");
    cmd->add_flag("--json", args->json, "Print the summary as JSON");
    cmd->add_flag("--apply-retention", args->applyRetention,
                  "Then move to the trash what the store's confirmed retention rule lists (see "
                  "retention --after-backup)");
    cmd->callback([args, &ctx] { ctx.exitCode = RunBackup(*args); });
}

}  // namespace lk::cli
