// A fixture for running one of the suite's programs in a fresh folder and
// comparing whole outputs and exit codes, row by row.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/files.h"
#include "support/process.h"
#include "support/temp_dir.h"
#include "support/text.h"

namespace testsupport {

struct Row {
    const char* name;
    std::vector<std::string> args;
    std::string out;  // with "\n" line ends
    int exit_code;
    std::vector<std::string> env = {};
};

class ToolTest : public ::testing::Test {
protected:
    explicit ToolTest(std::string program) : program_(std::move(program)) {}

    // Runs the program in the test's folder, in English unless env sets
    // LC_ALL. The byte-range tools write every message to standard output.
    RunResult tool(const std::vector<std::string>& args, std::vector<std::string> env = {}) {
        RunOptions options = options_in(dir.path(), std::move(env));
        RunResult result = run(program_path(program_), args, options);
        EXPECT_FALSE(result.timed_out);
        EXPECT_EQ(result.err, "");
        return result;
    }
    void put(const std::string& name, const std::string& bytes) { ASSERT_TRUE(write_file(dir.file(name), bytes)); }
    std::string get(const std::string& name) { return read_file(dir.file(name)); }
    // Each row run with its standard output gone (out is not compared).
    void check_output_gone(const std::vector<Row>& rows) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            expect_end_when_output_gone(program_, dir.path(), row.args, row.exit_code, row.env);
        }
    }
    void check(const std::vector<Row>& rows) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            RunResult result = tool(row.args, row.env);
            EXPECT_EQ(result.out, with_line_ends(row.out));
            EXPECT_EQ(result.exit_code, row.exit_code);
        }
    }

    TempDir dir;

private:
    std::string program_;
};

}  // namespace testsupport
