#include "support/RunPython.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "support/TempDir.h"

namespace lk::test {

namespace {

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace

std::string PythonInterpreter() {
    return ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

bool PythonHasModule(const std::string& module) {
    return RunPython("import " + module, {}).exitCode == 0;
}

PythonRun RunPython(const std::string& script, const std::vector<std::string>& args) {
    TempDir scratch;
    WriteText(scratch / "script.py", script);
    std::string cmd = Quote(PythonInterpreter()) + " " + Quote((scratch / "script.py").string());
    for (const auto& a : args)
        cmd += " " + Quote(a);
    cmd += " >" + Quote((scratch / "out").string()) + " 2>" + Quote((scratch / "err").string()) +
           " </dev/null";
    const int status = std::system(cmd.c_str());
    PythonRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadText(scratch / "out");
    run.err = ReadText(scratch / "err");
    return run;
}

}  // namespace lk::test
