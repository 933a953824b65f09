#include "backup/StoreCleanup.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

#include "backup/AuditTrail.h"
#include "backup/FileOps.h"
#include "backup/StoreChecksums.h"
#include "card/BackupStore.h"
#include "card/RecordCommands.h"
#include "platform/RootedPath.h"
#include "platform/TextCodec.h"
#include "platform/Trash.h"

namespace lk {
namespace fs = std::filesystem;

namespace {

// Days since 1970-01-01 of a civil date.
std::int64_t DaysFromCivil(int y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<std::int64_t>(era) * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::int64_t CivilSeconds(const SystemTime& t) {
    return DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

std::string Digits(std::string_view text) {
    std::string out;
    for (const char c : text)
        if (c >= '0' && c <= '9') out.push_back(c);
    return out;
}

std::optional<std::vector<std::uint8_t>> ReadIndex(const fs::path& backupPath,
                                                   const fs::path& index) {
    RegularFileOpen file = OpenRegularWithoutLinks(backupPath, index, O_RDONLY);
    if (!file.Ok()) return std::nullopt;
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> buf(1 << 16);
    for (;;) {
        const ssize_t n = ::read(file.file.Get(), buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return out;
        out.insert(out.end(), buf.begin(), buf.begin() + n);
    }
}

}  // namespace

// Nothing goes that the user has not seen listed: a dry run of the same
// rule leaves its mark in the audit trail, and applying looks for it.
bool CleanupListed(const CleanupOptions& options) {
    const std::string listed = options.action + " listed";
    const AuditRead trail = ReadAudit(options.backupPath);
    return std::any_of(trail.records.begin(), trail.records.end(), [&](const AuditRecord& r) {
        return r.event.action == listed && r.event.family == options.devType &&
               r.event.detail == options.detail;
    });
}

std::string RetentionRuleText(const RetentionRule& rule) {
    std::string text = rule.keepMonths > 0 ? "keep " + std::to_string(rule.keepMonths) + " months"
                                           : "keep " + std::to_string(rule.keepDays) + " days";
    if (rule.types.empty()) return text;
    // One order whatever order the types were given in.
    static constexpr std::pair<int, const char*> kNames[] = {
        {Incoming, "incoming"}, {Missed, "missed"},       {Outgoing, "outgoing"},
        {Note, "note"},         {Triggered, "triggered"}, {Message, "message"}};
    std::vector<int> rest(rule.types);
    std::sort(rest.begin(), rest.end());
    rest.erase(std::unique(rest.begin(), rest.end()), rest.end());
    std::string names;
    auto add = [&names](const std::string& name) { names += (names.empty() ? "" : ",") + name; };
    for (const auto& [type, name] : kNames) {
        const auto it = std::find(rest.begin(), rest.end(), type);
        if (it == rest.end()) continue;
        rest.erase(it);
        if (type == Note) std::erase(rest, static_cast<int>(Note2));
        add(name);
    }
    for (const int type : rest)
        add(std::to_string(type));
    return text + ", types " + names;
}

SystemTime MonthsBefore(const SystemTime& now, int months) {
    SystemTime t = now;
    const int index = now.year * 12 + (now.month - 1) - months;
    t.year = static_cast<std::uint16_t>(index / 12);
    t.month = static_cast<std::uint16_t>(index % 12 + 1);
    const auto last = static_cast<std::uint16_t>(
        DaysFromCivil(t.month == 12 ? t.year + 1 : t.year, t.month == 12 ? 1 : t.month + 1, 1) -
        DaysFromCivil(t.year, t.month, 1));
    t.day = std::min(now.day, last);
    return t;
}

bool RetentionSelects(const CallRecord& record, const RetentionRule& rule, const SystemTime& now) {
    if (record.marked != 0 || record.cardBytes[CallRecord::kCardMarkByte] != 0) return false;
    if (!rule.types.empty() &&
        std::find(rule.types.begin(), rule.types.end(), record.type) == rule.types.end())
        return false;
    SystemTime t = record.time;
    // A record whose log path hid its time (a renamed card file) still has
    // the time in the name of its copy.
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31) {
        const std::string key = StoreKeyOf(ToUtf8(FieldText(record.filePath)));
        const std::string name = key.substr(key.rfind('/') + 1);
        if (name.size() < 14 || Digits(name.substr(0, 14)).size() != 14) return false;
        auto field = [&](std::size_t at, std::size_t n) {
            return static_cast<std::uint16_t>(std::stoi(name.substr(at, n)));
        };
        t.year = field(0, 4);
        t.month = field(4, 2);
        t.day = field(6, 2);
        t.hour = field(8, 2);
        t.minute = field(10, 2);
        t.second = field(12, 2);
        if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31) return false;
    }
    const SystemTime cutoff = rule.keepMonths > 0 ? MonthsBefore(now, rule.keepMonths) : now;
    const std::int64_t keptSeconds =
        rule.keepMonths > 0 ? 0 : std::int64_t{std::max(rule.keepDays, 0)} * 86400;
    if (CivilSeconds(t) >= CivilSeconds(cutoff) - keptSeconds) return false;
    // Asked last: it looks the call up in the notes database.
    return !(rule.isTagged && rule.isTagged(record));
}

bool RetentionSelects(const CallRecord& record, const RetentionRule& rule, std::time_t now) {
    std::tm tm{};
    ::localtime_r(&now, &tm);
    SystemTime local;
    local.year = static_cast<std::uint16_t>(tm.tm_year + 1900);
    local.month = static_cast<std::uint16_t>(tm.tm_mon + 1);
    local.day = static_cast<std::uint16_t>(tm.tm_mday);
    local.hour = static_cast<std::uint16_t>(tm.tm_hour);
    local.minute = static_cast<std::uint16_t>(tm.tm_min);
    local.second = static_cast<std::uint16_t>(tm.tm_sec);
    return RetentionSelects(record, rule, local);
}

bool NumberMatches(const CallRecord& record, std::string_view number) {
    const std::string own = ToUtf8(FieldText(record.number));
    const std::string wanted = Digits(number);
    if (wanted.empty()) return !number.empty() && own == number;
    return Digits(own) == wanted;
}

CleanupResult CleanStore(const CleanupOptions& options, ProgressReporter& progress,
                         std::stop_token stop) {
    CleanupResult result;
    RealFileOps files;
    const fs::path storeRoot = StoreRoot(options.backupPath, options.devType);
    if (!files.ReachedWithoutLinks(options.backupPath, storeRoot / "CallLog") ||
        !files.IsDirectory(storeRoot / "CallLog")) {
        result.error = "no backup store at " + storeRoot.string();
        return result;
    }
    result.storeFound = true;
    const std::string listed = options.action + " listed";
    if (options.apply && !CleanupListed(options)) {
        result.error = "nothing was moved: list the calls first (run without applying)";
        return result;
    }
    std::optional<Trash> trash;
    if (options.apply) {
        std::string reason;
        trash = Trash::For(storeRoot, reason);
        if (!trash) {
            result.error = "nothing was moved: " + reason;
            return result;
        }
    }
    std::vector<int> months = ListBackupMonths(options.backupPath, options.devType);
    std::sort(months.begin(), months.end());
    const int range = static_cast<int>(months.size());
    progress.Begin(range);
    int step = 0;
    for (const int yyyymm : months) {
        if (ShouldStop(stop, progress)) {
            result.stopped = true;
            break;
        }
        progress.Step(++step, range, std::to_string(yyyymm));
        const fs::path index = MonthIndexPath(options.backupPath, options.devType, yyyymm);
        if (!files.ReachedWithoutLinks(options.backupPath, index)) continue;
        // Listing reads without the lock; applying decides again under it.
        std::optional<IndexLock> lock;
        if (options.apply) {
            lock = files.LockIndex(index);
            if (!lock) {
                result.error = "the index of " + std::to_string(yyyymm) + " cannot be locked";
                continue;
            }
        }
        const auto bytes = ReadIndex(options.backupPath, index);
        if (!bytes) continue;
        std::vector<AuditEvent> audit;
        bool cleared = false;
        // Where each record was read from, so that a rule may look at its
        // recording (the notes of a call are found through it).
        auto source = std::make_shared<RecordSourceFile>();
        source->kind = RecordSourceFile::Kind::StoreIndex;
        source->root = storeRoot;
        source->file = index.lexically_relative(storeRoot);
        for (std::size_t off = 0; off + CallRecord::kSize <= bytes->size();
             off += CallRecord::kSize) {
            auto r = CallRecord::FromBytes(ByteSpan(bytes->data() + off, CallRecord::kSize));
            r.origin = {source, static_cast<std::int64_t>(off / CallRecord::kSize)};
            if (!r.IsLive() || !options.select(r)) continue;
            CleanupItem item;
            item.yyyymm = yyyymm;
            item.entry = off / CallRecord::kSize;
            item.file = StoreKeyOf(ToUtf8(FieldText(r.filePath)));
            item.record = r;
            if (options.apply) {
                // An entry naming a file outside its month's folders is
                // cleared without touching what it names.
                const bool own = IsMonthStoreKey(item.file, yyyymm);
                const auto rooted =
                    own ? RootedPath::Resolve(storeRoot, FromUtf8(item.file)) : RootedPathResult{};
                const FileProbe probe =
                    rooted.path ? files.Probe(rooted.path->Full()) : FileProbe{};
                if (rooted.path && probe.kind == FileProbe::Kind::Regular) {
                    const TrashMove moved = trash->Move(*rooted.path);
                    item.trashed = moved.ok;
                    if (!moved.ok) item.reason = moved.reason;
                } else if (rooted.path && probe.kind != FileProbe::Kind::Missing) {
                    item.reason = "not a regular file";
                }
                if (item.reason.empty()) {
                    const std::uint8_t dead[4] = {};
                    const std::uint64_t base = item.entry * CallRecord::kSize;
                    item.cleared =
                        files.WriteInPlace(index, base + CallRecord::kInUseOffset,
                                           ByteSpan(dead, 4)) &&
                        files.WriteInPlace(
                            index, base + CallRecord::kCardBytesOffset + CallRecord::kCardInUseByte,
                            ByteSpan(dead, 1));
                    if (!item.cleared) item.reason = FileErrorText(files.LastError());
                }
                if (item.cleared) {
                    cleared = true;
                    ++result.taken;
                    audit.push_back({options.action, options.devType, item.file,
                                     options.detail + (item.trashed ? "; moved to trash" : "")});
                } else {
                    ++result.failed;
                }
            }
            result.items.push_back(std::move(item));
        }
        if (cleared && !files.Sync({index})) {
            result.error = std::string("the index could not be made durable: ") +
                           FileErrorText(files.LastError());
        }
        lock.reset();
        if (const auto written = AppendAudit(options.backupPath, audit); !written.ok)
            result.error = written.error;
    }
    progress.End();
    if (!options.apply && !result.stopped) {
        const AuditEvent seen{listed, options.devType, {}, options.detail};
        if (const auto written = AppendAudit(options.backupPath, {&seen, 1}); !written.ok)
            result.error = written.error;
    }
    return result;
}

CleanupResult CleanCard(std::span<const CallRecord* const> records, const CleanupOptions& options) {
    CleanupResult result;
    if (options.apply && !CleanupListed(options)) {
        result.error = "nothing was moved: list the calls first (run without applying)";
        return result;
    }
    std::optional<Trash> trash;
    std::vector<AuditEvent> audit;
    for (const CallRecord* r : records) {
        if (r == nullptr || !r->origin.Known() ||
            r->origin.file->kind != RecordSourceFile::Kind::CardLog || !options.select(*r))
            continue;
        CleanupItem item;
        item.entry = static_cast<std::uint64_t>(r->origin.position);
        item.record = *r;
        const auto recording = RecordingOf(*r);
        item.file = recording.path ? recording.path->Relative().generic_string() : std::string();
        if (options.apply) {
            if (!trash) {
                std::string reason;
                trash = Trash::For(r->origin.file->root, reason);
                if (!trash) {
                    result.error = "nothing was moved from the card: " + reason;
                    return result;
                }
            }
            if (recording.path && !recording.path->NamesNoFile()) {
                const TrashMove moved = trash->Move(*recording.path);
                item.trashed = moved.ok;
                // A recording that is not there any more leaves just the entry.
                const bool gone = !moved.ok && !RealFileOps().Exists(recording.path->Full());
                if (!moved.ok && !gone) item.reason = moved.reason;
            }
            if (item.reason.empty()) {
                const RecordSourceFile& log = *r->origin.file;
                const int fd = OpenRegularFdWithoutLinks(log.root, log.root / log.file, O_RDWR);
                const std::uint8_t dead = 0;
                const auto at = static_cast<off_t>(item.entry) * log.recordSize;
                item.cleared = fd >= 0 && ::pwrite(fd, &dead, 1, at) == 1 && ::fsync(fd) == 0;
                if (!item.cleared) item.reason = FileErrorText(errno);
                if (fd >= 0) ::close(fd);
            }
            if (item.cleared) {
                ++result.taken;
                audit.push_back({options.action, options.devType, "card:" + item.file,
                                 options.detail + (item.trashed ? "; moved to trash" : "")});
            } else {
                ++result.failed;
            }
        }
        result.items.push_back(std::move(item));
    }
    if (const auto written = AppendAudit(options.backupPath, audit); !written.ok)
        result.error = written.error;
    return result;
}

}  // namespace lk
