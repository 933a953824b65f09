#pragma once
// The audit trail of what a command did to calls of a store it was given
// (exported, mailed): written after the action, waiting for the trail's
// lock a few seconds at most. An action done but not logged is said on
// stderr and fails the command, so that a script notices the gap in the log.

#include <string>
#include <vector>

namespace lk::cli {

// `exitCode` of the action, or kExitFailure when it succeeded and could not
// be logged. Nothing is logged for a failed action or without a store.
int AuditAfter(const std::string& store, int family, const std::string& action,
               const std::vector<std::string>& files, const std::string& detail, int exitCode);

}  // namespace lk::cli
