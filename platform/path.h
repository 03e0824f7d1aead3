// Rules for paths and path-like arguments on this system.
#pragma once

namespace plat {

// The separator of path components that this program writes ('/' or '\\').
char path_separator();
// True for a character that separates path components: "/" on POSIX; on
// Windows backslash and "/" alike (Windows names cannot hold "/").
bool is_path_separator(char c);
// True for a character after which a path's last component starts: a
// separator, and on Windows also the ":" of a drive.
bool ends_path_component(char c);

// True for an argument that ends the options, so that every later argument
// is an operand ("--" on POSIX, where absolute paths begin with "/").
bool is_end_of_options(const char* argument);

// True where the shell expands wildcards and removes quotes before a program
// sees its arguments (POSIX); false where a program gets them as typed
// (Windows). A program's own wildcards and quotes then arrive only where the
// user quoted or escaped them.
bool shell_expands_arguments();

// True for an argument that starts like an option but names a path, in the
// tools that never run two options together in one argument: on POSIX, a
// second "/" before any ":" ("/tmp/x"). Never true on Windows.
bool is_path_argument(const char* argument);

}  // namespace plat
