#pragma once
// A store's retention rule, kept in the store folder
// ("LineKeeperRetention.json") because several PCs back up into one store
// and each of them is to apply the same rule: the rule last listed (what the
// window and the command line offer next time), and the rule the user
// confirmed for taking calls out after each backup. Confirming needs a
// listing of that very rule in the audit trail, so the user has seen what it
// takes; a run after a backup applies only the confirmed rule, and only
// while its words still match those the user confirmed.
//
// The file is replaced whole (written beside and renamed), so a reader on
// another PC sees the old or the new rule, never half of one; two PCs
// saving at once: the later one's rule stands.

#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>

#include "app/ProgressReporter.h"
#include "backup/StoreCleanup.h"

namespace lk {

inline constexpr char kRetentionFileName[] = "LineKeeperRetention.json";

struct StoreRetention {
    bool hasRule = false;
    RetentionRule rule;  // the rule last listed
    bool afterBackup = false;
    bool hasConfirmed = false;
    RetentionRule confirmed;    // the rule that runs after each backup
    std::string confirmedText;  // its words when the user confirmed it (who and when:
                                // the audit trail)
};

struct StoreRetentionRead {
    StoreRetention retention;  // defaults when absent or unreadable
    std::string error;         // a file there that cannot be read or understood
};

StoreRetentionRead ReadStoreRetention(const std::filesystem::path& backupPath, int family);

struct StoreRetentionWrite {
    bool ok = false;
    std::string error;
};

// Remembers `rule` as the one last listed; the confirmation stays.
[[nodiscard]] StoreRetentionWrite RememberRetentionRule(const std::filesystem::path& backupPath,
                                                        int family, const RetentionRule& rule);

// Turns taking calls out after each backup on with `rule`, which must have
// been listed (a "retention listed" line with its words in the audit
// trail), or off. Audited.
[[nodiscard]] StoreRetentionWrite SetRetentionAfterBackup(const std::filesystem::path& backupPath,
                                                          int family, const RetentionRule& rule,
                                                          bool on);

struct RetentionAfterBackup {
    bool ran = false;      // the store has it turned on and it was tried
    std::string rule;      // the confirmed rule's words
    CleanupResult result;  // what it took out; result.error when it refused
};

// After a backup: applies the store's confirmed rule when it is turned on,
// and logs the run (even one that takes nothing) to the audit trail.
// `isTagged` is the rule's hook for calls to keep for their tags.
RetentionAfterBackup ApplyRetentionAfterBackup(const std::filesystem::path& backupPath, int family,
                                               std::time_t now,
                                               std::function<bool(const CallRecord&)> isTagged,
                                               ProgressReporter& progress, std::stop_token stop);

}  // namespace lk
