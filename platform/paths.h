// Where things are: the host program's folder, the stand-in system folder, the current folder, environment.
#pragma once

#include <string>

#include "types.h"

namespace platform {

// The folder of the running host program as a local path ending in '/', so that callers can put a
// relative name straight after it as they did after the original's "D:\Tools\Engine\". Taken from
// /proc/self/exe unless SetProgramDir gave another.
std::string GetProgramDir();
// Overrides the program folder (tests); an empty text goes back to /proc/self/exe.
void SetProgramDir(const std::string& dir);

// The local folder that stands in for the Windows system folder, without a trailing '/': the one
// SetSystemDir gave, else $PEXANO_SYSTEM_DIR, else "<program dir>system". The drivers folder is
// this followed by "\drivers\Zorv".
std::string GetSystemDir();
void SetSystemDir(const std::string& dir);  // empty: back to the environment or the default

// GetSystemDirectoryA's contract: copies the system folder into buffer when it fits with its NUL
// and answers its length; otherwise answers the size needed (with the NUL) and leaves "" in a
// buffer of at least one byte.
UINT GetSystemDirectory(char* buffer, UINT size);

// The process's current folder ("" when it cannot be read).
std::string GetCurrentDirectory();

// GetEnvironmentVariableA's contract: answers the value's length when it fits with its NUL into
// size bytes, the size needed (with the NUL) when it does not (buffer then holds ""), and 0 when
// the variable is not set.
DWORD GetEnvironmentVariable(const char* name, char* buffer, DWORD size);

}  // namespace platform
