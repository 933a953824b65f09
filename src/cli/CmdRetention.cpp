#include <ctime>
#include <memory>
#include <sstream>
#include <string>

#include "CleanupReport.h"
#include "CliCard.h"
#include "Command.h"

namespace lk::cli {

namespace {

struct RetentionArgs {
    std::string store;
    int family = 0;
    int keepDays = 0;
    std::string types;
    bool apply = false;
    bool json = false;
};

// "incoming,missed" or record type numbers; false on a name it does not know.
bool ParseTypes(const std::string& list, std::vector<int>& types) {
    std::stringstream in(list);
    std::string word;
    while (std::getline(in, word, ',')) {
        for (char& c : word)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (word == "incoming")
            types.push_back(Incoming);
        else if (word == "missed")
            types.push_back(Missed);
        else if (word == "outgoing")
            types.push_back(Outgoing);
        else if (word == "note")
            types.insert(types.end(), {Note, Note2});
        else if (word == "triggered")
            types.push_back(Triggered);
        else if (word == "message")
            types.push_back(Message);
        else if (!word.empty() && word.find_first_not_of("0123456789") == std::string::npos &&
                 word.size() < 4)
            types.push_back(std::stoi(word));
        else
            return false;
    }
    return true;
}

int RunRetention(const RetentionArgs& a) {
    RetentionRule rule;
    rule.keepDays = a.keepDays;
    if (!ParseTypes(a.types, rule.types)) {
        PrintError("unknown call type in --types " + a.types +
                   " (incoming, missed, outgoing, note, triggered, message)");
        return kExitUsage;
    }
    std::error_code ec;
    CleanupOptions o;
    o.backupPath = std::filesystem::absolute(a.store, ec).lexically_normal();
    o.devType = a.family;
    o.apply = a.apply;
    const std::time_t now = std::time(nullptr);
    o.select = [rule, now](const CallRecord& r) { return RetentionSelects(r, rule, now); };
    o.action = "retention";
    o.detail = "keep " + std::to_string(a.keepDays) + " days" +
               (a.types.empty() ? std::string() : ", types " + a.types);
    NoProgress progress;
    return ReportCleanup(CleanStore(o, progress, {}), a.apply, a.json);
}

}  // namespace

void AddRetentionCommand(CLI::App& app, CommandContext& ctx) {
    auto a = std::make_shared<RetentionArgs>();
    auto* cmd = app.add_subcommand(
        "retention",
        "List (or, with --apply, move to the trash) calls older than a number of days");
    cmd->add_option("--store", a->store, "Backup path holding the store folder")->required();
    cmd->add_option("--family", a->family, "Device family (0 or 1)")
        ->required()
        ->check(CLI::Range(0, 1));
    cmd->add_option("--keep-days", a->keepDays, "Keep calls of the last N days")
        ->required()
        ->check(CLI::Range(0, 1000000));
    cmd->add_option("--types", a->types,
                    "Only these call types (incoming,missed,outgoing,note,triggered,message)");
    cmd->add_flag("--apply", a->apply,
                  "Move the listed recordings to the trash and clear their entries (after a "
                  "listing)");
    cmd->add_flag("--json", a->json, "Print JSON");
    cmd->callback([a, &ctx] { ctx.exitCode = RunRetention(*a); });
}

}  // namespace lk::cli
