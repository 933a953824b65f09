#include "backup/StoreRetention.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "backup/AuditTrail.h"
#include "card/BackupStore.h"
#include "platform/AtomicFile.h"
#include "platform/ByteIo.h"
#include "platform/LinkFreePath.h"
#include "platform/RegularFile.h"

namespace lk {
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// More than any rule needs; a larger file is not ours.
constexpr std::size_t kMaxFileSize = 64 * 1024;

json RuleJson(const RetentionRule& rule) {
    json j = {{"types", rule.types}};
    if (rule.keepMonths > 0)
        j["keepMonths"] = rule.keepMonths;
    else
        j["keepDays"] = rule.keepDays;
    return j;
}

bool Count(const json& j, const char* key, int& out) {
    const auto it = j.find(key);
    if (it == j.end()) return true;
    if (!it->is_number_integer() || it->get<long long>() < 0 || it->get<long long>() > 1000000)
        return false;
    out = it->get<int>();
    return true;
}

bool RuleFromJson(const json& j, RetentionRule& rule) {
    if (!j.is_object() || !Count(j, "keepDays", rule.keepDays) ||
        !Count(j, "keepMonths", rule.keepMonths))
        return false;
    if (const auto it = j.find("types"); it != j.end()) {
        if (!it->is_array()) return false;
        for (const json& t : *it) {
            if (!t.is_number_integer() || t.get<long long>() < -1 || t.get<long long>() > 255)
                return false;
            rule.types.push_back(t.get<int>());
        }
    }
    return true;
}

fs::path RetentionFile(const fs::path& backupPath, int family) {
    return StoreRoot(backupPath, family) / kRetentionFileName;
}

StoreRetentionWrite Save(const fs::path& backupPath, int family, const StoreRetention& r) {
    StoreRetentionWrite out;
    const fs::path root = StoreRoot(backupPath, family);
    std::error_code ec;
    if (!IsReachedWithoutLinks(backupPath, root) || !fs::is_directory(root, ec)) {
        out.error = "no backup store at " + root.string();
        return out;
    }
    json j = json::object();
    if (r.hasRule) j["rule"] = RuleJson(r.rule);
    j["afterBackup"] = r.afterBackup;
    if (r.hasConfirmed) {
        j["confirmed"] = RuleJson(r.confirmed);
        j["confirmed"]["text"] = r.confirmedText;
    }
    const std::string text = j.dump(2) + "\n";
    if (!WriteFileAtomically(
            RetentionFile(backupPath, family),
            {ByteSpan(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())})) {
        out.error =
            "the retention rule cannot be saved in " + root.string() + ": " + FileErrorText(errno);
        return out;
    }
    out.ok = true;
    return out;
}

}  // namespace

StoreRetentionRead ReadStoreRetention(const fs::path& backupPath, int family) {
    StoreRetentionRead out;
    const fs::path path = RetentionFile(backupPath, family);
    RegularFileOpen file = OpenRegularWithoutLinks(backupPath, path, O_RDONLY);
    if (!file.Ok()) {
        if (file.error != ENOENT)
            out.error =
                "the retention rule cannot be read: " +
                (file.reason.empty() ? std::string(FileErrorText(file.error)) : file.reason);
        return out;
    }
    std::string text;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(file.file.Get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            out.error = std::string("the retention rule cannot be read: ") + FileErrorText(errno);
            return out;
        }
        if (n == 0) break;
        text.append(buf, static_cast<std::size_t>(n));
        if (text.size() > kMaxFileSize) {
            out.error = "the retention rule file is too large: " + path.string();
            return out;
        }
    }
    const json j = json::parse(text, nullptr, false);
    StoreRetention r;
    bool sound = j.is_object();
    if (sound && j.contains("rule")) {
        r.hasRule = RuleFromJson(j["rule"], r.rule);
        sound = r.hasRule;
    }
    if (sound && j.contains("confirmed")) {
        const json& c = j["confirmed"];
        r.hasConfirmed =
            RuleFromJson(c, r.confirmed) && c.contains("text") && c["text"].is_string();
        if (r.hasConfirmed) r.confirmedText = c["text"].get<std::string>();
        sound = r.hasConfirmed;
    }
    if (sound) {
        const auto after = j.find("afterBackup");
        r.afterBackup = after != j.end() && after->is_boolean() && after->get<bool>();
    }
    if (!sound) {
        out.error = "the retention rule file is damaged: " + path.string();
        return out;
    }
    out.retention = std::move(r);
    return out;
}

