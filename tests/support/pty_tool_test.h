// A fixture for driving one of the suite's programs through a
// pseudo-terminal in a fresh folder, as ToolTest runs it with pipes. POSIX
// only (the programs may be the Windows build's, under Wine).
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/files.h"
#include "support/process.h"
#include "support/pty.h"
#include "support/temp_dir.h"

namespace testsupport {

// How long a program may take to write tens of thousands of lines to the
// terminal: under Wine, on a loaded machine, its console draws only a few
// thousand a second.
inline constexpr int LONG_OUTPUT_MS = 120000;
// The key that cancels.
inline constexpr char ESC[] = "\x1b";
// kesto's abort message, in reversed colours.
inline constexpr char ABORT[] = "\x1b[7m\nAbort by user!\n\x1b[27m";

class PtyToolTest : public ::testing::Test {
protected:
    explicit PtyToolTest(std::string program) : program_(std::move(program)) {}

    // Starts the program in the test's folder, in the C locale.
    void start(const std::vector<std::string>& args) {
        ASSERT_TRUE(pty.start(terminal_program(program_), args, {"LC_ALL=C"}, dir.path()));
    }
    // Waits for the screen to show expected, then types keys.
    void answer(const std::string& expected, const std::string& keys) {
        ASSERT_TRUE(pty.wait_for(expected)) << pty.output();
        pty.send(keys);
    }
    // Output whose every "/" separates the parts of a relative path, as the
    // screen shows it (see terminal_path, terminal_screen).
    static std::string shown(const std::string& text) { return terminal_screen(terminal_path(text)); }
    // What the screen shows once the program has had time to show more
    // than it should.
    std::string settled_output() {
        pty.pump(300);
        return pty.output();
    }

    TempDir dir;
    PtySession pty;

private:
    std::string program_;
};

}  // namespace testsupport
