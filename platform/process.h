// Environment and child processes.
#pragma once
#include <string>

namespace plat {

// The value of an environment variable; false when it is not set.
bool get_env(const char* name, std::string& value);

// Runs one command line through the command interpreter (COMSPEC when set,
// else the system shell) and waits; the child's exit code, or -1.
int run_command(const char* command_line);

}  // namespace plat
