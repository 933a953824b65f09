#include "support/RunCli.h"

#include <sys/wait.h>
#include <cstdlib>
#include <string>

#include "support/TempDir.h"

namespace lk::test {

namespace {

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

}  // namespace

CliRun RunCli(const std::vector<std::string>& args, int timeoutSeconds) {
    TempDir scratch;
    std::string cmd;
    if (timeoutSeconds > 0) cmd = "timeout --kill-after=5 " + std::to_string(timeoutSeconds) + " ";
    cmd += Quote((BinDir() / "linekeeper-cli").string());
    for (const auto& a : args)
        cmd += " " + Quote(a);
    cmd += " >" + Quote((scratch / "out").string()) + " 2>" + Quote((scratch / "err").string()) +
           " </dev/null";
    const int status = std::system(cmd.c_str());
    CliRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadText(scratch / "out");
    run.err = ReadText(scratch / "err");
    return run;
}

int TrialsFromEnv(const char* name, int fallback) {
    const char* env = std::getenv(name);
    const int n = env != nullptr ? std::atoi(env) : 0;
    return n > 0 ? n : fallback;
}

}  // namespace lk::test
