#include "CliAudit.h"

#include <filesystem>

#include "CliCard.h"
#include "Command.h"
#include "backup/AuditTrail.h"

namespace lk::cli {

int AuditAfter(const std::string& store, int family, const std::string& action,
               const std::vector<std::string>& files, const std::string& detail, int exitCode) {
    if (store.empty() || exitCode != kExitOk) return exitCode;
    std::error_code ec;
    const auto backupPath = std::filesystem::absolute(store, ec).lexically_normal();
    const AuditWrite written = AuditUserAction(backupPath, action, files, detail, family);
    if (written.ok) return exitCode;
    PrintError(action + " done, but not logged: " + written.error);
    return kExitFailure;
}

}  // namespace lk::cli
