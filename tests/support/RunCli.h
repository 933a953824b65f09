#pragma once
// Runs the built linekeeper-cli with arguments and collects what it printed.

#include <string>
#include <vector>

namespace lk::test {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// A run still going after `timeoutSeconds` (0: no limit) is killed and
// reads as exit code 124.
CliRun RunCli(const std::vector<std::string>& args, int timeoutSeconds = 0);

// How many trials a repeated CLI test makes: the positive number in the
// environment variable `name`, else `fallback`.
int TrialsFromEnv(const char* name, int fallback);

}  // namespace lk::test
