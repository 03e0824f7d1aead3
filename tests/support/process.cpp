#include "support/process.h"

#include <gtest/gtest.h>

#include <utility>

#include "support/files.h"

namespace testsupport {

RunOptions options_in(const std::string& cwd, std::vector<std::string> env) {
    bool has_locale = false;
    for (const std::string& entry : env) has_locale |= entry.rfind("LC_ALL=", 0) == 0;
    if (!has_locale) env.push_back("LC_ALL=C");
    RunOptions options;
    options.env = std::move(env);
    options.cwd = cwd;
    return options;
}

void expect_end_when_output_gone(const std::string& program, const std::string& cwd,
                                 const std::vector<std::string>& args, int exit_code,
                                 const std::vector<std::string>& env) {
    const std::string path = program_path(program);
    const std::string exe = ".exe";
    if (path.size() > exe.size() && path.compare(path.size() - exe.size(), exe.size(), exe) == 0) return;
    for (bool full_device : {false, true}) {
        SCOPED_TRACE(full_device ? "full device" : "reader gone");
        RunOptions options = options_in(cwd, env);
        options.timeout_ms = 15000;
        if (full_device)
            options.output_file = "/dev/full";
        else
            options.output_limit = 100;
        RunResult result = run(path, args, options);
        EXPECT_FALSE(result.timed_out);
        EXPECT_EQ(result.exit_code, exit_code);
    }
}

std::string program_path(const std::string& name) {
    return native_path(std::string(SUITE_BIN_DIR) + "/" + name + SUITE_EXE_SUFFIX);
}

}  // namespace testsupport
