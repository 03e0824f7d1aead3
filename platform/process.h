// Environment and child processes.
#pragma once
#include <string>
#include <string_view>

namespace plat {

// The value of an environment variable; false when it is not set.
bool get_env(const char* name, std::string& value);

// The command interpreter to use when COMSPEC is not set: "CMD.EXE" on the
// Windows NT family, "COMMAND.COM" on Windows 95/98, "/bin/sh" on POSIX.
const char* default_command_interpreter();

// The interpreter's switch that makes it run one command: "/c" on Windows,
// "-c" on POSIX.
const char* command_switch();

// A file name or path made safe to insert into a command for the
// interpreter. POSIX: text holding any character outside
// A-Z a-z 0-9 _ . / + , : @ % = - comes back single-quoted (a ' inside
// written as '\''), so that no name can run a command of its own; other
// text, the empty text included, comes back as it is. Windows: unchanged.
std::string quote_command_argument(std::string_view text);

// Why a command could not start.
enum class CommandFailure {
    none,            // the child ran
    not_found,       // no interpreter under that name
    too_long,        // the arguments exceed what the system takes
    not_executable,  // the interpreter is no program
    no_memory,
    invalid,  // the system refused the way it was asked
    other,
};

// Runs command through interpreter, with command_switch() before it, and
// waits for the child to end; its exit status is not looked at. Windows: the spawn call in
// wait mode with the arguments [interpreter, "/c command"]. POSIX: the
// interpreter (searched in PATH when it holds no "/") with the arguments
// [interpreter, "-c", command], the keyboard back in its normal mode and
// the signals the program ignores at their defaults in the child, so that
// Ctrl+C stops a hung child. Flush buffered output before the call.
CommandFailure run_command(const std::string& interpreter, const std::string& command);

// Rewrites a command-line argument in place in the bytes the ANSI command
// line gave it (Windows: the ANSI code page, a character that page cannot
// spell becoming "?"), for a program that looks for an argument's bytes in
// files. POSIX arguments are bytes already: nothing changes.
void argument_to_ansi(char* argument);

// How a program shows its usage screen when asked with "--help".
enum class HelpAs {
    option,        // as its "/?" option does
    no_arguments,  // as it does without arguments ("/?" is an operand there)
};

// The long options POSIX users expect, looked at in the first argument
// only; every other argument, and a "--help" after "--", is the program's
// own. "--help" turns into the program's usage request: the argument
// becomes "/?", or the command line ends before it. "--version" prints
// "<program> (<package>) <version>". Returns the exit code when the run
// ends here (0; 1 when standard output failed), else -1 with argc and argv
// as the program reads them. Windows has its own options only: -1, with
// argc and argv taken again from the wide command line, in UTF-8 (the
// encoding of every name and argument inside the programs there).
int take_standard_options(int& argc, char**& argv, const char* program, HelpAs help_as);

}  // namespace plat
