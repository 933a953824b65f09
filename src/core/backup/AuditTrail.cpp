#include "backup/AuditTrail.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "backup/IndexLock.h"
#include "platform/LinkFreePath.h"
#include "platform/RegularFile.h"

namespace lk {
namespace fs = std::filesystem;

namespace {

std::string NowUtc() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm tm{};
    ::gmtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

std::string UserName() {
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buf[1024];
    if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &found) == 0 && found != nullptr)
        return found->pw_name;
    return std::to_string(::getuid());
}

std::string Text(const nlohmann::json& j, const char* key) {
    const auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool WriteAllAt(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

AuditWrite AppendAudit(const fs::path& backupPath, std::span<const AuditEvent> events,
                       std::optional<std::chrono::milliseconds> lockWait) {
    AuditWrite out;
    if (events.empty()) {
        out.ok = true;
        return out;
    }
    const fs::path path = backupPath / kAuditFileName;
    int error = 0;
    const auto lock = lockWait
                          ? IndexLock::AcquireWithin(path, IndexLock::Mode::Auto, *lockWait, &error)
                          : IndexLock::Acquire(path, IndexLock::Mode::Auto, &error);
    if (!lock) {
        out.error = std::string("the audit trail cannot be locked: ") + FileErrorText(error);
        return out;
    }
    RegularFileOpen file = OpenRegularWithoutLinks(backupPath, path, O_RDWR | O_CREAT | O_APPEND);
    if (!file.Ok()) {
        out.error = "the audit trail cannot be opened: " +
                    (file.reason.empty() ? std::string(FileErrorText(file.error)) : file.reason);
        return out;
    }
    const int fd = file.file.Get();
    std::string text;
    // A line cut off by a crash is ended, so that the new ones stand alone.
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (size > 0) {
        char last = 0;
        if (::pread(fd, &last, 1, size - 1) == 1 && last != '\n') text.push_back('\n');
    }
    const std::string time = NowUtc();
    const std::string user = UserName();
    const std::string host = HostTag();
    for (const AuditEvent& e : events) {
        nlohmann::json j = {{"time", time}, {"user", user}, {"host", host}, {"action", e.action}};
        if (e.family >= 0) j["family"] = e.family;
        if (!e.file.empty()) j["file"] = e.file;
        if (!e.detail.empty()) j["detail"] = e.detail;
        // Names from a store may hold bytes that are no UTF-8: replaced, not thrown.
        text += j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    }
    if (!WriteAllAt(fd, text) || ::fdatasync(fd) != 0) {
        out.error = std::string("the audit trail cannot be written: ") + FileErrorText(errno);
        return out;
    }
    out.ok = true;
    return out;
}

AuditWrite AuditUserAction(const fs::path& backupPath, const std::string& action,
                           const std::vector<std::string>& files, const std::string& detail,
                           int family) {
    std::error_code ec;
    if (backupPath.empty() || !fs::is_directory(backupPath, ec)) return {true, {}};
    std::vector<AuditEvent> events;
    for (const std::string& file : files)
        events.push_back({action, family, file, detail});
    if (events.empty()) events.push_back({action, family, {}, detail});
    return AppendAudit(backupPath, events, kUserActionAuditWait);
}

AuditRead ReadAudit(const fs::path& backupPath) {
    AuditRead out;
    const fs::path path = backupPath / kAuditFileName;
    RegularFileOpen file = OpenRegularWithoutLinks(backupPath, path, O_RDONLY);
    if (!file.Ok()) {
        if (file.error != ENOENT)
            out.error =
                "the audit trail cannot be read: " +
                (file.reason.empty() ? std::string(FileErrorText(file.error)) : file.reason);
        return out;
    }
    std::string text;
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(file.file.Get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            out.error = std::string("the audit trail cannot be read: ") + FileErrorText(errno);
            return out;
        }
        if (n == 0) break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    out.found = true;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string_view line(text.data() + pos, end - pos);
        pos = end + 1;
        if (line.empty()) continue;
        const auto j = nlohmann::json::parse(line, nullptr, false);
        if (j.is_discarded() || !j.is_object() || Text(j, "action").empty()) {
            ++out.damagedLines;
            continue;
        }
        AuditRecord r;
        r.time = Text(j, "time");
        r.user = Text(j, "user");
        r.host = Text(j, "host");
        r.event.action = Text(j, "action");
        r.event.file = Text(j, "file");
        r.event.detail = Text(j, "detail");
        if (const auto f = j.find("family"); f != j.end() && f->is_number_integer())
            r.event.family = f->get<int>();
        out.records.push_back(std::move(r));
    }
    return out;
}

}  // namespace lk
