// Starting an external program and waiting for its exit code, as the original's _spawnl(_P_WAIT) did.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Runs program with args (argv[1] onwards; argv[0] is the program as given) in workDir (the current
// folder when empty) and blocks until it ends. Answers its exit code, 128 + the signal number when
// a signal ended it, and -1 when it cannot be started (missing, not executable, bad workDir).
// The program is a Windows-style path resolved through MapPath; no search along PATH is made. A
// trailing ".exe" that names nothing is tried without it, so "InitPexano.exe" runs "InitPexano".
int RunProcess(const std::string& program, const std::vector<std::string>& args,
               const std::string& workDir = "");

// The local file RunProcess would start for program; "" when there is none.
std::string ResolveProgram(const std::string& program);

}  // namespace platform