StoreRetentionWrite RememberRetentionRule(const fs::path& backupPath, int family,
                                          const RetentionRule& rule) {
    StoreRetentionRead read = ReadStoreRetention(backupPath, family);
    // A damaged file is replaced by the rule; its confirmation (if any) is
    // lost with it, which turns nothing on.
    read.retention.hasRule = true;
    read.retention.rule = rule;
    read.retention.rule.isTagged = nullptr;
    return Save(backupPath, family, read.retention);
}

StoreRetentionWrite SetRetentionAfterBackup(const fs::path& backupPath, int family,
                                            const RetentionRule& rule, bool on) {
    StoreRetentionRead read = ReadStoreRetention(backupPath, family);
    StoreRetention& r = read.retention;
    const std::string text = RetentionRuleText(rule);
    if (on) {
        CleanupOptions listed;
        listed.backupPath = backupPath;
        listed.devType = family;
        listed.action = "retention";
        listed.detail = text;
        if (!CleanupListed(listed)) {
            StoreRetentionWrite out;
            out.error = "list the calls of this rule first (" + text + ")";
            return out;
        }
        r.hasConfirmed = true;
        r.confirmed = rule;
        r.confirmed.isTagged = nullptr;
        r.confirmedText = text;
    }
    r.afterBackup = on;
    StoreRetentionWrite out = Save(backupPath, family, r);
    if (!out.ok) return out;
    const AuditEvent event{on ? "retention after backup on" : "retention after backup off",
                           family,
                           {},
                           on ? text : r.confirmedText};
    if (const AuditWrite written = AppendAudit(backupPath, {&event, 1}); !written.ok) {
        out.ok = false;
        out.error = "the rule is saved, but " + written.error;
    }
    return out;
}

RetentionAfterBackup ApplyRetentionAfterBackup(const fs::path& backupPath, int family,
                                               std::time_t now,
                                               std::function<bool(const CallRecord&)> isTagged,
                                               ProgressReporter& progress, std::stop_token stop) {
    RetentionAfterBackup out;
    const StoreRetentionRead read = ReadStoreRetention(backupPath, family);
    const StoreRetention& r = read.retention;
    if (!read.error.empty()) {
        // Turned on or not cannot be told: say so, take nothing.
        out.ran = true;
        out.result.error = "nothing was moved: " + read.error;
    } else if (!r.afterBackup) {
        return out;
    } else {
        out.ran = true;
        out.rule = r.confirmedText;
        RetentionRule rule = r.confirmed;
        rule.isTagged = std::move(isTagged);
        // A file edited by hand (or by a later program) whose rule no longer
        // says what the user confirmed takes nothing.
        if (!r.hasConfirmed || RetentionRuleText(rule) != r.confirmedText) {
            out.result.error = "nothing was moved: the rule is not the one confirmed (" +
                               RetentionRuleText(rule) + ")";
        } else {
            CleanupOptions o;
            o.backupPath = backupPath;
            o.devType = family;
            o.apply = true;
            o.select = [rule, now](const CallRecord& c) { return RetentionSelects(c, rule, now); };
            o.action = "retention";
            o.detail = r.confirmedText;
            out.result = CleanStore(o, progress, std::move(stop));
        }
    }
    std::string detail = out.rule.empty() ? std::string("(no rule)") : out.rule;
    detail += ": " + std::to_string(out.result.taken) + " moved to trash, " +
              std::to_string(out.result.failed) + " failed";
    if (!out.result.error.empty()) detail += "; " + out.result.error;
    const AuditEvent run{"retention after backup", family, {}, detail};
    if (const AuditWrite written = AppendAudit(backupPath, {&run, 1});
        !written.ok && out.result.error.empty())
        out.result.error = written.error;
    return out;
}

}  // namespace lk
