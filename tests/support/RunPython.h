#pragma once
// Runs a Python 3 script of a test (an independent reader of what the code
// wrote: openpyxl for workbooks, the email package for drafts).

#include <string>
#include <vector>

namespace lk::test {

struct PythonRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// The system interpreter, which has the Debian python3-* modules.
std::string PythonInterpreter();
// True when `module` imports; tests that need it skip otherwise.
bool PythonHasModule(const std::string& module);
PythonRun RunPython(const std::string& script, const std::vector<std::string>& args);

}  // namespace lk::test
