#pragma once
// Runs another program by its argument list (no shell, so no text is ever
// interpreted) and waits for it.

#include <string>
#include <vector>

namespace lk {

// The program's exit status; -1 when it could not be started or did not end
// normally; 127 when it was not found on PATH.
int RunProgram(const std::vector<std::string>& argv);

// True when `name` is an executable file in a folder of PATH.
bool ProgramOnPath(const std::string& name);

}  // namespace lk
