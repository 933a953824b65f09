#include <iostream>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "CliCard.h"
#include "Command.h"
#include "backup/AuditTrail.h"

namespace lk::cli {

namespace {

struct AuditArgs {
    std::string store;
    bool json = false;
};

int RunAudit(const AuditArgs& a) {
    const AuditRead read = ReadAudit(a.store);
    if (!read.error.empty()) {
        PrintError(read.error);
        return kExitFailure;
    }
    if (a.json) {
        nlohmann::json out = nlohmann::json::array();
        for (const auto& r : read.records) {
            nlohmann::json j{
                {"time", r.time}, {"user", r.user}, {"host", r.host}, {"action", r.event.action}};
            if (r.event.family >= 0) j["family"] = r.event.family;
            if (!r.event.file.empty()) j["file"] = r.event.file;
            if (!r.event.detail.empty()) j["detail"] = r.event.detail;
            out.push_back(std::move(j));
        }
        std::cout << out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    } else {
        for (const auto& r : read.records) {
            std::cout << r.time << "  " << r.user << "@" << r.host << "  " << r.event.action;
            if (r.event.family >= 0) std::cout << "  family " << r.event.family;
            if (!r.event.file.empty()) std::cout << "  " << r.event.file;
            if (!r.event.detail.empty()) std::cout << "  (" << r.event.detail << ")";
            std::cout << '\n';
        }
    }
    if (read.damagedLines > 0)
        std::cerr << "linekeeper-cli audit: " << read.damagedLines << " damaged lines skipped\n";
    return kExitOk;
}

}  // namespace

void AddAuditCommand(CLI::App& app, CommandContext& ctx) {
    auto a = std::make_shared<AuditArgs>();
    auto* cmd = app.add_subcommand("audit", "Show what was done to a backup store, oldest first");
    cmd->add_option("--store", a->store, "Backup path holding the audit trail")->required();
    cmd->add_flag("--json", a->json, "Print JSON");
    cmd->callback([a, &ctx] { ctx.exitCode = RunAudit(*a); });
}

}  // namespace lk::cli
