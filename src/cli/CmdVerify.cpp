#include <iostream>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "CliCard.h"
#include "Command.h"
#include "TerminalProgress.h"
#include "backup/StoreVerify.h"

namespace lk::cli {

namespace {

struct VerifyArgs {
    std::string store;
    int family = 0;
    bool repair = false;
    bool json = false;
};

int RunVerify(const VerifyArgs& a) {
    std::error_code ec;
    VerifyOptions options;
    options.backupPath = std::filesystem::absolute(a.store, ec).lexically_normal();
    options.devType = a.family;
    options.repair = a.repair;
    TerminalProgress bar("verify");
    const VerifyResult r = VerifyStore(options, bar, {});
    bar.End();
    if (!r.storeFound) {
        PrintError(r.error);
        return kExitFailure;
    }
    if (a.json) {
        nlohmann::json problems = nlohmann::json::array();
        for (const auto& p : r.problems) {
            nlohmann::json j{{"problem", StoreProblemText(p.kind)},
                             {"month", p.yyyymm},
                             {"file", p.file},
                             {"repaired", p.repaired}};
            if (p.entry >= 0) j["entry"] = p.entry;
            if (!p.detail.empty()) j["detail"] = p.detail;
            problems.push_back(std::move(j));
        }
        const nlohmann::json out{{"clean", r.Clean()},
                                 {"months", r.months},
                                 {"liveEntries", r.liveEntries},
                                 {"filesChecked", r.filesChecked},
                                 {"checksumsMatched", r.checksumsMatched},
                                 {"withoutChecksum", r.withoutChecksum},
                                 {"checksumsWritten", r.checksumsWritten},
                                 {"adopted", r.adopted},
                                 {"duplicatesDropped", r.duplicatesDropped},
                                 {"damagedChecksumLines", r.damagedChecksumLines},
                                 {"bytesRead", r.bytesRead},
                                 {"error", r.error},
                                 {"problems", problems}};
        std::cout << out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    } else {
        for (const auto& p : r.problems) {
            std::cout << (p.repaired ? "repaired: " : "PROBLEM: ") << p.file << ": "
                      << StoreProblemText(p.kind);
            if (p.entry >= 0) std::cout << " (entry " << p.entry << ")";
            if (!p.detail.empty()) std::cout << " - " << p.detail;
            std::cout << '\n';
        }
        std::cout << r.months << " months, " << r.liveEntries << " entries, " << r.filesChecked
                  << " files read, " << r.checksumsMatched << " checksums match, "
                  << r.withoutChecksum << " without checksum";
        if (a.repair)
            std::cout << "; adopted " << r.adopted << ", dropped " << r.duplicatesDropped
                      << " duplicate entries, wrote " << r.checksumsWritten << " checksums";
        std::cout << '\n';
        if (r.damagedChecksumLines > 0)
            std::cout << r.damagedChecksumLines << " checksum lines skipped (damaged)\n";
        std::cout << (r.Clean() ? "store is sound\n" : "store has problems\n");
    }
    if (!r.error.empty()) PrintError(r.error);
    return r.Clean() ? kExitOk : kExitFailure;
}

}  // namespace

void AddVerifyCommand(CLI::App& app, CommandContext& ctx) {
    auto a = std::make_shared<VerifyArgs>();
    auto* cmd = app.add_subcommand("verify",
                                   "Check a backup store's copies against its index and checksums");
    cmd->add_option("--store", a->store, "Backup path holding the store folder")->required();
    cmd->add_option("--family", a->family, "Device family (0 or 1)")
        ->required()
        ->check(CLI::Range(0, 1));
    cmd->add_flag("--repair", a->repair,
                  "Adopt orphans, drop duplicate entries, write missing checksums");
    cmd->add_flag("--json", a->json, "Print the report as JSON");
    cmd->callback([a, &ctx] { ctx.exitCode = RunVerify(*a); });
}

}  // namespace lk::cli
