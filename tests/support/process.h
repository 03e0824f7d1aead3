// Runs a program as a child process and collects what it wrote.
#pragma once
#include <cstddef>
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
    // Standard output into this file ("/dev/full") instead of the pipe
    // that is collected.
    std::string output_file;
    // A reader that goes away: after this many bytes of standard output the
    // pipe's reading end is closed (out holds just those bytes).
    std::size_t output_limit = static_cast<std::size_t>(-1);
};

struct RunResult {
    int exit_code = -1;
    std::string out;  // standard output, bytes as written
    std::string err;  // standard error
    bool timed_out = false;
};

// Runs program with args. Standard input is the null device and there is no
// terminal (on POSIX the child runs in a session of its own), so a program
// that waits for a key can never hang the test.
RunResult run(const std::string& program, const std::vector<std::string>& args, const RunOptions& options = {});

// Options for a run in cwd with env, in English (LC_ALL=C) unless env sets
// LC_ALL itself.
RunOptions options_in(const std::string& cwd, std::vector<std::string> env);

// Runs program with args in cwd (and env as in options_in) with its standard
// output gone: once into a pipe whose reader leaves after the first 100
// bytes, once into a full device. The program must notice and end by itself
// with exit_code. Callers give inputs without end, or far more output than a
// pipe holds, so that a program that works on regardless is still running
// when the run's time limit kills it. POSIX programs only: nothing happens
// for Windows programs.
void expect_end_when_output_gone(const std::string& program, const std::string& cwd,
                                 const std::vector<std::string>& args, int exit_code,
                                 const std::vector<std::string>& env = {});

// Full path of one of the suite's programs in this build tree ("holmic").
std::string program_path(const std::string& name);

}  // namespace testsupport
