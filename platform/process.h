// Environment and child processes.
#pragma once
#include <string>

namespace plat {

// The value of an environment variable; false when it is not set.
bool get_env(const char* name, std::string& value);

// The command interpreter to use when COMSPEC is not set: "CMD.EXE" on the
// Windows NT family, "COMMAND.COM" on Windows 95/98, "/bin/sh" on POSIX.
const char* default_command_interpreter();

// Runs one command line through the command interpreter (COMSPEC when set,
// else the system shell) and waits; the child's exit code, or -1.
int run_command(const char* command_line);

}  // namespace plat
