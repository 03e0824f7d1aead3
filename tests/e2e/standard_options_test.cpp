// The long options a POSIX user tries first, on every program: "--help" is
// the program's own usage request, "--version" names the suite's release,
// and a file named "--help" stays reachable after "--".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/files.h"
#include "support/process.h"
#include "support/temp_dir.h"
#include "support/text.h"

namespace testsupport {
namespace {

struct StandardRow {
    const char* program;
    std::vector<std::string> usage_args;  // what shows the usage screen
    std::vector<std::string> file_args;   // reads a file named "--help" holding "b\na\n"
    std::string file_out;                 // what that shows
    int file_exit_code;
};

TEST(StandardOptions, HelpVersionAndAFileNamedHelp) {
    if (std::string(line_end()) != "\n") GTEST_SKIP() << "--help and --version are POSIX conventions";
    const std::vector<StandardRow> rows = {
        {"kesto", {"/?"}, {"/ST", "--", "--help"}, "              4 bytes \n", 4},
        {"tolven", {"/?"}, {"/R", "--", "--help"}, "b\na\n", 0},
        {"mirelk", {}, {"/F:61", "--", "--help"}, "Find    at 0000000000000002 --help\n", 0},
        {"nevrik", {}, {"--", "--help", "--help"}, "NEVRIK: no difference had been detected.\n", 0},
        {"holmic", {}, {"/T", "--", "--help"}, "b\na\n", 0},
        {"zobrin", {}, {}, "", 0},
    };
    for (const StandardRow& row : rows) {
        SCOPED_TRACE(row.program);
        TempDir dir;
        ASSERT_TRUE(write_file(dir.file("--help"), "b\na\n"));
        const std::string program = program_path(row.program);
        const RunOptions options = options_in(dir.path(), {});
        const RunResult usage = run(program, row.usage_args, options);
        for (const std::vector<std::string>& args :
             std::vector<std::vector<std::string>>{{"--help"}, {"--help", "--", "--help", "/Z"}}) {
            const RunResult help = run(program, args, options);
            EXPECT_NE(help.out, "");
            EXPECT_EQ(help.out, usage.out);
            EXPECT_EQ(help.err, usage.err);
            EXPECT_EQ(help.exit_code, usage.exit_code);
        }
        const RunResult version = run(program, {"--version", "/?"}, options);
        EXPECT_EQ(version.out, std::string(row.program) + " (" SUITE_PACKAGE ") " SUITE_VERSION "\n");
        EXPECT_EQ(version.exit_code, 0);
        if (row.file_args.empty()) continue;
        const RunResult file = run(program, row.file_args, options);
        EXPECT_EQ(file.out, row.file_out);
        EXPECT_EQ(file.exit_code, row.file_exit_code);
    }
}

}  // namespace
}  // namespace testsupport
