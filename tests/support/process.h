// Runs a program as a child process and collects what it wrote.
#pragma once
#include <string>
#include <vector>

namespace testsupport {

struct RunOptions {
    // "NAME=value" entries added to the environment. The child never inherits
    // LANG, LANGUAGE, LC_* or SUITE_FAULTS from the test process: a test that
    // cares about language or faults sets them here.
    std::vector<std::string> env;
    std::string cwd;         // working folder of the child; empty: inherited
    int timeout_ms = 30000;  // a child still running then is killed
    std::string input_file;  // read as standard input; empty: the null device
};

struct RunResult {
    int exit_code = -1;
    std::string out;         // standard output, bytes as written
    std::string err;         // standard error
    bool timed_out = false;
};

// Runs program with args. Standard input is the null device and there is no
// terminal (on POSIX the child runs in a session of its own), so a program
// that waits for a key can never hang the test.
RunResult run(const std::string& program, const std::vector<std::string>& args,
              const RunOptions& options = {});

// Options for a run in cwd with env, in English (LC_ALL=C) unless env sets
// LC_ALL itself.
RunOptions options_in(const std::string& cwd, std::vector<std::string> env);

// Full path of one of the suite's programs in this build tree ("holmic").
std::string program_path(const std::string& name);

}  // namespace testsupport
