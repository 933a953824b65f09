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

CliRun RunCli(const std::vector<std::string>& args);

}  // namespace lk::test
