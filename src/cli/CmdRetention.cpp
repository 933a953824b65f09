#include <algorithm>
#include <ctime>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "CleanupReport.h"
#include "CliCard.h"
#include "Command.h"
#include "backup/StoreRetention.h"
#include "card/BackupStore.h"
#include "notes/CallNotes.h"

namespace lk::cli {

namespace {

struct RetentionArgs {
    std::string store;
    int family = 0;
    int keepDays = -1;
    int keepMonths = -1;
    std::string types;
    std::string afterBackup;  // "on", "off" or empty: unchanged
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
    std::error_code ec;
    const std::filesystem::path backupPath =
        std::filesystem::absolute(a.store, ec).lexically_normal();
    RetentionRule rule;
    if (a.afterBackup == "off") {
        // Turning it off needs no rule.
    } else if (a.keepDays < 0 && a.keepMonths < 0) {
        // No rule given: the store's, as last listed.
        const StoreRetentionRead stored = ReadStoreRetention(backupPath, a.family);
        if (!stored.retention.hasRule) {
            PrintError(stored.error.empty() ? "give --keep-days or --keep-months (the store has "
                                              "no rule yet)"
                                            : stored.error);
            return kExitUsage;
        }
        rule = stored.retention.rule;
    } else {
        rule.keepDays = std::max(a.keepDays, 0);
        rule.keepMonths = std::max(a.keepMonths, 0);
        if (!ParseTypes(a.types, rule.types)) {
            PrintError("unknown call type in --types " + a.types +
                       " (incoming, missed, outgoing, note, triggered, message)");
            return kExitUsage;
        }
    }
    if (!a.afterBackup.empty()) {
        const bool on = a.afterBackup == "on";
        const StoreRetentionWrite set = SetRetentionAfterBackup(backupPath, a.family, rule, on);
        if (!set.ok) {
            PrintError(set.error);
            return kExitFailure;
        }
        std::cout << "after each backup: " << (on ? RetentionRuleText(rule) : "nothing taken out")
                  << "\n";
        return kExitOk;
    }
    CleanupOptions o;
    o.backupPath = backupPath;
    o.devType = a.family;
    o.apply = a.apply;
    const std::time_t now = std::time(nullptr);
    rule.isTagged = TaggedCallsOf(StoreRoot(backupPath, a.family));
    o.select = [rule, now](const CallRecord& r) { return RetentionSelects(r, rule, now); };
    o.action = "retention";
    o.detail = RetentionRuleText(rule);
    NoProgress progress;
    const CleanupResult result = CleanStore(o, progress, {});
    // The rule listed is the store's for next time; failing to keep it costs
    // only that.
    if (!a.apply && result.storeFound)
        if (const auto kept = RememberRetentionRule(backupPath, a.family, rule); !kept.ok)
            PrintError(kept.error);
    return ReportCleanup(result, a.apply, a.json);
}

}  // namespace

void AddRetentionCommand(CLI::App& app, CommandContext& ctx) {
    auto a = std::make_shared<RetentionArgs>();
    auto* cmd = app.add_subcommand(
        "retention",
        "List (or, with --apply, move to the trash) calls older than a number of days or months;\n"
        "without a rule, the store's last listed one");
    cmd->add_option("--store", a->store, "Backup path holding the store folder")->required();
    cmd->add_option("--family", a->family, "Device family (0 or 1)")
        ->required()
        ->check(CLI::Range(0, 1));
    auto* days = cmd->add_option("--keep-days", a->keepDays, "Keep calls of the last N days")
                     ->check(CLI::Range(0, 1000000));
    cmd->add_option("--keep-months", a->keepMonths,
                    "Keep calls of the last N calendar months (a call goes once it is older "
                    "than the same day N months back, or that month's last day)")
        ->check(CLI::Range(0, 1200))
        ->excludes(days);
    auto* after =
        cmd->add_option("--after-backup", a->afterBackup,
                        "on: take out what this rule lists after each backup (the rule must have "
                        "been listed); off: no more")
            ->check(CLI::IsMember({"on", "off"}));
    cmd->add_option("--types", a->types,
                    "Only these call types (incoming,missed,outgoing,note,triggered,message)");
    cmd->add_flag("--apply", a->apply,
                  "Move the listed recordings to the trash and clear their entries (after a "
                  "listing)")
        ->excludes(after);
    cmd->add_flag("--json", a->json, "Print JSON");
    cmd->callback([a, &ctx] { ctx.exitCode = RunRetention(*a); });
}

}  // namespace lk::cli
