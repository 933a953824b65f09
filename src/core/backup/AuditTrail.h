#pragma once
// What was done to a store and by whom: an append-only file of JSON lines in
// the backup path ("LineKeeperAudit.jsonl", beside the store folders), one
// object per action with its time, user, host, action, family and what it
// touched. Appended under the file's lock with one write and a sync, so that
// several PCs may log at once. A line cut off by a crash is ended before the
// next append and skipped when read.

#include <chrono>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace lk {

inline constexpr char kAuditFileName[] = "LineKeeperAudit.jsonl";

struct AuditEvent {
    std::string action;  // "adopted", "moved to trash", "erased", ...
    int family = -1;     // the store family, -1 when none applies
    std::string file;    // what it touched, relative to the store folder
    std::string detail;  // free text: a number, a rule, a reason
};

struct AuditRecord {
    std::string time;  // UTC, "2026-12-10T09:18:55Z"
    std::string user;
    std::string host;
    AuditEvent event;
};

struct AuditWrite {
    bool ok = false;
    std::string error;
};

// Appends the events as one batch; nothing is written for none. With
// `lockWait`, a trail locked for longer than that is not written (the
// reason says so) rather than keeping the caller waiting.
[[nodiscard]] AuditWrite AppendAudit(
    const std::filesystem::path& backupPath, std::span<const AuditEvent> events,
    std::optional<std::chrono::milliseconds> lockWait = std::nullopt);

// How long a user's own action (a delete, an export, a mail) waits for the
// trail before it goes on and says that it could not be logged.
inline constexpr std::chrono::milliseconds kUserActionAuditWait{3000};

// What a user did to calls, logged where a backup store is known: one line
// per call (`files`: recordings or names; one line without a file when
// empty), each with `detail`. Nothing is written, and ok, when `backupPath`
// is empty or no folder.
[[nodiscard]] AuditWrite AuditUserAction(const std::filesystem::path& backupPath,
                                         const std::string& action,
                                         const std::vector<std::string>& files,
                                         const std::string& detail, int family = -1);

struct AuditRead {
    bool found = false;                // the file is there and was read
    std::vector<AuditRecord> records;  // oldest first
    int damagedLines = 0;
    std::string error;  // why it could not be read (absent: empty, found false)
};

AuditRead ReadAudit(const std::filesystem::path& backupPath);

}  // namespace lk
